// A process start that Wine's own start-up broke is made again. On a loaded
// machine, about one start in some thousands fails with ERROR_INTERNAL_ERROR:
// the new process ended inside Wine before any code of the program ran, so
// nothing of it is repeated. Any other failure is the caller's to report.
#pragma once

#include <windows.h>

namespace quorvel::testing {

inline constexpr int kProcessStartTries = 3;

// `start` makes one CreateProcess call and returns its result; the last
// error is that call's.
template <typename Start>
BOOL StartProcess(const Start& start) {
  for (int tries = 1;; ++tries) {
    if (start()) return TRUE;
    if (::GetLastError() != ERROR_INTERNAL_ERROR || tries == kProcessStartTries) return FALSE;
  }
}

}  // namespace quorvel::testing
