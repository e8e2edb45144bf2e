#include "tools/sim/channel_value.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace quorvel::sim {

std::string FormatTwoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string result = text;
  if (result == "-0.00") result = "0.00";
  return result;
}

std::string ChannelValue(const ChannelSource& source, std::uint64_t count, double seconds) {
  switch (source.kind) {
    case ChannelSource::Kind::kFixed:
      return source.fixed;
    case ChannelSource::Kind::kWave:
      return FormatTwoDecimals(
          source.base + source.amp * std::sin(2 * std::numbers::pi * seconds / source.period));
    case ChannelSource::Kind::kCount:
      return std::to_string(count);
  }
  return {};
}

}  // namespace quorvel::sim
