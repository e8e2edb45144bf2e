// The workbook launch at start-up: the spreadsheet application, reused when
// one runs, gets a new workbook made from the chosen file and is shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::app {

// Runs the launch with `path` (Windows-1251, passed exactly as stored).
// Nothing on success; the message for the error dialog on a failure, after
// every reference was released. COM must be initialised on the thread.
std::optional<std::string> LaunchWorkbook(std::string_view path);

}  // namespace quorvel::app
