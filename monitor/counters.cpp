#include "monitor/counters.h"

#include <algorithm>
#include <map>

namespace quorvel::monitor {

bool RequestSent(poll::Outcome outcome) {
  return outcome != poll::Outcome::kArgumentsRefused && outcome != poll::Outcome::kPortUnavailable;
}

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The smaller of two figures where -1 means none; std::max serves as it is.
std::int64_t Least(std::int64_t a, std::int64_t b) {
  return a < 0 ? b : b < 0 ? a : std::min(a, b);
}

}  // namespace

double SensorCounters::MeanUs() const {
  return timed == 0 ? 0.0 : static_cast<double>(sum_us) / static_cast<double>(timed);
}

void SensorCounters::Add(const SensorCounters& other) {
  asked += other.asked;
  good += other.good;
  for (int i = 0; i < kOutcomeCount; ++i) failures[i] += other.failures[i];
  demotions = std::max(demotions, other.demotions);
  failures_in_row = std::max(failures_in_row, other.failures_in_row);
  demoted = demoted || other.demoted;
  if (other.timed > 0) last_us = other.last_us;
  min_us = Least(min_us, other.min_us);
  max_us = std::max(max_us, other.max_us);
  sum_us += other.sum_us;
  timed += other.timed;
  last_good_utc_ns = std::max(last_good_utc_ns, other.last_good_utc_ns);
}

void Counters::Take(const poll::Reading& reading) {
  if (reading.item < 0) return;
  NotePass(reading);
  NoteRate(reading);
  ++readings_;
  if (static_cast<std::size_t>(reading.item) >= sensors_.size()) sensors_.resize(reading.item + 1);
  Entry& entry = sensors_[reading.item];
  entry.address = reading.address;
  entry.last_order = readings_;
  SensorCounters& c = entry.counters;
  ++c.asked;
  c.demoted = false;
  if (reading.outcome == poll::Outcome::kGood) {
    ++c.good;
    c.failures_in_row = 0;
    c.last_good_utc_ns = reading.end_utc_ns;
  } else {
    ++c.failures[static_cast<int>(reading.outcome)];
    ++c.failures_in_row;
  }
  // An unsent row's stamps are one moment and say nothing of the device. A
  // failed write did hold the port for its time, so it is timed too.
  if (!RequestSent(reading.outcome)) return;
  const std::int64_t us = reading.ResponseNs() / 1000;
  c.last_us = us;
  c.min_us = Least(c.min_us, us);
  c.max_us = std::max(c.max_us, us);
  c.sum_us += us;
  ++c.timed;
}

void Counters::NotePass(const poll::Reading& reading) {
  // The cycle asks the rows in order, so a row not past the one before
  // begins a pass. A pass that asks only rows after the previous pass's
  // last one is not seen apart from it.
  if (readings_ == 0) {
    pass_start_ns_ = reading.request_ns;
  } else if (reading.row <= previous_row_) {
    const std::int64_t length = reading.request_ns - pass_start_ns_;
    ++passes_.passes;
    passes_.last_ns = length;
    passes_.min_ns = passes_.passes == 1 ? length : std::min(passes_.min_ns, length);
    passes_.max_ns = passes_.passes == 1 ? length : std::max(passes_.max_ns, length);
    pass_start_ns_ = reading.request_ns;
  }
  previous_row_ = reading.row;
}

void Counters::NoteRate(const poll::Reading& reading) {
  if (readings_ == 0) first_request_ns_ = reading.request_ns;
  const std::int64_t index = FloorDiv(reading.end_ns, kSlotNs);
  Slot& slot = slots_[static_cast<std::size_t>((index % kSlots + kSlots) % kSlots)];
  if (slot.index > index) return;  // older than the window the slot serves now
  if (slot.index != index) slot = {index, 0};
  ++slot.count;
}

double Counters::ReadingsPerSecond(std::int64_t now_ns) const {
  const std::int64_t newest = FloorDiv(now_ns, kSlotNs);
  const std::int64_t oldest = newest - kSlots + 1;
  std::uint64_t count = 0;
  for (const Slot& slot : slots_) {
    if (slot.index >= oldest && slot.index <= newest) count += slot.count;
  }
  // The slots counted cover from the oldest one's start to now.
  std::int64_t since = oldest * kSlotNs;
  if (readings_ > 0 && first_request_ns_ > since) since = first_request_ns_;
  const std::int64_t span = now_ns - since;
  if (count == 0 || span <= 0) return 0.0;
  return static_cast<double>(count) * 1e9 / static_cast<double>(span);
}

void Counters::Demoted(int item) {
  // A row not read yet is counted too, though it has no device until it is.
  if (item < 0) return;
  if (static_cast<std::size_t>(item) >= sensors_.size()) sensors_.resize(item + 1);
  SensorCounters& c = sensors_[item].counters;
  ++c.demotions;
  c.demoted = true;
}

void Counters::Reset() {
  *this = Counters();
}

const SensorCounters& Counters::Sensor(int item) const {
  static const SensorCounters kNone;
  if (item < 0 || static_cast<std::size_t>(item) >= sensors_.size()) return kNone;
  return sensors_[item].counters;
}

std::vector<std::pair<std::int32_t, SensorCounters>> Counters::Devices() const {
  // Each device's sensors in the order of their last readings, so that
  // Add sees the later one last.
  std::vector<const Entry*> read;
  for (const Entry& entry : sensors_) {
    if (entry.last_order != 0) read.push_back(&entry);
  }
  std::sort(read.begin(), read.end(),
            [](const Entry* a, const Entry* b) { return a->last_order < b->last_order; });
  std::map<std::int32_t, SensorCounters> devices;
  for (const Entry* entry : read) devices[entry->address].Add(entry->counters);
  return {devices.begin(), devices.end()};
}

}  // namespace quorvel::monitor
