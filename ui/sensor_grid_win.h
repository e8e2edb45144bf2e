// The sensor table's grid: the header row and the name column fixed, the
// parameter columns edited in place, grid lines, a vertical scroll bar, the
// table's column widths and row heights, and the header hints.
//
// It shows and edits the table it is given, live: the table stays the one
// store of the cells, and the grid keeps only the current cell, the scroll
// position and an edit in progress. When the table changes from outside
// (another row count, new names), Refresh() brings the view in line.
//
// Editing: a click on the current cell, F2, or typing a character starts an
// edit of the current parameter cell (typing replaces its text); Enter and
// Tab commit and move (Enter down, Tab right, wrapping to the next row);
// Escape cancels; the arrow keys, Page Up/Down, Home and End move the
// current cell; a click elsewhere, scrolling, or the grid losing the focus,
// commits. Tab leaves the grid (to the dialog's next control) only from the
// last cell, Shift+Tab only from the first; while editing, the edit box
// takes Enter, Tab and Escape, so a dialog's default button stays unpressed.
//
// Test programs in other processes drive it with messages that carry no
// pointers (below), keystrokes and clicks; WM_GETTEXT reads the current
// cell's text.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "config/sensor_table.h"

namespace quorvel::ui {

inline constexpr wchar_t kSensorGridClass[] = L"QuorvelSensorGrid";

// Makes cell (wparam = column, lparam = row) current and scrolls it into
// view, committing an edit in progress; TRUE when the cell is an editable
// one (column 1.., row 1..), FALSE (nothing changes) otherwise.
inline constexpr UINT kGridSelectCell = WM_APP + 40;
// The current cell: MAKELRESULT(column, row).
inline constexpr UINT kGridCurrentCell = WM_APP + 41;
// The in-place edit box while an edit is in progress, else 0.
inline constexpr UINT kGridEditor = WM_APP + 42;
// The first row shown below the header (the vertical scroll position).
inline constexpr UINT kGridTopRow = WM_APP + 43;

// Notification to the parent, WM_COMMAND with this code and the grid's
// identity: an edit was committed and changed a cell's text.
inline constexpr WORD kGridCellChanged = 0x0401;

class SensorGrid {
 public:
  // hint(row, column): the hint of a cell, empty for none (Windows-1251).
  using HintFunction = std::function<std::string(int row, int col)>;

  // The table must outlive this object; the window goes with it at the
  // latest.
  SensorGrid(config::SensorTable& table, HintFunction hint);
  ~SensorGrid();
  SensorGrid(const SensorGrid&) = delete;
  SensorGrid& operator=(const SensorGrid&) = delete;

  // Makes the grid window as a child of `parent`; false when it could not.
  bool Create(HINSTANCE instance, HWND parent, int id, const RECT& bounds);
  HWND Handle() const { return window_; }

  // The table changed from outside: row count, sizes or texts.
  void Refresh();
  // Ends an edit in progress, keeping what was typed.
  void CommitEdit();

 private:
  // The window's state, reached through GWLP_USERDATA.
  struct State;
  config::SensorTable& table_;
  HintFunction hint_;
  HWND window_ = nullptr;
  std::unique_ptr<State> state_;
};

}  // namespace quorvel::ui
