// The OPC UA server beside the DDE server, on the OPC UA library: a thread
// of its own that serves the clients and applies the readings' updates as
// they come (opcua/node_update.h), so an exchange never waits for it. Under
// Objects it holds a folder named after the service, holding one named after
// the topic, holding an object per sensor item with the variables Text,
// Value, Device and Channel, all read-only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "opcua/node_update.h"

namespace quorvel::opcua {

struct ServerOptions {
  int port = 4840;
  bool anonymous = false;
  std::string user;      // UTF-8
  std::string password;  // UTF-8, in clear only here, for the server's life
  bool security_none = false;
  // The server's certificate and key ("own\"), and the clients' it trusts
  // ("trusted\"): a folder path with its trailing separator, UTF-8.
  std::string pki_folder;
  std::string computer;  // the certificate's DNS name and the application URI's part
  std::string service;
  std::string topic;
  std::vector<std::string> items;  // the sensor items' names, UTF-8
};

enum class ServerState { kOff, kRunning, kFailed };

struct ServerStatus {
  ServerState state = ServerState::kOff;
  std::string reason;      // why it failed, in English words of the library
  std::string thumbprint;  // SHA-1 of the server's certificate, hex, once it has one
};

class UaServer {
 public:
  explicit UaServer(UpdateQueue& queue);
  ~UaServer();
  UaServer(const UaServer&) = delete;
  UaServer& operator=(const UaServer&) = delete;

  // Ends the server there is and, with options, starts a new one.
  void Configure(const std::optional<ServerOptions>& options);
  ServerStatus Status() const;
  // Updates are waiting in the queue: the server thread takes them now.
  void Wake();

  class Run;

 private:
  [[maybe_unused]] UpdateQueue& queue_;
  std::unique_ptr<Run> run_;
  bool failed_ = false;  // asked to run by a build that cannot
};

}  // namespace quorvel::opcua
