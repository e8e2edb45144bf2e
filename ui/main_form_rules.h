// What the main window decides, apart from the window plumbing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::ui {

// True when an argument, its letters A to Z lowered, is "/k": the switch
// that unlocks the Settings menu item. Other arguments are ignored.
bool HasSetupSwitch(const std::vector<std::string>& arguments);

// The clock pane: "h:nn:ss", the hour without a leading zero.
std::string ClockText(int hour, int minute, int second);

// The help file: the executable's folder, with its trailing separator,
// followed by "Quorvel.hlp".
std::string HelpFilePath(std::string_view executable_path);
// The user's guide the program is installed with: "doc\guide.html" in the
// executable's folder.
std::string GuideFilePath(std::string_view executable_path);

// The program's decimal separator from the locale's LOCALE_SDECIMAL value
// (already in Windows-1251): its first character, "." when it is empty.
char DecimalSeparatorOf(std::string_view locale_value);

// A top-level window's placement (its normal position) is in workspace
// coordinates: relative to the top-left corner of the work area of the
// window's monitor, which a taskbar at the top or the left moves away from
// the monitor's corner. The stored position, like every position the
// window is moved to, is in screen coordinates.
struct ScreenPoint {
  int x;
  int y;
  bool operator==(const ScreenPoint&) const = default;
};
struct Corner {
  int left;
  int top;
};
ScreenPoint ScreenFromWorkspace(ScreenPoint workspace, Corner work_area, Corner monitor);

// The general error report's text: a full stop appended when the last
// character sorts after the full stop.
std::string ErrorReportText(std::string text);

}  // namespace quorvel::ui
