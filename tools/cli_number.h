// Numbers on the command lines of the tool programs: the whole argument must
// be the number, so a mistyped option is reported instead of read as 0.
#pragma once

#include <charconv>
#include <cstdio>
#include <string_view>

namespace quorvel::tools {

template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, out);
  return error == std::errc{} && stop == end;
}

// Reads the value of `option` into `out`, or says what is wrong.
template <typename Number>
bool ReadOption(const char* program, std::string_view option, const char* value, Number& out) {
  if (value != nullptr && ParseNumber(value, out)) return true;
  std::fprintf(stderr, "%s: %.*s needs a number, not '%s'\n", program,
               static_cast<int>(option.size()), option.data(), value ? value : "");
  return false;
}

}  // namespace quorvel::tools
