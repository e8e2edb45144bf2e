// One simulated device: its configuration and the state its channels keep.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>

#include "tools/sim/reply_builder.h"
#include "tools/sim/sim_config.h"

namespace quorvel::sim {

class SimDevice {
 public:
  explicit SimDevice(DeviceConfig config) : config_(std::move(config)) {}

  int address() const { return config_.address; }

  // The answer to `command`, `seconds` after the simulator started.
  Reply Respond(std::string_view command, double seconds);

 private:
  DeviceConfig config_;
  std::map<std::uint32_t, std::uint64_t> requests_;  // per channel, so far
};

}  // namespace quorvel::sim
