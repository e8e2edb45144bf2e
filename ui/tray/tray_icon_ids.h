// What other processes (tests among them) need to find the notification-area
// icon: the hidden window that owns it, found by its class and process, and
// the icon's identity under that window. With the pair (window, identity)
// the shell's icon can be asked about (NIM_MODIFY fails for an icon that is
// not there).
#pragma once

namespace quorvel::ui {

inline constexpr wchar_t kTrayWindowClass[] = L"QuorvelTrayWindow";
inline constexpr unsigned kTrayIconUid = 1;
// The shell's callback message to that window (WM_APP + 1); its lParam is
// the mouse message (WM_LBUTTONDBLCLK, ...).
inline constexpr unsigned kTrayCallbackMessage = 0x8000 + 1;

}  // namespace quorvel::ui
