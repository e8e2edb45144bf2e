#include "tools/sim/sim_device.h"

#include "tools/sim/channel_value.h"
#include "tools/sim/request_parser.h"

namespace quorvel::sim {

namespace {

Reply Refusal(Answer answer) {
  Reply reply;
  reply.answer = answer;
  return reply;
}

}  // namespace

Reply SimDevice::Respond(std::string_view command, double seconds) {
  const auto channel = ReadingChannel(command);
  if (!channel) return Refusal(Answer::kNotAReading);
  const auto source = config_.channels.find(*channel);
  if (source == config_.channels.end()) return Refusal(Answer::kNoChannel);
  // Counted even when a fault keeps the reading from being sent, as the
  // instrument would have taken it all the same.
  const std::uint64_t count = requests_[*channel]++;
  if (seconds < std::chrono::duration<double>(config_.faults.silent_for).count()) {
    return Refusal(Answer::kSilent);
  }
  return BuildReply(config_.address, config_.faults, ChannelValue(source->second, count, seconds));
}

}  // namespace quorvel::sim
