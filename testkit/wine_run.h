// What a test program learns about the run it is part of (see
// tools/winerun.sh): the run directory and the simulator's log.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

// A Unix path of the run as a Windows path (through drive Z:).
std::string WindowsPath(const std::string& unix_path);

// A file of the run's folder (`relative` in Unix form, "broker/ports"), as
// a Windows path.
std::string RunFile(const std::string& relative);
// A file's whole content; nothing when it cannot be read.
std::optional<std::string> FileText(const std::string& path);
// Writes `text` beside `path` and renames it into place, so that a keeper
// watching the folder never reads half of it. False, with why, when it
// cannot.
bool PlaceFile(const std::string& path, std::string_view text, std::string* error);

// The lines the simulator has logged so far, one per request it received.
std::vector<std::string> SimulatorLog();

// The simulator's time of its "T PORT port=WHAT" line for COM3 (the port
// went "away" or came "back"), if logged.
std::optional<double> SimulatorPortEvent(const std::string& what);

}  // namespace quorvel::testing
