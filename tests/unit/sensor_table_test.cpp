#include "config/sensor_table.h"

#include <gtest/gtest.h>

namespace quorvel::config {
namespace {

std::vector<std::string> RowTexts(const SensorTable& t, int row) {
  return {t.Cell(0, row), t.Cell(1, row), t.Cell(2, row), t.Cell(3, row)};
}

using Texts = std::vector<std::string>;

TEST(SensorTable, DesignedGrid) {
  SensorTable t;
  EXPECT_EQ(t.ColCount(), 4);
  EXPECT_EQ(t.RowCount(), 2);
  EXPECT_EQ(t.ColWidth(0), 103);
  EXPECT_EQ(t.ColWidth(3), 84);
  EXPECT_EQ(t.RowHeight(1), 21);
  EXPECT_TRUE(t.cells().empty());
}

TEST(SensorTable, CountsDropAndAddWithDefaults) {
  SensorTable t;
  t.SetRowCount(4);
  t.SetCell(2, 3, "x");
  EXPECT_EQ(t.RowHeight(3), 21);
  t.SetRowCount(3);
  t.SetRowCount(4);
  EXPECT_EQ(t.Cell(2, 3), "");  // the dropped row came back empty
  t.SetCell(3, 1, "y");
  t.SetColCount(3);
  t.SetColCount(5);
  EXPECT_EQ(t.Cell(3, 1), "");
  EXPECT_EQ(t.ColWidth(4), kDefaultColWidth);
  t.SetRowCount(0);
  EXPECT_EQ(t.RowCount(), 1);
  t.SetCell(9, 9, "outside");
  t.SetCell(-1, 0, "outside");
  EXPECT_TRUE(t.cells().empty());
}

TEST(ResetSensorTable, OneSensorGivesTheWholeDefaultTable) {
  SensorTable t;
  ResetSensorTable(t, "S", 1);
  EXPECT_EQ(t.RowCount(), 2);
  EXPECT_EQ(RowTexts(t, 0), (Texts{std::string(kHeaderName), std::string(kHeaderAddress),
                                   std::string(kHeaderChannel), std::string(kHeaderStep)}));
  EXPECT_EQ(RowTexts(t, 1), (Texts{"S1", "1", "0", "1"}));
  EXPECT_EQ(cp1251::ToUtf8(t.Cell(0, 0)), " Датчик");
}

TEST(ResetSensorTable, ClearsNothingAndNamesOnlyTheLastRow) {
  SensorTable t;
  t.SetRowCount(5);
  t.SetCell(1, 2, "7");
  ResetSensorTable(t, "T", 3);
  EXPECT_EQ(t.RowCount(), 4);
  EXPECT_EQ(RowTexts(t, 1), (Texts{"", "1", "0", "1"}));
  EXPECT_EQ(RowTexts(t, 2), (Texts{"", "7", "", ""}));
  EXPECT_EQ(RowTexts(t, 3), (Texts{"T3", "", "", ""}));
}

class ResizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSensorTable(t, "S", 1);
    ASSERT_TRUE(ResizeSensorTable(t, "3", "S"));
    for (int row = 1; row <= 3; ++row) {
      t.SetCell(1, row, std::to_string(10 + row));
      t.SetCell(2, row, "5");
    }
  }
  SensorTable t;
};

TEST_F(ResizeTest, GrowingReinitialisesTheOldLastRowToo) {
  ASSERT_TRUE(ResizeSensorTable(t, "5", "S"));
  EXPECT_EQ(t.RowCount(), 6);
  EXPECT_EQ(RowTexts(t, 2), (Texts{"S2", "12", "5", "1"}));
  EXPECT_EQ(RowTexts(t, 3), (Texts{"S3", "1", "0", "1"}));
  EXPECT_EQ(RowTexts(t, 5), (Texts{"S5", "1", "0", "1"}));
}

TEST_F(ResizeTest, ShrinkingOnlyDrops) {
  ASSERT_TRUE(ResizeSensorTable(t, "5", "S"));
  t.SetCell(1, 3, "33");
  ASSERT_TRUE(ResizeSensorTable(t, "3", "S"));
  EXPECT_EQ(t.RowCount(), 4);
  EXPECT_EQ(RowTexts(t, 3), (Texts{"S3", "33", "0", "1"}));
  EXPECT_EQ(t.Cell(0, 4), "");
}

TEST_F(ResizeTest, SameCountReinitialisesTheLastRow) {
  ASSERT_TRUE(ResizeSensorTable(t, "3", "S"));
  EXPECT_EQ(RowTexts(t, 2), (Texts{"S2", "12", "5", "1"}));
  EXPECT_EQ(RowTexts(t, 3), (Texts{"S3", "1", "0", "1"}));
}

TEST_F(ResizeTest, BadTextChangesNothing) {
  const auto before = t.cells();
  for (const char* text : {"", "abc", "0", "501", "-3", "3 ", "2.0"}) {
    EXPECT_FALSE(ResizeSensorTable(t, text, "S")) << text;
  }
  EXPECT_EQ(t.RowCount(), 4);
  EXPECT_EQ(t.cells(), before);
  EXPECT_TRUE(ResizeSensorTable(t, "$1F4", "S"));  // 500, any integer spelling
  EXPECT_EQ(t.RowCount(), 501);
}

TEST(RenameSensorRows, EveryRowButTheHeader) {
  SensorTable t;
  ResetSensorTable(t, "S", 1);
  ResizeSensorTable(t, "3", "S");
  RenameSensorRows(t, cp1251::FromUtf8("Д"));
  EXPECT_EQ(cp1251::ToUtf8(t.Cell(0, 3)), "Д3");
  EXPECT_EQ(t.Cell(0, 0), std::string(kHeaderName));
  RenameSensorRows(t, "");
  EXPECT_EQ(t.Cell(0, 2), "2");
}

TEST(ValidateSensorTable, ParameterCells) {
  SensorTable t;
  ResetSensorTable(t, "S", 1);
  EXPECT_TRUE(ValidateSensorTable(t));
  for (const char* good : {" 5", "+5", "$1F", "0x1f", "0", "-0"}) {
    t.SetCell(2, 1, good);
    EXPECT_TRUE(ValidateSensorTable(t)) << good;
  }
  for (const char* bad : {"5 ", "1.5", "-1", "$80000000", "", "abc"}) {
    t.SetCell(2, 1, bad);
    EXPECT_FALSE(ValidateSensorTable(t)) << '"' << bad << '"';
  }
  t.SetCell(2, 1, "0");
  t.SetCell(0, 1, "not a number");  // names are not checked
  EXPECT_TRUE(ValidateSensorTable(t));
}

// Every parameter cell counts, in every row up to the last and in every
// column after the names, also one added beyond the step column.
TEST(ValidateSensorTable, EveryParameterCell) {
  SensorTable t;
  ResetSensorTable(t, "S", 1);
  ResizeSensorTable(t, "3", "S");
  t.SetColCount(5);
  for (int row = 1; row <= 3; ++row) t.SetCell(4, row, "0");
  ASSERT_TRUE(ValidateSensorTable(t)) << "the header row and the names are not checked";
  for (int row = 1; row <= 3; ++row) {
    for (int col = 1; col <= 4; ++col) {
      for (const char* bad : {"-1", ""}) {
        const std::string kept = t.Cell(col, row);
        t.SetCell(col, row, bad);
        EXPECT_FALSE(ValidateSensorTable(t))
            << "cell (" << col << ", " << row << ") \"" << bad << '"';
        t.SetCell(col, row, kept);
      }
    }
  }
}

}  // namespace
}  // namespace quorvel::config
