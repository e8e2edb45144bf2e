// A port that vanishes under a run and comes back, as an unplugged and
// replugged USB adapter: the simulator takes COM3's pseudo-terminal away
// some seconds after the run began and brings a new one up at the same path
// a few seconds later (tests/win/recovery.cmake; its log marks both
// moments). Quorvel.exe polls through it: a DDE client linked to the item
// sees the readings and the error texts while the port is away; once the
// port is back the program asks again by itself within two seconds, and the
// item serves readings again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "testkit/message_wait_win.h"
#include "testkit/program_test_win.h"
#include "testkit/wine_run.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {
namespace {

constexpr int kDevice = 5;  // channel 3: 23.45
// What the rows show while the port cannot be opened: "Ошибка: " and why
// ("COM-порт не существует" for a device that is gone).
constexpr char kAwayPrefix[] = "Ошибка: ";
constexpr char kReading[] = "Идет считывание данных";
// Readings must be back this soon after the port is (simulator's clock).
constexpr double kResumeSeconds = 2.0;
// Upper bound of the wait for the outage, which the simulator starts on its
// own clock.
constexpr DWORD kOutageWaitMs = 60'000;

bool IsAwayText(const std::string& text) {
  return text.starts_with(kAwayPrefix);
}

bool IsReading(const std::string& text) {
  return text == "23.45" || text == "23,45";
}

using PortRecoveryTest = ProgramTest;

TEST_F(PortRecoveryTest, ReadingsResumeByThemselvesWhenThePortComesBack) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDevice, 3}})));
  ChildProcess& client = Advise({"S1"});
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  ASSERT_TRUE(WaitUpdates(client, "S1", 1)) << client.Transcript();

  // Away: the item shows why, the run goes on.
  ASSERT_TRUE(remote::PumpUntil(
      [&] {
        const std::vector<std::string> updates = Updates(client, "S1");
        return std::find_if(updates.begin(), updates.end(), IsAwayText) != updates.end();
      },
      kOutageWaitMs))
      << client.Transcript();
  EXPECT_EQ(Pane(ui::kSB1Id), "Стоп");
  EXPECT_TRUE(SimulatorPortEvent("away"));

  // Back: the program asks again by itself, soon after the port is there.
  ASSERT_TRUE(remote::PumpUntil(
      [&] {
        const std::optional<double> back = SimulatorPortEvent("back");
        if (!back) return false;
        const std::vector<LoggedRequest> requests = LoggedRequests(kDevice);
        return std::any_of(requests.begin(), requests.end(),
                           [&](const LoggedRequest& r) { return r.seconds > *back; });
      },
      kOutageWaitMs));
  const double back = *SimulatorPortEvent("back");
  const std::vector<LoggedRequest> requests = LoggedRequests(kDevice);
  const auto first_after = std::find_if(requests.begin(), requests.end(),
                                        [&](const LoggedRequest& r) { return r.seconds > back; });
  ASSERT_NE(first_after, requests.end());
  EXPECT_LE(first_after->seconds - back, kResumeSeconds);
  EXPECT_TRUE(WaitPane(ui::kRzStatusPane1Id, kReading)) << Pane(ui::kRzStatusPane1Id);
  EXPECT_TRUE(remote::PumpUntil([&] { return IsReading(Request("S1").substr(0, 5)); },
                                remote::kProgramWaitMs))
      << Request("S1");

  ASSERT_TRUE(form_.StopPolling());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

}  // namespace
}  // namespace quorvel::testing
