#include "opcua/ua_server.h"

#include <open62541/plugin/accesscontrol_default.h>
#include <open62541/plugin/create_certificate.h>
#include <open62541/plugin/log_stdout.h>
#include <open62541/server.h>
#include <open62541/server_config_default.h>
#include <openssl/sha.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "base/hex_text.h"
#include "opcua/user_only_file_win.h"
#include "opcua/value_status.h"

namespace quorvel::opcua {

namespace {

namespace fs = std::filesystem;

constexpr UA_UInt16 kNamespace = 1;
// How long the thread sleeps between turns when nothing wakes it: the
// longest a client's request waits to be read.
constexpr auto kTurn = std::chrono::milliseconds(5);
// 100-ns intervals from 1601 to 1970.
constexpr std::int64_t kDateTimeOf1970 = 116'444'736'000'000'000;

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::optional<std::string> ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), {});
}

UA_ByteString Bytes(const std::string& bytes) {
  UA_ByteString out;
  out.length = bytes.size();
  out.data = reinterpret_cast<UA_Byte*>(const_cast<char*>(bytes.data()));
  return out;
}

std::string HexSha1(const std::string& bytes) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  return HexText({reinterpret_cast<const char*>(digest), sizeof digest});
}

UA_NodeId NodeOf(const std::string& id) {
  return UA_NODEID_STRING_ALLOC(kNamespace, id.c_str());
}

// "Quorvel.ZORVIK.<n>.Value": by the item's place, so that a rename of the
// items keeps the clients' node ids.
std::string ObjectId(const ServerOptions& o, std::size_t item) {
  return o.service + "." + o.topic + "." + std::to_string(item + 1);
}

std::string VariableId(const ServerOptions& o, std::size_t item, const char* variable) {
  return ObjectId(o, item) + "." + variable;
}

std::string StatusName(UA_StatusCode code) {
  return UA_StatusCode_name(code);
}

}  // namespace

class UaServer::Run {
 public:
  Run(ServerOptions options, UpdateQueue& queue) : options_(std::move(options)), queue_(queue) {}

  void Start() {
    thread_ = std::thread([this] { Serve(); });
  }
  void Stop() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  void Wake() {
    {
      const std::lock_guard lock(mutex_);
      woken_ = true;
    }
    wake_.notify_one();
  }
  ServerStatus Status() const {
    const std::lock_guard lock(mutex_);
    return status_;
  }

 private:
  void SetStatus(ServerState state, std::string reason) {
    const std::lock_guard lock(mutex_);
    status_.state = state;
    status_.reason = std::move(reason);
  }

  // The server's certificate and key, made at the first start and kept.
  bool OwnCertificate(const UA_Logger* logger, std::string& certificate, std::string& key) {
    const fs::path own = PathOf(options_.pki_folder) / "own";
    const fs::path cert_path = own / "cert.der";
    const fs::path key_path = own / "private" / "key.der";
    std::optional<std::string> cert = ReadFile(cert_path);
    std::optional<std::string> private_key = ReadFile(key_path);
    if (!cert || !private_key) {
      std::error_code error;
      fs::create_directories(own / "private", error);
      fs::remove(cert_path, error);
      fs::remove(key_path, error);
      const std::string subject_cn = "CN=Quorvel " + options_.service + "@" + options_.computer;
      const UA_String subject[] = {UA_STRING(const_cast<char*>(subject_cn.c_str())),
                                   UA_STRING(const_cast<char*>("O=Quorvel Instruments"))};
      const std::string uri = "URI:" + ApplicationUri();
      const std::string dns = "DNS:" + options_.computer;
      const UA_String alt[] = {UA_STRING(const_cast<char*>(uri.c_str())),
                               UA_STRING(const_cast<char*>(dns.c_str()))};
      UA_UInt16 key_bits = 2048;
      UA_UInt16 days = 3650;
      UA_KeyValuePair pairs[2];
      pairs[0].key = UA_QUALIFIEDNAME(0, const_cast<char*>("key-size-bits"));
      UA_Variant_setScalar(&pairs[0].value, &key_bits, &UA_TYPES[UA_TYPES_UINT16]);
      pairs[1].key = UA_QUALIFIEDNAME(0, const_cast<char*>("expires-in-days"));
      UA_Variant_setScalar(&pairs[1].value, &days, &UA_TYPES[UA_TYPES_UINT16]);
      UA_KeyValueMap params = {2, pairs};
      UA_ByteString made_key = UA_BYTESTRING_NULL;
      UA_ByteString made_cert = UA_BYTESTRING_NULL;
      const UA_StatusCode made = UA_CreateCertificate(
          logger, subject, 2, alt, 2, UA_CERTIFICATEFORMAT_DER, &params, &made_key, &made_cert);
      if (made != UA_STATUSCODE_GOOD) {
        SetStatus(ServerState::kFailed, "no certificate could be made: " + StatusName(made));
        return false;
      }
      cert.emplace(reinterpret_cast<const char*>(made_cert.data), made_cert.length);
      private_key.emplace(reinterpret_cast<const char*>(made_key.data), made_key.length);
      UA_ByteString_clear(&made_cert);
      UA_ByteString_clear(&made_key);
      std::string written;
      if (!WriteUserOnlyFile(key_path, *private_key, &written)) {
        SetStatus(ServerState::kFailed, written);
        return false;
      }
      std::ofstream out(cert_path, std::ios::binary);
      out << *cert;
      if (!out.flush()) {
        SetStatus(ServerState::kFailed, "cannot write the certificate");
        return false;
      }
    }
    certificate = std::move(*cert);
    key = std::move(*private_key);
    const std::lock_guard lock(mutex_);
    status_.thumbprint = HexSha1(certificate);
    return true;
  }

  std::string ApplicationUri() const {
    return "urn:" + options_.computer + ":Quorvel:" + options_.service;
  }

  // The clients' certificates in "trusted\", DER or PEM files.
  std::vector<std::string> TrustedCertificates() const {
    std::vector<std::string> trusted;
    std::error_code error;
    const fs::path folder = PathOf(options_.pki_folder) / "trusted";
    fs::create_directories(folder, error);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
      if (!entry.is_regular_file(error)) continue;
      if (std::optional<std::string> bytes = ReadFile(entry.path())) {
        trusted.push_back(std::move(*bytes));
      }
    }
    return trusted;
  }

  bool Configure(UA_ServerConfig* config) {
    std::string certificate;
    std::string key;
    if (!OwnCertificate(config->logging, certificate, key)) return false;
    const std::vector<std::string> trusted = TrustedCertificates();
    std::vector<UA_ByteString> trust_list;
    trust_list.reserve(trusted.size());
    for (const std::string& t : trusted) trust_list.push_back(Bytes(t));
    const UA_ByteString cert_bytes = Bytes(certificate);
    const UA_ByteString key_bytes = Bytes(key);
    const auto port = static_cast<UA_UInt16>(options_.port);
    const UA_StatusCode configured =
        options_.security_none ? UA_ServerConfig_setDefaultWithSecurityPolicies(
                                     config, port, &cert_bytes, &key_bytes, trust_list.data(),
                                     trust_list.size(), nullptr, 0, nullptr, 0)
                               : UA_ServerConfig_setDefaultWithSecureSecurityPolicies(
                                     config, port, &cert_bytes, &key_bytes, trust_list.data(),
                                     trust_list.size(), nullptr, 0, nullptr, 0);
    if (configured != UA_STATUSCODE_GOOD) {
      SetStatus(ServerState::kFailed, "the server could not be set up: " + StatusName(configured));
      return false;
    }
    // Clients find the secure endpoints over an unsecured channel: the
    // policy None is there for that (discovery only), with no endpoint of
    // its own.
    if (!options_.security_none) {
      const UA_StatusCode none = UA_ServerConfig_addSecurityPolicyNone(config, &cert_bytes);
      if (none != UA_STATUSCODE_GOOD) {
        SetStatus(ServerState::kFailed, "no discovery: " + StatusName(none));
        return false;
      }
    }
    UA_String_clear(&config->applicationDescription.applicationUri);
    config->applicationDescription.applicationUri = UA_STRING_ALLOC(ApplicationUri().c_str());
    UA_LocalizedText_clear(&config->applicationDescription.applicationName);
    config->applicationDescription.applicationName = UA_LOCALIZEDTEXT_ALLOC("en-US", "Quorvel");
    // Sampled at every write when a client asks for 0: each reading is a
    // sample, as each is a DDE update.
    config->samplingIntervalLimits.min = 0.0;
    config->publishingIntervalLimits.min = 5.0;

    UA_UsernamePasswordLogin login;
    login.username = UA_STRING(const_cast<char*>(options_.user.c_str()));
    login.password = UA_STRING(const_cast<char*>(options_.password.c_str()));
    const bool with_user = !options_.user.empty();
    const UA_StatusCode access = UA_AccessControl_default(
        config, options_.anonymous, nullptr, with_user ? 1 : 0, with_user ? &login : nullptr);
    if (access != UA_STATUSCODE_GOOD) {
      SetStatus(ServerState::kFailed, "no access control: " + StatusName(access));
      return false;
    }
    return true;
  }

  // An object organized under `parent`: a folder, or a sensor's object.
  UA_NodeId AddObject(UA_Server* server, const UA_NodeId& parent, const std::string& id,
                      const std::string& name, UA_UInt32 type) {
    UA_ObjectAttributes attributes = UA_ObjectAttributes_default;
    attributes.displayName =
        UA_LOCALIZEDTEXT(const_cast<char*>(""), const_cast<char*>(name.c_str()));
    UA_NodeId node = NodeOf(id);
    UA_Server_addObjectNode(server, node, parent, UA_NODEID_NUMERIC(0, UA_NS0ID_ORGANIZES),
                            UA_QUALIFIEDNAME(kNamespace, const_cast<char*>(name.c_str())),
                            UA_NODEID_NUMERIC(0, type), attributes, nullptr, nullptr);
    return node;
  }

  void AddVariable(UA_Server* server, const UA_NodeId& parent, const std::string& id,
                   const char* name, const UA_DataType* type, const void* initial,
                   UA_StatusCode status) {
    UA_VariableAttributes attributes = UA_VariableAttributes_default;
    attributes.displayName = UA_LOCALIZEDTEXT(const_cast<char*>(""), const_cast<char*>(name));
    attributes.dataType = type->typeId;
    attributes.valueRank = UA_VALUERANK_SCALAR;
    attributes.accessLevel = UA_ACCESSLEVELMASK_READ;
    attributes.userAccessLevel = UA_ACCESSLEVELMASK_READ;
    UA_Variant_setScalar(&attributes.value, const_cast<void*>(initial), type);
    UA_NodeId node = NodeOf(id);
    UA_Server_addVariableNode(server, node, parent, UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
                              UA_QUALIFIEDNAME(kNamespace, const_cast<char*>(name)),
                              UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE), attributes,
                              nullptr, nullptr);
    if (status != UA_STATUSCODE_GOOD) {
      UA_DataValue value;
      UA_DataValue_init(&value);
      value.hasStatus = true;
      value.status = status;
      UA_Server_writeDataValue(server, node, value);
    }
    UA_NodeId_clear(&node);
  }

  void AddAddressSpace(UA_Server* server) {
    UA_NodeId service = AddObject(server, UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER),
                                  options_.service, options_.service, UA_NS0ID_FOLDERTYPE);
    UA_NodeId topic = AddObject(server, service, options_.service + "." + options_.topic,
                                options_.topic, UA_NS0ID_FOLDERTYPE);
    const UA_String unread = UA_STRING(const_cast<char*>(" --.-"));
    const UA_Double none = 0;
    const UA_Int32 zero = 0;
    for (std::size_t i = 0; i < options_.items.size(); ++i) {
      UA_NodeId object = AddObject(server, topic, ObjectId(options_, i), options_.items[i],
                                   UA_NS0ID_BASEOBJECTTYPE);
      AddVariable(server, object, VariableId(options_, i, "Text"), "Text",
                  &UA_TYPES[UA_TYPES_STRING], &unread, UA_STATUSCODE_GOOD);
      AddVariable(server, object, VariableId(options_, i, "Value"), "Value",
                  &UA_TYPES[UA_TYPES_DOUBLE], &none, kNeverReadStatus);
      AddVariable(server, object, VariableId(options_, i, "Device"), "Device",
                  &UA_TYPES[UA_TYPES_INT32], &zero, UA_STATUSCODE_GOOD);
      AddVariable(server, object, VariableId(options_, i, "Channel"), "Channel",
                  &UA_TYPES[UA_TYPES_INT32], &zero, UA_STATUSCODE_GOOD);
      UA_NodeId_clear(&object);
    }
    UA_NodeId_clear(&topic);
    UA_NodeId_clear(&service);
  }

  void Write(UA_Server* server, std::size_t item, const char* variable, const UA_Variant& value,
             bool has_value, UA_StatusCode status, UA_DateTime source, UA_DateTime now) {
    UA_DataValue data;
    UA_DataValue_init(&data);
    if (has_value) {
      data.value = value;
      data.hasValue = true;
    }
    data.hasStatus = true;
    data.status = status;
    data.hasSourceTimestamp = true;
    data.sourceTimestamp = source;
    data.hasServerTimestamp = true;
    data.serverTimestamp = now;
    UA_NodeId node = NodeOf(VariableId(options_, item, variable));
    UA_Server_writeDataValue(server, node, data);
    UA_NodeId_clear(&node);
  }

  void Apply(UA_Server* server, const NodeUpdate& u) {
    if (u.item < 0 || static_cast<std::size_t>(u.item) >= options_.items.size()) return;
    const auto item = static_cast<std::size_t>(u.item);
    const UA_DateTime source = u.source_utc_ns / 100 + kDateTimeOf1970;
    const UA_DateTime now = UA_DateTime_now();
    UA_Variant variant;
    UA_String text = UA_STRING(const_cast<char*>(u.text.c_str()));
    UA_Variant_setScalar(&variant, &text, &UA_TYPES[UA_TYPES_STRING]);
    Write(server, item, "Text", variant, true, UA_STATUSCODE_GOOD, source, now);
    UA_Double value = u.value.value_or(0);
    UA_Variant_setScalar(&variant, &value, &UA_TYPES[UA_TYPES_DOUBLE]);
    Write(server, item, "Value", variant, u.value.has_value(), u.status, source, now);
    UA_Int32 device = u.device;
    UA_Variant_setScalar(&variant, &device, &UA_TYPES[UA_TYPES_INT32]);
    Write(server, item, "Device", variant, true, UA_STATUSCODE_GOOD, source, now);
    UA_Int32 channel = u.channel;
    UA_Variant_setScalar(&variant, &channel, &UA_TYPES[UA_TYPES_INT32]);
    Write(server, item, "Channel", variant, true, UA_STATUSCODE_GOOD, source, now);
  }

  void Serve() {
    // A window program has no console to log to: only what goes wrong.
    UA_ServerConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = UA_Log_Stdout_new(UA_LOGLEVEL_ERROR);
    if (!Configure(&config)) {
      UA_ServerConfig_clean(&config);
      return;
    }
    UA_Server* server = UA_Server_newWithConfig(&config);
    if (server == nullptr) {
      SetStatus(ServerState::kFailed, "no memory for the server");
      return;
    }
    AddAddressSpace(server);
    const UA_StatusCode started = UA_Server_run_startup(server);
    if (started != UA_STATUSCODE_GOOD) {
      SetStatus(ServerState::kFailed, "the server did not start: " + StatusName(started));
    } else {
      SetStatus(ServerState::kRunning, {});
      for (;;) {
        UA_Server_run_iterate(server, false);
        for (const NodeUpdate& update : queue_.TakeAll()) Apply(server, update);
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, kTurn, [this] { return stop_ || woken_; });
        woken_ = false;
        if (stop_) break;
      }
      UA_Server_run_shutdown(server);
      SetStatus(ServerState::kOff, {});
    }
    UA_Server_delete(server);
  }

  const ServerOptions options_;
  UpdateQueue& queue_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool woken_ = false;
  ServerStatus status_;
};

UaServer::UaServer(UpdateQueue& queue) : queue_(queue) {}

UaServer::~UaServer() {
  Configure(std::nullopt);
}

void UaServer::Configure(const std::optional<ServerOptions>& options) {
  if (run_) {
    run_->Stop();
    run_.reset();
  }
  if (!options) return;
  run_ = std::make_unique<Run>(*options, queue_);
  run_->Start();
}

ServerStatus UaServer::Status() const {
  return run_ ? run_->Status() : ServerStatus{};
}

void UaServer::Wake() {
  if (run_) run_->Wake();
}

}  // namespace quorvel::opcua
