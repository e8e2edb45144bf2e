#include "config/sensor_table.h"

#include <algorithm>

#include "config/integer_text.h"

namespace quorvel::config {

namespace {

const std::string kEmpty;

}  // namespace

SensorTable::SensorTable()
    : col_widths_(std::begin(kDesignedColWidths), std::end(kDesignedColWidths)),
      row_heights_(2, kDefaultRowHeight) {}

const std::string& SensorTable::Cell(int col, int row) const {
  const auto found = cells_.find({row, col});
  return found == cells_.end() ? kEmpty : found->second;
}

void SensorTable::SetCell(int col, int row, std::string text) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return;
  if (text.empty()) {
    cells_.erase({row, col});
  } else {
    cells_[{row, col}] = std::move(text);
  }
}

void SensorTable::ClearCells() {
  cells_.clear();
}

void SensorTable::SetRowCount(int rows) {
  rows = std::max(rows, 1);
  row_heights_.resize(static_cast<std::size_t>(rows), kDefaultRowHeight);
  cells_.erase(cells_.lower_bound({rows, 0}), cells_.end());
}

void SensorTable::SetColCount(int cols) {
  cols = std::max(cols, 1);
  col_widths_.resize(static_cast<std::size_t>(cols), kDefaultColWidth);
  std::erase_if(cells_, [cols](const auto& cell) { return cell.first.second >= cols; });
}

TSensorRow SensorTable::Row(int row) const {
  return {Cell(0, row), Cell(1, row), Cell(2, row), Cell(3, row)};
}

void SetRowName(SensorTable& table, int row, std::string_view prefix) {
  table.SetCell(0, row, std::string(prefix) + std::to_string(row));
}

void ResetSensorTable(SensorTable& table, std::string_view prefix, int sensor_count) {
  table.SetCell(0, 0, std::string(kHeaderName));
  table.SetCell(1, 0, std::string(kHeaderAddress));
  table.SetCell(2, 0, std::string(kHeaderChannel));
  table.SetCell(3, 0, std::string(kHeaderStep));
  table.SetCell(1, 1, "1");
  table.SetCell(2, 1, "0");
  table.SetCell(3, 1, "1");
  table.SetRowCount(sensor_count + 1);
  SetRowName(table, table.RowCount() - 1, prefix);
}

bool ResizeSensorTable(SensorTable& table, std::string_view count_text, std::string_view prefix) {
  const auto count = ParseIntegerText(count_text);
  if (!count || *count < 1 || *count > kMaxSensors) return false;
  const int old_rows = table.RowCount();
  table.SetRowCount(*count + 1);
  if (*count + 1 >= old_rows) {
    // The old last row is re-initialised as well as the new ones.
    for (int row = old_rows - 1; row <= *count; ++row) {
      SetRowName(table, row, prefix);
      table.SetCell(1, row, "1");
      table.SetCell(2, row, "0");
      table.SetCell(3, row, "1");
    }
  }
  return true;
}

void RenameSensorRows(SensorTable& table, std::string_view prefix) {
  for (int row = 1; row < table.RowCount(); ++row) SetRowName(table, row, prefix);
}

bool ValidateSensorTable(const SensorTable& table) {
  for (int row = 1; row < table.RowCount(); ++row) {
    for (int col = 1; col < table.ColCount(); ++col) {
      const auto value = ParseIntegerText(table.Cell(col, row));
      if (!value || *value < 0) return false;
    }
  }
  return true;
}

}  // namespace quorvel::config
