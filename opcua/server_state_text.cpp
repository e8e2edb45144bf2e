#include "opcua/server_state_text.h"

#include "base/cp1251.h"

namespace quorvel::opcua {

std::string EndpointUrl(std::string_view computer, int port) {
  return "opc.tcp://" + std::string(computer) + ":" + std::to_string(port);
}

std::string ServerStateText(const ServerStatus& status, std::string_view endpoint) {
  static constexpr auto kOff = cp1251::Text("выключен");
  static constexpr auto kRunning = cp1251::Text("работает, ");
  static constexpr auto kFailed = cp1251::Text("не запущен: ");
  switch (status.state) {
    case ServerState::kOff:
      return std::string(kOff.view());
    case ServerState::kRunning:
      return std::string(kRunning.view()) + std::string(endpoint);
    case ServerState::kFailed:
      return std::string(kFailed.view()) + status.reason;
  }
  return std::string(kOff.view());
}

}  // namespace quorvel::opcua
