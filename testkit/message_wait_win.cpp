#include "testkit/message_wait_win.h"

#include <algorithm>

namespace quorvel::remote {

namespace {

// How late PumpUntil sees a change that signals nothing (a window or a text
// of another process, a file another process writes).
constexpr DWORD kLookMs = 10;

// Waits for a message, or `handle` if not null, for at most `ms`.
void WaitForInput(HANDLE handle, DWORD ms) {
  ::MsgWaitForMultipleObjectsEx(handle != nullptr ? 1 : 0, handle != nullptr ? &handle : nullptr,
                                ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace

void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, HANDLE wake) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    PumpMessages();
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return done();
    WaitForInput(wake, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kLookMs)));
  }
}

bool PumpFor(DWORD ms, HANDLE stop) {
  const ULONGLONG deadline = ms == INFINITE ? ~0ULL : ::GetTickCount64() + ms;
  for (;;) {
    PumpMessages();
    if (stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return false;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return true;
    WaitForInput(stop, ms == INFINITE
                           ? INFINITE
                           : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 60'000)));
  }
}

}  // namespace quorvel::remote
