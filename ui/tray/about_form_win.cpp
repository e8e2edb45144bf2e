#include "ui/tray/about_form_win.h"

#include <shellapi.h>

#include <iterator>
#include <utility>

#include "base/cp1251.h"
#include "base/wide_win.h"
#include "ui/form_captions.h"
#include "ui/modal_loop_win.h"
#include "ui/resource_ids.h"
#include "ui/tray/about_form_ids.h"
#include "ui/tray/about_logo_win.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

namespace {

constexpr int kClientWidth = 318;
constexpr int kClientHeight = 111;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr int kLineHeight = 13;

constexpr wchar_t kAuthorMail[] = L"author@quorvel.example";
constexpr wchar_t kWebPage[] = L"http://www.quorvel.example/";
constexpr wchar_t kMakerMail[] = L"support@quorvel.example";

constexpr COLORREF kVisitedColour = RGB(128, 0, 128);

// The width of a line of text in the font, as an auto-sized label has it.
int TextWidth(HFONT font, const wchar_t* text) {
  const UniqueScreenDc dc(::GetDC(/*hWnd=*/nullptr));
  const HGDIOBJ old = ::SelectObject(dc.get(), font);
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), text, ::lstrlenW(text), &size);
  ::SelectObject(dc.get(), old);
  return size.cx;
}

}  // namespace

TAboutForm::TAboutForm(HINSTANCE instance, HWND owner)
    : instance_(instance),
      owner_(owner),
      links_{{{kAboutAuthorMailId, kAuthorMail},
              {kAboutWebId, kWebPage},
              {kAboutMailId, kMakerMail}}} {}

TAboutForm::~TAboutForm() {
  // Before the logo goes: the picture control shows it until then.
  if (window_ != nullptr) ::DestroyWindow(window_);
}

bool TAboutForm::Create() {
  HICON icon = ::LoadIconW(instance_, MAKEINTRESOURCEW(QUORVEL_ICON_ID));
  if (icon == nullptr) icon = ::LoadIconW(/*hInstance=*/nullptr, IDI_APPLICATION);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ObjectWindowProc<TAboutForm>;
  window_class.hInstance = instance_;
  window_class.hIcon = icon;
  window_class.hCursor = ::LoadCursorW(/*hInstance=*/nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kAboutFormClass;
  if (::RegisterClassExW(&window_class) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }

  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, kStyle, /*bMenu=*/FALSE, kExStyle);
  ::CreateWindowExW(kExStyle, kAboutFormClass, Wide(cp1251::ToUtf16(kAboutFormCaption)), kStyle,
                    CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                    frame.bottom - frame.top, owner_,
                    /*hMenu=*/nullptr, instance_, this);
  if (window_ == nullptr) return false;
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  CreateControls();
  return true;
}

HWND TAboutForm::AddControl(const wchar_t* window_class, const wchar_t* text, DWORD style, int id,
                            int left, int top, int width, int height, HFONT font) {
  const HWND control = ::CreateWindowExW(
      0, window_class, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, /*lpParam=*/nullptr);
  if (control != nullptr) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  return control;
}

void TAboutForm::CreateControls() {
  const auto make_font = [](bool underlined) {
    return UniqueFont(::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, underlined ? TRUE : FALSE,
                                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
  };
  font_ = make_font(false);
  link_font_ = make_font(true);

  // The logo is drawn from the largest of the program's icons.
  UniqueIcon large(static_cast<HICON>(
      ::LoadImageW(instance_, MAKEINTRESOURCEW(QUORVEL_ICON_ID), IMAGE_ICON, 48, 48, 0)));
  logo_ = MakeAboutLogo(large ? large.get() : ::LoadIconW(/*hInstance=*/nullptr, IDI_APPLICATION));
  const HWND picture = AddControl(L"STATIC", L"", SS_BITMAP, kAboutImage1Id, 2, 0, kLogoWidth,
                                  kLogoHeight, font_.get());
  ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_.get()));

  // Labels and links are as wide as their text, as auto-sized ones are: a
  // link is clicked on its text only.
  struct Text {
    int id;
    const wchar_t* text;
    int left, top;
    bool link;
  };
  const Text texts[] = {
      {kAboutLabel1Id, kApplicationTitle, 102, 1, false},
      {kAboutLabel2Id, L"© 2026 Quorvel Instruments", 102, 17, false},
      {kAboutLabel3Id, L"Автор:", 102, 33, false},
      {kAboutAuthorMailId, kAuthorMail, 192, 32, true},
      {kAboutLabel4Id, L"Web Page: ", 102, 49, false},
      {kAboutWebId, kWebPage, 192, 48, true},
      {kAboutLabel5Id, L"E-mail:", 126, 65, false},
      {kAboutMailId, kMakerMail, 192, 64, true},
  };
  for (const Text& t : texts) {
    const HFONT font = t.link ? link_font_.get() : font_.get();
    // Links draw themselves (WM_DRAWITEM) in their colour, and report clicks.
    const DWORD style = SS_NOPREFIX | (t.link ? SS_OWNERDRAW | SS_NOTIFY : SS_LEFT);
    AddControl(L"STATIC", t.text, style, t.id, t.left, t.top, TextWidth(font, t.text) + 1,
               kLineHeight, font);
  }
  // Drawn here (WM_DRAWITEM): an etched static may change its own size.
  AddControl(L"STATIC", L"", SS_OWNERDRAW, kAboutBevel1Id, 102, 81, 211, 2, font_.get());
  // The only control that takes the focus.
  AddControl(L"BUTTON", L"&Ok", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, kAboutButton1Id, 247, 86,
             63, 21, font_.get());
}

TAboutForm::Link* TAboutForm::FindLink(HWND control) {
  for (Link& link : links_) {
    if (control != nullptr && ::GetDlgItem(window_, link.id) == control) return &link;
  }
  return nullptr;
}

void TAboutForm::DrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID == kAboutBevel1Id) {
    RECT line = item.rcItem;
    ::DrawEdge(item.hDC, &line, EDGE_ETCHED, BF_TOP);
    return;
  }
  const Link* link = FindLink(item.hwndItem);
  if (link == nullptr) return;
  wchar_t text[128] = {};
  ::GetWindowTextW(item.hwndItem, text, static_cast<int>(std::size(text)));
  ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
  const HGDIOBJ old = ::SelectObject(item.hDC, link_font_.get());
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, link->visited ? kVisitedColour : ::GetSysColor(COLOR_HIGHLIGHT));
  RECT bounds = item.rcItem;
  ::DrawTextW(item.hDC, text, -1, &bounds, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(item.hDC, old);
}

void TAboutForm::OpenLink(Link& link) {
  // The shell shows nothing of its own when it cannot open the target, and
  // neither do we.
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_FLAG_NO_UI;
  execute.hwnd = window_;
  execute.lpVerb = L"Open";
  execute.lpFile = link.target.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&execute)) return;
  link.visited = true;
  ::InvalidateRect(::GetDlgItem(window_, link.id), /*lpRect=*/nullptr, TRUE);
}

void TAboutForm::ShowModal() {
  if (window_ == nullptr) return;
  FormShow();
  RunModal(window_, owner_, modal_, ::GetDlgItem(window_, kAboutButton1Id));
}

void TAboutForm::FormShow() {
  RECT box;
  ::GetWindowRect(window_, &box);
  RECT over{};
  if (owner_ == nullptr || !::GetWindowRect(owner_, &over)) {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
  }
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  const int left = over.left + (over.right - over.left - width) / 2;
  const int top = over.top + (over.bottom - over.top - height) / 2;
  ::SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TAboutForm::Close() {
  // A close sent from another thread is handled inside GetMessage, which
  // would go on waiting: the modal loop is woken to see it.
  if (std::exchange(modal_, false)) ::PostMessageW(window_, WM_NULL, 0, 0);
}

LRESULT TAboutForm::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (id == kAboutButton1Id && code == BN_CLICKED) {
        Button1Click();
      } else if (code == STN_CLICKED) {
        if (Link* link = FindLink(reinterpret_cast<HWND>(lparam))) OpenLink(*link);
      }
      return 0;
    }
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_SETCURSOR:
      if (FindLink(reinterpret_cast<HWND>(wparam)) != nullptr) {
        ::SetCursor(::LoadCursorW(/*hInstance=*/nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // The focus goes back to the only control that takes it.
      if (LOWORD(wparam) != WA_INACTIVE) ::SetFocus(::GetDlgItem(window_, kAboutButton1Id));
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace quorvel::ui
