// The link to the broker: the readings' messages wait in a bounded outbox
// and leave from threads of the link's own, so the poll cycle never waits
// for the network. It connects, and after any failure connects again after
// 1 s, then twice as long each time up to 30 s; while it is away the outbox
// keeps the newest messages. The state it tells is in the words of
// link_status.h, a refusal with its reason.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "mqtt/link_status.h"
#include "mqtt/mqtt_readings.h"
#include "mqtt/outbox.h"

namespace quorvel::mqtt {

struct LinkOptions {
  std::string host;
  int port = 1883;
  std::string client_id;
  std::string user;  // empty: no user name and password
  std::string password;
  bool tls = false;
  std::string ca_file;
  int qos = 1;
  std::size_t buffer_messages = 100'000;
  // "online" once connected, "offline" as the connection's will and when
  // the link ends; retained.
  std::string status_topic;
};

class BrokerLink final : public MessageOutlet {
 public:
  BrokerLink();
  ~BrokerLink() override;
  BrokerLink(const BrokerLink&) = delete;
  BrokerLink& operator=(const BrokerLink&) = delete;

  // Ends the session there is (saying "offline" if connected) and, with
  // options, starts a new one; without, the link is off.
  void Configure(const std::optional<LinkOptions>& options);

  bool Open() const override;
  void Post(Message message) override;
  LinkStatus Status() const;

  class Session;

 private:
  std::shared_ptr<Session> session_;
};

}  // namespace quorvel::mqtt
