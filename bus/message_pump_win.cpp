#include "bus/message_pump_win.h"

#include <windows.h>

#include <algorithm>
#include <array>

namespace quorvel::bus {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

// A pause shorter than a millisecond, which no wait of the message queue can
// express: NtDelayExecution counts 100 ns units. Such a pause ends before a
// message could be kept waiting long.
using NtDelayExecutionFn = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);

NtDelayExecutionFn NtDelayExecution() {
  static const auto fn = reinterpret_cast<NtDelayExecutionFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
  return fn;
}

}  // namespace

void Win32MessagePump::ProcessMessages() {
  if (queue_seen_empty_) {
    queue_seen_empty_ = false;
    return;
  }
  MSG msg;
  while (::PeekMessageW(&msg, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit_received_ = true;
      return;
    }
    if (dialog_window_ != nullptr && ::IsDialogMessageW(dialog_window_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void Win32MessagePump::Idle(std::int64_t max_ns) {
  queue_seen_empty_ = false;
  if (max_ns <= 0) return;
  if (max_ns < kNsPerMs && NtDelayExecution() != nullptr) {
    LARGE_INTEGER interval;
    interval.QuadPart = -(max_ns / 100);  // negative: relative, in 100 ns units
    NtDelayExecution()(FALSE, &interval);
    return;
  }
  // Whole milliseconds, the nearest: a wait that ends short of a deadline is
  // followed by another; one that passes it does so by less than a tick.
  const auto ms = static_cast<DWORD>(std::max<std::int64_t>(1, (max_ns + kNsPerMs / 2) / kNsPerMs));
  const DWORD woken =
      ::MsgWaitForMultipleObjectsEx(0, /*pHandles=*/nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  queue_seen_empty_ = woken == WAIT_TIMEOUT;
}

void Win32MessagePump::IdleUntil(std::int64_t max_ns, std::span<const WakeSignal> signals) {
  queue_seen_empty_ = false;
  if (max_ns <= 0) return;
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS - 1> handles{};
  const std::size_t count = std::min(signals.size(), handles.size());
  for (std::size_t i = 0; i < count; ++i) handles[i] = reinterpret_cast<HANDLE>(signals[i]);
  // Whole milliseconds, rounded up: a signal or a message ends it early.
  const auto ms =
      static_cast<DWORD>(std::min<std::int64_t>((max_ns + kNsPerMs - 1) / kNsPerMs, INFINITE - 1));
  const DWORD woken = ::MsgWaitForMultipleObjectsEx(static_cast<DWORD>(count), handles.data(), ms,
                                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  queue_seen_empty_ = woken == WAIT_TIMEOUT;
}

}  // namespace quorvel::bus
