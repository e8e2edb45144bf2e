// Numbers on the command lines of the tool programs: the whole argument must
// be the number, so a mistyped option is reported instead of read as 0.
#pragma once

#include <charconv>
#include <cstddef>
#include <string_view>

namespace quorvel::tools {

template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, out);
  return error == std::errc{} && stop == end;
}

// Two numbers with `separator` between them, as a sensor's "ADDR:CH".
template <typename First, typename Second>
bool ParseNumberPair(std::string_view text, char separator, First& first, Second& second) {
  const std::size_t at = text.find(separator);
  return at != std::string_view::npos && ParseNumber(text.substr(0, at), first) &&
         ParseNumber(text.substr(at + 1), second);
}

}  // namespace quorvel::tools
