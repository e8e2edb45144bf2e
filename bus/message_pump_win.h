// The thread's window message pump, run from inside long operations (the
// port opening, every exchange, the wait between poll cycles).
#pragma once

#include <windows.h>

#include "bus/port_driver.h"

namespace quorvel::bus {

class Win32MessagePump final : public MessagePump {
 public:
  void ProcessMessages() override;
  // Waits in MsgWaitForMultipleObjectsEx, which returns as soon as a message
  // is waiting, so a message is handled at once and not a tick later. A wait
  // under a millisecond (a character time on a fast line) is a plain pause.
  void Idle(std::int64_t max_ns) override;
  // The same wait, over the signals' events as well.
  void IdleUntil(std::int64_t max_ns, std::span<const WakeSignal> signals) override;

  // Keyboard navigation (Tab between controls, the default button) for this
  // window's controls, as the main message loop gives it.
  void set_dialog_window(HWND window) { dialog_window_ = window; }

  // A WM_QUIT taken from the queue by a nested pump; the main loop ends on it.
  bool quit_received() const { return quit_received_; }

 private:
  // Set when an Idle ended with no message waiting: the queue was empty a
  // moment ago, so the next ProcessMessages has nothing to do. Looking costs
  // a wineserver round trip under Wine, on every pass of the wait.
  bool queue_seen_empty_ = false;
  HWND dialog_window_ = nullptr;
  bool quit_received_ = false;
};

}  // namespace quorvel::bus
