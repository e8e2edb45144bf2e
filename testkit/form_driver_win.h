// What the end-to-end tests of the main window add to driving Quorvel.exe
// from another process (testkit/quorvel_remote_win.h): a folder of the
// run for each test, and the state of a menu item, which only the program's
// own process can read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "testkit/quorvel_remote_win.h"

namespace quorvel::testing {

// Quorvel.exe of this build.
std::string ProgramPath();

// The folder of the run (QUORVEL_RUN) for one test, "<run>\main_form\<name>\"
// as a Windows path, with its parent made (remote::PrepareFolder makes the
// folder itself). Nothing with `error` set when there is no run or the
// parent could not be made.
std::optional<std::string> ProgramFolder(const std::string& name, std::string* error);

// The state bits (MF_GRAYED, MF_DISABLED, ...) of an item of the program's
// main menu, or nothing when they could not be read. Read through
// menu_probe.dll of the test kit's build folder (testkit/menu_probe_win.h).
std::optional<UINT> MenuItemState(const remote::RemoteQuorvel& program, int id);

}  // namespace quorvel::testing
