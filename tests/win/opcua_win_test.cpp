// The OPC UA server of Quorvel.exe end to end, against an independent client
// (node-opcua's, tools/opcua_client/keeper.js, on Linux): the address space,
// the values with their status codes and times, a data change per reading,
// who may connect, and clients that misbehave. On COM3 a good device and a
// silent one.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "config/secret_seal_win.h"
#include "testkit/opcua_client_win.h"
#include "testkit/process_resources_win.h"
#include "testkit/program_test_win.h"
#include "testkit/wine_run.h"

namespace quorvel::testing {
namespace {

constexpr int kGood = 5;
constexpr int kSilent = 6;
constexpr char kUser[] = "operator";
constexpr char kPassword[] = "Line-2 пароль";

// A port no one listens on now, from the system.
int FreePort() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  ::closesocket(s);
  return bound ? ntohs(address.sin_port) : 48'400;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::vector<std::string> Words(const std::string& line, std::size_t count) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (words.size() + 1 < count) {
    const std::size_t space = line.find(' ', at);
    if (space == std::string::npos) break;
    words.push_back(line.substr(at, space - at));
    at = space + 1;
  }
  words.push_back(line.substr(at));
  return words;
}

// When the simulator's replies to a device went out, its log's sent= times
// (CLOCK_REALTIME), in milliseconds since 1970.
std::vector<std::int64_t> SentMs(int address) {
  std::vector<std::int64_t> sent;
  const std::string addr = " addr=" + std::to_string(address) + " ";
  for (const std::string& line : SimulatorLog()) {
    const std::size_t at = line.find(" sent=");
    if (line.find(addr) == std::string::npos || at == std::string::npos) continue;
    const double seconds = std::strtod(line.c_str() + at + 6, nullptr);
    if (seconds > 0) sent.push_back(static_cast<std::int64_t>(seconds * 1000));
  }
  return sent;
}

// Milliseconds of UTC since 1970 as the time items show a local time:
// "yyyy-mm-dd hh:nn:ss.zzz".
std::string LocalText(std::int64_t utc_ms) {
  const auto ticks = static_cast<std::uint64_t>(utc_ms * 10'000 + 116'444'736'000'000'000);
  const FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  ::FileTimeToSystemTime(&file, &utc);
  ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.wYear, local.wMonth,
                local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
  return text;
}

std::string Node(int item, const char* variable) {
  return "ns=1;s=Quorvel.ZORVIK." + std::to_string(item) + "." + variable;
}

class OpcUaTest : public ProgramTest {
 protected:
  void LaunchServer(bool anonymous, bool security_none, bool trust_client = true) {
    port_ = FreePort();
    config::Settings settings = BaseSettings({{kGood, 3}, {kSilent, 3}, {kGood, 4, 0}});
    config::OpcUaSettings opcua;
    opcua.enabled = true;
    opcua.port = port_;
    opcua.anonymous = anonymous;
    opcua.security_none = security_none;
    opcua.user = kUser;
    opcua.sealed_password = config::SealSecret(cp1251::FromUtf8(kPassword)).value_or("");
    ASSERT_FALSE(opcua.sealed_password.empty());
    settings.SetOpcUa(opcua);
    ASSERT_NO_FATAL_FAILURE(Prepare(settings));
    if (trust_client) {
      ::CreateDirectoryA((folder_ + "pki").c_str(), nullptr);
      ::CreateDirectoryA((folder_ + "pki\\trusted").c_str(), nullptr);
      ASSERT_TRUE(::CopyFileA(UaClientCertificate("trusted").c_str(),
                              (folder_ + "pki\\trusted\\client.der").c_str(), FALSE));
    }
    ASSERT_NO_FATAL_FAILURE(Launch());
    open_ = Secure();
    open_.user = "";
    if (security_none) open_ = UaConnection{Url(), "None", "None", "trusted", "", ""};
    // The server has started once a client is let in.
    const UaConnection first = anonymous ? open_ : Secure();
    UaAnswer answer;
    ASSERT_TRUE(WaitUntil([&] { return (answer = AskUaClient(first, "\"op\":\"connect\"")).done; }))
        << "the server did not let a client in: " << answer.error;
  }
  std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }
  UaConnection Secure() const {
    return {Url(), "Basic256Sha256", "SignAndEncrypt", "trusted", kUser, kPassword};
  }
  std::vector<std::string> Read(const UaConnection& c, const std::vector<std::string>& nodes) {
    std::string list;
    for (const std::string& node : nodes) {
      if (!list.empty()) list += ',';
      list += Json(node);
    }
    const UaAnswer answer = AskUaClient(c, "\"op\":\"read\",\"nodes\":[" + list + "]");
    EXPECT_TRUE(answer.done) << answer.error;
    return answer.lines;
  }
  std::vector<std::string> Browse(const UaConnection& c, const std::string& node) {
    const UaAnswer answer = AskUaClient(c, "\"op\":\"browse\",\"node\":" + Json(node));
    EXPECT_TRUE(answer.done) << answer.error;
    std::vector<std::string> names;
    for (const std::string& line : answer.lines) names.push_back(Words(line, 2)[0]);
    return names;
  }

  int port_ = 0;
  UaConnection open_;
};

TEST_F(OpcUaTest, TheAddressSpaceHoldsTheReadingsWithTheirStatusAndTimes) {
  ASSERT_NO_FATAL_FAILURE(LaunchServer(/*anonymous=*/true, /*security_none=*/true));
  const UaConnection c = open_;
  const std::vector<std::string> objects = Browse(c, "i=85");
  EXPECT_NE(std::find(objects.begin(), objects.end(), "Quorvel"), objects.end());
  EXPECT_EQ(Browse(c, "ns=1;s=Quorvel"), std::vector<std::string>{"ZORVIK"});
  EXPECT_EQ(Browse(c, "ns=1;s=Quorvel.ZORVIK"), (std::vector<std::string>{"S1", "S2", "S3"}));
  EXPECT_EQ(Browse(c, "ns=1;s=Quorvel.ZORVIK.1"),
            (std::vector<std::string>{"Text", "Value", "Device", "Channel"}));

  const std::vector<std::string> before = Read(c, {Node(1, "Value"), Node(1, "Text")});
  ASSERT_EQ(before.size(), 2u);
  EXPECT_EQ(Words(before[0], 4)[0], "BadWaitingForInitialData");
  EXPECT_EQ(Words(before[1], 4)[3], "\" --.-\"");

  const std::int64_t started_ms = NowMs();
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  // S3 (step 0) is never asked; S1 and S2 in each cycle.
  ASSERT_TRUE(WaitUntil([&] { return LoggedRequests(kSilent).size() >= 2; }));
  ASSERT_TRUE(form_.StopPolling());
  const std::int64_t stopped_ms = NowMs();
  const std::vector<std::string> after =
      Read(c, {Node(1, "Value"), Node(1, "Text"), Node(1, "Device"), Node(1, "Channel"),
               Node(2, "Value"), Node(2, "Text"), Node(3, "Value"), Node(3, "Text")});
  ASSERT_EQ(after.size(), 8u);
  const std::vector<std::string> good = Words(after[0], 4);
  EXPECT_EQ(good[0], "Good");
  EXPECT_EQ(good[3], "23.45") << "the value field, a Double";
  const std::int64_t source = std::stoll(good[1]);
  const std::int64_t server = std::stoll(good[2]);
  EXPECT_GE(source, started_ms - 1000);
  EXPECT_LE(source, stopped_ms + 1000);
  // A reply whose last byte the simulator logged as sent just before: the
  // program saw that reply end. (A reply of a Stop's exchange is logged
  // and not published, so it need not be the last one.)
  const std::vector<std::int64_t> sent = SentMs(kGood);
  const auto replied = std::upper_bound(sent.begin(), sent.end(), source + 1);
  ASSERT_NE(replied, sent.begin()) << "no reply logged before " << source;
  EXPECT_LT(source - *std::prev(replied), 100) << "when the reply ended";
  EXPECT_GE(server, source) << "published after the reply";
  EXPECT_EQ(Request("S1_T"), Served(LocalText(source))) << "the reading the time item shows";
  EXPECT_EQ(Words(after[1], 4)[3], "\"23,45\"") << "the DDE text, the user's separator";
  EXPECT_EQ(Words(after[2], 4)[3], "5");
  EXPECT_EQ(Words(after[3], 4)[3], "3");
  EXPECT_EQ(Words(after[4], 4)[0], "BadTimeout") << "the silent device";
  EXPECT_EQ(Words(after[4], 4)[3], "null");
  EXPECT_EQ(Words(after[5], 4)[3], "\"Нет ответа\"");
  EXPECT_EQ(Words(after[6], 4)[0], "BadWaitingForInitialData") << "never read";
  EXPECT_EQ(Words(after[7], 4)[3], "\" --.-\"");
  CloseAndExpectExit();
}

TEST_F(OpcUaTest, ASubscriptionGetsOneDataChangePerReading) {
  ASSERT_NO_FATAL_FAILURE(LaunchServer(/*anonymous=*/true, /*security_none=*/true));
  UaSubscription subscription;
  std::string error;
  ASSERT_TRUE(subscription.Start(open_, {Node(1, "Value")}, &error)) << error;
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  ASSERT_TRUE(WaitUntil([&] { return LoggedRequests(kGood).size() >= 12; }));
  ASSERT_TRUE(form_.StopPolling());
  // S3 (step 0), also of device 5, is never asked.
  const ReadingCount made = ReadingsAfterStop(kGood);
  // The initial value, then one change for each reading, however the same.
  EXPECT_TRUE(WaitUntil([&] { return subscription.Changes().size() >= made.least + 1; }))
      << subscription.Changes().size() << " changes for " << made.least << " readings";
  const UaAnswer answer = subscription.Stop();
  ASSERT_TRUE(answer.done) << answer.error;
  ASSERT_GE(answer.lines.size(), made.least + 1);
  ASSERT_LE(answer.lines.size(), made.most + 1);
  EXPECT_EQ(Words(answer.lines[0], 5)[1], "BadWaitingForInitialData");
  std::int64_t last_source = 0;
  for (std::size_t i = 1; i < answer.lines.size(); ++i) {
    const std::vector<std::string> w = Words(answer.lines[i], 5);
    EXPECT_EQ(w[1], "Good") << answer.lines[i];
    EXPECT_EQ(w[4], "23.45") << answer.lines[i];
    const std::int64_t source = std::stoll(w[2]);
    EXPECT_GT(source, last_source) << "each change is a reading of its own";
    last_source = source;
  }
  CloseAndExpectExit();
}

TEST_F(OpcUaTest, OnlySignedAndEncryptedConnectionsOfTheUserAndTrustedClientsGetIn) {
  ASSERT_NO_FATAL_FAILURE(LaunchServer(/*anonymous=*/false, /*security_none=*/false));
  const UaConnection right = Secure();
  EXPECT_TRUE(AskUaClient(right, "\"op\":\"connect\"").done);
  EXPECT_FALSE(Read(right, {Node(1, "Value")}).empty());

  UaConnection none{Url(), "None", "None", "trusted", "", ""};
  EXPECT_FALSE(AskUaClient(none, "\"op\":\"connect\"").done) << "policy None, anonymous";
  none.user = kUser;
  none.password = kPassword;
  EXPECT_FALSE(AskUaClient(none, "\"op\":\"connect\"").done) << "policy None, the user";
  UaConnection wrong = right;
  wrong.password = "Line-2";
  EXPECT_FALSE(AskUaClient(wrong, "\"op\":\"connect\"").done) << "a wrong password";
  UaConnection anonymous = right;
  anonymous.user.clear();
  EXPECT_FALSE(AskUaClient(anonymous, "\"op\":\"connect\"").done) << "anonymous";
  UaConnection untrusted = right;
  untrusted.identity = "untrusted";
  EXPECT_FALSE(AskUaClient(untrusted, "\"op\":\"connect\"").done) << "an untrusted certificate";
  EXPECT_TRUE(AskUaClient(right, "\"op\":\"connect\"").done) << "still open to the right one";
  CloseAndExpectExit();
}

TEST_F(OpcUaTest, ClientsThatDropOrSendGarbageChangeNothingElse) {
  ASSERT_NO_FATAL_FAILURE(LaunchServer(/*anonymous=*/true, /*security_none=*/true));
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  ASSERT_TRUE(WaitUntil([&] { return LoggedRequests(kGood).size() >= 2; }));
  const tools::ProcessResources start = tools::ReadProcessResources(form_.Process(), form_.Pid());

  const UaAnswer churn = AskUaClient(open_, "\"op\":\"churn\",\"times\":1000", 600'000);
  ASSERT_TRUE(churn.done) << churn.error;
  EXPECT_EQ(churn.lines, std::vector<std::string>{"failed=0"});
  for (int i = 0; i < 5; ++i) {
    const UaAnswer garbage = AskUaClient(
        open_, "\"op\":\"garbage\",\"port\":" + std::to_string(port_) + ",\"bytes\":100000");
    EXPECT_TRUE(garbage.done) << garbage.error;
  }
  const std::size_t asked = LoggedRequests(kGood).size();
  EXPECT_TRUE(WaitUntil([&] { return LoggedRequests(kGood).size() >= asked + 3; }))
      << "polling goes on";
  EXPECT_EQ(Request("S1"), Served("23,45")) << "and DDE";
  EXPECT_EQ(Words(Read(open_, {Node(1, "Value")}).at(0), 4)[0], "Good") << "and the server";
  const tools::ProcessResources end = tools::ReadProcessResources(form_.Process(), form_.Pid());
  if (start.private_bytes > 0 && end.private_bytes > 0) {
    EXPECT_LT(end.private_bytes - start.private_bytes, 8 << 20) << "memory stays flat";
  }
  ASSERT_TRUE(form_.StopPolling());
  CloseAndExpectExit();
}

}  // namespace
}  // namespace quorvel::testing
