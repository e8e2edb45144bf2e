#include "config/mqtt_settings.h"

#include <utility>

#include "config/settings_file.h"

namespace quorvel::config {

std::string DefaultClientId(std::string_view service, std::string_view computer) {
  std::string id(service);
  id.append("-").append(computer);
  return id;
}

std::string DefaultTopicRoot(std::string_view service, std::string_view topic) {
  std::string root = "quorvel/";
  root.append(service).append("/").append(topic);
  return root;
}

namespace {

int ReadRangedKey(Profile& profile, std::string_view key, Range range, int current) {
  const int value = ReadIntegerKey(profile, kMqttSection, key, current);
  return range.Holds(value) ? value : current;
}

}  // namespace

void ReadMqttSection(Profile& profile, MqttSettings& m) {
  m.enabled = ReadBooleanKey(profile, kMqttSection, "Enabled", m.enabled);
  m.host = ReadTextKey(profile, kMqttSection, "Host", m.host);
  m.port = ReadRangedKey(profile, "Port", kMqttPortRange, m.port);
  m.client_id = ReadTextKey(profile, kMqttSection, "ClientId", m.client_id);
  m.user = ReadTextKey(profile, kMqttSection, "User", m.user);
  m.sealed_password = ReadTextKey(profile, kMqttSection, "PasswordSealed", m.sealed_password);
  m.tls = ReadBooleanKey(profile, kMqttSection, "Tls", m.tls);
  m.ca_file = ReadTextKey(profile, kMqttSection, "CaFile", m.ca_file);
  m.topic_root = ReadTextKey(profile, kMqttSection, "TopicRoot", m.topic_root);
  m.qos = ReadRangedKey(profile, "Qos", kMqttQosRange, m.qos);
  m.buffer_messages = ReadRangedKey(profile, "BufferMessages", kMqttBufferRange, m.buffer_messages);
}

bool WriteMqttSection(Profile& profile, const MqttSettings& m) {
  const auto flag = [](bool checked) { return checked ? "1" : "0"; };
  const std::pair<std::string_view, std::string> values[] = {
      {"Enabled", flag(m.enabled)},
      {"Host", m.host},
      {"Port", std::to_string(m.port)},
      {"ClientId", m.client_id},
      {"User", m.user},
      {"PasswordSealed", m.sealed_password},
      {"Tls", flag(m.tls)},
      {"CaFile", m.ca_file},
      {"TopicRoot", m.topic_root},
      {"Qos", std::to_string(m.qos)},
      {"BufferMessages", std::to_string(m.buffer_messages)},
  };
  for (const auto& [key, value] : values) {
    if (!profile.Write(kMqttSection, key, value)) return false;
  }
  return true;
}

}  // namespace quorvel::config
