// The OPC UA server beside the DDE server: whether it runs, its port, and
// who may connect. The password is held only as the platform sealed it for
// the Windows user (config/secret_seal_win.h), as the broker's is.
#pragma once

#include <string>
#include <string_view>

#include "config/profile.h"
#include "config/range.h"

namespace quorvel::config {

inline constexpr std::string_view kOpcUaSection = "OPCUA";

struct OpcUaSettings {
  bool enabled = false;
  int port = 4840;
  // Sessions without a user name; off: the user and password are needed.
  bool anonymous = false;
  std::string user;
  std::string sealed_password;  // empty: no password
  // Connections that are neither signed nor encrypted; off: refused.
  bool security_none = false;

  bool operator==(const OpcUaSettings&) const = default;
};

inline constexpr Range kOpcUaPortRange{1, 65'535};

// Reads the section over `opcua`: a key that is missing, or a number that is
// not integer text or is out of its range, keeps what `opcua` holds.
void ReadOpcUaSection(Profile& profile, OpcUaSettings& opcua);
// Writes every key of the section; false when the profile refused one.
bool WriteOpcUaSection(Profile& profile, const OpcUaSettings& opcua);

}  // namespace quorvel::config
