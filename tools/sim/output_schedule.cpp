#include "tools/sim/output_schedule.h"

#include <algorithm>
#include <iterator>

namespace quorvel::sim {

Nanos LineTime(std::uint32_t baud, std::size_t bytes) {
  if (baud == 0) return Nanos(0);
  // Exact per byte count, so slots computed from one start never drift.
  return Nanos(static_cast<std::int64_t>(bytes) * 10'000'000'000 / baud);
}

void OutputSchedule::Add(std::string_view bytes, bool bytewise, Nanos earliest, Nanos now,
                         std::string log_line) {
  if (bytes.empty()) return;
  std::vector<TimedWrite> planned;
  const auto plan = [&planned](Nanos at, std::string piece, bool after_consumed) {
    TimedWrite& write = planned.emplace_back();
    write.at = at;
    write.bytes = std::move(piece);
    write.after_consumed = after_consumed;
  };
  Nanos start = earliest;
  if (baud_ == 0) {
    if (bytewise) {
      for (char c : bytes) plan(start, std::string(1, c), true);
    } else {
      plan(start, std::string(bytes), false);
    }
  } else {
    std::erase_if(turns_, [now](const auto& turn) { return turn.second <= now; });
    std::sort(turns_.begin(), turns_.end());
    const Nanos length = LineTime(baud_, bytes.size());
    for (const auto& [turn_start, turn_end] : turns_) {
      if (start < turn_end && turn_start < start + length) start = turn_end;
    }
    turns_.emplace_back(start, start + length);
    // A byte is there once its last bit is: byte k at start + (k + 1) slots.
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      plan(start + LineTime(baud_, k + 1), std::string(1, bytes[k]), bytewise);
    }
  }
  planned.back().log_line = std::move(log_line);
  // Turns never overlap, so the new writes go in one piece after every
  // write due no later than their start.
  const auto at = std::upper_bound(writes_.begin(), writes_.end(), start,
                                   [](Nanos t, const TimedWrite& w) { return t < w.at; });
  writes_.insert(at, std::make_move_iterator(planned.begin()),
                 std::make_move_iterator(planned.end()));
}

}  // namespace quorvel::sim
