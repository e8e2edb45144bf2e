// menu_probe.dll: the hook side of the menu probe (testkit/menu_probe_win.h).
// It runs inside the program under test: no C++ runtime, only user32 calls.
#include "testkit/menu_probe_win.h"

#include <windows.h>

extern "C" LRESULT CALLBACK MenuProbeHook(int code, WPARAM removal, LPARAM message) {
  auto* msg = reinterpret_cast<MSG*>(message);
  const UINT probe = ::RegisterWindowMessageW(quorvel::testing::kMenuProbeMessage);
  // Answered once, when the message leaves the queue.
  if (code == HC_ACTION && removal == PM_REMOVE && msg->message == probe) {
    const UINT id = static_cast<UINT>(msg->wParam);
    const HMENU menu = ::GetMenu(msg->hwnd);
    const UINT state = menu != nullptr ? ::GetMenuState(menu, id, MF_BYCOMMAND) : 0xFFFFFFFFu;
    ::PostThreadMessageW(static_cast<DWORD>(msg->lParam), probe, state, id);
    msg->message = WM_NULL;
  }
  return ::CallNextHookEx(/*hhk=*/nullptr, code, removal, message);
}
