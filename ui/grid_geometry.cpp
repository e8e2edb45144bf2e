#include "ui/grid_geometry.h"

#include <algorithm>

namespace quorvel::ui {

int GridGeometry::Height(int row) const {
  return std::max(table_.RowHeight(row), 0);
}

int GridGeometry::Width(int col) const {
  return std::max(table_.ColWidth(col), 0);
}

bool GridGeometry::IsEditable(GridCell cell) const {
  return cell.col >= 1 && cell.col <= LastCol() && cell.row >= 1 && cell.row <= LastRow();
}

int GridGeometry::ColLeft(int col) const {
  int x = 0;
  for (int c = 0; c < col; ++c) x += Width(c) + 1;
  return x;
}

bool GridGeometry::RowTop(int row, int& y) const {
  if (row == 0) {
    y = 0;
    return true;
  }
  if (row < top_) return false;
  y = BodyTop();
  for (int r = top_; r < row; ++r) {
    y += Height(r) + 1;
    if (y >= client_height_) return false;
  }
  return y < client_height_;
}

GridCell GridGeometry::HitTest(int x, int y) const {
  if (x < 0 || y < 0) return {};
  GridCell hit;
  for (int c = 0, left = 0; c <= LastCol(); ++c) {
    left += Width(c) + 1;
    if (x < left) {
      hit.col = c;
      break;
    }
  }
  if (y < BodyTop()) {
    hit.row = 0;
  } else {
    for (int r = top_, bottom = BodyTop(); r <= LastRow(); ++r) {
      bottom += Height(r) + 1;
      if (y < bottom) {
        hit.row = r;
        break;
      }
    }
  }
  return hit.col >= 0 && hit.row >= 0 ? hit : GridCell{};
}

int GridGeometry::FirstTopShowing(int row) const {
  const int room = client_height_ - BodyTop();
  int first = row;
  for (int used = Height(row); first > 1 && used + Height(first - 1) + 1 <= room; --first) {
    used += Height(first - 1) + 1;
  }
  return first;
}

int GridGeometry::MaxTop() const {
  return LastRow() >= 1 ? FirstTopShowing(LastRow()) : 1;
}

int GridGeometry::PageRows() const {
  int rows = 0;
  for (int r = top_, y = BodyTop(); r <= LastRow() && y + Height(r) <= client_height_; ++r) {
    y += Height(r) + 1;
    ++rows;
  }
  return std::max(rows, 1);
}

bool GridGeometry::TabTarget(GridCell from, bool backwards, GridCell& target) const {
  if (!backwards) {
    target = from.col < LastCol() ? GridCell{from.col + 1, from.row} : GridCell{1, from.row + 1};
  } else {
    target = from.col > 1 ? GridCell{from.col - 1, from.row} : GridCell{LastCol(), from.row - 1};
  }
  return IsEditable(target);
}

}  // namespace quorvel::ui
