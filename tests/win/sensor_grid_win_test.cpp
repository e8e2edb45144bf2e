// The sensor grid in a top-level window of the test's own, beside an OK
// button, pumped through IsDialogMessage as the settings dialog's loop is.
// Keystrokes and clicks are posted to the window a user's would reach and the
// queue is pumped dry; the outcome is read from the table, the grid's
// messages and what the parent window was told.
#include "ui/sensor_grid_win.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/cp1251.h"
#include "config/sensor_table.h"

namespace quorvel::ui {
namespace {

constexpr int kGridId = 350;
constexpr int kSensors = 30;
constexpr int kPitch = config::kDefaultRowHeight + 1;  // a row and its line
constexpr int kPage = 8;                               // whole rows in view
constexpr wchar_t kHostClass[] = L"QuorvelSensorGridTestHost";

using CellAt = std::pair<int, int>;  // (column, row)

// What the grid's parent was told.
struct Told {
  int changed = 0, ok = 0, cancel = 0;
};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* told = reinterpret_cast<Told*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message != WM_COMMAND || told == nullptr) {
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  told->changed += LOWORD(wparam) == kGridId && HIWORD(wparam) == kGridCellChanged;
  told->ok += LOWORD(wparam) == IDOK;
  told->cancel += LOWORD(wparam) == IDCANCEL;
  return 0;
}

class SensorGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config::ResetSensorTable(table_, "T", 1);
    ASSERT_TRUE(config::ResizeSensorTable(table_, std::to_string(kSensors), "T"));
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW host_class{};
    host_class.lpfnWndProc = HostProc;
    host_class.hInstance = instance;
    host_class.lpszClassName = kHostClass;
    ::RegisterClassW(&host_class);  // already there from the second test on
    host_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kHostClass, L"Grid",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 400, nullptr, nullptr,
                              instance, nullptr);
    ASSERT_NE(host_, nullptr);
    ::SetWindowLongPtrW(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&told_));
    ok_ = ::CreateWindowExW(0, L"BUTTON", L"OK",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 480, 10, 75, 25,
                            host_, reinterpret_cast<HMENU>(IDOK), instance, nullptr);
    // The header, kPage whole rows and 10 pixels of one more, inside a
    // border of 2 pixels.
    const int height = (kPage + 1) * kPitch + 10;
    ASSERT_TRUE(grid_.Create(instance, host_, kGridId, RECT{10, 10, 440, 10 + height + 4}));
    RECT client{};
    ::GetClientRect(grid(), &client);
    ASSERT_EQ(client.bottom, height);
    ::SetForegroundWindow(host_);
    ::SetFocus(grid());
    Pump();
    ASSERT_EQ(::GetFocus(), grid());
  }

  void TearDown() override {
    ::DestroyWindow(host_);
    Pump();
  }

  HWND grid() const { return grid_.Handle(); }
  LRESULT Ask(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    return ::SendMessageW(grid(), message, wparam, lparam);
  }
  CellAt Current() const {
    const LRESULT cell = Ask(kGridCurrentCell);
    return {LOWORD(cell), HIWORD(cell)};
  }
  HWND Editor() const { return reinterpret_cast<HWND>(Ask(kGridEditor)); }
  int Top() const { return static_cast<int>(Ask(kGridTopRow)); }
  std::u16string Text(HWND window) const {
    char16_t text[256] = {};
    ::GetWindowTextW(window, reinterpret_cast<wchar_t*>(text), 256);
    return text;
  }

  // Until the queue is empty (bounded, should something keep posting).
  void Pump() {
    MSG message;
    for (int i = 0; i < 10'000 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
      if (!::IsDialogMessageW(host_, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
  }

  // A key to the focused window, with `modifier` held in the thread's key state.
  void Press(WPARAM key, BYTE modifier = 0) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    if (modifier != 0) keys[modifier] = 0x80;
    ::SetKeyboardState(keys);
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 1);
    Pump();
    if (modifier != 0) keys[modifier] = 0;
    ::SetKeyboardState(keys);
  }

  void Type(std::u16string_view text) {
    for (char16_t c : text) ::PostMessageW(::GetFocus(), WM_CHAR, c, 1);
    Pump();
  }

  // The middle of a cell, from the table's sizes and one-pixel lines.
  LPARAM At(int col, int row) const {
    int x = table_.ColWidth(col) / 2;
    for (int c = 0; c < col; ++c) x += table_.ColWidth(c) + 1;
    const int y = kPitch / 2 + (row == 0 ? 0 : (row - Top() + 1) * kPitch);
    return MAKELPARAM(x, y);
  }

  void Click(int col, int row) {
    ::PostMessageW(grid(), WM_LBUTTONDOWN, MK_LBUTTON, At(col, row));
    ::PostMessageW(grid(), WM_LBUTTONUP, 0, At(col, row));
    Pump();
  }

  config::SensorTable table_;
  std::vector<CellAt> hints_asked_;  // (row, column), as asked
  Told told_;
  SensorGrid grid_{table_, [this](int row, int col) -> std::string {
                     hints_asked_.emplace_back(row, col);
                     if (row == 0 && col == 1) return cp1251::FromUtf16(u"Номер прибора");
                     if (row == 0 && col == 2) return cp1251::FromUtf16(u"Номер канала");
                     return {};
                   }};
  HWND host_ = nullptr;
  HWND ok_ = nullptr;
};

TEST_F(SensorGridTest, TypingCommitsOnEnterMovesDownAndTellsTheParent) {
  ASSERT_TRUE(Ask(kGridSelectCell, 1, 2));
  Type(u"42");
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(table_.Cell(1, 2), "1");
  Press(VK_RETURN);
  EXPECT_EQ(table_.Cell(1, 2), "42");
  EXPECT_EQ(Current(), CellAt(1, 3));
  EXPECT_EQ(told_.changed, 1);
  EXPECT_EQ(told_.ok, 0);  // the default button stayed unpressed

  ASSERT_TRUE(Ask(kGridSelectCell, 3, kSensors));
  Type(u"7");
  Press(VK_RETURN);
  EXPECT_EQ(Current(), CellAt(3, kSensors));
  EXPECT_EQ(told_.changed, 2);
  Press(VK_RETURN);  // not editing: the dialog's key
  EXPECT_EQ(told_.ok, 1);
}

TEST_F(SensorGridTest, EscapeCancelsF2KeepsTheTextAndAnUnchangedCommitIsSilent) {
  ASSERT_TRUE(Ask(kGridSelectCell, 2, 5));
  Type(u"9");
  Press(VK_ESCAPE);
  EXPECT_EQ(table_.Cell(2, 5), "0");
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(told_.cancel, 0);  // nor did the dialog see the key

  Press(VK_F2);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Text(Editor()), u"0");
  EXPECT_EQ(::SendMessageW(Editor(), EM_GETSEL, 0, 0), MAKELRESULT(1, 1));  // caret at the end
  Press(VK_RETURN);
  EXPECT_EQ(told_.changed, 0);
  ASSERT_TRUE(Ask(kGridSelectCell, 2, 5));
  Press(VK_F2);
  Type(u"5");
  Press(VK_RETURN);
  EXPECT_EQ(table_.Cell(2, 5), "05");
  EXPECT_EQ(told_.changed, 1);
}

TEST_F(SensorGridTest, TabWrapsRowsAndLeavesTheGridOnlyFromTheLastCell) {
  ASSERT_TRUE(Ask(kGridSelectCell, 3, 1));
  Press(VK_TAB);
  EXPECT_EQ(Current(), CellAt(1, 2));
  Press(VK_TAB, VK_SHIFT);
  EXPECT_EQ(Current(), CellAt(3, 1));
  Type(u"8");
  Press(VK_TAB);
  EXPECT_EQ(table_.Cell(3, 1), "8");
  EXPECT_EQ(Current(), CellAt(1, 2));
  EXPECT_EQ(::GetFocus(), grid());

  ASSERT_TRUE(Ask(kGridSelectCell, 3, kSensors));
  Press(VK_TAB);
  EXPECT_EQ(::GetFocus(), ok_);
  EXPECT_EQ(Current(), CellAt(3, kSensors));
}

TEST_F(SensorGridTest, FixedCellsAreNeitherSelectedNorEdited) {
  Click(2, 3);
  EXPECT_FALSE(Ask(kGridSelectCell, 0, 3));
  EXPECT_FALSE(Ask(kGridSelectCell, 2, 0));
  EXPECT_FALSE(Ask(kGridSelectCell, config::kSensorColumns, 3));
  EXPECT_FALSE(Ask(kGridSelectCell, 2, kSensors + 1));
  for (const auto& [col, row] : {CellAt(0, 4), CellAt(0, 4), CellAt(2, 0), CellAt(2, 0)}) {
    Click(col, row);
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(Current(), CellAt(2, 3));
  }
}

TEST_F(SensorGridTest, ClicksSelectThenEditAndAnotherClickOrLeavingCommits) {
  Click(2, 3);
  ASSERT_EQ(Editor(), nullptr);
  Click(2, 3);
  ASSERT_NE(Editor(), nullptr);
  Type(u"1");
  Click(1, 4);
  EXPECT_EQ(table_.Cell(2, 3), "01");
  EXPECT_EQ(Current(), CellAt(1, 4));

  Click(1, 4);
  Type(u"8");
  ::SetFocus(ok_);
  Pump();
  EXPECT_EQ(table_.Cell(1, 4), "18");
  EXPECT_EQ(told_.changed, 2);
}

TEST_F(SensorGridTest, MovingKeepsTheCurrentCellInView) {
  for (int i = 0; i < kPage; ++i) Press(VK_DOWN);
  EXPECT_EQ(Current(), CellAt(1, kPage + 1));
  EXPECT_EQ(Top(), 2);
  Press(VK_NEXT);
  EXPECT_EQ(Current(), CellAt(1, 2 * kPage + 1));
  EXPECT_EQ(Top(), kPage + 2);
  Press(VK_END, VK_CONTROL);
  EXPECT_EQ(Current(), CellAt(3, kSensors));
  EXPECT_EQ(Top(), kSensors - kPage + 1);
  Press(VK_HOME, VK_CONTROL);
  EXPECT_EQ(Current(), CellAt(1, 1));
  EXPECT_EQ(Top(), 1);

  UINT lines = 3;
  ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  Ask(WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  EXPECT_EQ(Top(), 1 + static_cast<int>(lines == WHEEL_PAGESCROLL ? kPage : lines));
  Press(VK_DOWN);  // the current cell scrolled out above comes back
  EXPECT_EQ(Top(), 2);
}

TEST_F(SensorGridTest, RefreshAfterTheTableShrinksClampsAndDropsAVanishedEdit) {
  ASSERT_TRUE(Ask(kGridSelectCell, 2, 25));
  Type(u"7");
  ASSERT_NE(Editor(), nullptr);
  ASSERT_TRUE(config::ResizeSensorTable(table_, "10", "T"));
  grid_.Refresh();
  Pump();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(Current(), CellAt(2, 10));
  EXPECT_EQ(Top(), 10 - kPage + 1);
  EXPECT_EQ(table_.Cell(2, 10), "0");
  EXPECT_EQ(told_.changed, 0);

  Type(u"5");  // an edit of a row still there goes on
  grid_.Refresh();
  Press(VK_RETURN);
  EXPECT_EQ(table_.Cell(2, 10), "5");
  EXPECT_EQ(told_.changed, 1);
}

TEST_F(SensorGridTest, TextIsTheCurrentCellsInUnicode) {
  table_.SetCell(1, 2, cp1251::FromUtf16(u"Тест"));
  grid_.Refresh();
  ASSERT_TRUE(Ask(kGridSelectCell, 1, 2));
  EXPECT_EQ(Text(grid()), u"Тест");
  EXPECT_EQ(Ask(WM_GETTEXTLENGTH), 4);
  wchar_t small[3] = {};
  EXPECT_EQ(Ask(WM_GETTEXT, 3, reinterpret_cast<LPARAM>(small)), 2);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(small)), u"Те");

  Type(u"Ж");
  EXPECT_EQ(Text(grid()), u"Ж");  // what is being typed
  Press(VK_RETURN);
  EXPECT_EQ(table_.Cell(1, 2), "\xC6");  // Ж in Windows-1251
}

TEST_F(SensorGridTest, HintsFollowThePointerOverTheCells) {
  // The test's only tooltip, and its one tool.
  const HWND tip = ::FindWindowW(TOOLTIPS_CLASSW, nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  ASSERT_TRUE(::SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
  ASSERT_EQ(tool.hwnd, grid());
  hints_asked_.clear();
  const auto hint_at = [&](int col, int row) {
    Ask(WM_MOUSEMOVE, 0, At(col, row));
    char16_t text[1024] = {};
    tool.lpszText = reinterpret_cast<wchar_t*>(text);
    ::SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
    return std::u16string(text);
  };
  EXPECT_EQ(hint_at(1, 0), u"Номер прибора");
  EXPECT_EQ(hint_at(2, 0), u"Номер канала");
  EXPECT_EQ(hint_at(1, 5), u"");
  EXPECT_EQ(hints_asked_, (std::vector<CellAt>{{0, 1}, {0, 2}, {5, 1}}));
}

}  // namespace
}  // namespace quorvel::ui
