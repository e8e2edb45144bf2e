// Identities of the main window's controls and menu items. Test programs in
// other processes find the controls by them.
#pragma once

namespace quorvel::ui {

inline constexpr wchar_t kMainFormClass[] = L"TForm1";
// The flat status bar that holds the clock and status panes.
inline constexpr wchar_t kStatusBarClass[] = L"TRzStatusBar";

inline constexpr int kStaticText3Id = 101;     // port pane
inline constexpr int kCB1Id = 102;             // sensor selector
inline constexpr int kStaticText2Id = 103;     // value of the chosen sensor
inline constexpr int kSB1Id = 104;             // Start-Stop button
inline constexpr int kRzClockStatus1Id = 105;  // clock pane, in the status bar
inline constexpr int kRzStatusPane1Id = 106;   // status pane, in the status bar
inline constexpr int kRzStatusBar1Id = 107;    // status bar

inline constexpr int kSetup1Id = 201;  // "Настройки"
inline constexpr int kN2Id = 202;      // "Вызов справки"
inline constexpr int kN4Id = 203;      // "О программе"
inline constexpr int kMonitorMenuId = 204;  // "Монитор обмена"

}  // namespace quorvel::ui
