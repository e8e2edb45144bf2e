#include "bus/message_pump_win.h"

#include <windows.h>

namespace quorvel::bus {

void Win32MessagePump::ProcessMessages() {
  if (queue_seen_empty_) {
    queue_seen_empty_ = false;
    return;
  }
  MSG msg;
  while (::PeekMessageW(&msg, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit_received_ = true;
      quit_code_ = static_cast<int>(msg.wParam);
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void Win32MessagePump::Idle(std::int64_t max_ns) {
  if (max_ns <= 0) return;
  // Whole milliseconds, rounded up: the wait may pass a deadline by less
  // than a tick, never stop short of it.
  const auto ms = static_cast<DWORD>((max_ns + 999'999) / 1'000'000);
  const DWORD woken =
      ::MsgWaitForMultipleObjectsEx(0, /*pHandles=*/nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  queue_seen_empty_ = woken == WAIT_TIMEOUT;
}

}  // namespace quorvel::bus
