// The log's line for one request:
//   T PORT check=C addr=A cmd=CMD answer=W
#pragma once

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

// Without the final newline.
std::string FormatLogLine(Nanos time, std::string_view port, const Request& request, Answer answer);

}  // namespace quorvel::sim
