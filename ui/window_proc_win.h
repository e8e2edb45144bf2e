// The window procedure of a window run by an object: the object passed as
// the creation parameter is kept in the window's GWLP_USERDATA from
// WM_NCCREATE on and handles every message. Nothing leaves the procedure by
// exception: what escapes a handler goes to the object's error report (the
// program's general one), and the program goes on.
//
// The object provides, to this template as a friend:
//   void Attach(HWND window);   the window at WM_NCCREATE, null once it has gone
//   LRESULT OnMessage(UINT, WPARAM, LPARAM);
//   void ReportError(const std::string& text);
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace quorvel::ui {

template <typename Owner>
LRESULT CALLBACK ObjectWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* owner = static_cast<Owner*>(create->lpCreateParams);
    owner->Attach(window);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
  }
  auto* owner = reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (owner == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // The last message: the object no longer has a window.
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    owner->Attach(nullptr);
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  try {
    return owner->OnMessage(message, wparam, lparam);
  } catch (const std::exception& error) {
    owner->ReportError(error.what());
  } catch (...) {
    owner->ReportError("Unknown error");
  }
  return 0;
}

}  // namespace quorvel::ui
