#include "config/table_stream.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <span>
#include <utility>

#include "base/cp1251.h"
#include "config/integer_text.h"

namespace quorvel::config {

namespace {

constexpr std::string_view kSignature = "TPF0";  // 54 50 46 30
constexpr std::string_view kGridClass = "TGridPropIO";
constexpr std::string_view kCellClass = "TGridCellIO";
constexpr char kSizeSeparator = ',';

constexpr std::uint8_t kTagInt8 = 0x02;
constexpr std::uint8_t kTagInt16 = 0x03;
constexpr std::uint8_t kTagInt32 = 0x04;
constexpr std::uint8_t kTagShortString = 0x06;  // 1-byte length, Windows-1251
constexpr std::uint8_t kTagFalse = 0x08;
constexpr std::uint8_t kTagTrue = 0x09;
constexpr std::uint8_t kTagLongString = 0x0C;  // 4-byte length, Windows-1251
constexpr std::uint8_t kTagWideString = 0x12;  // 4-byte unit count, UTF-16LE
constexpr std::uint8_t kTagUtf8String = 0x14;  // 4-byte length, UTF-8

constexpr char kEndOfList = 0x00;

enum class Kind { kInteger, kBoolean, kText };

struct PropertyDef {
  std::string_view name;
  Kind kind;
};

// Both lists are in the order the properties are written.
enum GridProperty { kColCount, kRowCount, kColWidths, kRowHeights, kFullGrid, kId };
constexpr std::array<PropertyDef, 6> kGridProperties = {{
    {"ColCount", Kind::kInteger},
    {"RowCount", Kind::kInteger},
    {"ColWidths", Kind::kText},
    {"RowHeights", Kind::kText},
    {"FullGrid", Kind::kBoolean},
    {"ID", Kind::kInteger},
}};

enum CellProperty { kCol, kRow, kCell, kHasProp };
constexpr std::array<PropertyDef, 4> kCellProperties = {{
    {"Col", Kind::kInteger},
    {"Row", Kind::kInteger},
    {"Cell", Kind::kText},
    {"HasProp", Kind::kBoolean},
}};

// A property's value; only the member of its kind is used. A property that
// is not in the record keeps these defaults.
struct Value {
  std::int32_t integer = 0;
  bool boolean = false;
  std::string text;
};

using Error = std::optional<std::string>;

// ---- Writing ----

void PutByte(std::string& out, std::uint8_t byte) {
  out.push_back(static_cast<char>(byte));
}

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) PutByte(out, static_cast<std::uint8_t>(value >> (8 * i)));
}

// Names only: every name this file uses is far below 256 bytes.
void PutShortString(std::string& out, std::string_view text) {
  PutByte(out, static_cast<std::uint8_t>(text.size()));
  out.append(text);
}

void PutInteger(std::string& out, std::string_view name, std::int32_t value) {
  PutShortString(out, name);
  const auto bits = static_cast<std::uint32_t>(value);
  if (value >= std::numeric_limits<std::int8_t>::min() &&
      value <= std::numeric_limits<std::int8_t>::max()) {
    PutByte(out, kTagInt8);
    PutLittleEndian(out, bits, 1);
  } else if (value >= std::numeric_limits<std::int16_t>::min() &&
             value <= std::numeric_limits<std::int16_t>::max()) {
    PutByte(out, kTagInt16);
    PutLittleEndian(out, bits, 2);
  } else {
    PutByte(out, kTagInt32);
    PutLittleEndian(out, bits, 4);
  }
}

void PutBoolean(std::string& out, std::string_view name, bool value) {
  PutShortString(out, name);
  PutByte(out, value ? kTagTrue : kTagFalse);
}

// The tag follows the text: plain ASCII as it is; otherwise UTF-8 when it is
// shorter than UTF-16, which is the case once ASCII is mixed in, and UTF-16
// for text of Cyrillic letters and 3-byte characters such as "№" only.
void PutText(std::string& out, std::string_view name, std::string_view text) {
  if (text.empty()) return;
  PutShortString(out, name);
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
  if (ascii) {
    if (text.size() <= std::numeric_limits<std::uint8_t>::max()) {
      PutByte(out, kTagShortString);
      PutByte(out, static_cast<std::uint8_t>(text.size()));
    } else {
      PutByte(out, kTagLongString);
      PutLittleEndian(out, static_cast<std::uint32_t>(text.size()), 4);
    }
    out.append(text);
    return;
  }
  const std::u16string utf16 = cp1251::ToUtf16(text);
  const std::string utf8 = cp1251::ToUtf8(text);
  if (utf8.size() < 2 * utf16.size()) {
    PutByte(out, kTagUtf8String);
    PutLittleEndian(out, static_cast<std::uint32_t>(utf8.size()), 4);
    out.append(utf8);
  } else {
    PutByte(out, kTagWideString);
    PutLittleEndian(out, static_cast<std::uint32_t>(utf16.size()), 4);
    for (char16_t unit : utf16) PutLittleEndian(out, unit, 2);
  }
}

void BeginRecord(std::string& out, std::string_view class_name) {
  out.append(kSignature);
  PutShortString(out, class_name);
  PutShortString(out, "");  // object name
}

void EndRecord(std::string& out) {
  out.push_back(kEndOfList);  // properties
  out.push_back(kEndOfList);  // nested objects
}

template <typename SizeOf>
std::string JoinSizes(int count, SizeOf size_of) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    if (i > 0) out.push_back(kSizeSeparator);
    out += std::to_string(size_of(i));
  }
  return out;
}

// ---- Reading ----

std::string EndOfStream() {
  return "unexpected end of the stream";
}

std::string HexByte(std::uint8_t byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {'0', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

// Text from the file for a message: control bytes escaped, long text cut.
std::string Shown(std::string_view text) {
  constexpr std::size_t kMaxShown = 40;
  std::string out;
  for (char c : text.substr(0, kMaxShown)) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x" + HexByte(byte).substr(2);
    } else {
      out.push_back(c);
    }
  }
  if (text.size() > kMaxShown) out += "...";
  return out;
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - pos_; }

  bool Take(std::size_t count, std::string_view& out) {
    if (count > remaining()) return false;
    out = bytes_.substr(pos_, count);
    pos_ += count;
    return true;
  }

  bool Byte(std::uint8_t& out) {
    std::string_view byte;
    if (!Take(1, byte)) return false;
    out = static_cast<std::uint8_t>(byte[0]);
    return true;
  }

  bool LittleEndian(int bytes, std::uint32_t& out) {
    std::string_view raw;
    if (!Take(static_cast<std::size_t>(bytes), raw)) return false;
    out = 0;
    for (int i = bytes - 1; i >= 0; --i) out = (out << 8) | static_cast<std::uint8_t>(raw[i]);
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// A length byte and that many bytes; `what` names it in the messages.
Error ReadShortString(Reader& in, std::string_view what, std::string_view& out) {
  std::uint8_t length = 0;
  if (!in.Byte(length)) return EndOfStream();
  if (!in.Take(length, out)) return std::string(what) + " length exceeds the file";
  return std::nullopt;
}

Error ReadInteger(Reader& in, std::uint8_t tag, std::int32_t& out) {
  const int bytes = tag == kTagInt8 ? 1 : tag == kTagInt16 ? 2 : 4;
  std::uint32_t raw = 0;
  if (!in.LittleEndian(bytes, raw)) return EndOfStream();
  // Sign extension for every width: flip the sign bit, then take it away.
  const std::uint32_t sign = 1u << (8 * bytes - 1);
  out = static_cast<std::int32_t>((raw ^ sign) - sign);
  return std::nullopt;
}

// A 4-byte count of `unit`-byte units and those units, the count checked
// against the bytes left before anything is taken or allocated.
Error ReadCounted(Reader& in, std::size_t unit, std::string_view what, std::size_t& count,
                  std::string_view& out) {
  std::uint32_t raw_count = 0;
  if (!in.LittleEndian(4, raw_count)) return EndOfStream();
  count = raw_count;
  if (std::uint64_t{raw_count} * unit > in.remaining() || !in.Take(count * unit, out)) {
    return std::string(what) + " length exceeds the file";
  }
  return std::nullopt;
}

Error ReadText(Reader& in, std::uint8_t tag, std::string& out) {
  std::string_view raw;
  std::size_t count = 0;
  if (tag == kTagShortString) {
    if (auto error = ReadShortString(in, "short string", raw)) return error;
    out.assign(raw);
  } else if (tag == kTagLongString) {
    if (auto error = ReadCounted(in, 1, "long string", count, raw)) return error;
    out.assign(raw);
  } else if (tag == kTagUtf8String) {
    if (auto error = ReadCounted(in, 1, "UTF-8 string", count, raw)) return error;
    out = cp1251::FromUtf8(raw);
  } else {
    if (auto error = ReadCounted(in, 2, "wide string", count, raw)) return error;
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) {
      units[i] = static_cast<char16_t>(static_cast<std::uint8_t>(raw[2 * i]) |
                                       (static_cast<std::uint8_t>(raw[2 * i + 1]) << 8));
    }
    out = cp1251::FromUtf16(units);
  }
  return std::nullopt;
}

Error ReadValue(Reader& in, const PropertyDef& property, Value& value) {
  std::uint8_t tag = 0;
  if (!in.Byte(tag)) return EndOfStream();
  Kind kind{};
  switch (tag) {
    case kTagInt8:
    case kTagInt16:
    case kTagInt32:
      kind = Kind::kInteger;
      break;
    case kTagFalse:
    case kTagTrue:
      kind = Kind::kBoolean;
      break;
    case kTagShortString:
    case kTagLongString:
    case kTagWideString:
    case kTagUtf8String:
      kind = Kind::kText;
      break;
    default:
      return "unknown value tag " + HexByte(tag) + " for '" + std::string(property.name) + "'";
  }
  if (kind != property.kind) {
    return "value tag " + HexByte(tag) + " not allowed for '" + std::string(property.name) + "'";
  }
  switch (kind) {
    case Kind::kInteger:
      return ReadInteger(in, tag, value.integer);
    case Kind::kBoolean:
      value.boolean = tag == kTagTrue;
      return std::nullopt;
    case Kind::kText:
      return ReadText(in, tag, value.text);
  }
  return std::nullopt;
}

// One whole record into `values`, indexed as `properties`. The class name is
// not checked: which properties apply depends on the record's place only.
Error ReadRecord(Reader& in, std::span<const PropertyDef> properties, std::span<Value> values) {
  std::string_view signature;
  if (!in.Take(kSignature.size(), signature)) return EndOfStream();
  if (signature != kSignature) return "Invalid stream format";
  std::string_view ignored;
  if (auto error = ReadShortString(in, "class name", ignored)) return error;
  if (auto error = ReadShortString(in, "object name", ignored)) return error;
  for (;;) {
    std::string_view name;
    if (auto error = ReadShortString(in, "property name", name)) return error;
    if (name.empty()) break;  // the end of the properties
    const auto found = std::find_if(properties.begin(), properties.end(),
                                    [name](const PropertyDef& p) { return p.name == name; });
    if (found == properties.end()) return "unknown property '" + Shown(name) + "'";
    const auto index = static_cast<std::size_t>(found - properties.begin());
    if (auto error = ReadValue(in, *found, values[index])) return error;
  }
  std::uint8_t nested = 0;
  if (!in.Byte(nested)) return EndOfStream();
  if (nested != static_cast<std::uint8_t>(kEndOfList)) return "nested objects are not supported";
  return std::nullopt;
}

// Entries of a list joined by ","; the empty text has none.
std::size_t CountEntries(std::string_view list) {
  if (list.empty()) return 0;
  return static_cast<std::size_t>(std::count(list.begin(), list.end(), kSizeSeparator)) + 1;
}

// Hands the first `count` entries of `list`, parsed, to set(index, value).
// The caller has made sure there are that many.
template <typename Set>
Error ApplySizes(std::string_view property, std::string_view list, int count, Set set) {
  std::size_t pos = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t end = std::min(list.find(kSizeSeparator, pos), list.size());
    const std::string_view entry = list.substr(pos, end - pos);
    pos = end + 1;
    const auto value = ParseIntegerText(entry);
    if (!value) {
      return std::string(property) + " entry '" + Shown(entry) + "' is not an integer";
    }
    set(i, *value);
  }
  return std::nullopt;
}

// FullGrid: the table takes the record's shape. The lists are checked before
// the counts are set, so a count the file cannot back allocates nothing.
Error ApplyGrid(std::span<const Value> grid, SensorTable& table) {
  table.ClearCells();
  const int rows = std::max(grid[kRowCount].integer, 1);
  const int cols = std::max(grid[kColCount].integer, 1);
  const std::string& widths = grid[kColWidths].text;
  const std::string& heights = grid[kRowHeights].text;
  if (const std::size_t entries = CountEntries(widths); entries < static_cast<std::size_t>(cols)) {
    return "ColWidths has too few entries: " + std::to_string(entries) + " for " +
           std::to_string(cols) + " columns";
  }
  if (const std::size_t entries = CountEntries(heights); entries < static_cast<std::size_t>(rows)) {
    return "RowHeights has too few entries: " + std::to_string(entries) + " for " +
           std::to_string(rows) + " rows";
  }
  table.SetRowCount(rows);
  table.SetColCount(cols);
  if (auto error = ApplySizes(kGridProperties[kColWidths].name, widths, cols,
                              [&table](int col, int width) { table.SetColWidth(col, width); })) {
    return error;
  }
  return ApplySizes(kGridProperties[kRowHeights].name, heights, rows,
                    [&table](int row, int height) { table.SetRowHeight(row, height); });
}

}  // namespace

std::string EncodeSensorTable(const SensorTable& table, std::int32_t id) {
  std::string out;
  BeginRecord(out, kGridClass);
  PutInteger(out, kGridProperties[kColCount].name, table.ColCount());
  PutInteger(out, kGridProperties[kRowCount].name, table.RowCount());
  PutText(out, kGridProperties[kColWidths].name,
          JoinSizes(table.ColCount(), [&table](int col) { return table.ColWidth(col); }));
  PutText(out, kGridProperties[kRowHeights].name,
          JoinSizes(table.RowCount(), [&table](int row) { return table.RowHeight(row); }));
  PutBoolean(out, kGridProperties[kFullGrid].name, true);
  PutInteger(out, kGridProperties[kId].name, id);
  EndRecord(out);

  for (const auto& [position, text] : table.cells()) {
    BeginRecord(out, kCellClass);
    PutInteger(out, kCellProperties[kCol].name, position.second);
    PutInteger(out, kCellProperties[kRow].name, position.first);
    PutText(out, kCellProperties[kCell].name, text);
    PutBoolean(out, kCellProperties[kHasProp].name, false);
    EndRecord(out);
  }
  return out;
}

std::optional<std::string> DecodeSensorTable(std::string_view bytes, SensorTable& table) {
  Reader in(bytes);
  std::array<Value, kGridProperties.size()> grid;
  if (auto error = ReadRecord(in, kGridProperties, grid)) return error;
  const bool full_grid = grid[kFullGrid].boolean;
  if (full_grid) {
    if (auto error = ApplyGrid(grid, table)) return error;
  }

  // Without FullGrid the first cell record's position is the table's (0, 0).
  std::optional<std::pair<std::int64_t, std::int64_t>> origin;
  // A single byte cannot start a record and is left unread.
  while (in.remaining() >= 2) {
    std::array<Value, kCellProperties.size()> cell;
    if (auto error = ReadRecord(in, kCellProperties, cell)) return error;
    std::int64_t col = cell[kCol].integer;
    std::int64_t row = cell[kRow].integer;
    if (!full_grid) {
      if (!origin) origin.emplace(col, row);
      col -= origin->first;
      row -= origin->second;
    }
    constexpr std::int64_t kMaxIndex = std::numeric_limits<int>::max();
    if (col < 0 || row < 0 || col > kMaxIndex || row > kMaxIndex) continue;  // outside the table
    table.SetCell(static_cast<int>(col), static_cast<int>(row), std::move(cell[kCell].text));
  }
  return std::nullopt;
}

}  // namespace quorvel::config
