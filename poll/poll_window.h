// What the poll cycle shows in the main window and publishes over DDE. The
// main window gives the real one; tests record what the cycle did.
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
  // The status pane, the value pane of the chosen sensor, the port pane
  // (Windows-1251 texts).
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void ShowValue(std::string_view text) = 0;
  virtual void ShowPort(std::string_view name) = 0;
  // The index chosen in the sensor selector; -1 when none is.
  virtual int SelectedSensor() const = 0;
  // Paints what changed now, before a long operation begins.
  virtual void Repaint() = 0;
  // The text of DDE item `index` (0 .. 499); linked clients are advised even
  // when it is the text the item had.
  virtual void Publish(int index, std::string_view text) = 0;
};

}  // namespace quorvel::poll
