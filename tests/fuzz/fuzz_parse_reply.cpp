// Fuzzes the bus reply parser: any bytes, read as the reply to a request of
// some address, must be accepted exactly when they hold a well-formed frame
// from that address with a matching checksum, as frame.h describes it. The
// frame is walked here on its own, so the parser is not its own judge; only
// the CRC is shared, and the unit tests pin that against its check value.
//
// Input: byte 0 the address asked, byte 1 the number of value fields
// (0..63: above 60 is refused), the rest the reply.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bus/crc16.h"
#include "bus/frame.h"

namespace {

using quorvel::bus::Crc16;
using quorvel::bus::kMaxValues;
using quorvel::bus::ParseReply;
using quorvel::bus::ValueFields;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool InNumberClass(char c) {
  return c == '-' || c == '.' || IsDigit(c);
}
bool InValueClass(char c) {
  return c == '$' || InNumberClass(c);
}

// Sign and magnitude of "-?[0-9]+" when the magnitude fits 64 bits.
struct Decimal {
  bool negative;
  std::uint64_t magnitude;
};
std::optional<Decimal> ReadSigned(std::string_view text) {
  Decimal number{!text.empty() && text[0] == '-', 0};
  if (number.negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    if (__builtin_mul_overflow(number.magnitude, 10u, &number.magnitude) ||
        __builtin_add_overflow(number.magnitude, static_cast<unsigned>(c - '0'),
                               &number.magnitude)) {
      return std::nullopt;
    }
  }
  return number;
}

struct Frame {
  std::vector<std::string> fields;
};

// The frame a correct parser accepts from `text`, or nothing.
std::optional<Frame> Expected(std::string_view text, std::int32_t address, std::int32_t count) {
  if (count > kMaxValues) return std::nullopt;
  std::size_t pos = text.find('!');
  if (pos == std::string_view::npos) return std::nullopt;
  const std::size_t region_start = ++pos;
  auto run = [&](bool (*in_class)(char)) {
    const std::size_t start = pos;
    while (pos < text.size() && in_class(text[pos])) ++pos;
    return text.substr(start, pos - start);
  };
  auto separator = [&](char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
  };

  const std::optional<Decimal> sender = ReadSigned(run(InNumberClass));
  if (!sender || !separator(';')) return std::nullopt;
  const bool zero = sender->magnitude == 0;
  if (sender->negative ? !(zero && address == 0)
                       : sender->magnitude != static_cast<std::uint64_t>(address)) {
    return std::nullopt;
  }
  Frame frame;
  for (std::int32_t k = 0; k < count; ++k) {
    frame.fields.emplace_back(run(InValueClass));
    if (!separator(';')) return std::nullopt;
  }
  const std::uint16_t crc = Crc16(text.substr(region_start, pos - region_start));

  // Any value of a signed 64-bit integer; only its low 32 bits are compared.
  const std::optional<Decimal> checksum = ReadSigned(run(InNumberClass));
  if (!checksum || pos >= text.size() || text[pos] != '\r') return std::nullopt;
  const std::uint64_t limit = std::uint64_t{1} << 63;
  if (checksum->magnitude > limit || (!checksum->negative && checksum->magnitude == limit)) {
    return std::nullopt;
  }
  const std::uint64_t bits = checksum->negative ? 0 - checksum->magnitude : checksum->magnitude;
  if (static_cast<std::uint32_t>(bits) != crc) return std::nullopt;
  return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::int32_t address = data[0];
  const std::int32_t count = data[1] % 64;
  const std::string_view reply(reinterpret_cast<const char*>(data) + 2, size - 2);

  // Entries from `count` on are never touched, whatever the outcome.
  ValueFields values;
  for (auto& value : values) value = "untouched";
  const bool accepted = ParseReply(reply, address, values, count);
  for (std::size_t k = static_cast<std::size_t>(count); k < values.size(); ++k) {
    Check(values[k] == "untouched");
  }

  const std::optional<Frame> expected = Expected(reply, address, count);
  Check(accepted == expected.has_value());
  if (accepted) {
    // A field longer than a buffer keeps its first 255 characters.
    for (std::int32_t k = 0; k < count; ++k) {
      const std::string& field = expected->fields[static_cast<std::size_t>(k)];
      Check(values[static_cast<std::size_t>(k)] ==
            std::string_view(field).substr(0, quorvel::ShortText::kCapacity));
    }
  }
  return 0;
}
