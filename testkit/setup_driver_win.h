// The settings dialog of a Quorvel.exe run (testkit/quorvel_remote_win.h),
// driven from another process as a user drives it: opened from the main
// window's menu, its controls found by their identities (ui/setup_form_ids.h),
// changes made with the messages a user's action leaves behind.
//
// What acts is posted, as a click or a key is, and its effect is awaited by
// the caller; what reads is asked of the program's thread with an upper
// bound, so a hung program fails the test instead of hanging it. A sent
// question is answered before any posted message still waiting, so once an
// answer shows a posted action's effect, the handler of that action has
// returned or is showing a message box of its own.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "testkit/quorvel_remote_win.h"

namespace quorvel::testing {

class SetupDriver {
 public:
  // `program` must outlive the driver.
  explicit SetupDriver(const remote::RemoteQuorvel& program) : program_(program) {}

  // Chooses the menu item (it must be enabled: the program started with
  // "/k") and waits until the dialog shows with the main window disabled.
  bool Open();
  // Whether the dialog shows; once closed it is hidden, not destroyed.
  bool Showing() const;
  // Waits until the dialog is hidden and the main window enabled again.
  bool WaitClosed() const;
  HWND Handle() const { return dialog_; }
  HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }

  std::u16string Text(int id) const;
  // Replaces an edit box's text as typing does: the box tells the dialog.
  bool SetText(int id, std::u16string_view text) const;
  // A combo box's choice made as a user makes it: the selection, then its
  // notification (posted).
  void Choose(int id, int index) const;
  int Chosen(int id) const;
  // A click on a button or check box (posted).
  void Click(int id) const;
  // A left click at (x, y) of a control's client area, given as fractions
  // of its width and height: the button down and up (posted).
  void ClickAt(int id, double x, double y) const;
  // A key pressed in a control (posted); the dialog's loop sees it first.
  void PressKey(int id, WPARAM key) const;
  // The window of the program's thread that has the keyboard focus.
  HWND Focused() const;
  bool Checked(int id) const;
  // The tab shown (0..3), and a move to the next one with the arrow key.
  int Tab() const;
  void NextTab() const;
  // The caption of a tab, read through a buffer in the program's memory;
  // nothing when there is no such tab or it could not be read.
  std::optional<std::u16string> TabCaption(int tab) const;
  // The close box (posted).
  void CloseBox() const;

  // The sensor grid. A cell of the parameter columns made current; false
  // when it is no such cell (beyond the last row, say).
  bool SelectCell(int col, int row) const;
  // The text of cell (col, row), nothing when there is no such cell.
  std::optional<std::u16string> Cell(int col, int row) const;
  // Makes the cell current and types `keys` (a backspace is '\b'), as WM_CHAR
  // messages: the first starts an edit, the rest go to its edit box; then
  // Enter commits. False when no edit started or it did not end.
  bool TypeIntoCell(int col, int row, std::u16string_view keys) const;

  // The open-file dialog answered: `path` put into its file-name box, then
  // OK clicked (posted). False when it has no such box.
  static bool EnterFileName(HWND file_dialog, std::u16string_view path);
  // A click on a button of a dialog of the program (posted).
  static void PressDialogButton(HWND dialog, int id);

 private:
  const remote::RemoteQuorvel& program_;
  HWND dialog_ = nullptr;
};

}  // namespace quorvel::testing
