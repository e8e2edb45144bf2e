// Fuzzes the sensor table's file reader: any input must be read or refused
// without a fault, and a table that was read must come back the same from
// what the writer makes of it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/sensor_table.h"
#include "config/table_stream.h"

namespace {

using quorvel::config::DecodeSensorTable;
using quorvel::config::EncodeSensorTable;
using quorvel::config::SensorTable;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SensorTable table;
  if (DecodeSensorTable(std::string_view(reinterpret_cast<const char*>(data), size), table)) {
    return 0;
  }
  const std::string written = EncodeSensorTable(table, 0);
  SensorTable back;
  Check(!DecodeSensorTable(written, back));
  Check(back.ColCount() == table.ColCount() && back.RowCount() == table.RowCount());
  for (int col = 0; col < table.ColCount(); ++col) Check(back.ColWidth(col) == table.ColWidth(col));
  for (int row = 0; row < table.RowCount(); ++row) {
    Check(back.RowHeight(row) == table.RowHeight(row));
  }
  Check(back.cells() == table.cells());
  return 0;
}
