// Starting the program with Windows: a value under the machine's Run key,
// named by the executable's file name, whose data is its full path.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::config {

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The value's name: the executable's file name with its extension, without
// its directory ('\' or '/').
std::string RunValueName(std::string_view executable_path);

// Writes the value (checked) or deletes it if it is there (unchecked). A Run
// key that cannot be opened with full access, for lack of rights say, makes
// this a silent no-op: the option then stays chosen without effect. The key
// is never created.
void RegisterStartWithWindows(bool checked, const std::string& executable_path);

}  // namespace quorvel::config
