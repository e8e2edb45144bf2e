// What the end-to-end tests of Quorvel.exe share: the fixture that gives each
// test a copy of the program in a folder of its own and ends it with the test
// (by its handle, unless the test closed it), the simulator's log from the
// test's start, and DdeClient.exe processes as the program's DDE clients.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/sensor_table.h"
#include "config/settings.h"
#include "testkit/dde_child_win.h"
#include "testkit/quorvel_remote_win.h"

namespace quorvel::testing {

// Choices of the port and speed lists (index 0 is COM1, 300 bit/s).
inline constexpr int kCom3 = 2;  // the simulator
inline constexpr int kSpeed9600 = 5;
inline constexpr int kShortTimeOutMs = 150;

inline constexpr DWORD kClientMs = 30'000;
inline constexpr char kService[] = "Quorvel";
inline constexpr char kTopic[] = "ZORVIK";
// What an item holds before its first reading.
inline constexpr char kUnread[] = " --.-";

// Waits for something the program is to do, handling this thread's messages.
bool WaitUntil(const std::function<bool()>& condition);

// A UTF-8 text as the program's windows hold it.
std::u16string Shown(std::string_view utf8);

// The bytes, in UTF-8, that a DDE client receives for an item of one line.
std::string Served(std::string_view utf8);

// A row of the sensor table.
struct Sensor {
  int address;
  int channel;
  int step = 1;
};

config::SensorTable MakeTable(const std::vector<Sensor>& sensors, std::string_view prefix = "S");

// The settings every test starts from: COM3 at 9600 bit/s, a short reply
// time-out, a short pause between cycles, no auto-start.
config::Settings BaseSettings(const std::vector<Sensor>& sensors, std::string_view prefix = "S");

// One request the simulator logged, with a good checksum:
//   "T PORT check=ok addr=A cmd=CMD answer=W line=L sent=S"
struct LoggedRequest {
  double seconds = 0;  // on the simulator's monotonic clock
  int address = -1;
  std::string command;  // as logged, bytes escaped
  std::string line;     // the line speed the program had set: "9600", "-" when unknown
};

std::optional<LoggedRequest> ParseLogLine(const std::string& text);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "Suite.Test", the name of the test's folder.
  static std::string TestName();

  // The test's folder with the program, its settings file and its table.
  void Prepare(const config::Settings& settings);
  // `arguments`: the program's command line after its name.
  void Launch(std::string_view arguments = {});
  void PrepareAndLaunch(const config::Settings& settings, std::string_view arguments = {});

  std::string IniPath() const { return folder_ + "Quorvel.ini"; }
  std::string TablePath() const;

  // A control of the main window and its text in UTF-8.
  std::string Pane(int id) const { return remote::Utf8(form_.ControlText(id)); }
  bool WaitPane(int id, std::string_view utf8) const;

  // Closes the program (not polling) and expects it to end with code 0
  // without asking anything.
  void CloseAndExpectExit();
  // Expects the program to end with code 0, and no dialog of it to show
  // before that.
  void ExpectExitWithoutDialog();

  // A key of the settings file, in its section.
  std::string SavedSetting(const std::string& key) const;
  // Expects the table file to hold the table of these sensors.
  void ExpectTableFile(const std::vector<Sensor>& sensors) const;

  // The requests of one device that the simulator logged during this test.
  std::vector<LoggedRequest> LoggedRequests(int address) const;
  std::vector<std::string> LoggedCommands(int address) const;
  // How many readings of one device the program made, once polling has
  // stopped: as many as its logged requests, or one fewer when the last
  // request on the bus was its. A Stop that comes during an exchange ends
  // it without a reading, though the device answered.
  struct ReadingCount {
    std::size_t least = 0;
    std::size_t most = 0;
  };
  ReadingCount ReadingsAfterStop(int address) const;

  // --- DDE, through DdeClient.exe processes ---

  static std::string ClientPath();
  // A client linked to the items; its updates are read with Updates().
  ChildProcess& Advise(const std::vector<std::string>& items);
  // The updates of an item the client printed so far, in UTF-8.
  static std::vector<std::string> Updates(const ChildProcess& client, const std::string& item);
  static bool WaitUpdates(const ChildProcess& client, const std::string& item, std::size_t count);

  // The item's text served to a request, in UTF-8, or a description of the
  // failure that starts with kRequestFailed.
  static constexpr std::string_view kRequestFailed = "<request failed>";
  std::string Request(const std::string& item, const std::string& topic = kTopic,
                      const std::string& service = kService);
  // Success when the request fails; the text served otherwise.
  ::testing::AssertionResult Refused(const std::string& item, const std::string& topic = kTopic);

  remote::RemoteQuorvel form_;
  std::string folder_;
  std::size_t log_start_ = 0;
  std::vector<std::unique_ptr<ChildProcess>> clients_;
};

}  // namespace quorvel::testing
