// The reading log: whether every reading is also written to a CSV file of
// its local day, in which folder, and for how many days the files are kept.
#pragma once

#include <string>
#include <string_view>

#include "config/profile.h"
#include "config/range.h"

namespace quorvel::config {

inline constexpr std::string_view kLogSection = "Log";

struct LogSettings {
  bool enabled = false;
  std::string folder;  // Windows-1251; empty: "log" in the working directory
  int keep_days = 31;

  bool operator==(const LogSettings&) const = default;
};

// Up to ten years of day files.
inline constexpr Range kLogKeepDaysRange{1, 3650};

// Reads the section over `log`: a key that is missing, or a number that is
// not integer text or is out of its range, keeps what `log` holds.
void ReadLogSection(Profile& profile, LogSettings& log);
// Writes every key of the section; false when the profile refused one.
bool WriteLogSection(Profile& profile, const LogSettings& log);

}  // namespace quorvel::config
