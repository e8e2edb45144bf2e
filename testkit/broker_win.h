// The run's MQTT broker as a Windows-side test sees it: Debian's mosquitto,
// kept by tools/broker.sh in the run's folder broker/ (tools/winerun.sh
// --broker; BROKER in quorvel_wine_test). Its listeners' ports and the files
// a client needs; commands to the keeper that stop and start the broker and
// publish and subscribe with mosquitto_pub and mosquitto_sub; what those
// subscribers received. Every command waits for the keeper's answer for at
// most kBrokerWaitMs, handling this thread's window messages meanwhile.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::testing {

inline constexpr DWORD kBrokerWaitMs = 30'000;

// The listeners, all on 127.0.0.1.
struct BrokerPorts {
  int plain = 0;  // anonymous clients
  int auth = 0;   // user and password only
  int tls = 0;    // TLS 1.2 or later, then user and password
};

// The ports, once the keeper has written them (it has, before the test
// program starts).
std::optional<BrokerPorts> ReadBrokerPorts();

// Windows paths (through drive Z:) of the authority that signed the TLS
// listener's certificate (for localhost and 127.0.0.1), and of one with the
// same name that signed nothing of the broker's.
std::string BrokerCaFile();
std::string BrokerOtherCaFile();
// What the auth and TLS listeners accept.
std::string BrokerUser();
std::string BrokerPassword();

// Ends the broker and sees its ports closed; the sessions and retained
// messages stay in its persistence file.
bool StopBroker();
// Starts it again on the same ports, and returns once every running
// subscriber receives again.
bool StartBroker();

// A mosquitto_sub named `name` (letters, digits, "_.-") on the plain
// listener, with the client id "quorvel-test-NAME", subscribed to
// `topic_filter` at `qos`, with a session that outlives its connection if
// `persistent_session`; returns once the subscription delivers, so what the
// broker had queued for that session has arrived by then.
bool Subscribe(const std::string& name, const std::string& topic_filter, int qos,
               bool persistent_session);
// Ends that subscriber's process (its connection drops; a persistent
// session stays with the broker).
bool Unsubscribe(const std::string& name);

// Publishes through mosquitto_pub on the plain listener; returns once the
// broker has the message (QoS 1 and 2) or it was sent (QoS 0). Topic and
// payload are one line each.
bool Publish(const std::string& topic, const std::string& payload, bool retain = false,
             int qos = 1);

// Why the last command failed: the keeper's text, or that it did not answer.
std::string BrokerError();

// A message as a subscriber received it.
struct ReceivedMessage {
  double receive_unix_seconds = 0;  // the subscriber's clock, nanoseconds
  std::string topic;
  bool retained = false;
  std::string payload;
};

// What the subscriber `name` received so far, in order, over all its
// subscriptions of that name.
std::vector<ReceivedMessage> ReceivedMessages(const std::string& name);
bool WaitReceived(const std::string& name, std::size_t count, DWORD timeout_ms = kBrokerWaitMs);

// The wall clock in Unix seconds, as the receive times are.
double UnixNow();

}  // namespace quorvel::testing
