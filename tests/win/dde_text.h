// The escaped form of bytes on the text lines of DdeTestServer and DdeClient:
// printable ASCII as is, \r \n \0 \\ for CR, LF, NUL and backslash, \xHH for
// any other byte. Both programs talk in lines, so data must not hold a raw
// line break.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::testing {

inline std::string EscapeBytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\0') {
      out += "\\0";
    } else if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

// The bytes of an escaped text, or nothing when an escape is malformed.
inline std::optional<std::string> UnescapeBytes(std::string_view text) {
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case '0':
        out.push_back('\0');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex(text[i + 1]);
        const int low = hex(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

// The bytes of the quoted part of a line: from the first quote to the last
// (quotes inside are not escaped), unescaped.
inline std::optional<std::string> QuotedBytes(std::string_view line) {
  const std::size_t open = line.find('"');
  const std::size_t close = line.rfind('"');
  if (open == std::string_view::npos || close == open) return std::nullopt;
  return UnescapeBytes(line.substr(open + 1, close - open - 1));
}

}  // namespace quorvel::testing
