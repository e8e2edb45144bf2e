// The run's MQTT broker (tools/broker.sh, testkit/broker_win.h) as the
// end-to-end tests of the publisher will use it, seen from a Windows
// program: its listeners take and refuse clients as they are configured to,
// a subscriber receives what is published with its receive time and retain
// flag, and a persistent session keeps what was published while its
// subscriber was away, across a restart of the broker.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testkit/broker_win.h"

namespace quorvel::testing {
namespace {

class Winsock {
 public:
  Winsock() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~Winsock() {
    if (ok_) WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  bool ok() const { return ok_; }

 private:
  WSADATA data_{};
  bool ok_ = false;
};

void AppendField(std::string& packet, const std::string& field) {
  packet.push_back(static_cast<char>(field.size() >> 8));
  packet.push_back(static_cast<char>(field.size() & 0xff));
  packet += field;
}

// The return code of the broker's CONNACK to an MQTT 3.1.1 CONNECT on 127.0.0.1:port
// (0: accepted, 5: not authorised); nothing if the exchange failed.
std::optional<int> ConnectReturnCode(int port, const std::optional<std::string>& user = {},
                                     const std::optional<std::string>& password = {}) {
  std::string body;
  AppendField(body, "MQTT");
  body.push_back(4);  // 3.1.1
  body.push_back(static_cast<char>(0x02 | (user ? 0x80 : 0) | (password ? 0x40 : 0)));
  body += std::string("\x00\x3c", 2);  // keep alive 60 s
  AppendField(body, "quorvel-connect-check");
  if (user) AppendField(body, *user);
  if (password) AppendField(body, *password);
  if (body.size() > 127) return std::nullopt;  // one length byte
  const std::string packet = std::string(1, '\x10') + static_cast<char>(body.size()) + body;

  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return std::nullopt;
  const DWORD timeout_ms = 10'000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof timeout_ms);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::optional<int> code;
  char connack[4];
  int got = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      send(s, packet.data(), static_cast<int>(packet.size()), 0) ==
          static_cast<int>(packet.size())) {
    for (int n = 1; got < 4 && n > 0; got += n) n = recv(s, connack + got, 4 - got, 0);
  }
  if (got == 4 && connack[0] == '\x20' && connack[1] == 2) code = connack[3];
  closesocket(s);
  return code;
}

TEST(BrokerFixture, ListenersTakeAndRefuseClientsAsConfigured) {
  const std::optional<BrokerPorts> ports = ReadBrokerPorts();
  ASSERT_TRUE(ports);
  EXPECT_NE(ports->plain, ports->auth);
  EXPECT_NE(ports->auth, ports->tls);
  EXPECT_NE(ports->plain, ports->tls);
  EXPECT_NE(GetFileAttributesA(BrokerCaFile().c_str()), INVALID_FILE_ATTRIBUTES) << BrokerCaFile();
  EXPECT_NE(GetFileAttributesA(BrokerOtherCaFile().c_str()), INVALID_FILE_ATTRIBUTES)
      << BrokerOtherCaFile();
  EXPECT_EQ(BrokerUser(), "quorvel");
  EXPECT_EQ(BrokerPassword(), "Pl@nt-secret 1");

  Winsock winsock;
  ASSERT_TRUE(winsock.ok());
  EXPECT_EQ(ConnectReturnCode(ports->plain), 0);
  EXPECT_EQ(ConnectReturnCode(ports->auth), 5);
  EXPECT_EQ(ConnectReturnCode(ports->auth, BrokerUser(), BrokerPassword()), 0);
  EXPECT_EQ(ConnectReturnCode(ports->auth, BrokerUser(), "Pl@nt-secret"), 5);
  // The TLS listener's certificate is checked against both authorities by
  // the keeper as it starts: the run does not start otherwise.
}

TEST(BrokerFixture, SubscriberReceivesWithItsTimeAndTheRetainFlag) {
  ASSERT_TRUE(Subscribe("live", "fixture/live/#", 1, false)) << BrokerError();
  const double before = UnixNow();
  ASSERT_TRUE(Publish("fixture/live/S1", "23.45 °C")) << BrokerError();
  ASSERT_TRUE(WaitReceived("live", 1));
  const double after = UnixNow();
  std::vector<ReceivedMessage> received = ReceivedMessages("live");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].topic, "fixture/live/S1");
  EXPECT_EQ(received[0].payload, "23.45 °C");
  EXPECT_FALSE(received[0].retained);
  // One clock for both sides; a millisecond for the rounding of either.
  EXPECT_GE(received[0].receive_unix_seconds, before - 0.001);
  EXPECT_LE(received[0].receive_unix_seconds, after + 0.001);

  // A retained message reaches a subscriber that is there without the flag,
  // and one that subscribes later with it.
  ASSERT_TRUE(Publish("fixture/live/S2", "kept", true)) << BrokerError();
  ASSERT_TRUE(WaitReceived("live", 2));
  received = ReceivedMessages("live");
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].topic, "fixture/live/S2");
  EXPECT_FALSE(received[1].retained);
  ASSERT_TRUE(Subscribe("late", "fixture/live/#", 1, false)) << BrokerError();
  received = ReceivedMessages("late");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].topic, "fixture/live/S2");
  EXPECT_EQ(received[0].payload, "kept");
  EXPECT_TRUE(received[0].retained);

  EXPECT_FALSE(Subscribe("late", "fixture/live/#", 1, false));
  EXPECT_TRUE(Unsubscribe("live")) << BrokerError();
  EXPECT_TRUE(Unsubscribe("late")) << BrokerError();
  EXPECT_FALSE(Unsubscribe("late"));
}

TEST(BrokerFixture, PersistentSessionKeepsWhatCameWhileAwayAcrossARestart) {
  ASSERT_TRUE(Subscribe("kept", "fixture/away/#", 1, true)) << BrokerError();
  ASSERT_TRUE(Subscribe("clean", "fixture/away/#", 1, false)) << BrokerError();
  ASSERT_TRUE(Subscribe("stays", "fixture/away/#", 1, false)) << BrokerError();
  ASSERT_TRUE(Unsubscribe("kept")) << BrokerError();
  ASSERT_TRUE(Unsubscribe("clean")) << BrokerError();
  ASSERT_TRUE(Publish("fixture/away/S1", "while away")) << BrokerError();
  ASSERT_TRUE(WaitReceived("stays", 1));

  ASSERT_TRUE(StopBroker()) << BrokerError();
  EXPECT_FALSE(Publish("fixture/away/S1", "no broker"));
  ASSERT_TRUE(StartBroker()) << BrokerError();

  // What the broker had queued has arrived once the subscription delivers.
  ASSERT_TRUE(Subscribe("kept", "fixture/away/#", 1, true)) << BrokerError();
  std::vector<ReceivedMessage> received = ReceivedMessages("kept");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].topic, "fixture/away/S1");
  EXPECT_EQ(received[0].payload, "while away");
  EXPECT_FALSE(received[0].retained);
  ASSERT_TRUE(Subscribe("clean", "fixture/away/#", 1, false)) << BrokerError();
  EXPECT_TRUE(ReceivedMessages("clean").empty());

  // The subscriber that stayed through the restart is back with it.
  ASSERT_TRUE(Publish("fixture/away/S2", "after the restart")) << BrokerError();
  for (const std::string name : {"kept", "clean", "stays"}) {
    ASSERT_TRUE(WaitReceived(name, name == "clean" ? 1 : 2)) << name;
    EXPECT_EQ(ReceivedMessages(name).back().payload, "after the restart") << name;
  }
}

}  // namespace
}  // namespace quorvel::testing
