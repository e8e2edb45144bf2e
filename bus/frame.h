// The bus frames.
//
// Request, byte by byte:
//   0xFF ':' address ';' command checksum CR
//   address   1..3 decimal digits, 0..254, no sign, no leading zeros
//   command   0..230 bytes, passed through as the caller gave it
//   checksum  CRC-16/MODBUS of "address ';' command" as unsigned decimal
//
// Reply:
//   [noise] '!' address ';' { value ';' } checksum CR [ignored]
//   address and checksum are number-class text ("-.0123456789"), each value
//   field is value-class text ("$-.0123456789"); the checksum covers
//   everything after '!' up to the ';' that ends the last value field. The
//   checksum text is read as a number of which only the low 32 bits count,
//   so "4295004183" matches a CRC of 36887.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/short_text.h"

namespace quorvel::bus {

inline constexpr char kRequestStart = static_cast<char>(0xFF);
inline constexpr char kReplyStart = '!';
inline constexpr char kFrameEnd = '\r';
inline constexpr std::size_t kMaxCommand = 230;
inline constexpr std::int32_t kMaxAddress = 254;
inline constexpr std::int32_t kMaxValues = 60;

using ValueFields = std::array<ShortText, kMaxValues>;

constexpr bool IsNumChar(char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9');
}
constexpr bool IsValueChar(char c) {
  return c == '$' || IsNumChar(c);
}

// An optional '-' and one or more decimal digits (leading zeros allowed),
// within [min, max]; anything else is unreadable.
std::optional<std::int64_t> ReadDecimal(std::string_view text, std::int64_t min, std::int64_t max);

// The request frame. The caller has checked Cmd (at most 230 bytes) and
// Addr (0..254); nothing is tested here.
std::string BuildRequest(std::string_view Cmd, std::int32_t Addr);

// True when Reply is a well-formed reply from Addr with exactly Count value
// fields and a matching checksum. Fields are written into Values from entry 0
// as they are read, so after a failure the entries before the failing one
// hold what was read; entries from Count on are never touched. Count above
// 60 is refused before the reply is looked at.
bool ParseReply(std::string_view Reply, std::int32_t Addr, ValueFields& Values, std::int32_t Count);

}  // namespace quorvel::bus
