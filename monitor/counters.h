// The line monitor's figures: what each sensor's exchanges came to, summed
// per device, how long a pass over the table takes and how many readings the
// line carries a second. Not a sink itself: the window that shows the
// figures passes on what the poll cycle tells it.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "poll/reading.h"

namespace quorvel::monitor {

// Outcomes there are, the last being kPortUnavailable.
inline constexpr int kOutcomeCount = static_cast<int>(poll::Outcome::kPortUnavailable) + 1;

// Whether a reading's request went out on the line: not when the row was
// refused unsent or its port cannot be opened.
bool RequestSent(poll::Outcome outcome);

struct SensorCounters {
  std::uint64_t asked = 0;  // readings, sent or not
  std::uint64_t good = 0;
  // Readings per outcome, indexed by static_cast<int>(poll::Outcome); the
  // slot of kGood stays 0.
  std::array<std::uint64_t, kOutcomeCount> failures{};
  std::uint64_t demotions = 0;
  std::uint32_t failures_in_row = 0;  // since the last good reading
  bool demoted = false;               // from a demotion to the next reading
  // Response times in microseconds, of the readings whose request was sent;
  // -1 until there is one.
  std::int64_t last_us = -1, min_us = -1, max_us = -1, sum_us = 0;
  std::uint64_t timed = 0;
  std::int64_t last_good_utc_ns = 0;  // end of the last good reading; 0 for none

  // 0 when nothing was timed.
  double MeanUs() const;
  // For a device's figures, `other` being the sensor read later: counts and
  // times add up, the last response time is the later one's; a demotion
  // reaches every row of the device, so the demotions, the run of failures
  // and `demoted` are the largest of its sensors'.
  void Add(const SensorCounters& other);
};

struct PassFigures {
  std::uint64_t passes = 0;  // completed
  // Nanoseconds from one pass's first request to the next pass's first
  // request; 0 until a pass is complete.
  std::int64_t last_ns = 0, min_ns = 0, max_ns = 0;
};

// The span ReadingsPerSecond looks back over.
inline constexpr std::int64_t kRateWindowNs = 10'000'000'000;

class Counters {
 public:
  void Take(const poll::Reading& reading);
  // The device of DDE item `item` was demoted, right after a reading.
  void Demoted(int item);
  void Reset();

  // A zero one for an item never seen.
  const SensorCounters& Sensor(int item) const;
  // Summed per device address, ascending. A sensor belongs to the address of
  // its last reading, so a row moved to another device takes its figures
  // along.
  std::vector<std::pair<std::int32_t, SensorCounters>> Devices() const;
  PassFigures passes() const { return passes_; }
  // Readings that ended in the last kRateWindowNs of monotonic time before
  // `now_ns`, a second; over the time since the first request when the
  // counting began later. `now_ns` is not before the last reading's end.
  double ReadingsPerSecond(std::int64_t now_ns) const;

 private:
  struct Entry {
    SensorCounters counters;
    std::int32_t address = 0;
    std::uint64_t last_order = 0;  // of its last reading, from 1; 0 for none
  };
  void NotePass(const poll::Reading& reading);
  void NoteRate(const poll::Reading& reading);

  std::vector<Entry> sensors_;  // by item
  std::uint64_t readings_ = 0;
  PassFigures passes_;
  int previous_row_ = 0;
  std::int64_t pass_start_ns_ = 0;
  // The rate counts readings in slots of a tenth of a second, a ring that
  // covers the window: memory stays the same at any rate.
  static constexpr std::int64_t kSlotNs = 100'000'000;
  static constexpr int kSlots = static_cast<int>(kRateWindowNs / kSlotNs);
  struct Slot {
    std::int64_t index = std::numeric_limits<std::int64_t>::min();  // end_ns / kSlotNs
    std::uint64_t count = 0;
  };
  std::array<Slot, kSlots> slots_{};
  std::int64_t first_request_ns_ = 0;  // of the first reading since the reset
};

}  // namespace quorvel::monitor
