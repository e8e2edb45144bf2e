// The program's UTF-16 text (char16_t) as the wide Win32 calls take it:
// wchar_t is 16 bits on Windows, so the code units are the same.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Terminated: for the calls that read up to the NUL. The pointer lives as
// long as the string.
inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The view's first unit: for the calls that take a length beside it.
inline const wchar_t* WideUnits(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

}  // namespace quorvel
