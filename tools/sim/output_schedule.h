// The bytes a port is to send, each write with its time. On a paced line
// replies take turns, as on a real bus, and each byte gets its own slot.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/sim/sim_time.h"

namespace quorvel::sim {

struct TimedWrite {
  Nanos at{0};  // not before this time
  std::string bytes;
  bool after_consumed = false;  // only once the reader has taken all before
  // On the write that carries a reply's last byte: the log line of the
  // request it answers, to be logged as that byte goes out. Empty elsewhere,
  // and emptied once logged.
  std::string log_line;
};

// How long `bytes` bytes take on a line of `baud` bit/s, 10 bits a byte;
// zero when the line is not paced.
Nanos LineTime(std::uint32_t baud, std::size_t bytes);

class OutputSchedule {
 public:
  explicit OutputSchedule(std::uint32_t baud) : baud_(baud) {}

  // Schedules `bytes` to start at `earliest` or, on a paced line, when the
  // line is free of what was scheduled before. `now` lets old turns go.
  // `log_line` goes with the write of the last byte (see TimedWrite).
  void Add(std::string_view bytes, bool bytewise, Nanos earliest, Nanos now,
           std::string log_line = {});

  bool empty() const { return writes_.empty(); }
  TimedWrite& front() { return writes_.front(); }
  void pop_front() { writes_.pop_front(); }
  const std::deque<TimedWrite>& writes() const { return writes_; }

 private:
  std::uint32_t baud_;
  std::deque<TimedWrite> writes_;               // in time order
  std::vector<std::pair<Nanos, Nanos>> turns_;  // [start, end) of paced replies
};

}  // namespace quorvel::sim
