// The command line that the console programs polling the bus share
// (BusProbe.exe, QuorvelDemo.exe): --port, --baud, --timeout (the reply
// time-out in ms), --interval (the pause between passes in ms), --seconds
// (how long to run), and the sensors as ADDR:CH. An argument without a
// colon is no sensor: it is left unknown.
#pragma once

#include <string_view>

#include "tools/cli_number.h"
#include "tools/cli_options.h"

namespace quorvel::tools {

template <typename Options>
CommandLine<char> PollCommandLine(Options& o) {
  CommandLine<char> line;
  line.Number("--port", o.port)
      .Number("--baud", o.baud)
      .Number("--timeout", o.timeout_ms)
      .Number("--interval", o.interval_ms)
      .Number("--seconds", o.seconds)
      .Others([&o](std::string_view arg) {
        if (arg.find(':') == std::string_view::npos) return Taken::kUnknown;
        typename decltype(o.sensors)::value_type sensor{};
        if (!ParseNumberPair(arg, ':', sensor.address, sensor.channel)) return Taken::kRefused;
        o.sensors.push_back(sensor);
        return Taken::kYes;
      });
  return line;
}

}  // namespace quorvel::tools
