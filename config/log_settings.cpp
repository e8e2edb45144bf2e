#include "config/log_settings.h"

#include <utility>

#include "config/settings_file.h"

namespace quorvel::config {

void ReadLogSection(Profile& profile, LogSettings& log) {
  log.enabled = ReadBooleanKey(profile, kLogSection, "Enabled", log.enabled);
  log.folder = ReadTextKey(profile, kLogSection, "Folder", log.folder);
  const int keep_days = ReadIntegerKey(profile, kLogSection, "KeepDays", log.keep_days);
  if (kLogKeepDaysRange.Holds(keep_days)) log.keep_days = keep_days;
}

bool WriteLogSection(Profile& profile, const LogSettings& log) {
  const std::pair<std::string_view, std::string> values[] = {
      {"Enabled", log.enabled ? "1" : "0"},
      {"Folder", log.folder},
      {"KeepDays", std::to_string(log.keep_days)},
  };
  for (const auto& [key, value] : values) {
    if (!profile.Write(kLogSection, key, value)) return false;
  }
  return true;
}

}  // namespace quorvel::config
