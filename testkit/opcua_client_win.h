// The run's OPC UA client as a Windows-side test sees it: node-opcua's
// client, kept by tools/opcua_client/keeper.js in the run's folder opcua/
// (tools/winerun.sh --opcua; OPCUA in quorvel_wine_test). Commands to it and
// their answers; every wait handles this thread's window messages.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::testing {

inline constexpr DWORD kOpcUaWaitMs = 60'000;

// How the client connects: security policy and mode ("None",
// "Basic256Sha256"; "None", "Sign", "SignAndEncrypt"), which of its two
// certificates it shows ("trusted" or "untrusted"), and the user (empty:
// anonymous).
struct UaConnection {
  std::string url;
  std::string policy = "None";
  std::string mode = "None";
  std::string identity = "trusted";
  std::string user;
  std::string password;
};

struct UaAnswer {
  bool done = false;
  std::string error;               // when not done: the client's reason
  std::vector<std::string> lines;  // the result, a line each (keeper.js)
};

// The Windows path of the client's certificate of that identity (DER), for
// the test to trust.
std::string UaClientCertificate(const std::string& identity);

// `fields`: the command's own JSON members, as "\"op\":\"read\",..." .
UaAnswer AskUaClient(const UaConnection& connection, const std::string& fields,
                     DWORD timeout_ms = kOpcUaWaitMs);

// A subscription the client keeps while the test goes on.
class UaSubscription {
 public:
  // Started once its monitored items exist; false with `error` set.
  // `record` false: the changes are only counted (the answer: "count=N").
  bool Start(const UaConnection& connection, const std::vector<std::string>& nodes,
             std::string* error, bool record = true);
  // The data changes so far, a line each.
  std::vector<std::string> Changes() const;
  // Ends it and gives every change it received.
  UaAnswer Stop();

 private:
  std::string id_;
};

// A JSON string of the text.
std::string Json(const std::string& text);

}  // namespace quorvel::testing
