// The sensor table: what is polled and under which DDE item names.
//
// A rectangle of Windows-1251 texts, normally 4 columns by N + 1 rows (N
// sensors, 1..500): row 0 is the header, column 0 the item names, columns 1
// to 3 the device address, channel and step, all kept as text and parsed
// where they are used. Column widths and row heights travel with it in its
// file. Cells are stored sparsely, so a table read from a damaged file costs
// memory in proportion to the file, not to the counts it claims.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/cp1251.h"

namespace quorvel::config {

inline constexpr int kSensorColumns = 4;
inline constexpr int kMaxSensors = 500;
inline constexpr int kDefaultRowHeight = 21;
// A column the designed grid does not have (only from a file edited by hand).
inline constexpr int kDefaultColWidth = 64;
inline constexpr int kDesignedColWidths[kSensorColumns] = {103, 111, 92, 84};

// Row 0, columns 0 to 3.
inline constexpr auto kHeaderName = cp1251::Text(" Датчик");
inline constexpr auto kHeaderAddress = cp1251::Text("Прибор №");
inline constexpr auto kHeaderChannel = cp1251::Text("Канал №");
inline constexpr auto kHeaderStep = cp1251::Text("Шаг");

// One sensor, as its row holds it.
struct TSensorRow {
  std::string Name;
  std::string Address;
  std::string Channel;
  std::string Step;
};

class SensorTable {
 public:
  // The grid as designed: 4 columns, a header row and one sensor row, no text.
  SensorTable();

  int RowCount() const { return static_cast<int>(row_heights_.size()); }
  int ColCount() const { return static_cast<int>(col_widths_.size()); }

  // The empty text outside the table.
  const std::string& Cell(int col, int row) const;
  // Ignored outside the table.
  void SetCell(int col, int row, std::string text);
  // Empties every cell; counts and sizes stay.
  void ClearCells();

  // At least 1. Rows or columns beyond a smaller count go with their texts;
  // new rows are 21 pixels high, new columns 64 pixels wide.
  void SetRowCount(int rows);
  void SetColCount(int cols);

  int ColWidth(int col) const { return col_widths_.at(static_cast<std::size_t>(col)); }
  int RowHeight(int row) const { return row_heights_.at(static_cast<std::size_t>(row)); }
  void SetColWidth(int col, int width) { col_widths_.at(static_cast<std::size_t>(col)) = width; }
  void SetRowHeight(int row, int height) {
    row_heights_.at(static_cast<std::size_t>(row)) = height;
  }

  TSensorRow Row(int row) const;

  // The non-empty cells, row by row and within a row column by column:
  // (row, column) -> text.
  const std::map<std::pair<int, int>, std::string>& cells() const { return cells_; }

 private:
  std::vector<int> col_widths_;
  std::vector<int> row_heights_;
  std::map<std::pair<int, int>, std::string> cells_;
};

// Cell (0, row) := prefix + the row number in decimal.
void SetRowName(SensorTable& table, int row, std::string_view prefix);

// The default table, built over whatever the table holds: the header texts,
// "1", "0", "1" in row 1, sensor_count + 1 rows, and the last row named. It
// clears nothing, so with one sensor it gives the whole default table.
void ResetSensorTable(SensorTable& table, std::string_view prefix, int sensor_count);

// Applies the sensor-count box's text. Text that is not integer text or a
// count outside 1..500 changes nothing (false). Growing, or keeping the
// count, re-initialises every row from the old last row on; shrinking only
// drops rows.
bool ResizeSensorTable(SensorTable& table, std::string_view count_text, std::string_view prefix);

// Rewrites every name cell (rows 1 on) from the prefix.
void RenameSensorRows(SensorTable& table, std::string_view prefix);

// True when every parameter cell (columns 1 on, rows 1 on) is integer text
// with a value of 0 or more. Stops at the first failing cell.
bool ValidateSensorTable(const SensorTable& table);

}  // namespace quorvel::config
