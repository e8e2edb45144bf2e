// The OPC UA server's state in the words the settings page and the line
// monitor show, Windows-1251.
#pragma once

#include <string>
#include <string_view>

#include "opcua/ua_server.h"

namespace quorvel::opcua {

// "opc.tcp://COMPUTER:PORT", what a client connects to.
std::string EndpointUrl(std::string_view computer, int port);

// "выключен", "работает, opc.tcp://..." or "не запущен: REASON".
std::string ServerStateText(const ServerStatus& status, std::string_view endpoint);

}  // namespace quorvel::opcua
