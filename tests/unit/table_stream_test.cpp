#include "config/table_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1251.h"
#include "config/sensor_table.h"

namespace quorvel::config {
namespace {

// A literal with its embedded zero bytes.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// The byte tables below keep one field per literal (a hex escape would run
// into a following name such as "Col"), laid out by hand.
// clang-format off

// The whole file of the default one-sensor table ("S" prefix), saved with ID
// 0x00030A5C.
const std::string kDefaultFile = Bytes(
    // TGridPropIO
    "TPF0" "\x0B" "TGridPropIO" "\x00"
    "\x08" "ColCount" "\x02\x04"
    "\x08" "RowCount" "\x02\x02"
    "\x09" "ColWidths" "\x06\x0D" "103,111,92,84"
    "\x0A" "RowHeights" "\x06\x05" "21,21"
    "\x08" "FullGrid" "\x09"
    "\x02" "ID" "\x04\x5C\x0A\x03\x00"
    "\x00\x00"
    // (0, 0) " Датчик": UTF-8, 13 bytes
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x00" "\x03" "Row" "\x02\x00"
    "\x04" "Cell" "\x14\x0D\x00\x00\x00" " \xD0\x94\xD0\xB0\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (1, 0) "Прибор №": UTF-16, 8 units
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x01" "\x03" "Row" "\x02\x00"
    "\x04" "Cell" "\x12\x08\x00\x00\x00"
    "\x1F\x04\x40\x04\x38\x04\x31\x04\x3E\x04\x40\x04\x20\x00\x16\x21"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (2, 0) "Канал №": UTF-16, 7 units
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x02" "\x03" "Row" "\x02\x00"
    "\x04" "Cell" "\x12\x07\x00\x00\x00" "\x1A\x04\x30\x04\x3D\x04\x30\x04\x3B\x04\x20\x00\x16\x21"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (3, 0) "Шаг": UTF-16, 3 units
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x03" "\x03" "Row" "\x02\x00"
    "\x04" "Cell" "\x12\x03\x00\x00\x00" "\x28\x04\x30\x04\x33\x04"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (0, 1) "S1"
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x00" "\x03" "Row" "\x02\x01"
    "\x04" "Cell" "\x06\x02" "S1"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (1, 1) "1"
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x01" "\x03" "Row" "\x02\x01"
    "\x04" "Cell" "\x06\x01" "1"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (2, 1) "0"
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x02" "\x03" "Row" "\x02\x01"
    "\x04" "Cell" "\x06\x01" "0"
    "\x07" "HasProp" "\x08" "\x00\x00"
    // (3, 1) "1"
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x03" "\x03" "Row" "\x02\x01"
    "\x04" "Cell" "\x06\x01" "1"
    "\x07" "HasProp" "\x08" "\x00\x00");

// Everything of a cell record for column 0, row 1 up to its text's value,
// and everything after that value.
const std::string kCell01Head = Bytes(
    "TPF0" "\x0B" "TGridCellIO" "\x00"
    "\x03" "Col" "\x02\x00" "\x03" "Row" "\x02\x01" "\x04" "Cell");
const std::string kCellTail = Bytes("\x07" "HasProp" "\x08" "\x00\x00");

const std::string kGridClassHead = Bytes("TPF0" "\x0B" "TGridPropIO" "\x00");
const std::string kCellClassHead = Bytes("TPF0" "\x0B" "TGridCellIO" "\x00");
const std::string kColName = Bytes("\x03" "Col");
const std::string kRowName = Bytes("\x03" "Row");
const std::string kCellName = Bytes("\x04" "Cell");

// clang-format on

constexpr std::int32_t kDefaultId = 0x00030A5C;

SensorTable DefaultTable() {
  SensorTable table;
  ResetSensorTable(table, "S", 1);
  return table;
}

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

// ---- Hand-made records, for the decoder ----

std::string ShortString(std::string_view text) {
  return std::string(1, static_cast<char>(text.size())) + std::string(text);
}

std::string LittleEndian(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

std::string Int8(std::string_view name, std::int8_t value) {
  return ShortString(name) + "\x02" + LittleEndian(static_cast<std::uint8_t>(value), 1);
}
std::string Int16(std::string_view name, std::int16_t value) {
  return ShortString(name) + "\x03" + LittleEndian(static_cast<std::uint16_t>(value), 2);
}
std::string Int32(std::string_view name, std::int32_t value) {
  return ShortString(name) + "\x04" + LittleEndian(static_cast<std::uint32_t>(value), 4);
}
std::string Boolean(std::string_view name, bool value) {
  return ShortString(name) + (value ? "\x09" : "\x08");
}
std::string Short(std::string_view name, std::string_view text) {
  return ShortString(name) + "\x06" + ShortString(text);
}
std::string Long(std::string_view name, std::string_view text) {
  return ShortString(name) + "\x0C" + LittleEndian(static_cast<std::uint32_t>(text.size()), 4) +
         std::string(text);
}
std::string Wide(std::string_view name, std::u16string_view text) {
  std::string out = ShortString(name) + "\x12" + LittleEndian(text.size(), 4);
  for (char16_t unit : text) out += LittleEndian(unit, 2);
  return out;
}
std::string Utf8(std::string_view name, std::string_view text) {
  return ShortString(name) + "\x14" + LittleEndian(static_cast<std::uint32_t>(text.size()), 4) +
         std::string(text);
}

std::string Record(std::string_view class_name, const std::string& properties) {
  return "TPF0" + ShortString(class_name) + std::string(1, '\0') + properties +
         std::string(2, '\0');
}

std::string GridRecord(int cols, int rows, std::string_view widths, std::string_view heights,
                       bool full_grid = true) {
  return Record("TGridPropIO", Int32("ColCount", cols) + Int32("RowCount", rows) +
                                   Short("ColWidths", widths) + Short("RowHeights", heights) +
                                   Boolean("FullGrid", full_grid) + Int8("ID", 0));
}

std::string CellRecord(int col, int row, std::string_view text) {
  return Record("TGridCellIO", Int32("Col", col) + Int32("Row", row) + Short("Cell", text) +
                                   Boolean("HasProp", false));
}

// A valid first record for four columns and two rows.
const std::string kGrid = GridRecord(4, 2, "103,111,92,84", "21,21");

// The file cut into its records (no text in these tests holds "TPF0").
std::vector<std::string> Records(const std::string& file) {
  std::vector<std::string> records;
  std::size_t start = file.find("TPF0");
  while (start != std::string::npos) {
    const std::size_t next = file.find("TPF0", start + 1);
    records.push_back(file.substr(start, next == std::string::npos ? next : next - start));
    start = next;
  }
  return records;
}

void ExpectSameTable(const SensorTable& actual, const SensorTable& expected) {
  ASSERT_EQ(actual.ColCount(), expected.ColCount());
  ASSERT_EQ(actual.RowCount(), expected.RowCount());
  for (int col = 0; col < expected.ColCount(); ++col) {
    EXPECT_EQ(actual.ColWidth(col), expected.ColWidth(col)) << "column " << col;
  }
  for (int row = 0; row < expected.RowCount(); ++row) {
    EXPECT_EQ(actual.RowHeight(row), expected.RowHeight(row)) << "row " << row;
  }
  EXPECT_EQ(actual.cells(), expected.cells());
}

// ---- Writing ----

TEST(EncodeSensorTable, CellRecordWorkedExample) {
  const std::string record = Bytes(
      "\x54\x50\x46\x30\x0B\x54\x47\x72\x69\x64\x43\x65\x6C\x6C\x49\x4F\x00\x03\x43\x6F\x6C\x02"
      "\x00\x03\x52\x6F\x77\x02\x01\x04\x43\x65\x6C\x6C\x06\x02\x53\x31\x07\x48\x61\x73\x50\x72"
      "\x6F\x70\x08\x00\x00");
  ASSERT_EQ(record.size(), 49u);
  SensorTable table;
  const std::string grid_only = EncodeSensorTable(table, 7);
  table.SetCell(0, 1, "S1");
  EXPECT_EQ(EncodeSensorTable(table, 7), grid_only + record);
  // The decoder tests build their records with the same layout.
  EXPECT_EQ(Record("TGridCellIO", Int8("Col", 0) + Int8("Row", 1) + Short("Cell", "S1") +
                                      Boolean("HasProp", false)),
            record);
}

TEST(EncodeSensorTable, DefaultOneSensorFile) {
  EXPECT_EQ(EncodeSensorTable(DefaultTable(), kDefaultId), kDefaultFile);
}

TEST(EncodeSensorTable, IdTakesTheSmallestIntegerTag) {
  // clang-format off
  const struct {
    std::int32_t id;
    std::string value;
  } cases[] = {
      {0, Bytes("\x02\x00")},
      {-128, Bytes("\x02\x80")},
      {127, Bytes("\x02\x7F")},
      {128, Bytes("\x03\x80\x00")},
      {-129, Bytes("\x03\x7F\xFF")},
      {32767, Bytes("\x03\xFF\x7F")},
      {-32768, Bytes("\x03\x00\x80")},
      {32768, Bytes("\x04\x00\x80\x00\x00")},
      {-32769, Bytes("\x04\xFF\x7F\xFF\xFF")},
      {INT32_MIN, Bytes("\x04\x00\x00\x00\x80")},
  };
  const std::string grid_head = Bytes(
      "TPF0" "\x0B" "TGridPropIO" "\x00"
      "\x08" "ColCount" "\x02\x04"
      "\x08" "RowCount" "\x02\x02"
      "\x09" "ColWidths" "\x06\x0D" "103,111,92,84"
      "\x0A" "RowHeights" "\x06\x05" "21,21"
      "\x08" "FullGrid" "\x09"
      "\x02" "ID");
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeSensorTable(SensorTable(), c.id), grid_head + c.value + Bytes("\x00\x00"))
        << c.id;
  }
}

TEST(EncodeSensorTable, TextTags) {
  // clang-format off
  const struct {
    std::string text;  // Windows-1251
    std::string value;
  } cases[] = {
      {"S1", Bytes("\x06\x02" "S1")},
      // A Cyrillic prefix and digits: UTF-8 is the shorter.
      {std::string(cp1251::Text("Датчик7")),
       Bytes("\x14\x0D\x00\x00\x00" "\xD0\x94\xD0\xB0\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA" "7")},
      // Cyrillic letters only: UTF-16.
      {std::string(cp1251::Text("Давление")),
       Bytes("\x12\x08\x00\x00\x00"
             "\x14\x04\x30\x04\x32\x04\x3B\x04\x35\x04\x3D\x04\x38\x04\x35\x04")},
      // As long in UTF-8 as in UTF-16 (3 + 1 against 2 * 2): UTF-16.
      {std::string(cp1251::Text("№5")), Bytes("\x12\x02\x00\x00\x00" "\x16\x21\x35\x00")},
      {std::string(255, 'x'), Bytes("\x06\xFF") + std::string(255, 'x')},
      {std::string(256, 'x'), Bytes("\x0C\x00\x01\x00\x00") + std::string(256, 'x')},
      {std::string(70000, 'x'), Bytes("\x0C\x70\x11\x01\x00") + std::string(70000, 'x')},
  };
  // clang-format on
  const std::string grid_only = EncodeSensorTable(SensorTable(), 0);
  for (const auto& c : cases) {
    SensorTable table;
    table.SetCell(0, 1, c.text);
    EXPECT_EQ(EncodeSensorTable(table, 0), Cat({grid_only, kCell01Head, c.value, kCellTail}))
        << cp1251::ToUtf8(c.text.substr(0, 20));
  }
}

TEST(EncodeSensorTable, HeaderTextTagsAndLengths) {
  const std::string heads[] = {
      Bytes("\x14\x0D\x00\x00\x00"),  // " Датчик": UTF-8, 13 bytes
      Bytes("\x12\x08\x00\x00\x00"),  // "Прибор №": UTF-16, 8 units
      Bytes("\x12\x07\x00\x00\x00"),  // "Канал №": UTF-16, 7 units
      Bytes("\x12\x03\x00\x00\x00"),  // "Шаг": UTF-16, 3 units
  };
  const std::vector<std::string> records = Records(EncodeSensorTable(DefaultTable(), 0));
  ASSERT_GE(records.size(), 5u);
  for (int col = 0; col < 4; ++col) {
    const std::string& record = records[1 + col];
    const std::size_t cell = record.find(kCellName);
    ASSERT_NE(cell, std::string::npos);
    EXPECT_EQ(record.substr(cell + kCellName.size(), 5), heads[col]) << col;
  }
}

TEST(EncodeSensorTable, OneSensorIsTheGridRecordAndEightCells) {
  const std::vector<std::string> records = Records(EncodeSensorTable(DefaultTable(), 1));
  ASSERT_EQ(records.size(), 9u);
  EXPECT_EQ(records[0].substr(0, kGridClassHead.size()), kGridClassHead);
  int index = 1;
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 4; ++col, ++index) {
      const std::string& record = records[index];
      EXPECT_EQ(record.substr(0, kCellClassHead.size()), kCellClassHead) << index;
      const char col_value[] = {'\x02', static_cast<char>(col)};
      const char row_value[] = {'\x02', static_cast<char>(row)};
      const std::string position = Cat({kColName, {col_value, 2}, kRowName, {row_value, 2}});
      EXPECT_EQ(record.substr(kCellClassHead.size(), position.size()), position) << index;
    }
  }
}

TEST(EncodeSensorTable, ClearedCellIsNotWritten) {
  SensorTable table = DefaultTable();
  ResizeSensorTable(table, "3", "S");
  table.SetCell(2, 2, "");
  const std::string file = EncodeSensorTable(table, 0);
  EXPECT_EQ(Records(file).size(), 1u + 4 + 3 * 4 - 1);
  // clang-format off
  EXPECT_EQ(file.find(Bytes("\x03" "Col" "\x02\x02" "\x03" "Row" "\x02\x02")), std::string::npos);
  // clang-format on

  SensorTable back;
  back.SetCell(2, 2, "stale");
  ASSERT_EQ(DecodeSensorTable(file, back), std::nullopt);
  EXPECT_EQ(back.Cell(2, 2), "");
  ExpectSameTable(back, table);
}

TEST(EncodeSensorTable, FiveHundredSensors) {
  SensorTable table = DefaultTable();
  ASSERT_TRUE(ResizeSensorTable(table, "500", "S"));
  const std::string file = EncodeSensorTable(table, 0);
  std::string heights = "21";
  for (int row = 1; row < 501; ++row) heights += ",21";
  ASSERT_EQ(heights.size(), 3u * 501 - 1);

  // clang-format off
  EXPECT_NE(file.find(Bytes("\x08" "RowCount" "\x03\xF5\x01")), std::string::npos);
  EXPECT_NE(file.find(Bytes("\x0A" "RowHeights" "\x0C\xDE\x05\x00\x00") + heights +
                      Bytes("\x08" "FullGrid")),
            std::string::npos);
  // Rows up to 127 take one byte, from 128 on two.
  EXPECT_NE(file.find(Bytes("TPF0" "\x0B" "TGridCellIO" "\x00" "\x03" "Col" "\x02\x00"
                            "\x03" "Row" "\x02\x7F" "\x04" "Cell" "\x06\x04" "S127")),
            std::string::npos);
  EXPECT_NE(file.find(Bytes("TPF0" "\x0B" "TGridCellIO" "\x00" "\x03" "Col" "\x02\x00"
                            "\x03" "Row" "\x03\x80\x00" "\x04" "Cell" "\x06\x04" "S128")),
            std::string::npos);
  EXPECT_NE(file.find(Bytes("\x03" "Col" "\x02\x03" "\x03" "Row" "\x03\xF4\x01")),
            std::string::npos);
  // clang-format on
  EXPECT_EQ(Records(file).size(), 1u + 4 * 501);

  SensorTable back;
  ASSERT_EQ(DecodeSensorTable(file, back), std::nullopt);
  ExpectSameTable(back, table);
}

// ---- Reading ----

TEST(DecodeSensorTable, OneSensorRoundTrip) {
  SensorTable table = DefaultTable();
  table.SetColWidth(2, 150);
  table.SetRowHeight(1, 30);
  SensorTable back;
  back.SetRowCount(7);
  back.SetColCount(6);
  back.SetCell(5, 6, "stale");
  ASSERT_EQ(DecodeSensorTable(EncodeSensorTable(table, 1), back), std::nullopt);
  ExpectSameTable(back, table);
}

TEST(DecodeSensorTable, PinnedDefaultFile) {
  SensorTable back;
  ASSERT_EQ(DecodeSensorTable(kDefaultFile, back), std::nullopt);
  ExpectSameTable(back, DefaultTable());
}

TEST(DecodeSensorTable, CyrillicNamesRoundTrip) {
  SensorTable table = DefaultTable();
  ResizeSensorTable(table, "3", cp1251::Text("Датчик"));
  table.SetCell(0, 2, std::string(cp1251::Text("Давление")));
  table.SetCell(1, 3, std::string(cp1251::Text("Ёж ёж №1 €")));
  SensorTable back;
  ASSERT_EQ(DecodeSensorTable(EncodeSensorTable(table, 0), back), std::nullopt);
  ExpectSameTable(back, table);
}

TEST(DecodeSensorTable, EveryByteValueRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  all.push_back('\0');
  SensorTable table;
  table.SetCell(0, 0, all);                       // UTF-8
  table.SetCell(1, 0, all.substr(0xC0 - 1, 64));  // UTF-16: А to я
  table.SetCell(2, 0, all.substr(0, 0x7F));       // plain
  table.SetCell(3, 0, std::string("a\0b", 3));
  SensorTable back;
  ASSERT_EQ(DecodeSensorTable(EncodeSensorTable(table, 0), back), std::nullopt);
  ExpectSameTable(back, table);
}

TEST(DecodeSensorTable, EveryIntegerTag) {
  const std::string positions[] = {
      Int8("Col", 2) + Int8("Row", 1),
      Int16("Col", 2) + Int16("Row", 1),
      Int32("Col", 2) + Int32("Row", 1),
  };
  for (const std::string& position : positions) {
    SensorTable table;
    ASSERT_EQ(DecodeSensorTable(
                  Cat({kGrid, Record("TGridCellIO", Cat({position, Short("Cell", "v")}))}), table),
              std::nullopt);
    EXPECT_EQ(table.Cell(2, 1), "v");
  }
  const std::string counts[] = {
      Int8("ColCount", 5) + Int8("RowCount", 3),
      Int16("ColCount", 5) + Int16("RowCount", 3),
      Int32("ColCount", 5) + Int32("RowCount", 3),
  };
  for (const std::string& count : counts) {
    SensorTable table;
    ASSERT_EQ(DecodeSensorTable(Record("TGridPropIO", count + Short("ColWidths", "1,2,3,4,5") +
                                                          Short("RowHeights", "7,8,9") +
                                                          Boolean("FullGrid", true)),
                                table),
              std::nullopt);
    EXPECT_EQ(table.ColCount(), 5);
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.ColWidth(4), 5);
    EXPECT_EQ(table.RowHeight(2), 9);
  }
}

TEST(DecodeSensorTable, IntegersAreSignExtended) {
  // Without FullGrid the first cell is the origin: (-1, -300) and (0, -299)
  // are one column and one row apart only if the values keep their sign.
  const std::string origins[] = {
      Int8("Col", -1) + Int16("Row", -300),
      Int32("Col", -1) + Int32("Row", -300),
  };
  for (const std::string& origin : origins) {
    SensorTable table;
    const std::string file =
        GridRecord(4, 2, "", "", false) + Record("TGridCellIO", origin + Short("Cell", "a")) +
        Record("TGridCellIO", Int8("Col", 0) + Int16("Row", -299) + Short("Cell", "b"));
    ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
    EXPECT_EQ(table.Cell(0, 0), "a");
    EXPECT_EQ(table.Cell(1, 1), "b");
  }
}

TEST(DecodeSensorTable, EveryTextTag) {
  const struct {
    std::string property;
    std::string expected;
  } cases[] = {
      {Short("Cell", "abc"), "abc"},
      {Long("Cell", "abc"), "abc"},
      {Wide("Cell", u"abc"), "abc"},
      {Utf8("Cell", "abc"), "abc"},
      {Long("Cell", "\xC6\xB9"), "\xC6\xB9"},  // taken as Windows-1251
      {Short("Cell", ""), ""},
      // Characters outside Windows-1251 become '?'.
      {Wide("Cell", u"Ж№ü€\U0001F600x"), "\xC6\xB9?\x88?x"},
      {Utf8("Cell", "Ж№ü€\U0001F600x"), "\xC6\xB9?\x88?x"},
      {Utf8("Cell", "\xD0"), "?"},  // a cut sequence
  };
  for (const auto& c : cases) {
    SensorTable table;
    table.SetCell(0, 1, "before");
    const std::string file =
        kGrid + Record("TGridCellIO", Int8("Col", 0) + Int8("Row", 1) + c.property);
    ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
    EXPECT_EQ(table.Cell(0, 1), c.expected) << c.expected;
  }
}

TEST(DecodeSensorTable, MissingPropertiesKeepTheirDefaults) {
  SensorTable table;
  // No Col and Row: (0, 0). No Cell: the empty text, which empties the cell.
  const std::string file = kGrid + Record("TGridCellIO", Short("Cell", "x")) +
                           CellRecord(1, 1, "y") +
                           Record("TGridCellIO", Int8("Col", 1) + Int8("Row", 1));
  ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
  EXPECT_EQ(table.Cell(0, 0), "x");
  EXPECT_EQ(table.Cell(1, 1), "");
  EXPECT_EQ(table.cells().size(), 1u);
}

TEST(DecodeSensorTable, PropertyOrderAndClassNameDoNotMatter) {
  SensorTable table;
  const std::string grid =
      Record("", Boolean("FullGrid", true) + Short("RowHeights", "5,6,7") +
                     Short("ColWidths", "1,2") + Int8("RowCount", 3) + Int8("ColCount", 2));
  const std::string cell = Record("Anything", Short("Cell", "z") + Int8("Row", 2) + Int8("Col", 1));
  ASSERT_EQ(DecodeSensorTable(grid + cell, table), std::nullopt);
  EXPECT_EQ(table.ColCount(), 2);
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.RowHeight(2), 7);
  EXPECT_EQ(table.Cell(1, 2), "z");
}

TEST(DecodeSensorTable, SizeEntriesAreIntegerText) {
  SensorTable table;
  ASSERT_EQ(DecodeSensorTable(GridRecord(4, 2, " 103,$6F,0x5C,+84,999", "-21,21"), table),
            std::nullopt);
  EXPECT_EQ(table.ColWidth(0), 103);
  EXPECT_EQ(table.ColWidth(1), 111);
  EXPECT_EQ(table.ColWidth(2), 92);
  EXPECT_EQ(table.ColWidth(3), 84);
  EXPECT_EQ(table.RowHeight(0), -21);
}

TEST(DecodeSensorTable, CountsAreTakenAsTheyAre) {
  std::string heights = "9";
  for (int row = 1; row < 600; ++row) heights += ",9";
  const std::string file =
      Record("TGridPropIO", Int8("ColCount", 6) + Int16("RowCount", 600) +
                                Short("ColWidths", "1,2,3,4,5,6") + Long("RowHeights", heights) +
                                Boolean("FullGrid", true)) +
      CellRecord(5, 599, "far");
  SensorTable table;
  ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
  EXPECT_EQ(table.ColCount(), 6);
  EXPECT_EQ(table.RowCount(), 600);
  EXPECT_EQ(table.Cell(5, 599), "far");
}

TEST(DecodeSensorTable, CountsBelowOneNeedOneEntry) {
  SensorTable table;
  ASSERT_EQ(DecodeSensorTable(GridRecord(0, -5, "40", "17"), table), std::nullopt);
  EXPECT_EQ(table.ColCount(), 1);
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.ColWidth(0), 40);
  EXPECT_EQ(table.RowHeight(0), 17);
  EXPECT_EQ(DecodeSensorTable(GridRecord(0, 0, "", "17"), table),
            "ColWidths has too few entries: 0 for 1 columns");
}

TEST(DecodeSensorTable, CellsOutsideTheTableAreDropped) {
  SensorTable table;
  const std::string file = kGrid + CellRecord(4, 0, "a") + CellRecord(0, 2, "b") +
                           CellRecord(-1, 0, "c") + CellRecord(INT32_MAX, INT32_MAX, "d") +
                           CellRecord(3, 1, "e");
  ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
  EXPECT_EQ(table.cells().size(), 1u);
  EXPECT_EQ(table.Cell(3, 1), "e");
}

TEST(DecodeSensorTable, FullGridFalseKeepsTheSizeAndMovesCellsToTheOrigin) {
  SensorTable table;
  table.SetRowCount(3);
  table.SetColWidth(0, 55);
  table.SetCell(3, 2, "kept");
  const std::string file = GridRecord(9, 9, "1,1", "1", false) + CellRecord(2, 5, "a") +
                           CellRecord(3, 5, "b") + CellRecord(2, 6, "c") +
                           CellRecord(1, 5, "left of the origin") + CellRecord(4, 7, "d") +
                           CellRecord(INT32_MIN, INT32_MIN, "far");
  ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
  EXPECT_EQ(table.ColCount(), 4);
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.ColWidth(0), 55);
  EXPECT_EQ(table.Cell(0, 0), "a");
  EXPECT_EQ(table.Cell(1, 0), "b");
  EXPECT_EQ(table.Cell(0, 1), "c");
  EXPECT_EQ(table.Cell(2, 2), "d");
  EXPECT_EQ(table.Cell(3, 2), "kept");
  EXPECT_EQ(table.cells().size(), 5u);
}

TEST(DecodeSensorTable, FullGridMissingIsFalse) {
  SensorTable table;
  table.SetCell(0, 0, "kept");
  table.SetCell(1, 1, "kept too");
  const std::string file =
      Record("TGridPropIO", Int8("ColCount", 9) + Int8("RowCount", 9)) + CellRecord(7, 7, "a");
  ASSERT_EQ(DecodeSensorTable(file, table), std::nullopt);
  EXPECT_EQ(table.ColCount(), 4);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Cell(0, 0), "a");
  EXPECT_EQ(table.Cell(1, 1), "kept too");
}

TEST(DecodeSensorTable, OneStrayByteIsIgnoredTwoFail) {
  const std::string good = kGrid + CellRecord(0, 1, "x");
  for (const std::string& stray : {Bytes("\x00"), Bytes("T"), Bytes("\xFF")}) {
    SensorTable table;
    EXPECT_EQ(DecodeSensorTable(good + stray, table), std::nullopt);
    EXPECT_EQ(table.Cell(0, 1), "x");
  }
  for (const std::string& stray : {Bytes("\x00\x00"), Bytes("TP"), Bytes("TPF0")}) {
    SensorTable table;
    EXPECT_EQ(DecodeSensorTable(good + stray, table), "unexpected end of the stream");
  }
  SensorTable table;
  EXPECT_EQ(DecodeSensorTable(good + "TPF1", table), "Invalid stream format");
  EXPECT_EQ(DecodeSensorTable(kGrid + Bytes("\x00"), table), std::nullopt);
}

TEST(DecodeSensorTable, FailingInputs) {
  const std::string cell_head = Bytes("TPF0\0\0");  // no class or object name
  // clang-format off
  const struct {
    const char* what;
    std::string bytes;
    std::string error;
  } cases[] = {
      {"empty", "", "unexpected end of the stream"},
      {"three bytes", "TPF", "unexpected end of the stream"},
      {"signature", "TPF1" + kDefaultFile.substr(4), "Invalid stream format"},
      {"signature case", "tpf0" + kDefaultFile.substr(4), "Invalid stream format"},
      {"second signature", kGrid + "XPF0" + CellRecord(0, 0, "x").substr(4),
       "Invalid stream format"},
      {"unknown grid property", Record("TGridPropIO", Int8("Colcount", 4)),
       "unknown property 'Colcount'"},
      {"cell property in the grid record", Record("TGridPropIO", Int8("Col", 4)),
       "unknown property 'Col'"},
      {"grid property in a cell record", kGrid + Record("TGridCellIO", Int8("ID", 4)),
       "unknown property 'ID'"},
      {"control byte in a name", kGrid + Record("TGridCellIO", Int8(Bytes("A\x01"), 4)),
       "unknown property 'A\\x01'"},
      {"text for an integer", kGrid + Record("TGridCellIO", Short("Col", "1")),
       "value tag 0x06 not allowed for 'Col'"},
      {"boolean for an integer", Record("TGridPropIO", Boolean("RowCount", true)),
       "value tag 0x09 not allowed for 'RowCount'"},
      {"integer for a text", kGrid + Record("TGridCellIO", Int8("Cell", 1)),
       "value tag 0x02 not allowed for 'Cell'"},
      {"wide text for a boolean", Record("TGridPropIO", Wide("FullGrid", u"1")),
       "value tag 0x12 not allowed for 'FullGrid'"},
      {"integer for a boolean", kGrid + Record("TGridCellIO", Int8("HasProp", 0)),
       "value tag 0x02 not allowed for 'HasProp'"},
      {"unknown tag 0x05", kGrid + Record("TGridCellIO", Bytes("\x03" "Col" "\x05")),
       "unknown value tag 0x05 for 'Col'"},
      {"unknown tag 0x00", Record("TGridPropIO", Bytes("\x02" "ID" "\x00")),
       "unknown value tag 0x00 for 'ID'"},
      {"unknown tag 0xFF", kGrid + Record("TGridCellIO", Bytes("\x04" "Cell" "\xFF")),
       "unknown value tag 0xFF for 'Cell'"},
      {"three widths", GridRecord(4, 2, "103,111,92", "21,21"),
       "ColWidths has too few entries: 3 for 4 columns"},
      {"one height", GridRecord(4, 2, "103,111,92,84", "21"),
       "RowHeights has too few entries: 1 for 2 rows"},
      {"no widths", Record("TGridPropIO", Int8("ColCount", 4) + Int8("RowCount", 1) +
                                              Short("RowHeights", "1") + Boolean("FullGrid", true)),
       "ColWidths has too few entries: 0 for 4 columns"},
      {"width not integer", GridRecord(4, 2, "103,1x1,92,84", "21,21"),
       "ColWidths entry '1x1' is not an integer"},
      {"empty height", GridRecord(4, 2, "103,111,92,84", "21,,21"),
       "RowHeights entry '' is not an integer"},
      {"height with a blank after it", GridRecord(4, 2, "103,111,92,84", "21,21 "),
       "RowHeights entry '21 ' is not an integer"},
      {"class name length", Bytes("TPF0" "\x0C" "TGridPropIO"),
       "class name length exceeds the file"},
      {"object name length", Bytes("TPF0" "\x0B" "TGridPropIO" "\x01"),
       "object name length exceeds the file"},
      {"property name length", Bytes("TPF0" "\x0B" "TGridPropIO" "\x00" "\x09" "ColCount"),
       "property name length exceeds the file"},
      {"short string length", kGrid + cell_head + Bytes("\x04" "Cell" "\x06\x05" "abcd"),
       "short string length exceeds the file"},
      {"long string length", kGrid + cell_head + Bytes("\x04" "Cell" "\x0C\xFF\xFF\xFF\xFF" "ab"),
       "long string length exceeds the file"},
      {"wide string length", kGrid + cell_head + Bytes("\x04" "Cell" "\x12\x00\x00\x00\x80" "ab"),
       "wide string length exceeds the file"},
      {"wide string odd byte", kGrid + cell_head + Bytes("\x04" "Cell" "\x12\x02\x00\x00\x00" "abc"),
       "wide string length exceeds the file"},
      {"UTF-8 string length", kGrid + cell_head + Bytes("\x04" "Cell" "\x14\x03\x00\x00\x00" "ab"),
       "UTF-8 string length exceeds the file"},
      {"length cut", kGrid + cell_head + Bytes("\x04" "Cell" "\x0C\x01\x00"),
       "unexpected end of the stream"},
      {"integer cut", kGrid + cell_head + Bytes("\x03" "Col" "\x04\x01\x00\x00"),
       "unexpected end of the stream"},
      {"nested object", kGrid.substr(0, kGrid.size() - 1) + "\x01",
       "nested objects are not supported"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SensorTable table;
    EXPECT_EQ(DecodeSensorTable(c.bytes, table), c.error) << c.what;
  }
}

TEST(DecodeSensorTable, CountsBeyondTheListsAllocateNothing) {
  const struct {
    std::string file;
    std::string error;
  } cases[] = {
      {Record("TGridPropIO", Int32("ColCount", 4) + Int32("RowCount", INT32_MAX) +
                                 Short("ColWidths", "1,2,3,4") + Short("RowHeights", "21,21") +
                                 Boolean("FullGrid", true)),
       "RowHeights has too few entries: 2 for 2147483647 rows"},
      {Record("TGridPropIO", Int32("ColCount", INT32_MAX) + Int32("RowCount", 2) +
                                 Short("ColWidths", "1,2,3,4") + Short("RowHeights", "21,21") +
                                 Boolean("FullGrid", true)),
       "ColWidths has too few entries: 4 for 2147483647 columns"},
  };
  for (const auto& c : cases) {
    SensorTable table;
    EXPECT_EQ(DecodeSensorTable(c.file, table), c.error);
    // Refused before the counts were set.
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.ColCount(), 4);
  }
}

TEST(DecodeSensorTable, EveryTruncationFailsUnlessBetweenRecords) {
  const std::string file = EncodeSensorTable(DefaultTable(), kDefaultId);
  std::vector<std::size_t> ends;  // where each record ends
  for (const std::string& record : Records(file)) {
    ends.push_back((ends.empty() ? 0 : ends.back()) + record.size());
  }
  ASSERT_EQ(ends.size(), 9u);
  ASSERT_EQ(ends.back(), file.size());

  for (std::size_t n = 0; n < file.size(); ++n) {
    SensorTable table;
    const auto error = DecodeSensorTable(file.substr(0, n), table);
    // Whole records, possibly followed by one byte of the next.
    std::size_t whole = 0;
    while (whole < ends.size() && ends[whole] <= n) ++whole;
    if (whole > 0 && n - ends[whole - 1] <= 1) {
      EXPECT_EQ(error, std::nullopt) << n;
      EXPECT_EQ(table.cells().size(), whole - 1) << n;
    } else {
      EXPECT_NE(error, std::nullopt) << n;
    }
  }
}

TEST(DecodeSensorTable, FailureLeavesWhatWasApplied) {
  SensorTable table;
  table.SetCell(0, 0, "gone");
  const std::string file = GridRecord(3, 4, "5,6,7", "8,9,10,11") + CellRecord(2, 3, "read") +
                           Record("TGridCellIO", Int8("Bad", 0)) + CellRecord(1, 1, "not read");
  EXPECT_EQ(DecodeSensorTable(file, table), "unknown property 'Bad'");
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.ColWidth(2), 7);
  EXPECT_EQ(table.RowHeight(3), 11);
  EXPECT_EQ(table.cells().size(), 1u);
  EXPECT_EQ(table.Cell(2, 3), "read");
}

TEST(DecodeSensorTable, FailedLoadThenDefaultTable) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"signature", "TPF1" + kDefaultFile.substr(4)},
      {"three widths", GridRecord(4, 2, "103,111,92", "21,21")},
  };
  for (const auto& c : cases) {
    SensorTable table;
    ASSERT_NE(DecodeSensorTable(c.bytes, table), std::nullopt) << c.what;
    ResetSensorTable(table, "S", 1);
    EXPECT_EQ(table.Cell(0, 0), kHeaderName.view()) << c.what;
    EXPECT_EQ(table.Cell(3, 0), kHeaderStep.view()) << c.what;
    EXPECT_EQ(table.Cell(0, 1), "S1") << c.what;
    EXPECT_EQ(table.Cell(1, 1), "1") << c.what;
    EXPECT_EQ(table.Cell(2, 1), "0") << c.what;
    EXPECT_EQ(table.Cell(3, 1), "1") << c.what;
    ExpectSameTable(table, DefaultTable());
  }
}

}  // namespace
}  // namespace quorvel::config
