// Readings to an MQTT broker end to end: Quorvel.exe polls the simulator's
// bus (tests/win/mqtt.cmake) and publishes to the run's mosquitto
// (tools/broker.sh); mosquitto_sub processes are the subscribers. Every
// reading arrives with its fields, retained; the status topic says online,
// and offline when the program closes or dies; a broker away for ten seconds
// costs no reading and no poll rate.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "bus/status_text.h"
#include "config/secret_seal_win.h"
#include "testkit/broker_win.h"
#include "testkit/form_driver_win.h"
#include "testkit/message_wait_win.h"
#include "testkit/program_test_win.h"
#include "testkit/setup_driver_win.h"
#include "ui/setup_form_ids.h"

namespace quorvel::testing {
namespace {

constexpr int kGood = 5;      // channel 3 reads 23.45
constexpr int kSilent = 6;    // never answers
constexpr int kCounting = 7;  // channel 3 reads 0, 1, 2, ... request by request
constexpr int kRefused = 300;
constexpr int kCom4 = 3;  // the second copy's bus
constexpr char kRoot[] = "quorvel/Quorvel/ZORVIK/";
constexpr DWORD kWaitMs = 60'000;

// The messages a subscriber received on one topic, without those the broker
// sent again as retained at a (re)subscription.
std::vector<ReceivedMessage> LiveOn(const std::string& subscriber, const std::string& topic) {
  std::vector<ReceivedMessage> live;
  for (ReceivedMessage& m : ReceivedMessages(subscriber)) {
    if (m.topic == topic && !m.retained) live.push_back(std::move(m));
  }
  return live;
}

std::vector<std::string> Payloads(const std::vector<ReceivedMessage>& messages) {
  std::vector<std::string> payloads;
  payloads.reserve(messages.size());
  for (const ReceivedMessage& m : messages) payloads.push_back(m.payload);
  return payloads;
}

// The "time" field of a payload, and the payload with it taken out.
const std::regex kTime(R"re("time":"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")re");

std::string TimeOf(const std::string& payload) {
  std::smatch match;
  return std::regex_search(payload, match, kTime) ? match[1].str() : std::string();
}

// The "value" field of a payload as it stands, empty when it has none.
std::string ValueOf(const std::string& payload) {
  static const std::regex value(R"re("value":([^,}]*))re");
  std::smatch match;
  return std::regex_search(payload, match, value) ? match[1].str() : std::string();
}

std::string WithoutTime(const std::string& payload) {
  return std::regex_replace(payload, kTime, R"("time":"T")");
}

// Seconds since 1970 of "yyyy-mm-ddThh:nn:ss.zzzZ".
double UnixSeconds(const std::string& iso) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(std::stoi(iso.substr(0, 4)));
  st.wMonth = static_cast<WORD>(std::stoi(iso.substr(5, 2)));
  st.wDay = static_cast<WORD>(std::stoi(iso.substr(8, 2)));
  st.wHour = static_cast<WORD>(std::stoi(iso.substr(11, 2)));
  st.wMinute = static_cast<WORD>(std::stoi(iso.substr(14, 2)));
  st.wSecond = static_cast<WORD>(std::stoi(iso.substr(17, 2)));
  st.wMilliseconds = static_cast<WORD>(std::stoi(iso.substr(20, 3)));
  FILETIME ft{};
  ::SystemTimeToFileTime(&st, &ft);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<double>(ticks - 116'444'736'000'000'000ULL) / 1e7;
}

// The times of the readings received, around the gaps between them, for a
// failure's message.
std::string Diagnosis(const std::vector<ReceivedMessage>& messages, double stopped) {
  std::string text = "broker stopped at " + std::to_string(stopped) + "; received:";
  std::string previous;
  for (const ReceivedMessage& m : messages) {
    const std::string time = TimeOf(m.payload);
    if (!previous.empty() && UnixSeconds(time) - UnixSeconds(previous) > 0.1) {
      text.append("\n  gap ").append(previous).append(" .. ").append(time);
      text.append(" (received at ").append(std::to_string(m.receive_unix_seconds)).append(")");
    }
    if (time < previous) text += "\n  back to " + time;
    previous = std::max(previous, time);
  }
  return text + "\n  " + std::to_string(messages.size()) + " messages, last " + previous;
}

class MqttTest : public ProgramTest {
 protected:
  // The bus's settings with the broker on the plain listener, QoS 1.
  static config::Settings WithBroker(const std::vector<Sensor>& sensors) {
    config::Settings settings = BaseSettings(sensors);
    const std::optional<BrokerPorts> ports = ReadBrokerPorts();
    EXPECT_TRUE(ports);
    config::MqttSettings mqtt;
    mqtt.enabled = true;
    mqtt.host = "127.0.0.1";
    mqtt.port = ports ? ports->plain : 1;
    settings.SetMqtt(mqtt);
    return settings;
  }

  static bool AwaitLive(const std::string& subscriber, const std::string& topic, std::size_t count,
                        DWORD timeout_ms = kWaitMs) {
    return remote::PumpUntil([&] { return LiveOn(subscriber, topic).size() >= count; }, timeout_ms);
  }
};

TEST_F(MqttTest, EveryReadingWithItsFieldsRetainedAndTheStatusThroughCloseAndKill) {
  ASSERT_TRUE(Subscribe("all", "quorvel/#", 1, false)) << BrokerError();
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(WithBroker({{kGood, 3}, {kSilent, 3}, {kRefused, 3}})));
  const std::string status = std::string(kRoot) + "status";
  ASSERT_TRUE(AwaitLive("all", status, 1)) << "no status";
  EXPECT_EQ(LiveOn("all", status).front().payload, "online");

  const double started = UnixNow();
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  const std::string good = std::string(kRoot) + "S1";
  ASSERT_TRUE(AwaitLive("all", good, 4));
  ASSERT_TRUE(form_.StopPolling());
  // One message per reading.
  const ReadingCount made = ReadingsAfterStop(kGood);
  ASSERT_TRUE(AwaitLive("all", good, made.least));
  const std::vector<ReceivedMessage> readings = LiveOn("all", good);
  EXPECT_LE(readings.size(), made.most);
  std::string previous;
  for (const ReceivedMessage& m : readings) {
    EXPECT_EQ(WithoutTime(m.payload),
              R"({"value":23.45,"text":"23,45","quality":"OK","time":"T","device":5,"channel":3})")
        << m.payload;
    // When the reply ended: after polling began, before the subscriber had it.
    const std::string time = TimeOf(m.payload);
    EXPECT_GE(UnixSeconds(time), started - 0.002) << m.payload;
    EXPECT_LE(UnixSeconds(time), m.receive_unix_seconds + 0.002) << m.payload;
    EXPECT_GT(time, previous);
    previous = time;
  }
  const std::string no_reply = cp1251::ToUtf8(bus::StatusText(9));
  ASSERT_TRUE(AwaitLive("all", std::string(kRoot) + "S2", 1));
  EXPECT_EQ(WithoutTime(LiveOn("all", std::string(kRoot) + "S2").front().payload),
            R"({"value":null,"text":")" + no_reply +
                R"(","quality":"NO_REPLY","time":"T","device":6,"channel":3})");
  ASSERT_TRUE(AwaitLive("all", std::string(kRoot) + "S3", 1));
  EXPECT_NE(
      LiveOn("all", std::string(kRoot) + "S3").front().payload.find(R"("quality":"PARAM","time":)"),
      std::string::npos);

  // Retained: a subscriber that comes now gets the last reading at once.
  ASSERT_TRUE(Subscribe("late", good, 1, false)) << BrokerError();
  ASSERT_TRUE(remote::PumpUntil([] { return !ReceivedMessages("late").empty(); }, kWaitMs));
  EXPECT_TRUE(ReceivedMessages("late").front().retained);
  EXPECT_EQ(ReceivedMessages("late").front().payload, LiveOn("all", good).back().payload);

  // Closed: "offline" from the program. Killed: "offline" as its will.
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  ASSERT_TRUE(AwaitLive("all", status, 2));
  EXPECT_EQ(Payloads(LiveOn("all", status)), (std::vector<std::string>{"online", "offline"}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  ASSERT_TRUE(AwaitLive("all", status, 3));
  form_.Terminate();
  ASSERT_TRUE(AwaitLive("all", status, 4));
  EXPECT_EQ(Payloads(LiveOn("all", status)),
            (std::vector<std::string>{"online", "offline", "online", "offline"}));
}

TEST_F(MqttTest, ABrokerAwayForTenSecondsCostsNoReadingAndNoPollRate) {
  const std::string good = std::string(kRoot) + "S1";
  ASSERT_TRUE(Subscribe("kept", good, 1, true)) << BrokerError();
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(WithBroker({{kCounting, 3}})));
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  ASSERT_TRUE(AwaitLive("kept", good, 5));

  const std::size_t before = LoggedRequests(kCounting).size();
  ASSERT_TRUE(StopBroker()) << BrokerError();
  const double stopped = UnixNow();
  const std::size_t at_stop = LoggedRequests(kCounting).size();
  // The broker stays away for ten seconds while the bus is polled.
  ASSERT_TRUE(remote::PumpUntil([&] { return UnixNow() - stopped >= 10.0; }, 20'000));
  const std::size_t at_start = LoggedRequests(kCounting).size();
  ASSERT_TRUE(StartBroker()) << BrokerError();
  ASSERT_TRUE(AwaitLive("kept", good, LoggedRequests(kCounting).size() + 5));
  ASSERT_TRUE(form_.StopPolling());

  // Every reading arrives, in order: the device's count from 0 without a gap
  // or a step back; a message sent again after the reconnection may come
  // twice.
  const ReadingCount made = ReadingsAfterStop(kCounting);
  const auto first_seen = [&] {
    std::vector<std::string> values;
    for (const ReceivedMessage& m : LiveOn("kept", good)) {
      const std::string value = ValueOf(m.payload);
      if (std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
    }
    return values;
  };
  ASSERT_TRUE(remote::PumpUntil([&] { return first_seen().size() >= made.least; }, kWaitMs))
      << made.least << " readings at least; " << Diagnosis(LiveOn("kept", good), stopped);
  const std::vector<std::string> values = first_seen();
  EXPECT_LE(values.size(), made.most);
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], std::to_string(i));

  // The poll rate while the broker was away, against the rate before.
  const std::vector<LoggedRequest> requests = LoggedRequests(kCounting);
  ASSERT_GT(at_start, at_stop + 10);
  const double before_rate =
      static_cast<double>(at_stop - 1) / (requests[at_stop - 1].seconds - requests[0].seconds);
  const double away_rate = static_cast<double>(at_start - at_stop) /
                           (requests[at_start - 1].seconds - requests[at_stop - 1].seconds);
  EXPECT_GE(away_rate, 0.9 * before_rate) << before << " " << at_stop << " " << at_start;
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

// Two copies of the program under two names, each with a bus of its own,
// feed one broker: each under its service name, with a status of its own.
TEST_F(MqttTest, TwoCopiesUnderTwoNamesFeedOneBroker) {
  ASSERT_TRUE(Subscribe("plant", "quorvel/+/ZORVIK/#", 1, false)) << BrokerError();
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(WithBroker({{kGood, 3}})));
  config::Settings second_settings = WithBroker({{kGood, 3}});
  ASSERT_TRUE(second_settings.SetComPort(kCom4));
  std::string error;
  const std::optional<std::string> second = ProgramFolder(TestName() + ".Plant2", &error);
  ASSERT_TRUE(second) << error;
  ASSERT_TRUE(remote::PrepareFolder(ProgramPath(), *second, second_settings, &error)) << error;
  ASSERT_TRUE(::MoveFileA((*second + "Quorvel.exe").c_str(), (*second + "Plant2.exe").c_str()));
  ASSERT_TRUE(::MoveFileA((*second + "Quorvel.ini").c_str(), (*second + "Plant2.ini").c_str()));
  remote::RemoteQuorvel plant2;
  ASSERT_TRUE(plant2.Start(*second, "", &error, "Plant2.exe")) << error;

  form_.PressStartStop();
  plant2.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  ASSERT_TRUE(plant2.WaitPolling(true));
  const auto has = [](const std::string& topic, const std::string& fragment) {
    return remote::PumpUntil(
        [&] {
          for (const ReceivedMessage& m : LiveOn("plant", topic)) {
            if (m.payload.find(fragment) != std::string::npos) return true;
          }
          return false;
        },
        kWaitMs);
  };
  EXPECT_TRUE(has("quorvel/Quorvel/ZORVIK/S1", R"("value":23.45,)"));
  EXPECT_TRUE(has("quorvel/Plant2/ZORVIK/S1", R"("value":7.5,)"));
  EXPECT_TRUE(has("quorvel/Quorvel/ZORVIK/status", "online"));
  EXPECT_TRUE(has("quorvel/Plant2/ZORVIK/status", "online"));
  ASSERT_TRUE(form_.StopPolling());
  ASSERT_TRUE(plant2.StopPolling());
  plant2.Close();
  EXPECT_EQ(plant2.WaitExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(has("quorvel/Plant2/ZORVIK/status", "offline"));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

// TLS with the test authority connects; a certificate of another authority,
// a wrong password, an unknown host and a port where no broker listens are
// each refused in their own words on the settings page, while the bus is
// polled on.
TEST_F(MqttTest, TlsWorksAndEachRefusalIsToldInItsOwnWordsWhilePollingGoesOn) {
  const std::optional<BrokerPorts> ports = ReadBrokerPorts();
  ASSERT_TRUE(ports);
  struct Case {
    const char* what;
    const char* host;
    int port;
    bool tls;
    std::string ca_file;
    std::string password;
    const char* state;  // a part of the state line, UTF-8
  };
  const Case cases[] = {
      {"TLS", "localhost", ports->tls, true, BrokerCaFile(), BrokerPassword(),
       "подключено к брокеру"},
      {"another authority", "localhost", ports->tls, true, BrokerOtherCaFile(), BrokerPassword(),
       "сертификат брокера не подтверждён"},
      {"wrong password", "127.0.0.1", ports->auth, false, "", "not the password",
       "неверное имя пользователя или пароль"},
      {"unknown host", "no-such-broker.invalid", ports->plain, false, "", "",
       "неизвестный адрес брокера"},
      {"no broker", "127.0.0.1", 1, false, "", "", "брокер не принимает подключения"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    config::Settings settings = WithBroker({{kGood, 3}});
    config::MqttSettings mqtt = settings.Mqtt();
    mqtt.host = c.host;
    mqtt.port = c.port;
    mqtt.tls = c.tls;
    mqtt.ca_file = c.ca_file;
    mqtt.user = BrokerUser();
    mqtt.sealed_password = config::SealSecret(c.password).value_or("");
    settings.SetMqtt(mqtt);
    ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings, "/k"));
    SetupDriver setup(form_);
    ASSERT_TRUE(setup.Open());
    const std::u16string state = Shown(c.state);
    EXPECT_TRUE(remote::PumpUntil(
        [&] { return setup.Text(ui::kMqttStateId).find(state) != std::u16string::npos; }, kWaitMs))
        << remote::Utf8(setup.Text(ui::kMqttStateId));
    setup.CloseBox();
    ASSERT_TRUE(setup.WaitClosed());
    // The bus is polled whatever the link does.
    form_.PressStartStop();
    ASSERT_TRUE(form_.WaitPolling(true));
    const std::size_t asked = LoggedRequests(kGood).size();
    EXPECT_TRUE(
        remote::PumpUntil([&] { return LoggedRequests(kGood).size() >= asked + 5; }, kWaitMs));
    ASSERT_TRUE(form_.StopPolling());
    ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  }
}

}  // namespace
}  // namespace quorvel::testing
