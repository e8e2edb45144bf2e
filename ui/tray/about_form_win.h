// The About box: the product, the maker's notice, the author and three
// links opened by the shell. Made once at start, shown modally on demand.
// Control identities: ui/tray/about_form_ids.h.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "ui/gdi_object_win.h"

namespace quorvel::ui {

class TAboutForm {
 public:
  // `owner` is the main window; `instance` holds the program's icon
  // (QUORVEL_ICON_ID), the system's application icon standing in without it.
  TAboutForm(HINSTANCE instance, HWND owner);
  ~TAboutForm();
  TAboutForm(const TAboutForm&) = delete;
  TAboutForm& operator=(const TAboutForm&) = delete;

  // Makes the window, hidden. False when it could not.
  bool Create();
  HWND Handle() const { return window_; }
  // Shows the box centred over the owner, which is disabled meanwhile;
  // returns when it has closed ("&Ok", the close box, or WM_CLOSE from any
  // thread).
  void ShowModal();

 private:
  struct Link {
    int id;
    std::wstring target;   // what the shell is asked to open
    bool visited = false;  // opened once: shown purple for the rest of the run
  };

  template <typename Owner>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  void Attach(HWND window) { window_ = window; }
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Nothing a handler here calls throws; the template needs somewhere to send it.
  void ReportError(const std::string&) {}
  void CreateControls();
  HWND AddControl(const wchar_t* window_class, const wchar_t* text, DWORD style, int id, int left,
                  int top, int width, int height, HFONT font);
  Link* FindLink(HWND control);
  // The links and the rule.
  void DrawItem(const DRAWITEMSTRUCT& item);
  void OpenLink(Link& link);
  void FormShow();
  void Close();
  void Button1Click() { Close(); }

  HINSTANCE instance_;
  HWND owner_;
  HWND window_ = nullptr;
  UniqueFont font_;
  UniqueFont link_font_;
  UniqueBitmap logo_;
  std::array<Link, 3> links_;
  bool modal_ = false;
};

}  // namespace quorvel::ui
