// Where the sensor grid's cells stand: every column is its width plus a
// one-pixel line on its right, every row its height plus a line below. Row 0
// always shows at the top; the rows below it start at `top`. Negative
// widths and heights count as 0.
#pragma once

#include "config/sensor_table.h"

namespace quorvel::ui {

struct GridCell {
  int col = -1;
  int row = -1;
  bool operator==(const GridCell&) const = default;
};

class GridGeometry {
 public:
  // `top`: the first row shown below row 0; `client_height`: the height of
  // the grid's client area. The table is not copied.
  GridGeometry(const config::SensorTable& table, int top, int client_height)
      : table_(table), top_(top), client_height_(client_height) {}

  int LastRow() const { return table_.RowCount() - 1; }
  int LastCol() const { return table_.ColCount() - 1; }
  int Height(int row) const;
  int Width(int col) const;
  int BodyTop() const { return Height(0) + 1; }

  static bool IsFixed(GridCell cell) { return cell.col == 0 || cell.row == 0; }
  bool IsEditable(GridCell cell) const;

  int ColLeft(int col) const;
  // The row's top in client coordinates, or false when it is scrolled out
  // above or lies wholly below the client area.
  bool RowTop(int row, int& y) const;
  // The cell at a client point (each cell owns its right and bottom lines);
  // {-1, -1} outside every cell.
  GridCell HitTest(int x, int y) const;
  // The smallest top row that still shows `row` whole (`row` itself when
  // even that one does not fit).
  int FirstTopShowing(int row) const;
  // The largest top row: the one that shows the last row at the bottom.
  int MaxTop() const;
  // Rows shown whole from `top` on, at least 1: a page for Page Up/Down.
  int PageRows() const;
  // Tab order from `from`: along the row, then to the next row's first
  // parameter cell (backwards the other way); false when that leaves the
  // parameter cells.
  bool TabTarget(GridCell from, bool backwards, GridCell& target) const;

 private:
  const config::SensorTable& table_;
  int top_;
  int client_height_;
};

}  // namespace quorvel::ui
