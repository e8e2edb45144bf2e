// A probe of the main window's menu from another process. Wine keeps a
// menu's items in the memory of the process that made it, so GetMenuState
// from another process fails there. The probe DLL is loaded into the
// program's process as a message hook of its user-interface thread and
// answers there:
//   the asker posts kMenuProbeMessage to the main window, wParam the item's
//   command identity, lParam the asker's thread id;
//   the hook, as the program's thread takes the message from its queue,
//   posts kMenuProbeMessage back to that thread, wParam the item's state
//   (GetMenuState, 0xFFFFFFFF when it could not be read), lParam the
//   identity, and the program itself sees WM_NULL instead.
#pragma once

namespace quorvel::testing {

inline constexpr wchar_t kMenuProbeMessage[] = L"QuorvelTestMenuProbe";
inline constexpr wchar_t kMenuProbeDll[] = L"menu_probe.dll";
// The WH_GETMESSAGE procedure the DLL exports.
inline constexpr char kMenuProbeHook[] = "MenuProbeHook";

}  // namespace quorvel::testing
