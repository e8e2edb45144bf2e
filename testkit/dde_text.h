// The escaped form of bytes on the text lines of DdeTestServer and DdeClient:
// printable ASCII as is, \r \n \0 \\ for CR, LF, NUL and backslash, \xHH for
// any other byte. Both programs talk in lines, so data must not hold a raw
// line break. The rules are the client tool's own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/dde_client/command_line.h"

namespace quorvel::testing {

inline std::string EscapeBytes(std::string_view bytes) {
  return tools::dde::Escape(bytes);
}

inline std::optional<std::string> UnescapeBytes(std::string_view text) {
  std::string out;
  std::string error;
  if (!tools::dde::Unescape(text, out, error)) return std::nullopt;
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
