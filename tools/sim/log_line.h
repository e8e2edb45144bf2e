// The log's line for one request:
//   T PORT check=C addr=A cmd=CMD answer=W line=L sent=S
// T is the request's arrival on CLOCK_MONOTONIC; L is the line speed in
// bit/s that the program had set on its side of the port by then, or '-'
// when it cannot be told; S is when the reply's last byte was written, on
// CLOCK_REALTIME (the clock a Windows program reads as
// GetSystemTimePreciseAsFileTime under Wine), or '-' when nothing was sent.
// L comes after W so that readers which take CMD as everything up to
// " answer=" keep working.
// A port taken away and brought back by an outage has lines of its own:
//   T PORT port=away      T PORT port=back
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/sim/reply_builder.h"
#include "tools/sim/request_parser.h"
#include "tools/sim/sim_time.h"

namespace quorvel::sim {

// Printable ASCII as it is; every other byte, and the space and '\' that
// would make the line ambiguous, as \xHH.
std::string EscapeBytes(std::string_view bytes);

// Seconds with 6 decimals.
std::string FormatSeconds(Nanos time);

// The bit rate of a termios speed code; nothing for B0 (hang up) and for
// codes that stand for no rate.
std::optional<std::uint32_t> BitsPerSecond(speed_t speed);

// Up to the line speed, without the final newline.
std::string FormatLogLine(Nanos time, std::string_view port, const Request& request, Answer answer,
                          std::optional<std::uint32_t> line_speed);

// The field that ends the line: " sent=S", S in seconds with 6 decimals.
std::string SentField(std::optional<Nanos> sent);

}  // namespace quorvel::sim
