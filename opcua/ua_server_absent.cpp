// The server of a build without the OPC UA library: it never runs, and says
// why when it is asked to.
#include "opcua/ua_server.h"

namespace quorvel::opcua {

class UaServer::Run {};

UaServer::UaServer(UpdateQueue& queue) : queue_(queue) {}

UaServer::~UaServer() = default;

void UaServer::Configure(const std::optional<ServerOptions>& options) {
  failed_ = options.has_value();
}

ServerStatus UaServer::Status() const {
  if (!failed_) return {};
  return {ServerState::kFailed, "this build has no OPC UA library", {}};
}

void UaServer::Wake() {}

}  // namespace quorvel::opcua
