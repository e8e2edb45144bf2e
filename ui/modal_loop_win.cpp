#include "ui/modal_loop_win.h"

namespace quorvel::ui {

void RunModal(HWND window, HWND owner, bool& running, HWND focus) {
  ::EnableWindow(owner, FALSE);
  ::ShowWindow(window, SW_SHOW);
  ::SetActiveWindow(window);
  if (focus != nullptr) ::SetFocus(focus);
  running = true;
  MSG msg;
  while (running) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (::IsDialogMessageW(window, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  running = false;
  ::EnableWindow(owner, TRUE);
  ::ShowWindow(window, SW_HIDE);
  ::SetActiveWindow(owner);
}

}  // namespace quorvel::ui
