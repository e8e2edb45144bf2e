#include "mqtt/broker_link.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace quorvel::mqtt {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kFirstRetry{1};
constexpr seconds kLastRetry{30};
constexpr int kKeepAliveSeconds = 30;
// How long one pass of the library's loop waits for the socket: also how
// soon the network thread sees that the link is to end.
constexpr int kLoopMs = 200;
// Messages handed to the library and not yet confirmed: the rest wait in
// the outbox, where the capacity holds.
constexpr int kWindow = 1000;
// How long the end of a session waits for "offline" to be confirmed and
// for the network thread to finish, before leaving it to finish alone.
constexpr milliseconds kGoodbye{2000};
constexpr milliseconds kJoin{3000};
// CONNACK's refusals of MQTT 3.1.1.
constexpr int kConnackBadCredentials = 4;
constexpr int kConnackNotAuthorised = 5;

constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

void InitialiseLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

class BrokerLink::Session : public std::enable_shared_from_this<BrokerLink::Session> {
 public:
  explicit Session(LinkOptions options)
      : options_(std::move(options)), outbox_(options_.buffer_messages) {}
  ~Session() {
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Start() {
    InitialiseLibraryOnce();
    mosq_ = mosquitto_new(options_.client_id.empty() ? nullptr : options_.client_id.c_str(),
                          /*clean_session=*/true, this);
    if (mosq_ == nullptr) return Refuse(Refusal::kOther, MOSQ_ERR_NOMEM);
    const std::optional<Refusal> refusal = SetUp();
    if (refusal) return Refuse(*refusal, 0);
    status_.phase = LinkPhase::kConnecting;
    auto self = shared_from_this();
    network_ = std::thread([self] { self->RunNetwork(); });
    sender_ = std::thread([self] { self->RunSender(); });
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (sender_.joinable()) sender_.join();
    if (!network_.joinable()) return;
    std::unique_lock lock(mutex_);
    // A connection attempt that hangs (a name that takes long to resolve, a
    // host that does not answer) keeps the thread; the session lives on
    // with it until it ends.
    if (wake_.wait_for(lock, kJoin, [this] { return network_done_; })) {
      lock.unlock();
      network_.join();
    } else {
      network_.detach();
    }
  }

  void Post(Message message) {
    {
      std::lock_guard lock(mutex_);
      outbox_.Push(std::move(message));
    }
    wake_.notify_all();
  }

  LinkStatus Status() const {
    std::lock_guard lock(mutex_);
    LinkStatus status = status_;
    status.queued = outbox_.Size() + static_cast<std::uint64_t>(in_flight_);
    status.dropped = outbox_.Dropped();
    return status;
  }

 private:
  std::optional<Refusal> SetUp() {
    mosquitto_threaded_set(mosq_, true);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // No limit of the library's own: the window here is the limit. The
    // library's count of messages in flight can come out wrong over a
    // reconnection and then holds the last messages back for good.
    mosquitto_max_inflight_messages_set(mosq_, 0);
    mosquitto_connect_callback_set(mosq_, &Session::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &Session::OnDisconnect);
    mosquitto_publish_callback_set(mosq_, &Session::OnPublish);
    mosquitto_log_callback_set(mosq_, &Session::OnLog);
    if (mosquitto_will_set(mosq_, options_.status_topic.c_str(), sizeof kOffline - 1, kOffline,
                           /*qos=*/1, /*retain=*/true) != MOSQ_ERR_SUCCESS) {
      return Refusal::kOther;
    }
    if (!options_.user.empty() &&
        mosquitto_username_pw_set(mosq_, options_.user.c_str(), options_.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
      return Refusal::kOther;
    }
    if (!options_.tls) return std::nullopt;
    // The authority's file must be there and readable; the broker's
    // certificate is verified against it and must name the host.
    if (options_.ca_file.empty() ||
        mosquitto_tls_set(mosq_, options_.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr) !=
            MOSQ_ERR_SUCCESS) {
      return Refusal::kCaFile;
    }
    if (mosquitto_tls_opts_set(mosq_, /*SSL_VERIFY_PEER*/ 1, "tlsv1.2", nullptr) !=
            MOSQ_ERR_SUCCESS ||
        mosquitto_tls_insecure_set(mosq_, false) != MOSQ_ERR_SUCCESS) {
      return Refusal::kTls;
    }
    return std::nullopt;
  }

  void Refuse(Refusal refusal, int code) {
    std::lock_guard lock(mutex_);
    status_.phase = LinkPhase::kRefused;
    status_.refusal = refusal;
    status_.code = code;
  }

  bool Stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  void RunNetwork() {
    seconds retry = kFirstRetry;
    while (!Stopping()) {
      {
        std::lock_guard lock(mutex_);
        status_.phase = LinkPhase::kConnecting;
        tls_failure_ = false;
        verify_failure_ = false;
        connack_ = -1;
        accepted_ = false;
        was_connected_ = false;
      }
      int rc = mosquitto_connect(mosq_, options_.host.c_str(), options_.port, kKeepAliveSeconds);
      const int connect_errno = rc == MOSQ_ERR_ERRNO ? errno : 0;
      while (rc == MOSQ_ERR_SUCCESS && !Stopping()) {
        rc = mosquitto_loop(mosq_, kLoopMs, 1);
        OpenToSender();
      }
      if (rc == MOSQ_ERR_SUCCESS) break;  // the link is to end
      {
        std::lock_guard lock(mutex_);
        connected_ = false;
        status_.phase = LinkPhase::kRefused;
        status_.refusal = Classify(rc, connect_errno);
        status_.code = connack_ > 0 ? connack_ : rc;
        if (was_connected_) retry = kFirstRetry;
      }
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, retry, [this] { return stopping_; });
      retry = std::min(retry * 2, kLastRetry);
    }
    SayGoodbye();
    std::lock_guard lock(mutex_);
    network_done_ = true;
    wake_.notify_all();
  }

  // The pass of the loop that took the broker's CONNACK has also queued the
  // messages sent again from the connection before: the new ones follow.
  void OpenToSender() {
    {
      std::lock_guard lock(mutex_);
      if (!accepted_) return;
      accepted_ = false;
      connected_ = true;
    }
    wake_.notify_all();
  }

  // Called with the lock held, after a connection attempt or a connection
  // ended with `rc`.
  Refusal Classify(int rc, int connect_errno) const {
    if (connack_ == kConnackBadCredentials) return Refusal::kBadCredentials;
    if (connack_ == kConnackNotAuthorised) return Refusal::kNotAuthorised;
    if (connack_ > 0) return Refusal::kOther;
    if (verify_failure_) return Refusal::kCertificate;
    if (rc == MOSQ_ERR_TLS || tls_failure_) return Refusal::kTls;
    if (rc == MOSQ_ERR_EAI) return Refusal::kUnknownHost;
    if (was_connected_) return Refusal::kLost;
    if (rc == MOSQ_ERR_ERRNO && connect_errno != 0) return Refusal::kNoBroker;
    if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN) return Refusal::kLost;
    return Refusal::kOther;
  }

  void SayGoodbye() {
    bool connected = false;
    {
      std::lock_guard lock(mutex_);
      connected = connected_;
    }
    if (connected) {
      int mid = 0;
      if (mosquitto_publish(mosq_, &mid, options_.status_topic.c_str(), sizeof kOffline - 1,
                            kOffline, 1, true) == MOSQ_ERR_SUCCESS) {
        {
          std::lock_guard lock(mutex_);
          goodbye_mid_ = mid;
        }
        const auto until = std::chrono::steady_clock::now() + kGoodbye;
        while (std::chrono::steady_clock::now() < until) {
          {
            std::lock_guard lock(mutex_);
            if (goodbye_mid_ == 0 || !connected_) break;
          }
          if (mosquitto_loop(mosq_, kLoopMs, 1) != MOSQ_ERR_SUCCESS) break;
        }
      }
      mosquitto_disconnect(mosq_);
      mosquitto_loop(mosq_, kLoopMs, 1);
    }
  }

  void RunSender() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] {
        return stopping_ || (connected_ && in_flight_ < kWindow && outbox_.Size() > 0);
      });
      if (stopping_) return;
      Message message = *outbox_.Pop();
      ++in_flight_;
      lock.unlock();
      const int rc = mosquitto_publish(mosq_, nullptr, message.topic.c_str(),
                                       static_cast<int>(message.payload.size()),
                                       message.payload.data(), options_.qos, /*retain=*/true);
      lock.lock();
      if (rc != MOSQ_ERR_SUCCESS) {
        --in_flight_;
        outbox_.Return(std::move(message));
        // Not connected after all: wait for the connection to be back.
        if (rc == MOSQ_ERR_NO_CONN) connected_ = false;
      }
    }
  }

  // The library's callbacks, on the network thread, inside its loop. They
  // take the lock and set flags; nothing in them can throw.
  static Session& Of(void* user) { return *static_cast<Session*>(user); }

  static void OnConnect(mosquitto* mosq, void* user, int rc) {
    Session& s = Of(user);
    {
      std::lock_guard lock(s.mutex_);
      s.connack_ = rc;
      if (rc != 0) return;
      s.accepted_ = true;
      s.was_connected_ = true;
      s.status_.phase = LinkPhase::kConnected;
      s.status_.refusal = Refusal::kNone;
      s.status_.code = 0;
      // At QoS 0 what was handed on before the connection broke is gone.
      if (s.options_.qos == 0) s.in_flight_ = 0;
      ++s.in_flight_;
    }
    if (mosquitto_publish(mosq, nullptr, s.options_.status_topic.c_str(), sizeof kOnline - 1,
                          kOnline, 1, true) != MOSQ_ERR_SUCCESS) {
      std::lock_guard lock(s.mutex_);
      --s.in_flight_;
    }
  }

  static void OnDisconnect(mosquitto*, void* user, int) {
    Session& s = Of(user);
    std::lock_guard lock(s.mutex_);
    s.connected_ = false;
    s.accepted_ = false;
  }

  static void OnPublish(mosquitto*, void* user, int mid) {
    Session& s = Of(user);
    {
      std::lock_guard lock(s.mutex_);
      if (mid == s.goodbye_mid_) {
        s.goodbye_mid_ = 0;
        return;
      }
      if (s.in_flight_ > 0) --s.in_flight_;
    }
    s.wake_.notify_all();
  }

  // The reason of a failed secure connection is only in the library's log.
  static void OnLog(mosquitto*, void* user, int, const char* line) {
    if (line == nullptr) return;
    const std::string_view text(line);
    if (text.find("OpenSSL Error") == std::string_view::npos) return;
    Session& s = Of(user);
    std::lock_guard lock(s.mutex_);
    s.tls_failure_ = true;
    if (text.find("certificate verify failed") != std::string_view::npos) {
      s.verify_failure_ = true;
    }
  }

  const LinkOptions options_;
  mosquitto* mosq_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Outbox outbox_;
  LinkStatus status_;
  int in_flight_ = 0;
  int goodbye_mid_ = 0;
  int connack_ = -1;
  bool accepted_ = false;  // CONNACK said yes; the sender not told yet
  bool connected_ = false;
  bool was_connected_ = false;
  bool tls_failure_ = false;
  bool verify_failure_ = false;
  bool stopping_ = false;
  bool network_done_ = false;
  std::thread network_;
  std::thread sender_;
};

BrokerLink::BrokerLink() = default;

BrokerLink::~BrokerLink() {
  try {
    Configure(std::nullopt);
  } catch (...) {
    // A thread that could not be joined: the process is ending with it.
  }
}

void BrokerLink::Configure(const std::optional<LinkOptions>& options) {
  if (session_) {
    session_->Stop();
    session_.reset();
  }
  if (!options) return;
  session_ = std::make_shared<Session>(*options);
  session_->Start();
}

bool BrokerLink::Open() const {
  return session_ != nullptr;
}

void BrokerLink::Post(Message message) {
  if (session_) session_->Post(std::move(message));
}

LinkStatus BrokerLink::Status() const {
  return session_ ? session_->Status() : LinkStatus{};
}

}  // namespace quorvel::mqtt
