// Cuts the bytes received on a port into request frames, each ending at CR.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/sim_time.h"

namespace quorvel::sim {

struct ReceivedFrame {
  std::string bytes;  // with its final CR, unless overflow
  Nanos first_byte{0};
  Nanos last_byte{0};
  bool overflow = false;  // dropped for growing past kMaxPending without a CR
};

class RequestAssembler {
 public:
  static constexpr std::size_t kMaxPending = 512;

  // Takes bytes read at `now`; returns the frames they complete. Bytes that
  // do not form a request stay at the head of the next frame, as they came.
  std::vector<ReceivedFrame> Feed(std::string_view bytes, Nanos now);

 private:
  std::string pending_;
  Nanos first_byte_{0};
};

}  // namespace quorvel::sim
