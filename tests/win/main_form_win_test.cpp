// Quorvel.exe as its user sees it, driven from this program through its
// windows (testkit/quorvel_remote_win.h), its DDE items read by DdeClient.exe
// processes, its bus traffic read from the simulator's log. The run that
// tests/win/main_form.cmake sets up:
//   COM2  a directory: the port cannot be opened
//   COM3  the simulator at 9600 bit/s with the devices below
// Each test starts its own copy of the program in a folder of its own, with
// the settings file and sensor table it needs, and ends it: closed where the
// close is part of the test, by its handle otherwise.
//
// The decimal separator the program is to publish depends on the run's
// locale: QUORVEL_DECIMAL_SEPARATOR gives it, "." when unset.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "base/cp1251.h"
#include "config/profile_file_win.h"
#include "config/settings.h"
#include "config/table_file.h"
#include "testkit/dde_child_win.h"
#include "testkit/form_driver_win.h"
#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "testkit/remote_block_win.h"
#include "ui/main_form_ids.h"
#include "ui/message_dialog_win.h"

namespace quorvel::testing {
namespace {

using namespace quorvel::ui;
using remote::RemoteQuorvel;
using remote::Utf8;
using remote::WindowText;

// Port choice of the settings file (index 0 is COM1).
constexpr int kCom2 = 1;  // a directory

// Devices on COM3. A test that counts requests in the simulator's log asks
// a device of its own: a request of the test before, cut short when that
// program was ended, may reach the log after this test has begun.
constexpr int kDeviceGood = 5;     // channel 3: 23.45, 4: 7.5, 5: -1.25
constexpr int kDeviceSilent = 6;   // never answers
constexpr int kDeviceCounted = 7;  // channel 3: 23.45
constexpr int kDeviceMute = 8;     // never answers
constexpr int kDeviceAbsent = 9;   // not on the bus
constexpr int kDeviceTimed = 10;   // never answers
constexpr int kDeviceBadCrc = 16;  // channel 3: 23.45 with its checksum off by one
constexpr int kDeviceSteps = 20;   // channels 1, 2, 3

// The texts the program shows and publishes, in UTF-8 here.
constexpr char kReading[] = "Идет считывание данных";
constexpr char kExchangeError[] = "Ошибка обмена";
constexpr char kFormatError[] = "Ошибка: неправильный формат ответа";
constexpr char kCannotOpen[] = "Ошибка: Нельзя открыть   COM-порт";
constexpr char kStopped[] = "Считывание данных остановлено";
constexpr char kNoReply[] = "Нет ответа";
constexpr char kBadReply[] = "Ошибка";
constexpr char kStart[] = "Старт";
constexpr char kStop[] = "Стоп";
constexpr char kPolling[] = "Программа находится в режиме опроса.";

char ExpectedSeparator() {
  const char* separator = std::getenv("QUORVEL_DECIMAL_SEPARATOR");
  return separator != nullptr && separator[0] != '\0' ? separator[0] : '.';
}

// A reading as the program publishes it: the separator of the user's locale.
std::string Reading(std::string text) {
  for (char& c : text) {
    if (c == '.') c = ExpectedSeparator();
  }
  return text;
}

class MainFormTest : public ProgramTest {
 protected:
  void StartPolling() {
    form_.PressStartStop();
    ASSERT_TRUE(WaitPane(kSB1Id, kStop)) << "the button shows " << Pane(kSB1Id);
  }
  void StopPolling() {
    form_.PressStartStop();
    ASSERT_TRUE(WaitPane(kSB1Id, kStart)) << "the button shows " << Pane(kSB1Id);
    EXPECT_TRUE(WaitPane(kRzStatusPane1Id, kStopped)) << Pane(kRzStatusPane1Id);
  }
};

// --- Readings and the decimal separator ------------------------------------

// Run also under a locale with the decimal comma (see the file comment).
using MainFormSeparatorTest = MainFormTest;

TEST_F(MainFormSeparatorTest, EveryReadingReachesTheItemWithTheUserSeparator) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceCounted, 3}})));
  EXPECT_EQ(Request("S1"), Served(kUnread));
  ChildProcess& client = Advise({"S1"});
  ASSERT_NO_FATAL_FAILURE(StartPolling());

  ASSERT_TRUE(WaitUpdates(client, "S1", 3)) << client.Transcript();
  EXPECT_TRUE(WaitPane(kRzStatusPane1Id, kReading)) << Pane(kRzStatusPane1Id);
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  ASSERT_NO_FATAL_FAILURE(StopPolling());
  EXPECT_EQ(Request("S1"), Served(Reading("23.45")));

  // Once the server is gone the client has handled every update it sent: one
  // per request, but for a last request that the stop cut short.
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  EXPECT_TRUE(client.WaitExit(kClientMs)) << client.Transcript();
  const std::vector<std::string> updates = Updates(client, "S1");
  for (const std::string& update : updates) EXPECT_EQ(update, Served(Reading("23.45")));
  const std::size_t requests = LoggedCommands(kDeviceCounted).size();
  EXPECT_TRUE(updates.size() == requests || updates.size() + 1 == requests)
      << updates.size() << " updates for " << requests << " requests";
}

// --- Failed exchanges --------------------------------------------------------

using MainFormPollTest = MainFormTest;

TEST_F(MainFormPollTest, SilentDeviceReadsAsNoReply) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceSilent, 3}})));
  ChildProcess& client = Advise({"S1"});
  ASSERT_NO_FATAL_FAILURE(StartPolling());

  ASSERT_TRUE(WaitUpdates(client, "S1", 2)) << client.Transcript();
  for (const std::string& update : Updates(client, "S1")) EXPECT_EQ(update, Served(kNoReply));
  EXPECT_EQ(Pane(kRzStatusPane1Id), kExchangeError);
  EXPECT_EQ(Pane(kStaticText2Id), kNoReply);
  EXPECT_EQ(Pane(kSB1Id), kStop);
}

TEST_F(MainFormPollTest, BadChecksumReadsAsError) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceBadCrc, 3}})));
  ChildProcess& client = Advise({"S1"});
  ASSERT_NO_FATAL_FAILURE(StartPolling());

  ASSERT_TRUE(WaitUpdates(client, "S1", 2)) << client.Transcript();
  for (const std::string& update : Updates(client, "S1")) EXPECT_EQ(update, Served(kBadReply));
  EXPECT_EQ(Pane(kRzStatusPane1Id), kFormatError);
  EXPECT_EQ(Pane(kStaticText2Id), kBadReply);
}

TEST_F(MainFormPollTest, PortThatCannotBeOpenedStopsAtOnceAndPublishesNothing) {
  config::Settings settings = BaseSettings({{kDeviceAbsent, 3}});
  settings.SetComPort(kCom2);
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  EXPECT_EQ(Pane(kStaticText3Id), "COM2");
  form_.PressStartStop();

  EXPECT_TRUE(WaitPane(kRzStatusPane1Id, kCannotOpen)) << Pane(kRzStatusPane1Id);
  EXPECT_TRUE(WaitPane(kSB1Id, kStart)) << Pane(kSB1Id);
  EXPECT_EQ(Request("S1"), Served(kUnread));
  EXPECT_TRUE(LoggedCommands(kDeviceAbsent).empty());
  // Not polling: the close goes ahead.
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

// A row with step n is asked in cycles n, 2n, 3n, ...: between two requests
// of it come exactly n requests of the row with step 1, which is asked in
// every cycle and first in each.
TEST_F(MainFormPollTest, RowIsAskedEveryStepCycles) {
  config::Settings settings =
      BaseSettings({{kDeviceSteps, 1, 1}, {kDeviceSteps, 2, 2}, {kDeviceSteps, 3, 3}});
  settings.SetTimeOutCycle(0);
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  constexpr std::size_t kCycles = 13;
  ASSERT_TRUE(WaitUntil([&] {
    std::size_t every_cycle = 0;
    for (const std::string& command : LoggedCommands(kDeviceSteps))
      every_cycle += command == "1;1;";
    return every_cycle >= kCycles;
  }));
  ASSERT_NO_FATAL_FAILURE(StopPolling());

  // A request still on the line at the stop may be logged a moment later:
  // what is checked holds for every beginning of the sequence.
  const std::vector<std::string> commands = LoggedCommands(kDeviceSteps);
  std::map<int, int> asked;  // step -> requests
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const int step = commands[i] == "1;1;" ? 1 : commands[i] == "1;2;" ? 2 : 3;
    ASSERT_TRUE(commands[i] == "1;1;" || commands[i] == "1;2;" || commands[i] == "1;3;")
        << commands[i];
    ++asked[step];
    if (step > 1) {
      EXPECT_EQ(asked[1], asked[step] * step)
          << "request " << asked[step] << " of the row with step " << step << " at position " << i;
    }
  }
  const int cycles = asked[1];
  EXPECT_GE(cycles, static_cast<int>(kCycles));
  for (const int step : {2, 3}) {
    EXPECT_TRUE(asked[step] == cycles / step || asked[step] == (cycles - 1) / step)
        << "step " << step << ": " << asked[step] << " requests in " << cycles << " cycles";
  }
}

// --- Stop and close ----------------------------------------------------------

// The stop is pressed while the exchange waits for a reply that never comes:
// the exchange ends at once and its outcome is not published.
TEST_F(MainFormPollTest, StopDuringAnExchangePublishesNothingMore) {
  config::Settings settings = BaseSettings({{kDeviceMute, 3}});
  settings.SetTimeOut(5'000);
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  ChildProcess& client = Advise({"S1"});
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  ASSERT_TRUE(WaitUntil([&] { return !LoggedCommands(kDeviceMute).empty(); }));
  ASSERT_NO_FATAL_FAILURE(StopPolling());

  EXPECT_EQ(Request("S1"), Served(kUnread));
  EXPECT_EQ(Pane(kRzStatusPane1Id), kStopped);
  EXPECT_NE(Pane(kStaticText2Id), kNoReply);
  EXPECT_EQ(LoggedCommands(kDeviceMute).size(), 1u);
  // The poll loop has ended already: the close asks nothing.
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  EXPECT_TRUE(client.WaitExit(kClientMs)) << client.Transcript();
  EXPECT_TRUE(Updates(client, "S1").empty()) << client.Transcript();
}

// Consecutive requests to a device that never answers are the reply time-out
// and the pause between cycles apart. Only a lower bound is checked, with
// room for the program's day factor (400 ms last 397 ms) and for the moment
// the simulator logs a request: without the time-out or without the pause
// the requests would come at most 0.4 s apart.
TEST_F(MainFormPollTest, SilentDeviceIsAskedOncePerTimeOutAndPause) {
  constexpr int kTimeOutMs = 400;
  constexpr int kPauseMs = 300;
  constexpr double kLeastSeconds = 0.55;
  config::Settings settings = BaseSettings({{kDeviceTimed, 3}});
  settings.SetTimeOut(kTimeOutMs);
  settings.SetTimeOutCycle(kPauseMs);
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  ASSERT_TRUE(WaitUntil([&] { return LoggedRequests(kDeviceTimed).size() >= 3; }));
  ASSERT_NO_FATAL_FAILURE(StopPolling());

  const std::vector<LoggedRequest> requests = LoggedRequests(kDeviceTimed);
  for (std::size_t i = 1; i < requests.size(); ++i) {
    EXPECT_GE(requests[i].seconds - requests[i - 1].seconds, kLeastSeconds)
        << "requests " << i << " and " << i + 1;
  }
}

TEST_F(MainFormPollTest, CloseWhilePollingIsRefusedWithAMessageAndPollingGoesOn) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}})));
  ChildProcess& client = Advise({"S1"});
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  ASSERT_TRUE(WaitUpdates(client, "S1", 1)) << client.Transcript();

  form_.Close();
  const HWND dialog = form_.WaitDialog();
  ASSERT_NE(dialog, nullptr) << "no dialog on the close";
  EXPECT_EQ(Utf8(WindowText(dialog)), "Error");
  EXPECT_EQ(Utf8(WindowText(::GetDlgItem(dialog, kMessageTextId))), kPolling);
  const std::vector<HWND> buttons = remote::DialogButtons(dialog);
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_EQ(::GetDlgCtrlID(buttons[0]), IDYES);
  EXPECT_EQ(Utf8(WindowText(buttons[0])), "&Yes");
  EXPECT_TRUE(form_.Running());

  const std::size_t before = Updates(client, "S1").size();
  ASSERT_TRUE(RemoteQuorvel::AnswerDialog(dialog, IDYES));
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the dialog stayed";
  EXPECT_TRUE(WaitUpdates(client, "S1", before + 3)) << "polling did not go on";
  EXPECT_TRUE(form_.Running());
  EXPECT_EQ(Pane(kSB1Id), kStop);
  EXPECT_EQ(Pane(kRzStatusPane1Id), kReading);

  // Stopped, the same close goes ahead.
  ASSERT_NO_FATAL_FAILURE(StopPolling());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

TEST_F(MainFormPollTest, CloseAfterStopSavesTheSettingsAndTheTable) {
  // A settings file with a few keys only: the close writes every one.
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}})));
  ASSERT_TRUE(::DeleteFileA(IniPath().c_str()));
  {
    config::Win32ProfileFile profile(IniPath());
    for (const auto& [section, key, value] : std::vector<std::array<std::string, 3>>{
             {"FORM1", "Form1Top", "200"},
             {"FORM1", "Form1Left", "150"},
             {"SetupForm", "ComPort", std::to_string(kCom3)},
             {"SetupForm", "Speed", std::to_string(kSpeed9600)},
             {"SetupForm", "Channel", "2"},
             {"SetupForm", "TimeOut", "150"},
         }) {
      ASSERT_TRUE(profile.Write(section, key, value));
    }
    profile.Flush();
  }
  ASSERT_NO_FATAL_FAILURE(Launch());
  RECT rect{};
  ASSERT_TRUE(::GetWindowRect(form_.Main(), &rect));
  EXPECT_EQ(rect.left, 150);
  EXPECT_EQ(rect.top, 200);
  // Moved by the user: the new place is saved.
  ASSERT_TRUE(::SetWindowPos(form_.Main(), nullptr, 210, 170, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(WaitUntil([&] {
    ::GetWindowRect(form_.Main(), &rect);
    return rect.left == 210 && rect.top == 170;
  }));

  ASSERT_NO_FATAL_FAILURE(StartPolling());
  ASSERT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  ASSERT_NO_FATAL_FAILURE(StopPolling());
  // The program holds the table: the file it read may go.
  ASSERT_TRUE(::DeleteFileA(TablePath().c_str()));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());

  const std::map<std::string, std::string> expected = {
      {"Form1Top", "170"},     {"Form1Left", "210"},  {"StartUp", "0"},  {"CheckBoxState2", "0"},
      {"CheckBoxState3", "0"}, {"ComPort", "2"},      {"Speed", "5"},    {"Channel", "2"},
      {"TimeOut", "150"},      {"TimeOutCycle", "0"}, {"PaTchFile", ""}, {"Server", "ZORVIK"},
      {"Item", "S"},           {"ActivPage", "0"},    {"Trey", "0"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(SavedSetting(key), value) << key;
  ExpectTableFile({{kDeviceGood, 3}, {kDeviceGood, 4}});
}

// The Stop press shows at once ("Старт", the stopped text), but the poll
// loop it ends returns only when its message pump finds the queue empty: a
// close right behind the press is taken while the loop still runs. Polling
// is over by then, so the close is not refused; the program closes as soon
// as the loop has returned, saving its files first.
TEST_F(MainFormPollTest, CloseRightBehindTheStopClosesOnceTheRunHasEnded) {
  const std::vector<Sensor> sensors = {{kDeviceGood, 3}};
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings(sensors)));
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  ASSERT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  EXPECT_EQ(Pane(kRzStatusPane1Id), kReading);
  // The program holds its settings and its table: only the close writes
  // these files again.
  ASSERT_TRUE(::DeleteFileA(IniPath().c_str()));
  ASSERT_TRUE(::DeleteFileA(TablePath().c_str()));

  form_.PressStartStop();
  form_.Close();
  ASSERT_NO_FATAL_FAILURE(ExpectExitWithoutDialog());

  for (const auto& [key, value] : std::vector<std::array<std::string, 2>>{
           {"ComPort", std::to_string(kCom3)},
           {"Speed", std::to_string(kSpeed9600)},
           {"Channel", "1"},
           {"TimeOut", std::to_string(kShortTimeOutMs)},
           {"TimeOutCycle", "20"},
           {"Server", kTopic},
           {"Item", "S"},
       }) {
    EXPECT_EQ(SavedSetting(key), value) << key;
  }
  ExpectTableFile(sensors);
}

// --- The end of the session --------------------------------------------------

// Windows asks whether the session may end, and is told yes at once; one
// that is called off changes nothing; one that ends saves both files as a
// close does, ends the run with the port closed and releases the program's
// name, with nothing shown.
class MainFormSessionTest : public MainFormTest {
 protected:
  void EndTheSession(bool polling) {
    const std::vector<Sensor> sensors = {{kDeviceGood, 3}, {kDeviceGood, 4}};
    ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings(sensors)));
    if (polling) {
      ASSERT_NO_FATAL_FAILURE(StartPolling());
      ASSERT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
    }
    ASSERT_TRUE(::DeleteFileA(IniPath().c_str()));
    ASSERT_TRUE(::DeleteFileA(TablePath().c_str()));
    ASSERT_NE(::GlobalFindAtomA("Quorvel.exe"), 0);

    const HWND main = form_.Main();
    EXPECT_EQ(remote::Ask(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF),
              std::optional<LRESULT>(TRUE));
    EXPECT_EQ(remote::Ask(main, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF),
              std::optional<LRESULT>(0));
    EXPECT_EQ(::GetFileAttributesA(IniPath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesA(TablePath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Pane(kSB1Id), polling ? kStop : kStart);
    EXPECT_NE(::GlobalFindAtomA("Quorvel.exe"), 0);

    EXPECT_EQ(remote::Ask(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), std::optional<LRESULT>(0));
    // Written before the answer came back: the process may go right after.
    EXPECT_EQ(SavedSetting("Channel"), "2");
    EXPECT_EQ(SavedSetting("TimeOut"), std::to_string(kShortTimeOutMs));
    ExpectTableFile(sensors);
    EXPECT_EQ(::GlobalFindAtomA("Quorvel.exe"), 0) << "the name is still taken";
    if (polling) {
      EXPECT_EQ(Pane(kSB1Id), kStart);
      EXPECT_EQ(Pane(kRzStatusPane1Id), kStopped);
      // The request written last before the end may reach the simulator's
      // log only now; a run that went on would add dozens in the time.
      const std::size_t asked = LoggedCommands(kDeviceGood).size();
      EXPECT_TRUE(form_.Answers(2'000));
      EXPECT_LE(LoggedCommands(kDeviceGood).size(), asked + 1) << "polling went on";
    }
    EXPECT_EQ(form_.FindDialog(), nullptr)
        << Utf8(RemoteQuorvel::DialogMessage(form_.FindDialog()));
  }
};

TEST_F(MainFormSessionTest, SessionEndWhileIdleSavesTheFilesWithNothingShown) {
  EndTheSession(/*polling=*/false);
}

TEST_F(MainFormSessionTest, SessionEndWhilePollingEndsTheRunAndSavesTheFiles) {
  EndTheSession(/*polling=*/true);
}

// --- A table file that fails to load ----------------------------------------------

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program loads the default table in silence and saves it at the close;
// each file that failed to load is kept beside it under a name of its own.
TEST_F(MainFormPollTest, TableFileThatFailsToLoadIsKeptBesideIt) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}})));
  std::vector<std::string> damaged;
  for (const char* kept : {"DDEConf.dde.bad", "DDEConf.dde.bad2"}) {
    SCOPED_TRACE(kept);
    std::string bytes = ReadBytes(TablePath());
    ASSERT_GT(bytes.size(), 4u);
    bytes[0] = static_cast<char>(bytes[0] ^ 0x01);  // the first record's tag
    std::ofstream(TablePath(), std::ios::binary | std::ios::trunc) << bytes;
    config::SensorTable check;
    ASSERT_NE(config::LoadSensorTable(check, TablePath()), std::nullopt) << "still loads";
    damaged.push_back(bytes);

    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"S1", u"S2"}));
    ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
    EXPECT_EQ(ReadBytes(folder_ + kept), bytes);
    ExpectTableFile({{1, 0}, {1, 0}});  // the default table, saved
  }
  EXPECT_EQ(ReadBytes(folder_ + "DDEConf.dde.bad"), damaged[0]) << "overwritten";
}

// --- The status bar, the hint, the manifest -------------------------------------

// Where a window stands in its parent's client area.
RECT PlaceInParent(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(/*hWndFrom=*/nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

// Whether a module whose path holds `part` (in any case) is loaded in the
// process.
bool LoadsModule(HANDLE process, std::wstring part) {
  std::vector<HMODULE> modules(512);
  DWORD needed = 0;
  if (!::K32EnumProcessModules(process, modules.data(),
                               static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
    return false;
  }
  modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
  std::transform(part.begin(), part.end(), part.begin(), ::towlower);
  for (const HMODULE module : modules) {
    wchar_t path[MAX_PATH] = {};
    ::K32GetModuleFileNameExW(process, module, path, MAX_PATH);
    std::wstring lowered(path);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), ::towlower);
    if (lowered.find(part) != std::wstring::npos) return true;
  }
  return false;
}

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(MainFormPollTest, StatusBarIsAFlatBarHoldingTheClockAndStatusPanes) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}})));
  const HWND bar = ::GetDlgItem(form_.Main(), kRzStatusBar1Id);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(ClassOf(bar), kStatusBarClass);
  EXPECT_TRUE(PlaceInParent(bar) == (RECT{0, 35, 337, 54}));
  const LONG_PTR style = ::GetWindowLongPtrW(bar, GWL_STYLE);
  const LONG_PTR ex_style = ::GetWindowLongPtrW(bar, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME), 0);
  EXPECT_EQ(ex_style & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE), 0);

  const HWND clock = form_.Control(kRzClockStatus1Id);
  const HWND status = form_.Control(kRzStatusPane1Id);
  EXPECT_EQ(::GetParent(clock), bar);
  EXPECT_EQ(::GetParent(status), bar);
  EXPECT_TRUE(PlaceInParent(clock) == (RECT{0, 0, 57, 19}));
  EXPECT_TRUE(PlaceInParent(status) == (RECT{57, 0, 337, 19}));
  EXPECT_EQ(Pane(kRzStatusPane1Id), "Программа готова к работе");
}

// The program's manifest, as the system's own parser reads it.
TEST_F(MainFormPollTest, ManifestAsksForCommonControls6AndNamesTheSystems) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceGood, 3}})));
  const std::string program = folder_ + "Quorvel.exe";
  const HMODULE image = ::LoadLibraryExA(program.c_str(), /*hFile=*/nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  const HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr) << "no manifest";
  const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(image, found)));
  const std::string manifest(bytes, ::SizeofResource(image, found));
  ::FreeLibrary(image);
  for (const char* part : {
           R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
           R"(WindowsSettings">false</dpiAware>)",
           R"(WindowsSettings">true</gdiScaling>)",
       }) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  ACTCTXA context{};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = program.c_str();
  context.lpResourceName = MAKEINTRESOURCEA(1);
  const HANDLE activation = ::CreateActCtxA(&context);
  EXPECT_NE(activation, INVALID_HANDLE_VALUE) << "refused, error " << ::GetLastError();
  if (activation != INVALID_HANDLE_VALUE) ::ReleaseActCtx(activation);
}

// The port pane's hint, registered with the tooltip of common controls 6
// (whose tool-info structure the program passes), as a balloon.
TEST_F(MainFormPollTest, PortHintIsRegisteredAsABalloonWithItsText) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}})));
  EXPECT_TRUE(LoadsModule(form_.Process(), L"common-controls_6595b64144ccf1df_6.0"))
      << "common controls 6 are not in use";
  // The main window's tooltip: the settings dialog, made at start, has its own.
  struct Search {
    HWND owner;
    HWND tip = nullptr;
  } search{form_.Main()};
  ::EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        auto& search = *reinterpret_cast<Search*>(found);
        if (::GetWindow(window, GW_OWNER) != search.owner || ClassOf(window) != TOOLTIPS_CLASSW) {
          return TRUE;
        }
        search.tip = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  const HWND tip = search.tip;
  ASSERT_NE(tip, nullptr);
  EXPECT_NE(::GetWindowLongPtrW(tip, GWL_STYLE) & TTS_BALLOON, 0);
  EXPECT_EQ(remote::Ask(tip, TTM_GETTOOLCOUNT, 0, 0), std::optional<LRESULT>(1));

  // The tool's text, read through a buffer in the program's memory.
  constexpr std::size_t kTextChars = 128;
  struct Remote {
    TTTOOLINFOW info;
    wchar_t text[kTextChars];
  };
  const RemoteBlock<Remote> block(form_.Process());
  ASSERT_NE(block.Remote(), nullptr);
  Remote local{};
  local.info.cbSize = sizeof local.info;
  local.info.lpszText = block.Remote()->text;
  ASSERT_TRUE(block.Write(local));
  EXPECT_EQ(remote::Ask(tip, TTM_ENUMTOOLSW, 0, block.Argument()), std::optional<LRESULT>(TRUE));
  ASSERT_TRUE(block.Read(local));
  local.text[kTextChars - 1] = L'\0';
  EXPECT_EQ(Utf8(reinterpret_cast<const char16_t*>(local.text)), "Занятый программой СОМ порт");
  EXPECT_NE(local.info.uFlags & TTF_IDISHWND, 0u);
  EXPECT_EQ(reinterpret_cast<HWND>(local.info.uId), form_.Control(kStaticText3Id));
}

// --- The forms' captions as DDE topics ---------------------------------------

// A client may name the caption of any of the three forms as the topic,
// shown or not: the conversation is made, and nothing is served through it.
TEST_F(MainFormPollTest, FormCaptionsAreTopicsThatServeNothing) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}})));
  for (const char* utf8 : {"Quorvel v.2.1", "Настройки", "О программе"}) {
    const std::string topic = cp1251::FromUtf8(utf8);
    SCOPED_TRACE(utf8);
    // Exit code 3 is "no conversation", 4 "refused by the server".
    const auto run = [&](const std::vector<std::string>& arguments) {
      ChildProcess client;
      std::string error;
      EXPECT_TRUE(client.Start(ClientPath(), arguments, &error)) << error;
      const std::optional<DWORD> code = client.WaitExit(kClientMs);
      client.Kill();
      return std::make_pair(code, client.OutputLines());
    };
    auto [code, out] = run({"request", kService, topic, "S1"});
    EXPECT_EQ(code, std::optional<DWORD>(4));
    std::tie(code, out) = run({"advise", "--count", "1", kService, topic, "S1"});
    EXPECT_EQ(code, std::optional<DWORD>(4));
    std::tie(code, out) = run({"poke", kService, topic, "S1", "5"});
    EXPECT_EQ(code, std::optional<DWORD>(4));
    EXPECT_EQ(out, std::vector<std::string>{"poke: not processed"});
    std::tie(code, out) = run({"execute", kService, topic, "[run]"});
    EXPECT_EQ(code, std::optional<DWORD>(4));
    EXPECT_EQ(out, std::vector<std::string>{"execute: not processed"});
  }
  EXPECT_EQ(Request("S1"), Served(kUnread)) << "the poke reached the item";
}

// --- The sensor selector -----------------------------------------------------

TEST_F(MainFormPollTest, SelectorListsTheTableAndShowsTheChosenSensor) {
  ASSERT_NO_FATAL_FAILURE(
      PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}, {kDeviceGood, 5}})));
  const std::vector<std::u16string> names = form_.SensorNames();
  EXPECT_EQ(names, (std::vector<std::u16string>{u"S1", u"S2", u"S3"}));
  EXPECT_EQ(form_.ChosenSensor(), 0);
  // Before polling an item holds its placeholder.
  form_.ChooseSensor(1);
  EXPECT_TRUE(WaitPane(kStaticText2Id, kUnread)) << Pane(kStaticText2Id);

  ASSERT_NO_FATAL_FAILURE(StartPolling());
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("7.5"))) << Pane(kStaticText2Id);
  form_.ChooseSensor(2);
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("-1.25"))) << Pane(kStaticText2Id);
  form_.ChooseSensor(0);
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  EXPECT_EQ(form_.ChosenSensor(), 0);
}

// --- Names ---------------------------------------------------------------------

TEST_F(MainFormPollTest, TopicAndItemPrefixComeFromTheSettings) {
  config::Settings settings = BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}}, "T");
  settings.SetTopic("PLANT");
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings));
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"T1", u"T2"}));
  EXPECT_EQ(Request("T2", "PLANT"), Served(kUnread));

  ASSERT_NO_FATAL_FAILURE(StartPolling());
  form_.ChooseSensor(1);
  ASSERT_TRUE(WaitPane(kStaticText2Id, Reading("7.5"))) << Pane(kStaticText2Id);
  EXPECT_EQ(Request("T2", "PLANT"), Served(Reading("7.5")));
  EXPECT_TRUE(Refused("S1", "PLANT"));
  EXPECT_TRUE(Refused("T1", kTopic));
}

// --- Start-up ----------------------------------------------------------------

TEST_F(MainFormPollTest, AutoStartPollsWithoutAPress) {
  config::Settings settings = BaseSettings({{kDeviceGood, 3}});
  settings.SetAutoPoll(true);
  ASSERT_NO_FATAL_FAILURE(Prepare(settings));
  std::string error;
  ASSERT_TRUE(form_.Start(folder_, /*arguments=*/"", &error)) << error;

  EXPECT_TRUE(WaitPane(kSB1Id, kStop)) << Pane(kSB1Id);
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  EXPECT_TRUE(WaitPane(kRzStatusPane1Id, kReading)) << Pane(kRzStatusPane1Id);
  EXPECT_EQ(Request("S1"), Served(Reading("23.45")));
  EXPECT_FALSE(LoggedCommands(kDeviceGood).empty());
}

TEST_F(MainFormPollTest, PortPaneAndClockShowAtStart) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}})));
  EXPECT_EQ(Pane(kStaticText3Id), "COM3");
  EXPECT_EQ(Pane(kSB1Id), kStart);
  EXPECT_EQ(Utf8(WindowText(form_.Main())), "Quorvel v.2.1");
  // "h:nn:ss", the hour without a leading zero.
  const std::string clock = Pane(kRzClockStatus1Id);
  const std::size_t colon = clock.find(':');
  ASSERT_TRUE(colon == 1 || colon == 2) << clock;
  EXPECT_EQ(clock.size(), colon + 6) << clock;
  EXPECT_EQ(clock[colon + 3], ':') << clock;
}

// --- The settings switch -------------------------------------------------------

bool Greyed(const std::optional<UINT>& state) {
  return state && (*state & (MF_GRAYED | MF_DISABLED)) != 0;
}
bool Enabled(const std::optional<UINT>& state) {
  return state && (*state & (MF_GRAYED | MF_DISABLED)) == 0;
}

TEST_F(MainFormPollTest, SwitchUnlocksTheSettingsItemExceptWhilePolling) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}}), "/k"));
  EXPECT_TRUE(Enabled(MenuItemState(form_, kSetup1Id)));
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  EXPECT_TRUE(Greyed(MenuItemState(form_, kSetup1Id)));
  ASSERT_NO_FATAL_FAILURE(StopPolling());
  EXPECT_TRUE(WaitUntil([&] { return Enabled(MenuItemState(form_, kSetup1Id)); }));
}

TEST_F(MainFormPollTest, WithoutTheSwitchTheSettingsItemStaysLockedAfterARun) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{kDeviceGood, 3}})));
  EXPECT_TRUE(Greyed(MenuItemState(form_, kSetup1Id)));
  ASSERT_NO_FATAL_FAILURE(StartPolling());
  EXPECT_TRUE(WaitPane(kStaticText2Id, Reading("23.45"))) << Pane(kStaticText2Id);
  ASSERT_NO_FATAL_FAILURE(StopPolling());
  // The stop's texts show from inside the poll loop, which ends as soon as
  // the program has handled what waited in its queue then; the probe is
  // posted only after they were seen.
  EXPECT_TRUE(Greyed(MenuItemState(form_, kSetup1Id)));
  // The run has ended: the close goes ahead without a question.
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

}  // namespace
}  // namespace quorvel::testing
