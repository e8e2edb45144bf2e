// A crash ends a test program at once, with a line on stderr: under Wine the
// debugger that would start instead keeps the run waiting to its time-out.
#pragma once

namespace quorvel::testing {

// Installs the handler; returns true, so a file can install it as it loads:
//   [[maybe_unused]] const bool g_exit_on_crash = ExitOnCrash();
bool ExitOnCrash();

}  // namespace quorvel::testing
