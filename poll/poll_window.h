// What the poll cycle controls in the main window while a run starts and
// ends: the button, the Settings item and the status pane. What each reading
// shows goes to the sinks instead (poll/reading.h). The main window gives the
// real one; tests record what the cycle did.
#pragma once

#include <string_view>

namespace quorvel::poll {

class PollWindow {
 public:
  virtual ~PollWindow() = default;
  // The Start-Stop button: "Старт" with image 0, or "Стоп" with image 1.
  virtual void ShowRunButton(bool polling) = 0;
  // The Settings menu item.
  virtual bool SetupEnabled() const = 0;
  virtual void EnableSetup(bool enabled) = 0;
  // The status pane (a Windows-1251 text).
  virtual void ShowStatus(std::string_view text) = 0;
  // Paints what changed now, before a long operation begins.
  virtual void Repaint() = 0;
};

}  // namespace quorvel::poll
