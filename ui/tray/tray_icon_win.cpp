#include "ui/tray/tray_icon_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "ui/tray/tray_icon_ids.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

namespace {

// Posted by the subclass once the main window has minimised: hiding it
// inside its own WM_SIZE would nest a second show in the minimise.
constexpr UINT kHideMainMessage = WM_APP + 2;
constexpr UINT_PTR kSubclassId = 1;

// Characters of a tooltip, its terminator included: the first shells' limit,
// which the program keeps though newer ones take 128.
constexpr std::size_t kTooltipCapacity = 64;

}  // namespace

TrayIcon::TrayIcon(HINSTANCE instance, HWND main_window, HICON icon, const std::wstring& tooltip)
    : instance_(instance), main_window_(main_window), icon_(icon) {
  SetTooltip(tooltip);
  taskbar_created_ = ::RegisterWindowMessageW(L"TaskbarCreated");

  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ObjectWindowProc<TrayIcon>;
  window_class.hInstance = instance_;
  window_class.lpszClassName = kTrayWindowClass;
  // A second icon of the same program finds the class there already.
  if (::RegisterClassExW(&window_class) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    // Top-level and never shown: no taskbar button, yet it gets broadcasts.
    ::CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, L"", WS_POPUP, 0, 0, 0, 0,
                      /*hWndParent=*/nullptr, /*hMenu=*/nullptr, instance_, this);
  }
  subclassed_ = ::SetWindowSubclass(main_window_, MainWindowSubclass, kSubclassId,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

TrayIcon::~TrayIcon() {
  if (added_) Notify(NIM_DELETE, 0);
  if (subclassed_) ::RemoveWindowSubclass(main_window_, MainWindowSubclass, kSubclassId);
  if (window_ != nullptr) ::DestroyWindow(window_);
}

std::optional<std::string> TrayIcon::SetActive(bool on) {
  active_ = on;
  if (on) {
    if (added_) return std::nullopt;
    added_ = Notify(NIM_ADD, NIF_ICON | NIF_TIP | NIF_MESSAGE);
    if (!added_) return "Cannot create Shell Notification Icon";
  } else {
    if (!added_) return std::nullopt;
    added_ = false;
    if (!Notify(NIM_DELETE, 0)) return "Cannot remove Shell Notification Icon";
  }
  return std::nullopt;
}

bool TrayIcon::SetTooltip(const std::wstring& tooltip) {
  if (tooltip.size() >= kTooltipCapacity) return false;
  tooltip_ = tooltip;
  if (added_) Notify(NIM_MODIFY, NIF_TIP);
  return true;
}

bool TrayIcon::Notify(DWORD action, UINT flags) const {
  if (window_ == nullptr) return false;
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = window_;
  nid.uID = kTrayIconUid;
  nid.uFlags = flags;
  nid.uCallbackMessage = kTrayCallbackMessage;
  nid.hIcon = icon_;
  std::wcsncpy(nid.szTip, tooltip_.c_str(), kTooltipCapacity - 1);
  return ::Shell_NotifyIconW(action, &nid) != FALSE;
}

bool TrayIcon::ShellHolds(HWND message_window) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = message_window;
  nid.uID = kTrayIconUid;
  return ::Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

void TrayIcon::Restore() const {
  // A hidden minimised window comes back in the state it left (restored or
  // maximised), with its taskbar button; a shown one is only brought up.
  if (::IsIconic(main_window_) || !::IsWindowVisible(main_window_)) {
    ::ShowWindow(main_window_, SW_RESTORE);
  }
  ::SetForegroundWindow(main_window_);
}

LRESULT TrayIcon::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTrayCallbackMessage) {
    if (active_ && wparam == kTrayIconUid && LOWORD(lparam) == WM_LBUTTONDBLCLK) Restore();
    return 0;
  }
  if (message == kHideMainMessage) {
    if (active_ && ::IsIconic(main_window_)) ::ShowWindow(main_window_, SW_HIDE);
    return 0;
  }
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    // A new shell holds none of the old icons; a refusal now has no one to
    // tell and the next broadcast tries again.
    if (active_) added_ = Notify(NIM_ADD, NIF_ICON | NIF_TIP | NIF_MESSAGE);
    return 0;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CALLBACK TrayIcon::MainWindowSubclass(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam, UINT_PTR /*id*/, DWORD_PTR data) {
  auto* self = reinterpret_cast<TrayIcon*>(data);
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, MainWindowSubclass, kSubclassId);
    self->subclassed_ = false;
  } else if (message == WM_SIZE && wparam == SIZE_MINIMIZED && self->active_ &&
             self->window_ != nullptr) {
    ::PostMessageW(self->window_, kHideMainMessage, 0, 0);
  }
  return ::DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace quorvel::ui
