#include "poll/demotion.h"

#include <algorithm>

namespace quorvel::poll {

namespace {

constexpr std::int64_t kLongestFactor = 8;

}  // namespace

void Demotion::Reset(int after, std::int64_t first_length_ns) {
  after_ = after;
  first_length_ns_ = first_length_ns;
  devices_.clear();
}

Demotion::Turn Demotion::TurnOf(std::int32_t address, std::int64_t now_ns) {
  if (!On()) return Turn::kAsk;
  const auto found = devices_.find(address);
  if (found == devices_.end()) return Turn::kAsk;
  Device& device = found->second;
  if (device.restored) return Turn::kSkip;
  if (!device.demoted) return Turn::kAsk;
  if (now_ns < device.until_ns) return Turn::kSkip;
  device.probing = true;
  return Turn::kProbe;
}

bool Demotion::Note(std::int32_t address, bool answered, std::int64_t now_ns) {
  if (!On()) return false;
  Device& device = devices_[address];
  if (device.probing) {
    device.probing = false;
    if (!answered) {
      Demote(device, std::min(2 * device.length_ns, kLongestFactor * first_length_ns_), now_ns);
      return true;
    }
    device = Device{};
    device.restored = true;
    return false;
  }
  device.misses = answered ? 0 : device.misses + 1;
  if (device.demoted || device.misses < after_) return false;
  Demote(device, first_length_ns_, now_ns);
  return true;
}

void Demotion::NewPass() {
  for (auto& [address, device] : devices_) device.restored = false;
}

void Demotion::Demote(Device& device, std::int64_t length_ns, std::int64_t now_ns) {
  device.demoted = true;
  device.misses = 0;
  device.length_ns = length_ns;
  device.until_ns = now_ns + length_ns;
}

}  // namespace quorvel::poll
