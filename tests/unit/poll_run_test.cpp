#include "poll/poll_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "bus/crc16.h"
#include "bus/status_text.h"
#include "fake_bus.h"
#include "ui/main_panes.h"

namespace quorvel::poll {
namespace {

using bus::testing::FakeClock;
using bus::testing::FakePorts;
using bus::testing::FakePump;

constexpr int kCom3 = 2;
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000'000'000;
// Where the fake clock starts.
constexpr std::int64_t kStart = 1'000'000'000;
constexpr std::int64_t kUtcAhead = 1'800'000'000'000'000'000;

std::string U(const char* utf8) {
  return cp1251::FromUtf8(utf8);
}

// The main window as the cycle and the program's sinks see it, keeping what
// it was shown; its Take stands for the DDE value items.
class RecordingWindow final : public PollWindow, public ui::MainPanes, public ReadingSink {
 public:
  void ShowRunButton(bool polling) override { button_polling = polling; }
  bool SetupEnabled() const override { return setup_enabled; }
  void EnableSetup(bool enabled) override { setup_enabled = enabled; }
  void ShowStatus(std::string_view text) override { status = text; }
  void ShowValue(std::string_view text) override { values.emplace_back(text); }
  void ShowPort(std::string_view name) override { port = name; }
  int SelectedSensor() const override { return selected; }
  void Repaint() override { ++repaints; }
  void Take(const Reading& reading) override {
    readings.push_back(reading);
    published.emplace_back(reading.item, reading.text);
    status_at_publish.push_back(status);
    published_at.push_back(clock != nullptr ? clock->now : 0);
  }
  void Demoted(int item) override { demoted.emplace_back(readings.size(), item); }

  bool button_polling = false;
  bool setup_enabled = false;
  std::string status;
  std::vector<std::string> values;
  std::string port;
  int selected = -1;
  int repaints = 0;
  std::vector<Reading> readings;
  // Each demoted item with the number of readings before it.
  std::vector<std::pair<std::size_t, int>> demoted;
  std::vector<std::pair<int, std::string>> published;
  std::vector<std::string> status_at_publish;
  const FakeClock* clock = nullptr;
  std::vector<std::int64_t> published_at;  // fake time of each publication
};

// Instruments behind COM3: each request the port took is answered, on the
// next run of the pump, by the device it names.
struct Device {
  std::string value = "1.0";
  bool silent = false;
  bool bad_crc = false;
};

class PollRunTest : public ::testing::Test {
 protected:
  PollRunTest() {
    sinks.Add(status);
    sinks.Add(window);
    sinks.Add(panes);
    wall_clock.monotonic = &clock;
    settings.SetComPort(kCom3);
    pump.on_pump = [this] { OnPump(); };
    window.clock = &clock;
  }

  // Rows of (address, channel, step) texts; names as the prefix gives them.
  void SetTable(const std::vector<std::array<std::string, 3>>& rows) {
    config::SensorTable& table = settings.table();
    table.SetRowCount(static_cast<int>(rows.size()) + 1);
    for (int r = 1; r <= static_cast<int>(rows.size()); ++r) {
      config::SetRowName(table, r, "S");
      for (int c = 0; c < 3; ++c) table.SetCell(c + 1, r, rows[r - 1][c]);
    }
  }

  void OnPump() {
    ++pump_runs;
    std::string& written = ports.port(kCom3).written;
    for (std::size_t end; (end = written.find('\r', consumed)) != std::string::npos;) {
      Answer(written.substr(consumed, end - consumed));
      consumed = end + 1;
    }
    if (on_pump) on_pump();
  }

  // "\xFF:" address ";1;" channel ";" checksum
  void Answer(const std::string& request) {
    const std::size_t colon = request.find(':');
    const std::size_t semi = request.find(';', colon);
    const std::size_t ch_end = request.find(';', semi + 3);
    const int address = std::stoi(request.substr(colon + 1, semi - colon - 1));
    const int channel = std::stoi(request.substr(semi + 3, ch_end - semi - 3));
    asked.emplace_back(address, channel);
    asked_at.push_back(clock.now);
    const Device& device = devices[address];
    if (device.silent) return;
    const std::string body = std::to_string(address) + ";" + device.value + ";";
    const int crc = bus::Crc16(body) + (device.bad_crc ? 1 : 0);
    ports.Deliver(kCom3, "!" + body + std::to_string(crc) + "\r", 5 * kMs);
  }

  // Presses the button from inside the pump, as the second press arrives.
  void PressStopWhen(const std::function<bool()>& condition) {
    on_pump = [this, condition] {
      if (run.Tag() == 1 && bus.StopRequested == 0 && condition()) run.SB1Click();
    };
  }

  std::vector<std::string> PublishedTexts(int index) const {
    std::vector<std::string> texts;
    for (const auto& [i, text] : window.published)
      if (i == index) texts.push_back(text);
    return texts;
  }

  FakeClock clock;
  FakePorts ports{clock};
  FakePump pump{clock, ports};
  bus::MoreCOM bus{ports, clock, pump};
  config::Settings settings;
  RecordingWindow window;
  ui::MainStatusSink status{window};
  ui::MainPaneSink panes{window, settings};
  ReadingSinks sinks;
  // UTC a fixed distance ahead of the fake monotonic clock.
  struct : bus::WallClock {
    std::int64_t UtcNs() override { return monotonic->now + kUtcAhead; }
    const FakeClock* monotonic = nullptr;
  } wall_clock;
  PollRun run{bus, clock, wall_clock, pump, settings, window, sinks};

  std::map<int, Device> devices;
  std::size_t consumed = 0;
  std::vector<std::pair<int, int>> asked;
  std::vector<std::int64_t> asked_at;  // fake time of each request
  std::function<void()> on_pump;
  int pump_runs = 0;
  int waits_seen = 0;
};

// Counts the waits between cycles: the cycle's pauses are the only idles
// longer than the reply time-out.
class CountingPump final : public bus::MessagePump {
 public:
  CountingPump(bus::MessagePump& inner, int& waits) : inner_(inner), waits_(waits) {}
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void Idle(std::int64_t max_ns) override {
    if (max_ns > 500 * kMs) ++waits_;
    inner_.Idle(max_ns);
  }

 private:
  bus::MessagePump& inner_;
  int& waits_;
};

TEST(PollRules, StepOfCells) {
  EXPECT_EQ(StepOf("3"), 3);
  EXPECT_EQ(StepOf("0"), 0);
  EXPECT_EQ(StepOf("$10"), 16);
  EXPECT_EQ(StepOf("-2"), 1);
  EXPECT_EQ(StepOf("x"), 1);
  EXPECT_EQ(StepOf(""), 1);
  EXPECT_EQ(StepOf("2 "), 1);
}

TEST(PollRules, CommandAndSeparator) {
  EXPECT_EQ(ReadingCommand(3), "1;3;");
  EXPECT_EQ(ReadingCommand(0), "1;0;");
  EXPECT_EQ(WithSeparator("-1.5", ','), "-1,5");
  EXPECT_EQ(WithSeparator("1.2.3", ','), "1,2,3");
  EXPECT_EQ(WithSeparator("23.45", '.'), "23.45");
}

// A pass asks the rows due, the wait follows with the interval's length, and
// the stop in the wait ends the run with the port closed.
class PollCycleTest : public PollRunTest {
 protected:
  void RunWithCycles(int cycles) {
    CountingPump counting(pump, waits_seen);
    PollRun counted{bus, clock, wall_clock, counting, settings, window, sinks};
    on_pump = [&] {
      if (counted.Tag() == 1 && bus.StopRequested == 0 && waits_seen >= cycles) counted.SB1Click();
    };
    counted.SB1Click();
    EXPECT_EQ(counted.Tag(), 0);
  }
};

TEST_F(PollCycleTest, StepNIsAskedInCyclesN2N3N) {
  settings.SetTimeOutCycle(1000);
  SetTable({{"1", "1", "1"},
            {"2", "2", "2"},
            {"3", "3", "3"},
            {"4", "4", "0"},
            {"5", "5", "junk"},
            {"6", "6", "-7"}});
  RunWithCycles(6);
  std::map<int, int> asks;
  for (const auto& [address, channel] : asked) ++asks[address];
  EXPECT_EQ(asks[1], 6);
  EXPECT_EQ(asks[2], 3);
  EXPECT_EQ(asks[3], 2);
  EXPECT_EQ(asks[4], 0) << "step 0 is never asked in a run";
  EXPECT_EQ(asks[5], 6) << "unreadable step counts as 1";
  EXPECT_EQ(asks[6], 6) << "negative step counts as 1";
  // Order within the first pass: the table's order, step-2 and -3 rows absent.
  ASSERT_GE(asked.size(), 3u);
  EXPECT_EQ(asked[0], (std::pair{1, 1}));
  EXPECT_EQ(asked[1], (std::pair{5, 5}));
  EXPECT_EQ(asked[2], (std::pair{6, 6}));
  EXPECT_EQ(ports.port(kCom3).opens, 1);
  EXPECT_EQ(ports.port(kCom3).closes, 1);
}

TEST_F(PollCycleTest, WaitLastsTheIntervalWithTheFixedFactor) {
  settings.SetTimeOutCycle(1000);
  SetTable({{"1", "1", "1"}});
  RunWithCycles(2);
  std::int64_t waited = 0;
  for (std::int64_t ns : pump.idle_log)
    if (ns > 500 * kMs) waited += ns;
  // 1000 ms with 1.15e-8 days per millisecond: 993.6 ms, each.
  EXPECT_EQ(waited, 2 * 993'600'000);
}

TEST_F(PollRunTest, IntervalZeroRunsThePumpBetweenPasses) {
  SetTable({{"1", "1", "1"}});
  // Runs of the pump after the k-th reading was published and before the
  // next request was written, by k.
  std::map<std::size_t, int> pumps_after;
  on_pump = [&] {
    const std::string& written = ports.port(kCom3).written;
    const auto requests =
        static_cast<std::size_t>(std::count(written.begin(), written.end(), '\r'));
    if (requests > 0 && requests == window.published.size()) ++pumps_after[requests];
    if (run.Tag() == 1 && bus.StopRequested == 0 && window.published.size() >= 3) run.SB1Click();
  };
  run.SB1Click();
  EXPECT_EQ(run.Tag(), 0);
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_EQ(window.published.size(), 3u);
  // Between passes the wait's run comes before the one ahead of the next
  // write; the stop is seen in the wait's, after the third pass.
  EXPECT_EQ(pumps_after, (std::map<std::size_t, int>{{1, 2}, {2, 2}, {3, 1}}));
}

// A silent device holds each exchange for the reply time-out, then the
// interval passes before the next request; both converted with the fixed
// factors, not with 1/86400.
TEST_F(PollRunTest, TimeOutAndIntervalLastTheirFixedFactorDurations) {
  settings.SetTimeOut(400);
  settings.SetTimeOutCycle(250);
  devices[5].silent = true;
  SetTable({{"5", "3", "1"}});
  PressStopWhen([&] { return window.published.size() == 2; });
  run.SB1Click();
  ASSERT_EQ(asked_at.size(), 2u);
  ASSERT_EQ(window.published_at.size(), 2u);
  // 0.4 s at 1.15e-5 days per second is 397.44 ms; the port times out at the
  // first instant after the deadline.
  EXPECT_EQ(window.published_at[0] - asked_at[0], 397'440'000 + 1);
  EXPECT_EQ(window.published_at[1] - asked_at[1], 397'440'000 + 1);
  // 250 ms at 1.15e-8 days per millisecond: 248.4 ms.
  EXPECT_EQ(asked_at[1] - window.published_at[0], bus::DaysToNs(250 * 1.15e-8));
}

TEST_F(PollRunTest, EmptyTableOpensThePortAndOnlyWaits) {
  settings.table().SetRowCount(1);
  settings.SetTimeOutCycle(100);
  PressStopWhen([&] { return clock.now > 1'000'000'000 + 1000 * kMs; });
  run.SB1Click();
  EXPECT_EQ(ports.port(kCom3).opens, 1);
  EXPECT_TRUE(ports.port(kCom3).written.empty());
  EXPECT_TRUE(window.published.empty());
  EXPECT_GE(pump.idles, 9);
}

TEST_F(PollRunTest, PublicationTexts) {
  run.DecimalSeparator = ',';
  devices[5].value = "-1.5";
  devices[6].silent = true;
  devices[7].bad_crc = true;
  devices[8].value = "23.45";
  SetTable({{"5", "3", "1"}, {"6", "3", "1"}, {"7", "3", "1"}, {"300", "3", "1"}, {"8", "3", "1"}});
  PressStopWhen([&] { return window.published.size() == 5; });
  run.SB1Click();

  ASSERT_EQ(window.published.size(), 5u);
  EXPECT_EQ(window.published[0], (std::pair<int, std::string>{0, "-1,5"}));
  EXPECT_EQ(window.published[1], (std::pair<int, std::string>{1, bus::StatusText(9)}));
  EXPECT_EQ(window.published[2], (std::pair<int, std::string>{2, U("Ошибка")}));
  EXPECT_EQ(window.published[3], (std::pair<int, std::string>{3, U("Ошибочный входной параметр")}));
  EXPECT_EQ(window.published[4], (std::pair<int, std::string>{4, "23,45"}));
  EXPECT_EQ(window.status_at_publish,
            (std::vector<std::string>{U("Идет считывание данных"), U("Ошибка обмена"),
                                      U("Ошибка: неправильный формат ответа"), U("Ошибка обмена"),
                                      U("Идет считывание данных")}));
  EXPECT_EQ(window.port, "COM3");
}

TEST_F(PollRunTest, EachExchangeIsOneReadingWithItsOutcomeReplyAndTimes) {
  run.DecimalSeparator = ',';
  settings.SetTimeOut(400);
  ports.port(kCom3).write_ns = 20 * kMs;
  devices[5].value = "-1.5";
  devices[6].silent = true;
  devices[7].bad_crc = true;
  SetTable({{"5", "3", "1"}, {"6", "4", "1"}, {"7", "3", "1"}, {"x", "3", "1"}, {"300", "2", "1"}});
  PressStopWhen([&] { return window.readings.size() == 5; });
  run.SB1Click();

  ASSERT_EQ(window.readings.size(), 5u);
  const std::vector<Reading>& r = window.readings;
  EXPECT_EQ(r[0].outcome, Outcome::kGood);
  EXPECT_EQ(r[1].outcome, Outcome::kNoReply);
  EXPECT_EQ(r[2].outcome, Outcome::kBadReply);
  EXPECT_EQ(r[3].outcome, Outcome::kArgumentsRefused) << "a cell that is no number";
  EXPECT_EQ(r[4].outcome, Outcome::kArgumentsRefused) << "an address the bus refuses";
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(r[i].row, i + 1);
    EXPECT_EQ(r[i].item, i);
    EXPECT_EQ(r[i].text, window.published[i].second);
    EXPECT_EQ(r[i].request_utc_ns - r[i].request_ns, kUtcAhead);
    EXPECT_EQ(r[i].end_utc_ns - r[i].end_ns, kUtcAhead);
  }
  EXPECT_EQ(r[0].address, 5);
  EXPECT_EQ(r[0].channel, 3);
  EXPECT_EQ(r[0].status, bus::kStatusOk);
  EXPECT_EQ(r[0].value, "-1.5") << "the field as it came, the separator only in the text";
  EXPECT_EQ(r[0].text, "-1,5");
  EXPECT_EQ(r[0].reply.rfind("!5;-1.5;", 0), 0u) << r[0].reply;
  EXPECT_EQ(r[0].reply.back(), '\r');
  EXPECT_GE(r[0].ResponseNs(), 5 * kMs) << "the reply came 5 ms after the request";
  EXPECT_LT(r[0].ResponseNs(), 20 * kMs) << "counted from the end of the 20 ms write";
  EXPECT_GE(r[0].written_ns - r[0].request_ns, 20 * kMs);
  EXPECT_EQ(r[1].channel, 4);
  EXPECT_EQ(r[1].status, bus::kStatusNoReply);
  EXPECT_EQ(r[1].reply, "");
  EXPECT_EQ(r[1].value, "");
  EXPECT_GE(r[1].ResponseNs(), 397 * kMs) << "the whole reply time-out";
  EXPECT_EQ(r[2].reply.rfind("!7;1.0;", 0), 0u) << r[2].reply;
  EXPECT_EQ(r[3].status, bus::kStatusBadArgument);
  EXPECT_EQ(r[3].ResponseNs(), 0) << "not sent";
  EXPECT_EQ(r[4].status, bus::kStatusBadArgument);
  EXPECT_EQ(r[4].address, 300);
  EXPECT_EQ(r[4].reply, "") << "not the reply of the row before";
  EXPECT_GE(r[1].request_ns, r[0].end_ns) << "in the order of the exchanges";
}

TEST_F(PollRunTest, ThePortOpensAtTheLineSpeedOfTheSettingsOfTheMoment) {
  SetTable({{"5", "3", "1"}});
  for (const int speed : {6, 2}) {
    settings.SetSpeed(speed);
    const std::size_t before = window.published.size();
    PressStopWhen([&] { return window.published.size() > before; });
    run.SB1Click();
    EXPECT_EQ(ports.port(kCom3).baud, config::SpeedOfIndex(speed));
  }
}

TEST_F(PollRunTest, SeparatorIsTheOneOfThePress) {
  devices[5].value = "2.5";
  SetTable({{"5", "3", "1"}});
  run.DecimalSeparator = ',';
  PressStopWhen([&] {
    run.DecimalSeparator = ';';  // a settings change during the run
    return window.published.size() == 2;
  });
  run.SB1Click();
  EXPECT_EQ(PublishedTexts(0), (std::vector<std::string>{"2,5", "2,5"}));
}

TEST_F(PollRunTest, UnreadableCellsAreNotSentAndTheRunGoesOn) {
  SetTable({{"abc", "3", "1"}, {"5", "", "1"}, {"$5", "0x3", "1"}});
  PressStopWhen([&] { return window.published.size() == 3; });
  run.SB1Click();
  const std::string refused = U("Ошибочный входной параметр");
  ASSERT_EQ(window.published.size(), 3u);
  EXPECT_EQ(window.published[0].second, refused);
  EXPECT_EQ(window.published[1].second, refused);
  EXPECT_EQ(window.published[2].second, "1.0");
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{5, 3}}));
  EXPECT_EQ(run.Tag(), 0);
}

TEST_F(PollRunTest, RowsBeyondTheFiveHundredthAreNotPolled) {
  std::vector<std::array<std::string, 3>> rows(502, {"1", "1", "1"});
  rows[500] = {"2", "2", "1"};
  rows[501] = {"3", "3", "1"};
  SetTable(rows);
  PressStopWhen([&] { return window.published.size() == 500; });
  run.SB1Click();
  ASSERT_EQ(window.published.size(), 500u);
  EXPECT_EQ(window.published.back().first, 499);
  for (const auto& [address, channel] : asked) EXPECT_EQ(address, 1);
}

TEST_F(PollRunTest, ChosenSensorValueOnlyInCyclesThatAskIt) {
  settings.SetTimeOutCycle(10);
  SetTable({{"1", "1", "1"}, {"2", "2", "2"}});
  devices[2].value = "7.5";
  window.selected = 1;
  // Cycles 1 to 4 ask rows 1; 1, 2; 1; 1, 2.
  PressStopWhen([&] { return window.published.size() >= 6; });
  run.SB1Click();
  EXPECT_EQ(window.values, (std::vector<std::string>{"7.5", "7.5"}));
}

TEST_F(PollRunTest, StopDuringAnExchangePublishesNothingMore) {
  SetTable({{"1", "1", "1"}, {"2", "2", "1"}});
  devices[2].silent = true;
  window.setup_enabled = true;
  PressStopWhen([&] { return asked.size() == 2; });
  run.SB1Click();
  ASSERT_EQ(window.published.size(), 1u);
  EXPECT_EQ(window.published[0].first, 0);
  EXPECT_EQ(window.status, U("Считывание данных остановлено"));
  EXPECT_FALSE(window.button_polling);
  EXPECT_EQ(run.Tag(), 0);
  EXPECT_EQ(ports.port(kCom3).closes, 1);
  EXPECT_EQ(bus.OpenMask(), 0u);
  EXPECT_TRUE(window.setup_enabled);
}

TEST_F(PollRunTest, StateDuringTheRun) {
  SetTable({{"1", "1", "1"}});
  window.setup_enabled = true;
  bool checked = false;
  on_pump = [&] {
    if (run.Tag() != 1 || bus.StopRequested != 0 || window.published.empty()) return;
    EXPECT_TRUE(window.button_polling);
    EXPECT_FALSE(window.setup_enabled);
    EXPECT_EQ(window.repaints, 1);
    EXPECT_FALSE(run.Stopping());
    run.SB1Click();
    // The stop only asks; the loop ends the run.
    EXPECT_EQ(run.Tag(), 1);
    EXPECT_TRUE(run.Stopping());
    EXPECT_FALSE(window.button_polling);
    EXPECT_EQ(bus.StopRequested, 1);
    EXPECT_EQ(window.status, U("Считывание данных остановлено"));
    checked = true;
  };
  run.SB1Click();
  EXPECT_TRUE(checked);
  EXPECT_FALSE(run.Stopping());
  EXPECT_TRUE(window.setup_enabled);
}

TEST_F(PollRunTest, SettingsLockedBeforeTheRunStayLocked) {
  SetTable({{"1", "1", "1"}});
  window.setup_enabled = false;
  PressStopWhen([&] { return !window.published.empty(); });
  run.SB1Click();
  EXPECT_FALSE(window.setup_enabled);
  ports.port(kCom3).open_status = bus::kStatusCannotOpen;
  run.SB1Click();
  EXPECT_FALSE(window.setup_enabled);
}

TEST_F(PollRunTest, PortThatCannotBeOpened) {
  SetTable({{"1", "1", "1"}});
  window.setup_enabled = true;
  ports.port(kCom3).open_status = bus::kStatusCannotOpen;
  run.SB1Click();
  EXPECT_EQ(window.status, U("Ошибка: ") + bus::StatusText(bus::kStatusCannotOpen));
  EXPECT_FALSE(window.button_polling);
  EXPECT_EQ(run.Tag(), 0);
  EXPECT_TRUE(window.setup_enabled);
  EXPECT_TRUE(window.published.empty());
  EXPECT_TRUE(asked.empty());
}

// The stop's texts stay only while the slot holds no failure; one left by an
// earlier run's last exchange is shown as an open's failure would be.
TEST_F(PollRunTest, StopWhileOpeningShowsAStatusLeftInTheSlot) {
  SetTable({{"1", "1", "1"}});
  PressStopWhen([] { return true; });
  run.SB1Click();
  EXPECT_EQ(ports.port(kCom3).opens, 0);
  EXPECT_EQ(window.status, U("Считывание данных остановлено"));
  EXPECT_FALSE(window.button_polling);
  EXPECT_EQ(run.Tag(), 0);

  bus.Slots[kCom3].Status = bus::kStatusNoReply;
  PressStopWhen([] { return true; });
  run.SB1Click();
  EXPECT_EQ(ports.port(kCom3).opens, 0);
  EXPECT_EQ(window.status, U("Ошибка: ") + bus::StatusText(bus::kStatusNoReply));
  EXPECT_FALSE(window.button_polling);
  EXPECT_EQ(run.Tag(), 0);
}

// The session's end arrives in the pump of an exchange: the port is closed
// there and then, and the loop ends without using it again.
TEST_F(PollRunTest, EndOfTheSessionClosesThePortAtOnce) {
  devices[5].value = "2.5";
  SetTable({{"5", "3", "1"}});
  bool closed_in_pump = false;
  on_pump = [&] {
    if (run.Tag() == 1 && bus.StopRequested == 0 && window.published.size() == 2) {
      run.EndRun();
      closed_in_pump = !ports.port(kCom3).open && ports.port(kCom3).closes == 1;
    }
  };
  run.SB1Click();
  EXPECT_TRUE(closed_in_pump);
  EXPECT_EQ(ports.port(kCom3).closes, 1);
  EXPECT_EQ(window.published.size(), 2u);
  EXPECT_EQ(window.status, U("Считывание данных остановлено"));
  EXPECT_FALSE(window.button_polling);
  EXPECT_EQ(run.Tag(), 0);

  run.EndRun();  // idle: nothing
  EXPECT_EQ(run.Tag(), 0);
  EXPECT_EQ(ports.port(kCom3).opens, 1);
}

TEST_F(PollRunTest, PressAfterARunStartsAgainWithFreshSteps) {
  settings.SetTimeOutCycle(10);
  SetTable({{"1", "1", "1"}, {"2", "2", "2"}});
  PressStopWhen([&] { return !asked.empty(); });
  run.SB1Click();
  ASSERT_EQ(asked.size(), 1u);
  PressStopWhen([&] { return asked.size() >= 4; });
  run.SB1Click();
  // The second run's first cycle asks row 1 only again: its counters were set anew.
  EXPECT_EQ(asked[1], (std::pair{1, 1}));
  EXPECT_EQ(asked[2], (std::pair{1, 1}));
  EXPECT_EQ(asked[3], (std::pair{2, 2}));
  EXPECT_EQ(ports.port(kCom3).opens, 2);
}

// The port fails under a running cycle and comes back: outage_at and back_at
// on the fake clock. While it is away it cannot be opened, and whatever it
// had received is lost.
class PortRecoveryTest : public PollRunTest {
 protected:
  PortRecoveryTest() {
    settings.SetTimeOutCycle(100);
    SetTable({{"5", "3", "1"}});
    devices[5].value = "2.5";
    window.setup_enabled = true;
  }

  // Plays the port on every run of the pump: the driver opens and fails only
  // right after one, so each open is seen at the time it was made.
  void PlayOutage(bool reads_fail, const std::function<bool()>& stop_when) {
    on_pump = [this, reads_fail, stop_when] {
      FakePorts::Port& port = ports.port(kCom3);
      const bool away = clock.now >= outage_at && clock.now < back_at;
      (reads_fail ? port.read_fails : port.write_fails) = away;
      port.open_status = away ? bus::kStatusCannotOpen : bus::kStatusOk;
      if (away) port.incoming.clear();
      if (away && bus.OpenMask() == 0) closed_while_away = true;
      while (static_cast<int>(open_times.size()) < port.opens) open_times.push_back(clock.now);
      if (run.Tag() == 1 && bus.StopRequested == 0 && stop_when()) {
        run.SB1Click();
        stopped_at = clock.now;
        published_at_stop = window.published.size();
      }
    };
  }

  // A run stopped two seconds after the port came back; returns the status
  // pane as it was half a second after.
  std::string RunThroughOutage(bool reads_fail) {
    std::string status_back;
    PlayOutage(reads_fail, [&] {
      if (clock.now >= back_at + kSecond / 2 && status_back.empty()) status_back = window.status;
      return clock.now >= back_at + 2 * kSecond;
    });
    run.SB1Click();
    return status_back;
  }

  int AskedBetween(std::int64_t from, std::int64_t to) const {
    return static_cast<int>(std::count_if(asked_at.begin(), asked_at.end(),
                                          [&](std::int64_t t) { return t >= from && t < to; }));
  }

  // Checks one outage of a run stopped after the port came back: the failed
  // exchange's text, then the open failure's, then readings again.
  void ExpectRecovered(std::int32_t failure) {
    const std::string failed = bus::StatusText(failure);
    const std::string away = U("Ошибка: ") + bus::StatusText(bus::kStatusCannotOpen);
    const std::vector<std::string> texts = PublishedTexts(0);
    const auto first_failed = std::find(texts.begin(), texts.end(), failed);
    ASSERT_NE(first_failed, texts.end());
    EXPECT_TRUE(std::all_of(texts.begin(), first_failed, [](const auto& t) { return t == "2.5"; }));
    const auto index = static_cast<std::size_t>(first_failed - texts.begin());
    EXPECT_EQ(window.status_at_publish[index], U("Ошибка обмена"));
    ASSERT_LT(index + 2, texts.size());
    EXPECT_EQ(texts[index + 1], away);
    EXPECT_EQ(window.status_at_publish[index + 1], away);
    EXPECT_EQ(texts.back(), "2.5");
    EXPECT_TRUE(closed_while_away);
    std::size_t last_away = index + 1;
    while (last_away + 1 < texts.size() && texts[last_away + 1] == away) ++last_away;
    EXPECT_EQ(texts[last_away + 1], "2.5") << "the first row after the reopen is read";
    EXPECT_TRUE(std::all_of(texts.begin() + static_cast<std::ptrdiff_t>(last_away) + 1, texts.end(),
                            [](const auto& t) { return t == "2.5"; }));

    // The first open, then one attempt a second while away, the last of
    // them at or after the port came back.
    ASSERT_GE(open_times.size(), 3u);
    EXPECT_LT(open_times[0], outage_at);
    for (std::size_t i = 2; i < open_times.size(); ++i)
      EXPECT_GE(open_times[i] - open_times[i - 1], kSecond) << "attempt " << i;
    EXPECT_GE(open_times.back(), back_at);
    EXPECT_LT(open_times.back(), back_at + kSecond);
    EXPECT_EQ(static_cast<std::size_t>(ports.port(kCom3).opens), open_times.size());

    EXPECT_EQ(run.Tag(), 0);
    EXPECT_FALSE(window.button_polling);
    EXPECT_TRUE(window.setup_enabled);
    EXPECT_EQ(bus.OpenMask(), 0u);
    EXPECT_EQ(ports.port(kCom3).closes, 2);
  }

  std::int64_t outage_at = kStart + 2 * kSecond;
  std::int64_t back_at = kStart + 6 * kSecond;
  std::vector<std::int64_t> open_times;
  std::int64_t stopped_at = -1;
  std::size_t published_at_stop = 0;
  bool closed_while_away = false;
};

TEST_F(PortRecoveryTest, FailedWriteClosesThePortAndItIsOpenedAgain) {
  EXPECT_EQ(RunThroughOutage(/*reads_fail=*/false), U("Идет считывание данных"));
  ExpectRecovered(bus::kStatusWriteFailed);
}

TEST_F(PortRecoveryTest, FailedReadClosesThePortAndItIsOpenedAgain) {
  EXPECT_EQ(RunThroughOutage(/*reads_fail=*/true), U("Идет считывание данных"));
  ExpectRecovered(bus::kStatusReadFailed);
}

TEST_F(PortRecoveryTest, DeviceFailuresKeepThePortOpen) {
  devices[5].silent = true;
  PressStopWhen([&] { return window.published.size() == 3; });
  run.SB1Click();
  EXPECT_EQ(PublishedTexts(0), std::vector<std::string>(3, bus::StatusText(bus::kStatusNoReply)));
  EXPECT_EQ(ports.port(kCom3).opens, 1);
  EXPECT_EQ(ports.port(kCom3).closes, 1);
}

TEST_F(PortRecoveryTest, StopWhileThePortIsAwayEndsTheRunAtOnce) {
  back_at = std::numeric_limits<std::int64_t>::max();
  // Half-way through the wait before the third attempt to reopen.
  PlayOutage(/*reads_fail=*/false, [&] {
    return open_times.size() == 3 && clock.now >= open_times.back() + kSecond / 2;
  });
  run.SB1Click();
  EXPECT_EQ(clock.now, stopped_at) << "no wait after the stop";
  EXPECT_EQ(window.published.size(), published_at_stop);
  EXPECT_EQ(ports.port(kCom3).opens, 3);
  EXPECT_EQ(run.Tag(), 0);
  EXPECT_EQ(window.status, U("Считывание данных остановлено"));
  EXPECT_FALSE(window.button_polling);
  EXPECT_TRUE(window.setup_enabled);
  EXPECT_EQ(bus.OpenMask(), 0u);
}

TEST_F(PortRecoveryTest, NoBurstOfRequestsAfterALongOutage) {
  back_at = outage_at + 10 * kSecond;
  PlayOutage(/*reads_fail=*/false, [&] { return clock.now >= back_at + 3 * kSecond; });
  run.SB1Click();
  ASSERT_FALSE(open_times.empty());
  const int before = AskedBetween(kStart, kStart + kSecond);
  const int after = AskedBetween(open_times.back(), open_times.back() + kSecond);
  EXPECT_GE(before, 9);  // 5 ms replies and 99.36 ms pauses
  EXPECT_LE(after, before);
  EXPECT_GE(after, before - 1);
  EXPECT_EQ(AskedBetween(outage_at + kSecond, back_at), 0);
}

// A device that never begins to answer is passed over for a while once it
// has missed DemoteAfter exchanges in a row; one probe at a time then finds
// out whether it is back.
class DemotionTest : public PollRunTest {
 protected:
  DemotionTest() {
    settings.SetTimeOut(100);
    settings.SetDemoteAfter(2);
    settings.SetDemoteForMs(1000);
    devices[6].silent = true;
    // Device 6 has two rows between the two of device 5.
    SetTable({{"5", "1", "1"}, {"6", "1", "1"}, {"6", "2", "1"}, {"5", "2", "1"}});
  }
  std::vector<std::int64_t> AskedAt(int address) const {
    std::vector<std::int64_t> times;
    for (std::size_t i = 0; i < asked.size(); ++i)
      if (asked[i].first == address) times.push_back(asked_at[i]);
    return times;
  }
};

TEST_F(DemotionTest, ProbesComeAfterTheDemotionDoublingUpToEightTimes) {
  PressStopWhen([&] { return clock.now >= kStart + 30 * kSecond; });
  run.SB1Click();
  const std::vector<std::int64_t> six = AskedAt(6);
  // Two misses, then a probe after 1, 2, 4, 8 and 8 s (the last one's end
  // is 99.36 ms of time-out after the probe's request).
  ASSERT_EQ(six.size(), 7u);
  const std::int64_t time_out = 99'360'000;
  for (std::size_t i = 2; i < six.size(); ++i) {
    const std::int64_t gap = six[i] - (six[i - 1] + time_out);
    const std::int64_t want = std::min<std::int64_t>(1 << (i - 2), 8) * kSecond;
    EXPECT_GE(gap, want) << i;
    // The probe is the next due row after the time, a pass at most later.
    EXPECT_LT(gap, want + 2 * time_out) << i;
  }
  // Device 5 kept its pace: both rows asked in every pass meanwhile.
  EXPECT_GT(AskedAt(5).size(), 30u * 1000 / 12);
  // Told once per row of device 6 at each demotion, after the reading that
  // caused it.
  ASSERT_EQ(window.demoted.size(), 2u + 5u * 2u);
  EXPECT_EQ(window.readings[window.demoted[0].first - 1].row, 3);
  EXPECT_EQ(window.demoted[0].second, 1);
  EXPECT_EQ(window.demoted[1].second, 2);
  EXPECT_EQ(window.readings[window.demoted[2].first - 1].outcome, Outcome::kNoReply);
}

TEST_F(DemotionTest, AGarbledReplyIsAnAnswer) {
  devices[6].silent = false;
  devices[6].bad_crc = true;
  PressStopWhen([&] { return clock.now >= kStart + 2 * kSecond; });
  run.SB1Click();
  EXPECT_TRUE(window.demoted.empty());
  EXPECT_EQ(AskedAt(6).size(), AskedAt(5).size());
}

TEST_F(DemotionTest, AnyReplyRestoresTheDeviceItsRowsFromTheNextPass) {
  PressStopWhen([&] {
    // Back after the first demotion; stop once it answered twice more.
    if (window.demoted.size() == 2) devices[6].silent = false;
    return AskedAt(6).size() >= 5 || clock.now >= kStart + 20 * kSecond;
  });
  run.SB1Click();
  ASSERT_EQ(window.demoted.size(), 2u);
  const std::vector<std::int64_t> six = AskedAt(6);
  ASSERT_EQ(six.size(), 5u);
  EXPECT_GE(six[2] - six[1], kSecond) << "the probe after the demotion's length";
  // The probe (row 2) answered: row 3 waits for the next pass, which asks
  // rows 2 and 3 again.
  std::vector<std::pair<int, int>> after_probe;
  for (std::size_t i = 0; i < asked.size(); ++i)
    if (asked_at[i] >= six[2]) after_probe.push_back(asked[i]);
  EXPECT_EQ(after_probe,
            (std::vector<std::pair<int, int>>{{6, 1}, {5, 2}, {5, 1}, {6, 1}, {6, 2}}));
  EXPECT_EQ(window.readings.back().outcome, Outcome::kGood);
}

TEST_F(DemotionTest, OffByDefaultEveryRowIsAskedInEveryPass) {
  settings.SetDemoteAfter(0);
  PressStopWhen([&] { return clock.now >= kStart + 5 * kSecond; });
  run.SB1Click();
  EXPECT_TRUE(window.demoted.empty());
  ASSERT_GT(asked.size(), 40u);
  const std::pair<int, int> pass[] = {{5, 1}, {6, 1}, {6, 2}, {5, 2}};
  for (std::size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], pass[i % 4]) << i;
}

}  // namespace
}  // namespace quorvel::poll
