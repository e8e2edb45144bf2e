#include "ui/message_dialog_win.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "base/wide_win.h"
#include "ui/gdi_object_win.h"

namespace quorvel::ui {
namespace {

// The layout, in pixels of the client area.
constexpr int kMargin = 12;
constexpr int kIconToText = 12;
constexpr int kTextToButtons = 16;
constexpr int kButtonGap = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonPadding = 8;  // each side of a caption too wide for kButtonWidth
constexpr int kMaxTextWidth = 400;

// Predefined window classes of dialog template items.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

constexpr DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND;

// What the dialog procedure needs; lives on ShowMessageDialog's stack for the
// whole modal loop.
struct DialogState {
  std::u16string_view text;
  HICON icon = nullptr;  // a shared system icon: never destroyed
  UINT sound = MB_OK;
  HFONT font = nullptr;
  std::span<const DialogButton> buttons;
  int dismiss_id = 0;
};

// An in-memory DLGTEMPLATE with its items. The layout is little-endian WORDs:
//   header:  DWORD style, DWORD ex_style, WORD item_count, short x, y, cx, cy,
//            WORD menu (0), WORD class (0: the dialog class), title (UTF-16, NUL)
//   item:    (DWORD-aligned) DWORD style, DWORD ex_style, short x, y, cx, cy,
//            WORD id, WORD 0xFFFF + WORD class atom, title (UTF-16, NUL),
//            WORD creation-data size (0)
// Positions and sizes are in dialog units; they are all replaced in pixels at
// WM_INITDIALOG, so the items are made empty.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, std::u16string_view title) {
    Dword(style);
    Dword(0);  // extended style
    count_at_ = words_.size();
    Word(0);                              // item count, kept by AddItem
    for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy
    Word(0);                              // no menu
    Word(0);                              // the dialog class
    Text(title);
  }

  void AddItem(DWORD style, int id, WORD window_class, std::u16string_view title) {
    if (words_.size() % 2 != 0) Word(0);
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);                             // extended style
    for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy
    Word(static_cast<WORD>(id));
    Word(0xFFFF);
    Word(window_class);
    Text(title);
    Word(0);  // no creation data
    ++words_[count_at_];
  }

  // Aligned as DLGTEMPLATE needs: the vector's storage comes from operator new.
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD word) { words_.push_back(word); }
  void Dword(DWORD dword) {
    Word(LOWORD(dword));
    Word(HIWORD(dword));
  }
  // A NUL inside the text would end it early: it is dropped.
  void Text(std::u16string_view text) {
    for (char16_t c : text) {
      if (c != u'\0') Word(c);
    }
    Word(0);
  }

  std::vector<WORD> words_;
  std::size_t count_at_ = 0;
};

int Length(std::u16string_view text) {
  return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
}

HICON SystemIcon(DialogIcon icon) {
  switch (icon) {
    case DialogIcon::kError:
      return ::LoadIconW(/*hInstance=*/nullptr, IDI_ERROR);
    case DialogIcon::kWarning:
      return ::LoadIconW(/*hInstance=*/nullptr, IDI_WARNING);
    case DialogIcon::kInformation:
      return ::LoadIconW(/*hInstance=*/nullptr, IDI_INFORMATION);
    case DialogIcon::kQuestion:
      return ::LoadIconW(/*hInstance=*/nullptr, IDI_QUESTION);
    case DialogIcon::kNone:
      break;
  }
  return nullptr;
}

// The sound a message box with that icon plays; MB_OK is the default beep.
UINT SystemSound(DialogIcon icon) {
  switch (icon) {
    case DialogIcon::kError:
      return MB_ICONERROR;
    case DialogIcon::kWarning:
      return MB_ICONWARNING;
    case DialogIcon::kInformation:
      return MB_ICONINFORMATION;
    case DialogIcon::kQuestion:
      return MB_ICONQUESTION;
    case DialogIcon::kNone:
      break;
  }
  return MB_OK;
}

// The system message font; null if it cannot be made (the controls then keep
// the dialog's font).
UniqueFont MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return {};
  return UniqueFont(::CreateFontIndirectW(&metrics.lfMessageFont));
}

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM font) noexcept {
  ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), /*redraw=*/FALSE);
  return TRUE;
}

void Place(HWND control, int x, int y, int width, int height) noexcept {
  ::SetWindowPos(control, /*hWndInsertAfter=*/nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int ButtonWidth(HDC dc, const DialogButton& button) noexcept {
  RECT caption{};
  ::DrawTextW(dc, WideUnits(button.caption), Length(button.caption), &caption,
              DT_CALCRECT | DT_SINGLELINE);
  const int width = static_cast<int>(caption.right - caption.left);
  return std::max(kButtonWidth, width + 2 * kButtonPadding);
}

// Sizes the text and the buttons with the font, places every control, and
// sizes the dialog around them, centred on the work area of its screen.
void LayOut(HWND dialog, const DialogState& state) noexcept {
  UniqueWindowDc owned_dc = GetWindowDc(dialog);
  const HDC dc = owned_dc.get().dc;
  const HGDIOBJ old_font = state.font != nullptr ? ::SelectObject(dc, state.font) : nullptr;

  // The static draws with DT_WORDBREAK | DT_EXPANDTABS (| DT_NOPREFIX with
  // SS_NOPREFIX); a word longer than the limit widens the rectangle.
  RECT text{0, 0, kMaxTextWidth, 0};
  ::DrawTextW(dc, WideUnits(state.text), Length(state.text), &text,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  const int text_width = text.right - text.left;
  const int text_height = text.bottom - text.top;

  int buttons_width = 0;
  for (const DialogButton& button : state.buttons) buttons_width += ButtonWidth(dc, button);
  if (!state.buttons.empty()) {
    buttons_width += kButtonGap * static_cast<int>(state.buttons.size() - 1);
  }

  const bool has_icon = state.icon != nullptr;
  const int icon_width = has_icon ? ::GetSystemMetrics(SM_CXICON) : 0;
  const int icon_height = has_icon ? ::GetSystemMetrics(SM_CYICON) : 0;
  const int content_height = std::max(icon_height, text_height);
  const int text_x = kMargin + (has_icon ? icon_width + kIconToText : 0);
  const int client_width = std::max(text_x + text_width + kMargin, buttons_width + 2 * kMargin);
  const int buttons_y = kMargin + content_height + kTextToButtons;
  const int client_height = state.buttons.empty() ? kMargin + content_height + kMargin
                                                  : buttons_y + kButtonHeight + kMargin;

  if (has_icon) {
    Place(::GetDlgItem(dialog, kMessageIconId), kMargin,
          kMargin + (content_height - icon_height) / 2, icon_width, icon_height);
  }
  Place(::GetDlgItem(dialog, kMessageTextId), text_x, kMargin + (content_height - text_height) / 2,
        text_width, text_height);
  int x = (client_width - buttons_width) / 2;
  for (const DialogButton& button : state.buttons) {
    const int width = ButtonWidth(dc, button);
    Place(::GetDlgItem(dialog, button.id), x, buttons_y, width, kButtonHeight);
    x += width + kButtonGap;
  }

  if (old_font != nullptr) ::SelectObject(dc, old_font);
  owned_dc.reset();  // measured: given back before the dialog moves

  RECT frame{0, 0, client_width, client_height};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE)),
                       /*bMenu=*/FALSE, static_cast<DWORD>(::GetWindowLongW(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;

  // Until now the dialog stands where the dialog manager put it: by its
  // owner, or on the primary screen without one.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int left =
      static_cast<int>(std::max(area.left, area.left + (area.right - area.left - width) / 2));
  const int top =
      static_cast<int>(std::max(area.top, area.top + (area.bottom - area.top - height) / 2));
  ::SetWindowPos(dialog, /*hWndInsertAfter=*/nullptr, left, top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

bool HasButton(const DialogState& state, int id) noexcept {
  return std::any_of(state.buttons.begin(), state.buttons.end(),
                     [id](const DialogButton& button) { return button.id == id; });
}

// Returns FALSE when it gave the focus itself.
BOOL InitDialog(HWND dialog, DialogState& state) noexcept {
  ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
  if (state.font != nullptr) {
    ::EnumChildWindows(dialog, SetFontOnChild, reinterpret_cast<LPARAM>(state.font));
  }
  if (state.icon != nullptr) {
    ::SendDlgItemMessageW(dialog, kMessageIconId, STM_SETICON, reinterpret_cast<WPARAM>(state.icon),
                          0);
  }
  if (state.dismiss_id == 0) {
    ::EnableMenuItem(::GetSystemMenu(dialog, /*bRevert=*/FALSE), SC_CLOSE,
                     MF_BYCOMMAND | MF_GRAYED);
  }
  LayOut(dialog, state);
  ::MessageBeep(state.sound);
  if (state.buttons.empty()) return TRUE;
  const int first = state.buttons.front().id;
  ::SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(first), 0);
  ::SetFocus(::GetDlgItem(dialog, first));
  return FALSE;
}

// Nothing here allocates or throws, and the procedure is noexcept besides:
// no exception can reach the dialog manager.
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_INITDIALOG) return InitDialog(dialog, *reinterpret_cast<DialogState*>(lparam));
  const auto* state = reinterpret_cast<const DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (state == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      const int id = LOWORD(wparam);
      // Escape arrives as IDCANCEL whether or not there is such a button.
      if (HasButton(*state, id)) {
        ::EndDialog(dialog, id);
      } else if (id == IDCANCEL && state->dismiss_id != 0) {
        ::EndDialog(dialog, state->dismiss_id);
      }
      return TRUE;
    }
    case WM_CLOSE:
      if (state->dismiss_id != 0) ::EndDialog(dialog, state->dismiss_id);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int DismissId(std::span<const DialogButton> buttons) {
  for (const DialogButton& button : buttons) {
    if (button.id == IDCANCEL) return IDCANCEL;
  }
  if (buttons.size() == 1) return buttons.front().id;
  if (buttons.empty()) return IDCANCEL;
  return 0;
}

int ShowMessageDialog(HWND owner, std::u16string_view caption, std::u16string_view text,
                      DialogIcon icon, std::span<const DialogButton> buttons) {
  // Outlives the dialog, whose controls use it to the end.
  const UniqueFont font = MessageFont();
  DialogState state;
  state.text = text;
  state.icon = SystemIcon(icon);
  state.sound = SystemSound(icon);
  state.font = font.get();
  state.buttons = buttons;
  state.dismiss_id = DismissId(buttons);

  DialogTemplate dialog(kDialogStyle, caption);
  if (state.icon != nullptr) dialog.AddItem(SS_ICON, kMessageIconId, kStaticClass, u"");
  dialog.AddItem(SS_LEFT | SS_NOPREFIX, kMessageTextId, kStaticClass, text);
  bool first = true;
  for (const DialogButton& button : buttons) {
    const DWORD style = WS_TABSTOP | (first ? WS_GROUP | BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    dialog.AddItem(style, button.id, kButtonClass, button.caption);
    first = false;
  }

  const INT_PTR result =
      ::DialogBoxIndirectParamW(::GetModuleHandleW(/*lpModuleName=*/nullptr), dialog.get(), owner,
                                DialogProc, reinterpret_cast<LPARAM>(&state));
  return result > 0 ? static_cast<int>(result) : 0;
}

}  // namespace quorvel::ui
