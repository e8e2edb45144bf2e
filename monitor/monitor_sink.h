// What the line monitor shows, kept from the program's start whether its
// window is open or not: the counters, the traffic ring, and each sensor's
// last reading. A sink of the poll cycle: what it does per reading is a few
// counts and two copies of short texts, so the bus never waits for it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "monitor/counters.h"
#include "monitor/traffic.h"
#include "poll/reading.h"

namespace quorvel::monitor {

class MonitorSink final : public poll::ReadingSink {
 public:
  struct Last {
    std::int32_t address = 0;
    std::int32_t channel = 0;
    std::optional<poll::Outcome> outcome;  // nothing before the first reading
  };

  void Take(const poll::Reading& reading) override {
    counters_.Take(reading);
    traffic_.AddExchange(reading);
    if (reading.item < 0) return;
    if (static_cast<std::size_t>(reading.item) >= last_.size()) last_.resize(reading.item + 1);
    last_[reading.item] = {reading.address, reading.channel, reading.outcome};
  }
  void Demoted(int item) override { counters_.Demoted(item); }
  // The request is on the line and the reply some milliseconds away: the
  // window draws now, where it costs the bus nothing.
  void Announce() override {
    if (line_free_) line_free_();
  }
  void OnLineFree(std::function<void()> call) { line_free_ = std::move(call); }

  const Last& LastOf(int item) const {
    static const Last kNone;
    return item >= 0 && static_cast<std::size_t>(item) < last_.size() ? last_[item] : kNone;
  }
  const Counters& counters() const { return counters_; }
  TrafficRing& traffic() { return traffic_; }
  const TrafficRing& traffic() const { return traffic_; }
  // The counters from zero; the traffic and the last readings stay.
  void ResetCounters() { counters_.Reset(); }

 private:
  Counters counters_;
  TrafficRing traffic_;
  std::vector<Last> last_;
  std::function<void()> line_free_;
};

}  // namespace quorvel::monitor
