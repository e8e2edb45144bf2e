// The Windows user's decimal separator, for numbers the user reads or that
// the user's spreadsheet opens: ',' when the locale gives none a byte holds.
#pragma once

#include <windows.h>

namespace quorvel {

inline char UserDecimalSeparator() {
  wchar_t value[8] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, value, 8) > 0 && value[0] != 0 &&
      value[0] < 0x80) {
    return static_cast<char>(value[0]);
  }
  return ',';
}

}  // namespace quorvel
