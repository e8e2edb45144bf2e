// The text a channel reads at a given moment.
#pragma once

#include <cstdint>
#include <string>

#include "tools/sim/sim_config.h"

namespace quorvel::sim {

// `count` is how many requests the channel had before this one; `seconds`
// is the time since the simulator started.
std::string ChannelValue(const ChannelSource& source, std::uint64_t count, double seconds);

// `value` with two decimals, never "-0.00".
std::string FormatTwoDecimals(double value);

}  // namespace quorvel::sim
