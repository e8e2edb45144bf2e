// The message dialog under Wine. The dialog runs modally on the test's main
// thread; a second thread waits for it to appear (by its caption, with an
// upper bound), records what it sees, and answers it as a user would: a
// click, Escape, the close box. Everything is checked on the main thread once
// the dialog has returned and the second thread has ended.
#include "ui/message_dialog_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/cp1251.h"
#include "base/wide_win.h"
#include "testkit/quorvel_remote_win.h"

namespace quorvel::ui {
namespace {

// An upper bound only: a dialog that never shows, or never closes, fails the
// test instead of hanging it.
constexpr ULONGLONG kWaitMs = 10'000;

template <typename Condition>
bool WaitFor(Condition condition) {
  const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
  while (!condition()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

std::u16string WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  const int length = ::GetWindowTextW(window, buffer, static_cast<int>(std::size(buffer)));
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length > 0 ? length : 0);
}

RECT ScreenRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

// A child's rectangle in the client coordinates of the dialog.
RECT ClientRectOf(HWND dialog, HWND child) {
  RECT rect = ScreenRect(child);
  ::MapWindowPoints(/*hWndFrom=*/nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

struct ButtonSeen {
  HWND window = nullptr;
  int id = 0;
  std::u16string caption;
  bool is_default = false;
  HFONT font = nullptr;
  RECT rect{};  // client coordinates of the dialog
};

// What the second thread saw while the dialog was up.
struct Seen {
  bool found = false;
  bool closed = false;  // by the answer, without the fallback
  std::u16string text;
  RECT window{};
  RECT work_area{};
  RECT client{};
  RECT text_rect{};   // client coordinates of the dialog
  RECT text_needs{};  // what the text measures at the static's width
  int line_height = 0;
  HFONT font = nullptr;
  LOGFONTW font_info{};
  HICON icon = nullptr;
  bool has_icon_control = false;
  std::vector<ButtonSeen> buttons;
  HWND focus = nullptr;
  HWND owner = nullptr;
  bool owner_enabled = true;
  bool close_greyed = false;
};

Seen Observe(HWND dialog) {
  Seen seen;
  seen.found = true;
  seen.window = ScreenRect(dialog);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
  seen.work_area = monitor.rcWork;
  ::GetClientRect(dialog, &seen.client);

  const HWND text = ::GetDlgItem(dialog, kMessageTextId);
  wchar_t buffer[4096] = {};
  const UINT length =
      ::GetDlgItemTextW(dialog, kMessageTextId, buffer, static_cast<int>(std::size(buffer)));
  seen.text.assign(reinterpret_cast<const char16_t*>(buffer), length);
  seen.text_rect = ClientRectOf(dialog, text);
  seen.font = reinterpret_cast<HFONT>(::SendMessageW(text, WM_GETFONT, 0, 0));
  if (seen.font != nullptr) ::GetObjectW(seen.font, sizeof(seen.font_info), &seen.font_info);

  // The text measured as the static draws it, at the static's width.
  const HDC dc = ::GetDC(text);
  const HGDIOBJ old_font = ::SelectObject(dc, seen.font);
  seen.text_needs = {0, 0, seen.text_rect.right - seen.text_rect.left, 0};
  ::DrawTextW(dc, buffer, static_cast<int>(length), &seen.text_needs,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  seen.line_height = metrics.tmHeight;
  ::SelectObject(dc, old_font);
  ::ReleaseDC(text, dc);

  const HWND icon = ::GetDlgItem(dialog, kMessageIconId);
  seen.has_icon_control = icon != nullptr;
  if (icon != nullptr) seen.icon = reinterpret_cast<HICON>(::SendMessageW(icon, STM_GETICON, 0, 0));

  const std::vector<HWND> buttons = remote::DialogButtons(dialog);
  for (HWND window : buttons) {
    ButtonSeen button;
    button.window = window;
    button.id = ::GetDlgCtrlID(window);
    button.caption = WindowText(window);
    button.is_default = (::GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    button.font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    button.rect = ClientRectOf(dialog, window);
    seen.buttons.push_back(button);
  }

  GUITHREADINFO thread{};
  thread.cbSize = sizeof(thread);
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &thread)) {
    seen.focus = thread.hwndFocus;
  }
  seen.owner = ::GetWindow(dialog, GW_OWNER);
  if (seen.owner != nullptr) seen.owner_enabled = ::IsWindowEnabled(seen.owner);
  const UINT close_state =
      ::GetMenuState(::GetSystemMenu(dialog, /*bRevert=*/FALSE), SC_CLOSE, MF_BYCOMMAND);
  seen.close_greyed = close_state != static_cast<UINT>(-1) && (close_state & MF_GRAYED) != 0;
  return seen;
}

// How the second thread answers the dialog.
using Answer = std::function<void(HWND dialog)>;

Answer Click(int id) {
  return [id](HWND dialog) { ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); };
}

// Escape, as typed into the control that has the focus.
void PressEscape(HWND dialog) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof(thread);
  HWND target = dialog;
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &thread) &&
      thread.hwndFocus != nullptr) {
    target = thread.hwndFocus;
  }
  ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0);
  ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0);
}

void PressCloseBox(HWND dialog) {
  ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

struct Outcome {
  int result = -1;
  Seen seen;
};

// Shows the dialog on this thread while a second one observes and answers it.
// Should the answer leave the dialog open, the second thread ends it with a
// click on the first button (or a Cancel command) and `seen.closed` is false.
Outcome ShowAndAnswer(std::u16string_view caption, std::u16string_view text, DialogIcon icon,
                      const std::vector<DialogButton>& buttons, const Answer& answer,
                      HWND owner = nullptr) {
  Outcome outcome;
  const std::u16string title(caption);
  std::thread driver([&outcome, &title, &buttons, &answer] {
    HWND dialog = nullptr;
    const bool shown = WaitFor([&] {
      dialog = ::FindWindowW(L"#32770", Wide(title));
      return dialog != nullptr && ::IsWindowVisible(dialog);
    });
    if (!shown) return;
    outcome.seen = Observe(dialog);
    answer(dialog);
    outcome.seen.closed = WaitFor([dialog] { return !::IsWindow(dialog); });
    if (!outcome.seen.closed) {
      const int id = buttons.empty() ? IDCANCEL : buttons.front().id;
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
  });
  outcome.result = ShowMessageDialog(owner, caption, text, icon, buttons);
  driver.join();
  return outcome;
}

int Width(const RECT& rect) {
  return rect.right - rect.left;
}
int Height(const RECT& rect) {
  return rect.bottom - rect.top;
}
bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

LOGFONTW MessageFontInfo() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  return metrics.lfMessageFont;
}

// Checks what every dialog must look like.
void ExpectLaidOut(const Seen& seen) {
  ASSERT_TRUE(seen.found) << "the dialog never appeared";
  EXPECT_TRUE(seen.closed) << "the answer did not close the dialog";

  // Centred on the work area, to the pixel (halves may round either way).
  EXPECT_LE(std::abs((seen.window.left + seen.window.right) -
                     (seen.work_area.left + seen.work_area.right)),
            2);
  EXPECT_LE(std::abs((seen.window.top + seen.window.bottom) -
                     (seen.work_area.top + seen.work_area.bottom)),
            2);

  // The text is all there: its static is as large as the text needs, inside
  // the client area and above the buttons.
  EXPECT_LE(Width(seen.text_needs), Width(seen.text_rect));
  EXPECT_LE(Height(seen.text_needs), Height(seen.text_rect));
  EXPECT_GT(Height(seen.text_rect), 0);
  EXPECT_TRUE(Inside(seen.text_rect, seen.client));
  for (const ButtonSeen& button : seen.buttons) {
    EXPECT_TRUE(Inside(button.rect, seen.client)) << "button " << button.id;
    EXPECT_GE(button.rect.top, seen.text_rect.bottom) << "button " << button.id;
    EXPECT_GE(Width(button.rect), 75);
    EXPECT_EQ(Height(button.rect), 25);
  }

  // Every control in the message font.
  const LOGFONTW expected = MessageFontInfo();
  ASSERT_NE(seen.font, nullptr);
  EXPECT_EQ(std::wstring(seen.font_info.lfFaceName), std::wstring(expected.lfFaceName));
  EXPECT_EQ(seen.font_info.lfHeight, expected.lfHeight);
  for (const ButtonSeen& button : seen.buttons) {
    EXPECT_EQ(button.font, seen.font) << "button " << button.id;
  }

  // The first button is the default one and has the focus.
  if (!seen.buttons.empty()) {
    EXPECT_TRUE(seen.buttons.front().is_default);
    EXPECT_EQ(seen.focus, seen.buttons.front().window);
    for (std::size_t i = 1; i < seen.buttons.size(); ++i) {
      EXPECT_FALSE(seen.buttons[i].is_default) << "button " << seen.buttons[i].id;
    }
  }
}

TEST(MessageDialogTest, SingleYesButtonIsClicked) {
  const std::vector<DialogButton> buttons = {{u"&Yes", IDYES}};
  const Outcome outcome = ShowAndAnswer(u"Quorvel single yes", u"Stop polling?",
                                        DialogIcon::kQuestion, buttons, Click(IDYES));
  EXPECT_EQ(outcome.result, IDYES);
  const Seen& seen = outcome.seen;
  ExpectLaidOut(seen);
  EXPECT_EQ(seen.text, u"Stop polling?");
  ASSERT_EQ(seen.buttons.size(), 1u);
  EXPECT_EQ(seen.buttons[0].caption, u"&Yes");
  EXPECT_EQ(seen.buttons[0].id, IDYES);
  EXPECT_EQ(Width(seen.buttons[0].rect), 75);
  // The row is centred in the client area.
  EXPECT_LE(std::abs((seen.buttons[0].rect.left + seen.buttons[0].rect.right) -
                     (seen.client.left + seen.client.right)),
            1);
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_FALSE(seen.close_greyed);
  // The dialog's font was destroyed with it.
  EXPECT_EQ(::GetObjectType(seen.font), 0u);
}

TEST(MessageDialogTest, EscapeGivesCancelWithSingleCancelButton) {
  const std::vector<DialogButton> buttons = {{u"Cancel", IDCANCEL}};
  const Outcome outcome = ShowAndAnswer(u"Quorvel single cancel", u"Waiting for the port.",
                                        DialogIcon::kInformation, buttons, PressEscape);
  EXPECT_EQ(outcome.result, IDCANCEL);
  ExpectLaidOut(outcome.seen);
  ASSERT_EQ(outcome.seen.buttons.size(), 1u);
  EXPECT_EQ(outcome.seen.buttons[0].caption, u"Cancel");
  EXPECT_EQ(outcome.seen.buttons[0].id, IDCANCEL);
}

TEST(MessageDialogTest, CloseBoxGivesCancelWithSingleCancelButton) {
  const std::vector<DialogButton> buttons = {{u"Cancel", IDCANCEL}};
  const Outcome outcome = ShowAndAnswer(u"Quorvel cancel close box", u"Waiting for the port.",
                                        DialogIcon::kInformation, buttons, PressCloseBox);
  EXPECT_EQ(outcome.result, IDCANCEL);
  ExpectLaidOut(outcome.seen);
}

TEST(MessageDialogTest, EscapeAndCloseBoxGiveTheOnlyButton) {
  const std::vector<DialogButton> buttons = {{u"&Yes", IDYES}};
  const Outcome escape = ShowAndAnswer(u"Quorvel only button escape", u"Polling has stopped.",
                                       DialogIcon::kWarning, buttons, PressEscape);
  EXPECT_EQ(escape.result, IDYES);
  ExpectLaidOut(escape.seen);
  const Outcome close = ShowAndAnswer(u"Quorvel only button close", u"Polling has stopped.",
                                      DialogIcon::kWarning, buttons, PressCloseBox);
  EXPECT_EQ(close.result, IDYES);
  ExpectLaidOut(close.seen);
}

TEST(MessageDialogTest, EscapeAndCloseBoxGiveCancelAmongSeveral) {
  const std::vector<DialogButton> buttons = {
      {u"&Yes", IDYES}, {u"&No", IDNO}, {u"Cancel", IDCANCEL}};
  for (const Answer& answer : {Answer(PressEscape), Answer(PressCloseBox)}) {
    const Outcome outcome = ShowAndAnswer(u"Quorvel yes no cancel", u"Save the sensor table?",
                                          DialogIcon::kQuestion, buttons, answer);
    EXPECT_EQ(outcome.result, IDCANCEL);
    ExpectLaidOut(outcome.seen);
    ASSERT_EQ(outcome.seen.buttons.size(), 3u);
    EXPECT_FALSE(outcome.seen.close_greyed);
    // One row, in the given order, centred as a whole.
    const std::vector<ButtonSeen>& row = outcome.seen.buttons;
    for (std::size_t i = 0; i < row.size(); ++i) {
      EXPECT_EQ(row[i].id, buttons[i].id);
      EXPECT_EQ(row[i].caption, buttons[i].caption);
      EXPECT_EQ(row[i].rect.top, row[0].rect.top);
      if (i > 0) {
        EXPECT_GT(row[i].rect.left, row[i - 1].rect.right);
      }
    }
    EXPECT_LE(std::abs((row.front().rect.left + row.back().rect.right) -
                       (outcome.seen.client.left + outcome.seen.client.right)),
              1);
  }
}

// Several buttons and none of them Cancel: neither Escape nor the close box
// answers the dialog; only a button does.
TEST(MessageDialogTest, YesNoMustBeAnsweredWithAButton) {
  const std::vector<DialogButton> buttons = {{u"&Yes", IDYES}, {u"&No", IDNO}};
  const Answer answer = [](HWND dialog) {
    PressEscape(dialog);
    PressCloseBox(dialog);
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    // Handled after the three above, which are posted before it.
    Click(IDNO)(dialog);
  };
  const Outcome outcome = ShowAndAnswer(u"Quorvel yes no", u"Save the settings?",
                                        DialogIcon::kQuestion, buttons, answer);
  EXPECT_EQ(outcome.result, IDNO);
  ExpectLaidOut(outcome.seen);
  EXPECT_TRUE(outcome.seen.close_greyed);
  ASSERT_EQ(outcome.seen.buttons.size(), 2u);
}

TEST(MessageDialogTest, WithoutButtonsTheCloseBoxGivesCancel) {
  const Outcome outcome = ShowAndAnswer(u"Quorvel no buttons", u"Nothing to answer.",
                                        DialogIcon::kNone, {}, PressCloseBox);
  EXPECT_EQ(outcome.result, IDCANCEL);
  ExpectLaidOut(outcome.seen);
  EXPECT_TRUE(outcome.seen.buttons.empty());
  EXPECT_FALSE(outcome.seen.close_greyed);
}

TEST(MessageDialogTest, CyrillicTextComesThroughIntact) {
  constexpr auto kText = cp1251::Text("Программа находится в режиме опроса.");
  constexpr auto kYes = cp1251::Text("&Да");
  const std::u16string caption = cp1251::ToUtf16(cp1251::Text("Опрос"));
  const std::vector<DialogButton> buttons = {{cp1251::ToUtf16(kYes), IDYES}};
  const Outcome outcome = ShowAndAnswer(caption, cp1251::ToUtf16(kText), DialogIcon::kInformation,
                                        buttons, Click(IDYES));
  EXPECT_EQ(outcome.result, IDYES);
  ExpectLaidOut(outcome.seen);
  EXPECT_EQ(outcome.seen.text, u"Программа находится в режиме опроса.");
  ASSERT_EQ(outcome.seen.buttons.size(), 1u);
  EXPECT_EQ(outcome.seen.buttons[0].caption, u"&Да");
}

TEST(MessageDialogTest, LongTextWrapsAtAboutFourHundredPixels) {
  std::u16string text;
  for (int i = 0; i < 12; ++i) text += u"The sensor table could not be saved to the disk. ";
  text += u"\r\nA last line of its own.";
  const std::vector<DialogButton> buttons = {{u"OK", IDOK}};
  const Outcome outcome =
      ShowAndAnswer(u"Quorvel long text", text, DialogIcon::kError, buttons, Click(IDOK));
  EXPECT_EQ(outcome.result, IDOK);
  ExpectLaidOut(outcome.seen);
  EXPECT_EQ(outcome.seen.text, text);
  EXPECT_LE(Width(outcome.seen.text_rect), 400);
  EXPECT_GE(Height(outcome.seen.text_rect), 5 * outcome.seen.line_height);
  // The icon stands to the left of the text.
  EXPECT_TRUE(outcome.seen.has_icon_control);
}

TEST(MessageDialogTest, ShowsTheSystemIconOfItsKind) {
  const struct {
    DialogIcon icon;
    const wchar_t* system_icon;  // null: no icon
  } kCases[] = {
      {DialogIcon::kNone, nullptr},          {DialogIcon::kError, IDI_ERROR},
      {DialogIcon::kWarning, IDI_WARNING},   {DialogIcon::kInformation, IDI_INFORMATION},
      {DialogIcon::kQuestion, IDI_QUESTION},
  };
  const std::vector<DialogButton> buttons = {{u"OK", IDOK}};
  for (const auto& c : kCases) {
    const Outcome outcome =
        ShowAndAnswer(u"Quorvel icon", u"An icon or none.", c.icon, buttons, Click(IDOK));
    EXPECT_EQ(outcome.result, IDOK);
    ExpectLaidOut(outcome.seen);
    if (c.system_icon == nullptr) {
      EXPECT_FALSE(outcome.seen.has_icon_control);
      EXPECT_EQ(outcome.seen.text_rect.left, 12);
    } else {
      ASSERT_TRUE(outcome.seen.has_icon_control);
      EXPECT_EQ(outcome.seen.icon, ::LoadIconW(nullptr, c.system_icon));
      EXPECT_GT(outcome.seen.text_rect.left, 12 + ::GetSystemMetrics(SM_CXICON));
    }
  }
}

TEST(MessageDialogTest, OwnerIsDisabledWhileTheDialogIsUp) {
  const HWND owner = ::CreateWindowExW(0, L"STATIC", L"Quorvel owner", WS_OVERLAPPEDWINDOW, 100,
                                       100, 300, 200, /*hWndParent=*/nullptr,
                                       /*hMenu=*/nullptr, ::GetModuleHandleW(nullptr),
                                       /*lpParam=*/nullptr);
  ASSERT_NE(owner, nullptr);
  ::ShowWindow(owner, SW_SHOW);
  const std::vector<DialogButton> buttons = {{u"Cancel", IDCANCEL}};
  const Outcome outcome = ShowAndAnswer(u"Quorvel owned", u"Owned by a window.",
                                        DialogIcon::kWarning, buttons, Click(IDCANCEL), owner);
  EXPECT_EQ(outcome.result, IDCANCEL);
  ExpectLaidOut(outcome.seen);
  EXPECT_EQ(outcome.seen.owner, owner);
  EXPECT_FALSE(outcome.seen.owner_enabled);
  EXPECT_TRUE(::IsWindowEnabled(owner));
  ::DestroyWindow(owner);
}

TEST(MessageDialogTest, DismissIdFollowsTheButtons) {
  const DialogButton yes{u"&Yes", IDYES};
  const DialogButton no{u"&No", IDNO};
  const DialogButton cancel{u"Cancel", IDCANCEL};
  const DialogButton ok{u"OK", IDOK};
  const struct {
    std::vector<DialogButton> buttons;
    int expected;
  } kCases[] = {
      {{}, IDCANCEL},
      {{yes}, IDYES},
      {{ok}, IDOK},
      {{cancel}, IDCANCEL},
      {{yes, no}, 0},
      {{ok, yes, no}, 0},
      {{yes, no, cancel}, IDCANCEL},
      {{cancel, ok}, IDCANCEL},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DismissId(c.buttons), c.expected) << c.buttons.size() << " buttons";
  }
}

}  // namespace
}  // namespace quorvel::ui
