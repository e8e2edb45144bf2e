// Identities of the line monitor's window and controls, and the messages
// that test programs in other processes drive it with (they carry no
// pointers: what comes back goes through the clipboard, as a user's copy).
#pragma once

#include <windows.h>

namespace quorvel::ui {

inline constexpr wchar_t kMonitorFormClass[] = L"QuorvelMonitor";

inline constexpr int kMonitorSummaryId = 301;  // pass time, readings a second, MQTT, log
inline constexpr int kMonitorTableId = 302;    // the sensors and devices
inline constexpr int kMonitorTrafficId = 303;  // the requests and replies
inline constexpr int kMonitorPauseId = 304;    // "Пауза", a push-like check box
inline constexpr int kMonitorClearId = 305;    // "Очистить"
inline constexpr int kMonitorCopyId = 306;     // "Копировать" the selected lines
inline constexpr int kMonitorHexId = 307;      // "HEX", a push-like check box
inline constexpr int kMonitorDeviceId = 308;   // the device filter
inline constexpr int kMonitorResetId = 309;    // "Сбросить счётчики"

// Puts the whole table, a tab-separated line per row under a line of the
// column titles, on the clipboard as text; TRUE when it did.
inline constexpr UINT kMonitorCopyTable = WM_APP + 50;
// Selects every traffic line the view shows and copies them, as the button
// does; TRUE when it did.
inline constexpr UINT kMonitorCopyTraffic = WM_APP + 51;
// The views brought up to date now, not at the next tick.
inline constexpr UINT kMonitorRefresh = WM_APP + 52;

}  // namespace quorvel::ui
