#include "testkit/setup_driver_win.h"

#include <commctrl.h>
#include <dlgs.h>

#include "testkit/message_wait_win.h"
#include "testkit/remote_block_win.h"
#include "ui/main_form_ids.h"
#include "ui/sensor_grid_win.h"
#include "ui/setup_form_ids.h"

namespace quorvel::testing {

namespace {

using remote::Ask;

// The longest cell text read back.
constexpr std::size_t kCellChars = 256;

// The grid's edit box (null while no edit is in progress); nothing when the
// grid did not answer.
std::optional<HWND> Editor(HWND grid) {
  const std::optional<LRESULT> editor = Ask(grid, ui::kGridEditor, 0, 0);
  if (!editor) return std::nullopt;
  return reinterpret_cast<HWND>(*editor);
}

}  // namespace

bool SetupDriver::Open() {
  ::PostMessageW(program_.Main(), WM_COMMAND, MAKEWPARAM(ui::kSetup1Id, 0), /*lParam=*/0);
  return remote::PumpUntil(
      [&] {
        dialog_ = remote::FindTopLevel(program_.Pid(), ui::kSetupFormClass);
        return Showing() && !::IsWindowEnabled(program_.Main());
      },
      remote::kProgramWaitMs);
}

bool SetupDriver::Showing() const {
  return dialog_ != nullptr && ::IsWindowVisible(dialog_);
}

bool SetupDriver::WaitClosed() const {
  return remote::PumpUntil([&] { return !Showing() && ::IsWindowEnabled(program_.Main()); },
                           remote::kProgramWaitMs);
}

std::u16string SetupDriver::Text(int id) const {
  return remote::WindowText(Control(id));
}

bool SetupDriver::SetText(int id, std::u16string_view text) const {
  const std::u16string terminated(text);
  return Ask(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(terminated.c_str())) ==
         std::optional<LRESULT>(TRUE);
}

void SetupDriver::Choose(int id, int index) const {
  const HWND combo = Control(id);
  Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

int SetupDriver::Chosen(int id) const {
  return static_cast<int>(Ask(Control(id), CB_GETCURSEL, 0, 0).value_or(CB_ERR));
}

void SetupDriver::Click(int id) const {
  ::PostMessageW(Control(id), BM_CLICK, 0, 0);
}

void SetupDriver::ClickAt(int id, double x, double y) const {
  const HWND control = Control(id);
  RECT client{};
  ::GetClientRect(control, &client);
  const LPARAM at =
      MAKELPARAM(static_cast<int>(client.right * x), static_cast<int>(client.bottom * y));
  ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(control, WM_LBUTTONUP, 0, at);
}

void SetupDriver::PressKey(int id, WPARAM key) const {
  ::PostMessageW(Control(id), WM_KEYDOWN, key, /*lParam=*/1);
}

HWND SetupDriver::Focused() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = ::GetWindowThreadProcessId(dialog_, /*lpdwProcessId=*/nullptr);
  return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool SetupDriver::Checked(int id) const {
  return Ask(Control(id), BM_GETCHECK, 0, 0) == std::optional<LRESULT>(BST_CHECKED);
}

int SetupDriver::Tab() const {
  return static_cast<int>(Ask(Control(ui::kRzPageControl1Id), TCM_GETCURSEL, 0, 0).value_or(-1));
}

void SetupDriver::NextTab() const {
  ::PostMessageW(Control(ui::kRzPageControl1Id), WM_KEYDOWN, VK_RIGHT, /*lParam=*/1);
}

std::optional<std::u16string> SetupDriver::TabCaption(int tab) const {
  constexpr int kCaptionChars = 64;
  struct Block {
    TCITEMW item;
    wchar_t text[kCaptionChars];
  };
  const RemoteBlock<Block> block(program_.Process());
  if (block.Remote() == nullptr) return std::nullopt;
  Block local{};
  local.item.mask = TCIF_TEXT;
  local.item.pszText = block.Remote()->text;
  local.item.cchTextMax = kCaptionChars;
  if (!block.Write(local) ||
      Ask(Control(ui::kRzPageControl1Id), TCM_GETITEMW, static_cast<WPARAM>(tab),
          block.Argument()) != std::optional<LRESULT>(TRUE) ||
      !block.Read(local)) {
    return std::nullopt;
  }
  local.text[kCaptionChars - 1] = L'\0';
  return std::u16string(reinterpret_cast<const char16_t*>(local.text));
}

void SetupDriver::CloseBox() const {
  ::PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool SetupDriver::SelectCell(int col, int row) const {
  return Ask(Control(ui::kSG1Id), ui::kGridSelectCell, static_cast<WPARAM>(col), row) ==
         std::optional<LRESULT>(TRUE);
}

std::optional<std::u16string> SetupDriver::Cell(int col, int row) const {
  if (!SelectCell(col, row)) return std::nullopt;
  // Asked without WM_GETTEXTLENGTH: the grid answers WM_GETTEXT only.
  std::u16string text(kCellChars, u'\0');
  const std::optional<LRESULT> copied =
      Ask(Control(ui::kSG1Id), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  if (!copied) return std::nullopt;
  text.resize(*copied > 0 ? static_cast<std::size_t>(*copied) : 0);
  return text;
}

bool SetupDriver::TypeIntoCell(int col, int row, std::u16string_view keys) const {
  const HWND grid = Control(ui::kSG1Id);
  if (keys.empty() || !SelectCell(col, row)) return false;
  ::PostMessageW(grid, WM_CHAR, keys.front(), /*lParam=*/1);
  HWND editor = nullptr;
  if (!remote::PumpUntil([&] { return (editor = Editor(grid).value_or(nullptr)) != nullptr; },
                         remote::kProgramWaitMs)) {
    return false;
  }
  for (const char16_t key : keys.substr(1)) ::PostMessageW(editor, WM_CHAR, key, /*lParam=*/1);
  ::PostMessageW(editor, WM_KEYDOWN, VK_RETURN, /*lParam=*/1);
  return remote::PumpUntil([&] { return Editor(grid) == std::optional<HWND>(nullptr); },
                           remote::kProgramWaitMs);
}

bool SetupDriver::EnterFileName(HWND file_dialog, std::u16string_view path) {
  // The explorer-style dialog names its box cmb13 (a combo box) or edt1.
  HWND box = ::GetDlgItem(file_dialog, cmb13);
  if (box == nullptr) box = ::GetDlgItem(file_dialog, edt1);
  const std::u16string terminated(path);
  if (box == nullptr || Ask(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(terminated.c_str())) !=
                            std::optional<LRESULT>(TRUE)) {
    return false;
  }
  PressDialogButton(file_dialog, IDOK);
  return true;
}

void SetupDriver::PressDialogButton(HWND dialog, int id) {
  ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

}  // namespace quorvel::testing
