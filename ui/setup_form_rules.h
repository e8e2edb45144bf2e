// What the settings dialog's handlers do with the settings, the sensor table
// and the DDE names, apart from its controls. The dialog and the program's
// start-up call these; the host is what lies outside the dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "poll/dde_components.h"

namespace quorvel::ui {

enum class SetupWarning {
  kTableNotNumeric,  // "Все параметры должны быть численными!", title "Warning", "Cancel"
  kNoWorkbookFile,   // the two-line workbook warning, title "Warning", "OK"
};
std::string SetupWarningText(SetupWarning warning);

class SetupFormHost {
 public:
  virtual ~SetupFormHost() = default;
  // The main window's port pane.
  virtual void ShowPortName(std::string_view name) = 0;
  // The main window's sensor list, rebuilt from the table.
  virtual void FillSensorList() = 0;
  virtual void Warn(SetupWarning warning) = 0;
  // The program's general error report.
  virtual void ReportError(const std::string& text) = 0;
  // The broker link, in Windows-1251. The state is asked twice a second
  // while the dialog shows; the defaults are what an empty client
  // identifier or topic root stands for, shown in those boxes when empty.
  // Empty for none.
  virtual std::string MqttStateText() { return {}; }
  // The reading log's state, Windows-1251: writing, off, or stopped and why.
  virtual std::string LogStateText() { return {}; }
  // The OPC UA server's state and its certificate's thumbprint (hex, empty
  // before it has one), Windows-1251.
  virtual std::string OpcUaStateText() { return {}; }
  virtual std::string OpcUaThumbprint() { return {}; }
  virtual std::string MqttDefaultClientId() { return {}; }
  virtual std::string MqttDefaultTopicRoot() { return {}; }
  // The DDE topic has its name from the settings (the default topic root
  // follows it).
  virtual void TopicNamed() {}
};

// The item names from the prefix, every value reset to " --.-"; then the
// topic. A refused name is reported and the rest still takes effect; a
// refused prefix changes no item. False when a name was refused.
bool NameDdeComponents(const config::Settings& settings, poll::DdeComponents& dde,
                       SetupFormHost& host);

// The dialog's creation after the settings file was read: the DDE names and
// the port name. (The line speed is read from the settings as a port opens.)
void ApplyStoredSettings(const config::Settings& settings, poll::DdeComponents& dde,
                         SetupFormHost& host);

// OK: the table must be valid; then the port name, the item names (values
// reset to " --.-"), the table's names, the topic and the workbook check.
// A refused name is reported and skips every later step. True when the
// dialog may close (the close then runs FormClose).
bool OkB1Click(config::Settings& settings, poll::DdeComponents& dde, SetupFormHost& host);

// Any close: the main window's list is rebuilt, then the table must be valid.
bool FormClose(const config::Settings& settings, SetupFormHost& host);

// The number boxes (sensor count, reply time-out, cycle interval, the
// demotion's two): their text read as a number, text that cannot be read
// giving the minimum.
int SpinValue(std::string_view text, config::Range range);
// That value held within the range.
int SpinHeldValue(std::string_view text, config::Range range);
// The text a box is left with when it loses the focus: its value held
// within the range.
std::string SpinHeldText(std::string_view text, config::Range range);
// The text after the spin buttons step the box by `delta`, within the range.
std::string SpinSteppedText(std::string_view text, int delta, config::Range range);

// The hint of a grid cell: the header's address and channel cells have one.
std::string SG1GridHint(int row, int col);

}  // namespace quorvel::ui
