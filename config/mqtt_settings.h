// Where the readings go besides the DDE items: the broker, how to reach it
// and the topics. The password is held only as the platform sealed it for
// the Windows user (config/secret_seal_win.h); this layer never sees it in clear.
#pragma once

#include <string>
#include <string_view>

#include "config/profile.h"
#include "config/range.h"

namespace quorvel::config {

inline constexpr std::string_view kMqttSection = "MQTT";

struct MqttSettings {
  bool enabled = false;
  std::string host;
  int port = 1883;
  std::string client_id;  // empty: DefaultClientId
  std::string user;
  std::string sealed_password;  // empty: no password
  bool tls = false;
  std::string ca_file;     // PEM file of the authority that signed the broker's certificate
  std::string topic_root;  // empty: DefaultTopicRoot
  int qos = 1;
  int buffer_messages = 100'000;

  bool operator==(const MqttSettings&) const = default;
};

inline constexpr Range kMqttPortRange{1, 65'535};
inline constexpr Range kMqttQosRange{0, 1};
// About 300 bytes a message: a million is some 300 MB, as much as a plant PC
// should give a broker that is away.
inline constexpr Range kMqttBufferRange{1, 1'000'000};

// The service name, "-", the computer name: unique for every copy of the
// program on every computer that feeds one broker.
std::string DefaultClientId(std::string_view service, std::string_view computer);
// "quorvel/" + the service name + "/" + the DDE topic.
std::string DefaultTopicRoot(std::string_view service, std::string_view topic);

// Reads the section over `mqtt`: a key that is missing, or a number that is
// not integer text or is out of its range, keeps what `mqtt` holds.
void ReadMqttSection(Profile& profile, MqttSettings& mqtt);
// Writes every key of the section; false when the profile refused one.
bool WriteMqttSection(Profile& profile, const MqttSettings& mqtt);

}  // namespace quorvel::config
