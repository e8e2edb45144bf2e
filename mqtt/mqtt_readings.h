// The readings as a sink that feeds the broker: each reading becomes a
// retained message on its item's topic under the topic root; a demotion
// sends the sensor's last reading again with the word DEMOTED, as its
// quality item then reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mqtt/outbox.h"
#include "poll/dde_components.h"
#include "poll/reading.h"

namespace quorvel::mqtt {

class MessageOutlet {
 public:
  virtual ~MessageOutlet() = default;
  // False while the link is off: no message is made then.
  virtual bool Open() const = 0;
  // Called inside the poll cycle: never waits for the network.
  virtual void Post(Message message) = 0;
};

class MqttReadings final : public poll::ReadingSink {
 public:
  MqttReadings(poll::DdeComponents& items, MessageOutlet& outlet)
      : items_(items), outlet_(outlet) {}

  // The topic root of the messages from now on, in UTF-8 as topics are
  // (item names are identifiers: ASCII).
  void SetTopicRoot(std::string root) { root_ = std::move(root); }

  void Take(const poll::Reading& reading) override;
  void Demoted(int item) override;

 private:
  void Post(const poll::Reading& reading, std::string_view quality);

  poll::DdeComponents& items_;
  MessageOutlet& outlet_;
  std::string root_;
  std::vector<std::optional<poll::Reading>> last_;
};

}  // namespace quorvel::mqtt
