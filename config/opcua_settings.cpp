#include "config/opcua_settings.h"

#include <utility>

#include "config/settings_file.h"

namespace quorvel::config {

void ReadOpcUaSection(Profile& profile, OpcUaSettings& o) {
  o.enabled = ReadBooleanKey(profile, kOpcUaSection, "Enabled", o.enabled);
  const int port = ReadIntegerKey(profile, kOpcUaSection, "Port", o.port);
  if (kOpcUaPortRange.Holds(port)) o.port = port;
  o.anonymous = ReadBooleanKey(profile, kOpcUaSection, "Anonymous", o.anonymous);
  o.user = ReadTextKey(profile, kOpcUaSection, "User", o.user);
  o.sealed_password = ReadTextKey(profile, kOpcUaSection, "PasswordSealed", o.sealed_password);
  o.security_none = ReadBooleanKey(profile, kOpcUaSection, "SecurityNone", o.security_none);
}

bool WriteOpcUaSection(Profile& profile, const OpcUaSettings& o) {
  const auto flag = [](bool checked) { return checked ? "1" : "0"; };
  const std::pair<std::string_view, std::string> values[] = {
      {"Enabled", flag(o.enabled)},          {"Port", std::to_string(o.port)},
      {"Anonymous", flag(o.anonymous)},      {"User", o.user},
      {"PasswordSealed", o.sealed_password}, {"SecurityNone", flag(o.security_none)},
  };
  for (const auto& [key, value] : values) {
    if (!profile.Write(kOpcUaSection, key, value)) return false;
  }
  return true;
}

}  // namespace quorvel::config
