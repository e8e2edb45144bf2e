// The notification-area ("tray") icon of the main window: on or off as the
// user chooses; while on, a minimised program leaves the taskbar and comes
// back with a left double click on the icon.
//
// The icon belongs to a hidden top-level window of its own (ui/tray/
// tray_icon_ids.h), which takes the shell's callback and its "TaskbarCreated"
// broadcast (sent to top-level windows only: a message-only window would miss
// it). The main window's minimise is seen through a subclass, so its own
// window procedure knows nothing of the icon.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace quorvel::ui {

class TrayIcon {
 public:
  // `main_window` is the window that minimises and is restored; it must
  // belong to the calling thread. `tooltip` is taken only when shorter than
  // 64 characters. The icon is off until SetActive(true).
  TrayIcon(HINSTANCE instance, HWND main_window, HICON icon, const std::wstring& tooltip);
  // Removes the icon if it is on, and the subclass of the main window.
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Switches the icon on or off. The state keeps the chosen value even when
  // the shell refuses: then the result is "Cannot create Shell Notification
  // Icon" or "Cannot remove Shell Notification Icon".
  std::optional<std::string> SetActive(bool on);
  bool Active() const { return active_; }

  // Takes a tooltip shorter than 64 characters and shows it at once if the
  // icon is on; false, keeping the previous one, for a longer one.
  bool SetTooltip(const std::wstring& tooltip);
  const std::wstring& Tooltip() const { return tooltip_; }

  // The hidden window that owns the icon; null if it could not be made.
  HWND MessageWindow() const { return window_; }
  // Whether the shell holds the icon of such a window, of any process (it
  // accepts an empty change only of an icon that is there).
  static bool ShellHolds(HWND message_window);

 private:
  template <typename Owner>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK MainWindowSubclass(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam, UINT_PTR id, DWORD_PTR data);
  void Attach(HWND window) { window_ = window; }
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // The handlers call only the shell and the window manager, which do not
  // throw: nothing reaches this.
  void ReportError(const std::string&) {}
  bool Notify(DWORD action, UINT flags) const;
  void Restore() const;

  HINSTANCE instance_;
  HWND main_window_;
  HICON icon_;
  std::wstring tooltip_;
  bool active_ = false;
  // Whether the shell holds our icon, as far as its answers tell.
  bool added_ = false;
  bool subclassed_ = false;
  UINT taskbar_created_ = 0;
  HWND window_ = nullptr;
};

}  // namespace quorvel::ui
