// The readings as the OPC UA server's updates: a sink of the poll cycle that
// turns each reading into one update of its item, and a demotion into an
// update of its last text with the last good value, Uncertain (Bad when
// there never was one).
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "opcua/node_update.h"
#include "poll/reading.h"

namespace quorvel::opcua {

class OpcUaReadings final : public poll::ReadingSink {
 public:
  explicit OpcUaReadings(UpdateQueue& queue) : queue_(queue) {}
  // Only while the server runs: the queue would fill with nobody to take.
  void SetOn(bool on) { on_ = on; }

  // Called once the updates of a reading are queued, off the bus's time.
  void OnQueued(std::function<void()> call) { queued_ = std::move(call); }

  void Take(const poll::Reading& reading) override;
  void Demoted(int item) override;
  void Announce() override;

 private:
  // What a demotion republishes: the item's last update and last good value.
  struct Last {
    std::optional<NodeUpdate> update;
    std::optional<double> good_value;
  };
  std::vector<Last> last_;
  UpdateQueue& queue_;
  bool on_ = false;
  bool pending_ = false;  // queued since the last Announce
  std::function<void()> queued_;
};

}  // namespace quorvel::opcua
