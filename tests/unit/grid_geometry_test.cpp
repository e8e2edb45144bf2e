#include "ui/grid_geometry.h"

#include <gtest/gtest.h>

namespace quorvel::ui {
namespace {

// The designed grid: columns 103, 111, 92 and 84 wide, rows 21 high, each
// with its one-pixel line; ten sensor rows.
class GridGeometryTest : public ::testing::Test {
 protected:
  GridGeometryTest() { config::ResetSensorTable(table, "S", 10); }
  config::SensorTable table;
};

TEST_F(GridGeometryTest, EachCellOwnsItsRightAndBottomLines) {
  const GridGeometry at_top(table, /*top=*/1, /*client_height=*/200);
  EXPECT_EQ(at_top.HitTest(0, 0), (GridCell{0, 0}));
  EXPECT_EQ(at_top.HitTest(103, 21), (GridCell{0, 0})) << "the lines of the first cell";
  EXPECT_EQ(at_top.HitTest(104, 22), (GridCell{1, 1}));
  EXPECT_EQ(at_top.HitTest(104 + 112 + 93 + 84, 43), (GridCell{3, 1}));
  EXPECT_EQ(at_top.HitTest(104 + 112 + 93 + 85, 43), GridCell{}) << "right of the last column";
  EXPECT_EQ(at_top.HitTest(-1, 5), GridCell{});
  EXPECT_EQ(at_top.HitTest(5, 22 + 10 * 22), GridCell{}) << "below the last row";
  // Scrolled: row 0 stays, the body starts at the top row.
  const GridGeometry scrolled(table, /*top=*/5, /*client_height=*/200);
  EXPECT_EQ(scrolled.HitTest(5, 10), (GridCell{0, 0}));
  EXPECT_EQ(scrolled.HitTest(5, 22), (GridCell{0, 5}));
  EXPECT_EQ(scrolled.ColLeft(2), 104 + 112);
}

TEST_F(GridGeometryTest, RowsShownFromTheTopRowWithinTheClientArea) {
  const GridGeometry g(table, /*top=*/3, /*client_height=*/100);
  int y = -1;
  EXPECT_TRUE(g.RowTop(0, y));
  EXPECT_EQ(y, 0);
  EXPECT_FALSE(g.RowTop(2, y)) << "scrolled out above";
  EXPECT_TRUE(g.RowTop(3, y));
  EXPECT_EQ(y, 22);
  EXPECT_TRUE(g.RowTop(6, y));
  EXPECT_EQ(y, 88) << "partly shown";
  EXPECT_FALSE(g.RowTop(7, y)) << "wholly below";
  // 78 pixels below the header: three whole rows a page; the last row shows
  // whole from top row 8 on.
  EXPECT_EQ(g.PageRows(), 3);
  EXPECT_EQ(GridGeometry(table, 3, 87).PageRows(), 3) << "a row ending at the last pixel is whole";
  EXPECT_EQ(g.FirstTopShowing(10), 8);
  EXPECT_EQ(g.MaxTop(), 8);
  EXPECT_EQ(GridGeometry(table, 1, 30).PageRows(), 1) << "at least one row a page";
  EXPECT_EQ(GridGeometry(table, 1, 30).FirstTopShowing(10), 10) << "not even one fits";
  table.SetRowHeight(4, -7);
  EXPECT_EQ(GridGeometry(table, 3, 100).Height(4), 0);
}

TEST_F(GridGeometryTest, TabGoesAlongTheRowThenToTheNextAndStopsAtTheEnds) {
  const GridGeometry g(table, 1, 200);
  GridCell target;
  EXPECT_TRUE(g.TabTarget({1, 1}, /*backwards=*/false, target));
  EXPECT_EQ(target, (GridCell{2, 1}));
  EXPECT_TRUE(g.TabTarget({3, 1}, false, target));
  EXPECT_EQ(target, (GridCell{1, 2}));
  EXPECT_TRUE(g.TabTarget({1, 2}, /*backwards=*/true, target));
  EXPECT_EQ(target, (GridCell{3, 1}));
  EXPECT_FALSE(g.TabTarget({3, 10}, false, target)) << "past the last cell";
  EXPECT_FALSE(g.TabTarget({1, 1}, true, target)) << "before the first";
  EXPECT_FALSE(GridGeometry::IsFixed({1, 1}));
  EXPECT_TRUE(GridGeometry::IsFixed({0, 4}));
}

}  // namespace
}  // namespace quorvel::ui
