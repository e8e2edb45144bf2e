// The one rule by which text becomes a number everywhere in the program:
// the sensor table's cells, the settings file, the poll cycle.
//
//   [blanks] [+|-] ( decimal digits | ("$"|"x"|"X"|"0x"|"0X") hex digits )
//
// Blanks are 0x20 only. Nothing may follow the last digit. A decimal number
// must fit a signed 32-bit integer; a hexadecimal one is a 32-bit two's
// complement pattern (eight digits with the top bit set are negative), and a
// "-" before it negates it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::config {

std::optional<std::int32_t> ParseIntegerText(std::string_view text);

}  // namespace quorvel::config
