// The sensor table's file content (DDEConf.dde): a sequence of records,
// little-endian, with no header and no trailer. The first record describes
// the grid, each further one holds one non-empty cell.
//
// Record:
//   "TPF0"                      signature, 54 50 46 30
//   n, n bytes                  class name: "TGridPropIO" or "TGridCellIO"
//   0x00                        object name, always empty
//   { name, tagged value }      properties, name as 1 length byte + bytes
//   0x00                        end of the properties
//   0x00                        end of the nested objects, always none
//
// Tagged value (tag byte, then payload):
//   0x02 int8   0x03 int16   0x04 int32
//   0x06 1-byte length + Windows-1251 bytes
//   0x0C 4-byte length + Windows-1251 bytes
//   0x12 4-byte count of UTF-16 units + UTF-16LE
//   0x14 4-byte length + UTF-8 bytes
//   0x08 false   0x09 true
//
// TGridPropIO: ColCount, RowCount (integers), ColWidths, RowHeights (the
// sizes in pixels as decimal numbers joined by ","), FullGrid (boolean,
// always true when written), ID (integer, the saving view's identifier, never
// read back). TGridCellIO: Col, Row (integers), Cell (text), HasProp (boolean,
// always false). A property whose text would be empty is left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/sensor_table.h"

namespace quorvel::config {

// The whole file content: the grid record, then one record per non-empty
// cell, row by row and within a row column by column.
std::string EncodeSensorTable(const SensorTable& table, std::int32_t id);

// Reads `bytes` into `table`; an error message on failure. The table is
// changed as the records are read: with FullGrid true the cells are emptied
// and the counts and sizes taken from the first record; with FullGrid false
// the size stays and every cell lands at its coordinates minus those of the
// first cell record. After a failure past the first record, what was applied
// stays. One stray byte after the last record is ignored.
//
// No allocation is larger than the input can describe: lengths and counts
// are checked against the remaining bytes before anything is reserved, and
// the size lists must hold as many entries as the counts they size.
std::optional<std::string> DecodeSensorTable(std::string_view bytes, SensorTable& table);

}  // namespace quorvel::config
