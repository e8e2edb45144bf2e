// One copy of the program per executable file name. A running copy is
// published in the global atom table under its executable's file name
// (name and extension, any case); a named mutex of the lower-cased name is
// its owner, which the system releases with the process, so a copy that was
// killed or crashed does not lock its name: its atom is taken over by the
// next copy.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/kernel_handle_win.h"

namespace quorvel::app {

// The registration name: the file name part of the executable's path.
std::string RegistrationName(std::string_view executable_path);

class SingleInstance {
 public:
  explicit SingleInstance(std::string name);
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when a live copy of this name runs; nothing is registered then.
  // Otherwise the name is registered (its atom added, or taken over from a
  // copy that ended without releasing it).
  bool AlreadyRunning();
  // Deletes the atom and gives up the ownership; no effect when not
  // registered.
  void Release();

 private:
  std::string name_;
  UniqueKernelHandle owner_;
};

}  // namespace quorvel::app
