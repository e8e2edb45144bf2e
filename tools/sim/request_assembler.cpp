#include "tools/sim/request_assembler.h"

namespace quorvel::sim {

std::vector<ReceivedFrame> RequestAssembler::Feed(std::string_view bytes, Nanos now) {
  std::vector<ReceivedFrame> frames;
  for (char c : bytes) {
    if (pending_.empty()) first_byte_ = now;
    pending_ += c;
    if (c == '\r') {
      frames.push_back(ReceivedFrame{std::move(pending_), first_byte_, now, false});
      pending_.clear();
    } else if (pending_.size() > kMaxPending) {
      frames.push_back(ReceivedFrame{std::move(pending_), first_byte_, now, true});
      pending_.clear();
    }
  }
  return frames;
}

}  // namespace quorvel::sim
