// The settings file: a profile file named after the executable, beside it,
// with the sections "FORM1" and "SetupForm". Every key is read and written
// in one fixed order, through the Profile seam.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/profile.h"
#include "config/settings.h"
#include "config/table_file.h"

namespace quorvel::config {

// The executable's directory (up to its last '\' or '/') and its file name
// with everything from the name's last '.' replaced by ".ini" (".ini"
// appended when the name has no '.'). A copy of the program under another
// name keeps its settings apart.
std::string SettingsPath(std::string_view executable_path);

// The reading rules, one per kind of key. A missing key, an empty value or
// unreadable text gives `current`, the value the setting holds.
//   integer: "0x"/"0X" at the start of a text longer than 2 becomes "$",
//            then the text is integer text;
//   boolean: an integer, any value but 0 meaning checked;
//   text:    the stored text as it is (present but empty gives empty).
int ReadIntegerKey(Profile& profile, std::string_view section, std::string_view key, int current);
bool ReadBooleanKey(Profile& profile, std::string_view section, std::string_view key, bool current);
std::string ReadTextKey(Profile& profile, std::string_view section, std::string_view key,
                        const std::string& current);

// Loads every key into the settings, in order, each with the side effects a
// user's change would have, releases the profile, then loads the sensor
// table from `table_path`. A table that cannot be loaded, for whatever
// reason, is completed silently into the default table; a file that failed
// to load is kept beside it first (LoadSensorTableKeepingRefused), and if
// that fails the table is never saved over it.
void ReadIni(Profile& profile, Settings& settings,
             const std::string& table_path = kSensorTableFile);

// Writes every key in order, releases the profile, then saves the table
// (silently: a failed save leaves the old file; a protected table file is
// left as it is). A value the profile refuses
// stops the writing at once: the result is "Unable to write to <path>".
std::optional<std::string> WriteIni(Profile& profile, const Settings& settings,
                                    std::string_view settings_path, std::int32_t table_id,
                                    const std::string& table_path = kSensorTableFile);

}  // namespace quorvel::config
