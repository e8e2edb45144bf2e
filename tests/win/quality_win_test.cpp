// The quality and time items end to end: Quorvel.exe polls a bus with every
// kind of device the simulator can play (tests/win/quality.cmake), demotion
// on, and a DDE client linked to every sensor's value, quality and time
// items sees each quality word the bus can produce. Device 20 is silent for
// its first seconds: its quality reads NO_REPLY, then DEMOTED, then OK once
// its probe finds it back; its time item stays empty until then. At the end
// the simulator takes the port away for a while: WRITE or READ, then PORT.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "testkit/message_wait_win.h"
#include "testkit/program_test_win.h"
#include "testkit/wine_run.h"

namespace quorvel::testing {
namespace {

// Table rows S1 .. S7 (channel 3 each), in this order. The overlong reply's
// tail may still arrive in the exchange after it, so that one is the good
// device's, which is asked in every pass.
constexpr int kGood = 5;
constexpr int kSilent = 6;
constexpr int kPartial = 7;
constexpr int kBadCrc = 16;
constexpr int kLate = 20;        // silent for its first kLateSeconds
constexpr int kRefused = 300;    // an address the bus link refuses
constexpr int kOverlong = 9;     // 260 characters: 271 ms at 9600 bit/s
constexpr int kTimeOutMs = 600;  // long enough for the overlong reply to reach 250
constexpr double kLateSeconds = 15;
constexpr double kOutageAt = 60;      // the simulator's --outage 60:4
constexpr int kDemoteForMs = 20'000;  // longer than the late device's silence
// Longest wait for one word; the outage comes 60 s after the simulator started.
constexpr DWORD kWordWaitMs = 90'000;

bool Has(const std::vector<std::string>& updates, const std::string& word) {
  return std::find(updates.begin(), updates.end(), word) != updates.end();
}

std::size_t IndexOf(const std::vector<std::string>& updates, const std::string& word) {
  return static_cast<std::size_t>(std::find(updates.begin(), updates.end(), word) -
                                  updates.begin());
}

class QualityItemsTest : public ProgramTest {
 protected:
  // The item's texts as the client received them, without the CR LF and NUL
  // every one is served with.
  static std::vector<std::string> Texts(const ChildProcess& client, const std::string& item) {
    std::vector<std::string> texts = Updates(client, item);
    for (std::string& text : texts) {
      if (text.ends_with(std::string("\r\n\0", 3))) text.resize(text.size() - 3);
    }
    return texts;
  }
};

TEST_F(QualityItemsTest, EveryWordTheBusCanProduceAndTheTimeOfTheLastGoodReading) {
  config::Settings settings = BaseSettings({{kGood, 3},
                                            {kSilent, 3},
                                            {kPartial, 3},
                                            {kBadCrc, 3},
                                            {kLate, 3},
                                            {kRefused, 3},
                                            {kOverlong, 3}});
  settings.SetTimeOut(kTimeOutMs);
  ASSERT_TRUE(settings.SetDemoteAfter(2));
  ASSERT_TRUE(settings.SetDemoteForMs(kDemoteForMs));
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  std::vector<std::string> items;
  for (int s = 1; s <= 7; ++s) {
    for (const char* suffix : {"", "_Q", "_T"}) {
      // Appended one by one: GCC 12 sees an overlap in the chained + that is not there.
      std::string& item = items.emplace_back("S");
      item.append(std::to_string(s)).append(suffix);
    }
  }
  ChildProcess& client = Advise(items);
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));

  const auto await = [&](const std::string& item, const std::string& word) {
    return remote::PumpUntil([&] { return Has(Texts(client, item), word); }, kWordWaitMs);
  };
  EXPECT_TRUE(await("S1_Q", "OK")) << client.Transcript();
  EXPECT_TRUE(await("S2_Q", "NO_REPLY"));
  EXPECT_TRUE(await("S2_Q", "DEMOTED"));
  EXPECT_TRUE(await("S3_Q", "PARTIAL"));
  EXPECT_TRUE(await("S4_Q", "BAD_REPLY"));
  EXPECT_TRUE(await("S6_Q", "PARAM"));
  EXPECT_TRUE(await("S7_Q", "OVERLONG"));

  // The late device: no reply, demoted, and back at the probe after its
  // silence, within the demotion's length and a pass.
  ASSERT_TRUE(await("S5_Q", "OK")) << client.Transcript();
  const std::vector<std::string> late = Texts(client, "S5_Q");
  ASSERT_TRUE(Has(late, "NO_REPLY")) << "the program polled before the device's silence ended";
  EXPECT_LT(IndexOf(late, "NO_REPLY"), IndexOf(late, "DEMOTED"));
  EXPECT_LT(IndexOf(late, "DEMOTED"), IndexOf(late, "OK"));
  // Its time item: advised with each of its readings, empty until the first
  // good one, then its time. It is advised right after the quality item, so
  // the client may not have it yet.
  const auto has_time = [](const std::string& t) { return !t.empty(); };
  ASSERT_TRUE(remote::PumpUntil(
      [&] { return std::ranges::any_of(Texts(client, "S5_T"), has_time); }, kWordWaitMs));
  const std::vector<std::string> late_times = Texts(client, "S5_T");
  const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
  const auto first_time = std::ranges::find_if(late_times, has_time);
  EXPECT_NE(first_time, late_times.begin()) << "empty while it did not answer";
  EXPECT_TRUE(std::all_of(first_time, late_times.end(), [&](const std::string& t) {
    return std::regex_match(t, stamp);
  })) << *first_time;
  // The silent device's time never moves; the good device's moves forward.
  for (const std::string& t : Texts(client, "S2_T")) EXPECT_EQ(t, "");
  const std::vector<std::string> good_times = Texts(client, "S1_T");
  ASSERT_GE(good_times.size(), 2u);
  EXPECT_TRUE(std::regex_match(good_times.front(), stamp)) << good_times.front();
  EXPECT_TRUE(std::is_sorted(good_times.begin(), good_times.end()));
  EXPECT_EQ(Texts(client, "S5").back().substr(0, 2), "7.");

  // The port goes away under the run and comes back: the row asked then
  // fails to write or read, the rows after it find no port.
  const auto all_words = [&] {
    std::vector<std::string> words;
    for (int s = 1; s <= 7; ++s) {
      std::string name = "S";
      name.append(std::to_string(s)).append("_Q");
      const std::vector<std::string> item = Texts(client, name);
      words.insert(words.end(), item.begin(), item.end());
    }
    return words;
  };
  EXPECT_TRUE(remote::PumpUntil(
      [&] {
        const std::vector<std::string> words = all_words();
        return (Has(words, "WRITE") || Has(words, "READ")) && Has(words, "PORT");
      },
      kWordWaitMs))
      << client.Transcript();

  // The late device was asked again within the demotion's length (and a
  // pass) of the end of its silence, on the simulator's clock, which started
  // kOutageAt before the port went away.
  const std::optional<double> away = SimulatorPortEvent("away");
  ASSERT_TRUE(away);
  const double answering_from = *away - kOutageAt + kLateSeconds;
  const std::vector<LoggedRequest> requests = LoggedRequests(kLate);
  const auto first_after =
      std::find_if(requests.begin(), requests.end(),
                   [&](const LoggedRequest& r) { return r.seconds > answering_from; });
  ASSERT_NE(first_after, requests.end());
  EXPECT_LE(first_after->seconds - answering_from, kDemoteForMs / 1000.0 + 1.0);

  ASSERT_TRUE(form_.StopPolling());
  // The value items are as before: one update per reading, as many as the
  // quality item's once the client has them all.
  EXPECT_TRUE(remote::PumpUntil(
      [&] { return Texts(client, "S1").size() == Texts(client, "S1_Q").size(); }, kWordWaitMs))
      << Texts(client, "S1").size() << " " << Texts(client, "S1_Q").size();
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

}  // namespace
}  // namespace quorvel::testing
