// Quorvel.exe's settings dialog as its user sees it, driven from this program
// (tests/win/setup_driver_win.h), the program's DDE items read by DdeClient.exe
// processes, its line speed read from the simulator's log. The run that
// tests/wine/CMakeLists.txt sets up:
//   COM3  the simulator, devices 5 and 7 (channel 3: 23.45)
//   COM4  nothing: chosen here, never opened
// Each test starts its own copy of the program with "/k", which unlocks the
// dialog, in a folder of its own, and ends it by its handle unless closing it
// is part of the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1251.h"
#include "config/profile_file_win.h"
#include "config/sensor_table.h"
#include "config/settings.h"
#include "config/start_with_windows.h"
#include "config/table_file.h"
#include "tests/win/crash_exit_win.h"
#include "tests/win/dde_child_win.h"
#include "tests/win/dde_text.h"
#include "tests/win/form_driver_win.h"
#include "tests/win/setup_driver_win.h"
#include "tests/win/wine_run.h"
#include "tools/remote/message_wait_win.h"
#include "tools/remote/quorvel_remote_win.h"
#include "ui/main_form_ids.h"
#include "ui/message_dialog_win.h"
#include "ui/setup_form_ids.h"

namespace quorvel::testing {
namespace {

using namespace quorvel::ui;
using remote::RemoteQuorvel;
using remote::Utf8;
using remote::WindowText;

// Choices of the port and speed lists (index 0 is COM1, 300 bit/s).
constexpr int kCom3 = 2;
constexpr int kCom4 = 3;
constexpr int kSpeed9600 = 5;
constexpr int kSpeed19200 = 6;

constexpr int kDeviceGood = 5;
constexpr int kDeviceCounted = 7;

constexpr DWORD kClientMs = 30'000;
constexpr char kService[] = "Quorvel";
constexpr char kTopic[] = "ZORVIK";
constexpr char kUnread[] = " --.-";
// Channel 3 of the devices, as published under the run's locale (C.UTF-8).
constexpr char kReading[] = "23.45";
constexpr char kRequestFailed[] = "<request failed>";
constexpr char kNotNumeric[] = "Все параметры должны быть численными!";
constexpr char kNoWorkbook[] =
    "Небыл указан файл Excel для запуска!\rУберите галочку или укажите путь и имя файла.";

bool WaitUntil(const std::function<bool()>& condition) {
  return remote::PumpUntil(condition, remote::kProgramWaitMs);
}

std::u16string Shown(std::string_view utf8) {
  return cp1251::ToUtf16(cp1251::FromUtf8(utf8));
}

// The bytes, in UTF-8, that a DDE client receives for an item of one line.
std::string Served(std::string_view utf8) {
  std::string bytes(utf8);
  bytes += "\r\n";
  bytes.push_back('\0');
  return bytes;
}

struct Sensor {
  int address;
  int channel;
  int step = 1;
};

config::SensorTable MakeTable(const std::vector<Sensor>& sensors) {
  config::SensorTable table;
  const int count = static_cast<int>(sensors.size());
  config::ResetSensorTable(table, "S", count);
  for (int row = 1; row <= count; ++row) {
    const Sensor& sensor = sensors[static_cast<std::size_t>(row - 1)];
    config::SetRowName(table, row, "S");
    table.SetCell(1, row, std::to_string(sensor.address));
    table.SetCell(2, row, std::to_string(sensor.channel));
    table.SetCell(3, row, std::to_string(sensor.step));
  }
  return table;
}

config::Settings BaseSettings(const std::vector<Sensor>& sensors) {
  config::Settings settings;
  settings.SetComPort(kCom3);
  settings.SetSpeed(kSpeed9600);
  settings.SetSensorCount(static_cast<int>(sensors.size()));
  settings.SetTimeOut(150);
  settings.SetTimeOutCycle(20);
  settings.table() = MakeTable(sensors);
  return settings;
}

// A request of the simulator's log: its device and the line speed the
// program had set ("... addr=A cmd=CMD answer=W line=L sent=S").
struct LoggedRequest {
  int address = -1;
  std::string line;
};

std::optional<LoggedRequest> ParseLogLine(const std::string& text) {
  const std::size_t addr = text.find(" addr=");
  const std::size_t line = text.find(" line=");
  if (addr == std::string::npos || line == std::string::npos) return std::nullopt;
  const std::size_t end = text.find(' ', line + 1);
  return LoggedRequest{static_cast<int>(std::strtol(text.c_str() + addr + 6, nullptr, 10)),
                       text.substr(line + 6, end == std::string::npos ? end : end - line - 6)};
}

// The text of a message box of the program: the message dialog's, or the
// first static with text in a system message box.
std::string MessageOf(HWND box) {
  if (::GetDlgItem(box, kMessageTextId) != nullptr) {
    return Utf8(RemoteQuorvel::DialogMessage(box));
  }
  std::string text;
  ::EnumChildWindows(
      box,
      [](HWND child, LPARAM out) -> BOOL {
        wchar_t name[16] = {};
        ::GetClassNameW(child, name, static_cast<int>(std::size(name)));
        auto& found = *reinterpret_cast<std::string*>(out);
        if (::lstrcmpiW(name, L"Static") == 0) found = Utf8(WindowText(child));
        return found.empty();
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

// The data of the program's Run value, nothing when there is none.
std::optional<std::string> RunValue() {
  char data[MAX_PATH * 2] = {};
  DWORD size = sizeof data;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, config::kRunKey, "Quorvel.exe", RRF_RT_REG_SZ,
                     /*pdwType=*/nullptr, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(data);
}

void DeleteRunValue() {
  ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, config::kRunKey, "Quorvel.exe");
}

// The test process shares the registry of the run's Wine prefix: a test that
// lets the program register itself starts and ends without the value.
struct RunValueCleanup {
  RunValueCleanup() { DeleteRunValue(); }
  ~RunValueCleanup() { DeleteRunValue(); }
  RunValueCleanup(const RunValueCleanup&) = delete;
  RunValueCleanup& operator=(const RunValueCleanup&) = delete;
};

[[maybe_unused]] const bool g_exit_on_crash = ExitOnCrash();

class SetupFormTest : public ::testing::Test {
 protected:
  void SetUp() override { log_start_ = SimulatorLog().size(); }

  void TearDown() override {
    for (auto& client : clients_) client->Kill();
    form_.Terminate();
  }

  void Prepare(const config::Settings& settings) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string error;
    const std::optional<std::string> folder =
        ProgramFolder(std::string(test->test_suite_name()) + "." + test->name(), &error);
    ASSERT_TRUE(folder) << error;
    folder_ = *folder;
    ASSERT_TRUE(remote::PrepareFolder(ProgramPath(), folder_, settings, &error)) << error;
  }

  void Launch() {
    std::string error;
    ASSERT_TRUE(form_.Start(folder_, "/k", &error)) << error;
  }

  void PrepareAndOpen(const config::Settings& settings) {
    ASSERT_NO_FATAL_FAILURE(Prepare(settings));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(setup_.Open()) << "the settings dialog did not show";
  }

  std::string Pane(int id) const { return Utf8(form_.ControlText(id)); }
  bool WaitPane(int id, std::string_view utf8) const {
    return form_.WaitControlText(id, Shown(utf8));
  }

  // Polls until `done` holds.
  void Poll(const std::function<bool()>& done) {
    form_.PressStartStop();
    ASSERT_TRUE(form_.WaitPolling(true)) << Pane(kSB1Id);
    EXPECT_TRUE(WaitUntil(done));
    ASSERT_TRUE(form_.StopPolling());
  }
  void PollUntilLogged(int address, std::size_t requests) {
    Poll([&] { return LoggedRequests(address).size() >= requests; });
  }

  std::vector<LoggedRequest> LoggedRequests(int address) const {
    std::vector<LoggedRequest> requests;
    const std::vector<std::string> log = SimulatorLog();
    for (std::size_t i = log_start_; i < log.size(); ++i) {
      const std::optional<LoggedRequest> request = ParseLogLine(log[i]);
      if (request && request->address == address) requests.push_back(*request);
    }
    return requests;
  }

  // After OK or the close box: the message box shown, null when the dialog
  // closed instead.
  HWND WaitForBoxOrClose() {
    HWND box = nullptr;
    WaitUntil([&] {
      box = form_.FindDialog();
      return (box != nullptr && ::IsWindowVisible(box)) || !setup_.Showing();
    });
    return box;
  }
  HWND PressOk() {
    setup_.Click(kOkB1Id);
    return WaitForBoxOrClose();
  }
  HWND PressCloseBox() {
    setup_.CloseBox();
    return WaitForBoxOrClose();
  }

  // Answers a message box and expects the dialog still there once the
  // handler that showed the box has returned (a question asked of the
  // dialog is answered only then).
  void Dismiss(HWND box, int button) {
    ASSERT_TRUE(RemoteQuorvel::AnswerDialog(box, button));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    setup_.Tab();
    EXPECT_EQ(form_.FindDialog(), nullptr) << MessageOf(form_.FindDialog());
    EXPECT_TRUE(setup_.Showing()) << "the dialog closed";
  }

  void ExpectWarning(HWND box, std::string_view text, int button, std::string_view button_text) {
    ASSERT_NE(box, nullptr) << "no warning";
    EXPECT_EQ(Utf8(WindowText(box)), "Warning");
    EXPECT_EQ(MessageOf(box), text);
    const std::vector<HWND> buttons = remote::DialogButtons(box);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(::GetDlgCtrlID(buttons[0]), button);
    EXPECT_EQ(Utf8(WindowText(buttons[0])), button_text);
  }

  void CloseProgram() {
    form_.Close();
    const RemoteQuorvel::Ending ending = form_.WaitExitOrDialog();
    ASSERT_EQ(ending.exit_code, std::optional<DWORD>(0)) << RemoteQuorvel::Describe(ending);
  }

  std::string SavedSetting(const std::string& key) const {
    config::Win32ProfileFile profile(folder_ + "Quorvel.ini");
    return profile.Read("SetupForm", key, "<missing>");
  }

  // --- DDE, through DdeClient.exe processes ---

  static std::string ClientPath() {
    return ExecutableDirectory() + "..\\..\\tools\\dde_client\\DdeClient.exe";
  }

  ChildProcess& Advise(const std::string& item) {
    clients_.push_back(std::make_unique<ChildProcess>());
    ChildProcess& client = *clients_.back();
    std::string error;
    EXPECT_TRUE(client.Start(ClientPath(), {"advise", kService, kTopic, item}, &error)) << error;
    EXPECT_TRUE(
        client.WaitLine([&](const std::string& l) { return l == "linked " + item; }, kClientMs))
        << client.Transcript();
    return client;
  }

  static std::vector<std::string> Updates(const ChildProcess& client, const std::string& item) {
    std::vector<std::string> updates;
    for (const std::string& line : client.OutputLines()) {
      if (line.find(" " + item + " = ") == std::string::npos) continue;
      updates.push_back(cp1251::ToUtf8(QuotedBytes(line).value_or("<bad line>")));
    }
    return updates;
  }

  // The item's text served to a request, in UTF-8, or kRequestFailed.
  std::string Request(const std::string& item, const std::string& topic = kTopic) {
    ChildProcess client;
    std::string error;
    if (!client.Start(ClientPath(), {"request", kService, topic, item}, &error)) {
      return kRequestFailed + (" " + error);
    }
    const std::optional<DWORD> code = client.WaitExit(kClientMs);
    client.Kill();
    const std::vector<std::string> out = client.OutputLines();
    if (code != std::optional<DWORD>(0) || out.size() != 1 || !QuotedBytes(out[0])) {
      return kRequestFailed;
    }
    return cp1251::ToUtf8(*QuotedBytes(out[0]));
  }

  RemoteQuorvel form_;
  SetupDriver setup_{form_};
  std::string folder_;
  std::size_t log_start_ = 0;
  std::vector<std::unique_ptr<ChildProcess>> clients_;
};

// --- Placement -----------------------------------------------------------------

TEST_F(SetupFormTest, OpensDirectlyBelowTheMainWindowWhereverItIs) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceGood, 3}})));
  ASSERT_NO_FATAL_FAILURE(Launch());
  for (const POINT moved : {POINT{-1, -1}, POINT{150, 90}}) {
    if (moved.x >= 0) {
      ASSERT_TRUE(::SetWindowPos(form_.Main(), nullptr, moved.x, moved.y, 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    }
    RECT main{};
    ASSERT_TRUE(WaitUntil([&] {
      ::GetWindowRect(form_.Main(), &main);
      return moved.x < 0 || (main.left == moved.x && main.top == moved.y);
    }));
    ASSERT_TRUE(setup_.Open());
    EXPECT_EQ(Utf8(WindowText(setup_.Handle())), "Настройки");
    EXPECT_EQ(::GetWindow(setup_.Handle(), GW_OWNER), form_.Main());
    RECT dialog{};
    ASSERT_TRUE(::GetWindowRect(setup_.Handle(), &dialog));
    EXPECT_EQ(dialog.left, main.left) << "main window at " << main.left << "," << main.top;
    EXPECT_EQ(dialog.top, main.bottom) << "main window at " << main.left << "," << main.top;
    setup_.CloseBox();
    ASSERT_TRUE(setup_.WaitClosed());
  }
}

// --- DDE names -----------------------------------------------------------------

// OK starts every value again from " --.-", which a linked client sees. The
// table's names follow the prefix box at once, and the close box shows them
// in the main window's list; the DDE items take the prefix on OK only.
TEST_F(SetupFormTest, OkResetsTheValuesAndTheItemsTakeThePrefixOnlyThen) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 3}})));
  ASSERT_NO_FATAL_FAILURE(Launch());
  ChildProcess& client = Advise("S1");
  // The client's updates of S1 are more than `count`, the last one `value`.
  const auto updated = [&](std::size_t count, std::string value) {
    return [&client, count, value = std::move(value)] {
      const std::vector<std::string> updates = Updates(client, "S1");
      return updates.size() > count && updates.back() == Served(value);
    };
  };
  ASSERT_NO_FATAL_FAILURE(Poll(updated(0, kReading)));
  const std::size_t before = Updates(client, "S1").size();
  ASSERT_TRUE(setup_.Open());
  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_TRUE(WaitUntil(updated(before, kUnread))) << client.Transcript();
  EXPECT_EQ(Request("S2"), Served(kUnread));

  ASSERT_NO_FATAL_FAILURE(Poll(updated(Updates(client, "S1").size(), kReading)));
  ASSERT_TRUE(setup_.Open());
  ASSERT_TRUE(setup_.SetText(kRzEdit2Id, u"T"));
  setup_.CloseBox();
  ASSERT_TRUE(setup_.WaitClosed());
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"T1", u"T2"}));
  EXPECT_EQ(Request("S1"), Served(kReading));
  EXPECT_EQ(Request("T1"), kRequestFailed);

  ASSERT_TRUE(setup_.Open());
  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  for (const char* item : {"T1", "T2", "T500"}) EXPECT_EQ(Request(item), Served(kUnread)) << item;
  EXPECT_EQ(Request("S1"), kRequestFailed);
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"T1", u"T2"}));
}

// OK with a prefix that names no item: the general error report; once it is
// answered the topic takes its new name, the items keep theirs and the
// dialog stays open.
TEST_F(SetupFormTest, RefusedPrefixIsReportedAndTheTopicStillChanges) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  ASSERT_TRUE(setup_.SetText(kRzEdit1Id, u"PLANT"));
  ASSERT_TRUE(setup_.SetText(kRzEdit2Id, u""));
  const HWND box = PressOk();
  ASSERT_NE(box, nullptr) << "the dialog closed";
  EXPECT_EQ(Utf8(WindowText(box)), "Quorvel v.2.1");
  EXPECT_EQ(MessageOf(box), "''1'' is not a valid component name.");
  ASSERT_NO_FATAL_FAILURE(Dismiss(box, IDOK));
  EXPECT_EQ(Request("S1", "PLANT"), Served(kUnread));
  EXPECT_EQ(Request("S1", kTopic), kRequestFailed);
}

// --- OK and the close box with something missing --------------------------------

// Grid edits commit on Enter; an emptied cell makes OK and the close box
// warn and keeps the dialog open, OK changing nothing, the close box having
// rebuilt the main window's list already.
TEST_F(SetupFormTest, EmptyCellMakesOkAndTheCloseBoxWarn) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}})));
  ASSERT_TRUE(setup_.TypeIntoCell(3, 1, u"42"));
  EXPECT_EQ(setup_.Cell(3, 1), std::optional<std::u16string>(u"42"));
  ASSERT_TRUE(setup_.TypeIntoCell(1, 2, u"7\b"));
  EXPECT_EQ(setup_.Cell(1, 2), std::optional<std::u16string>(u""));
  ASSERT_TRUE(setup_.SetText(kRzEdit2Id, u"T"));

  HWND box = PressOk();
  ASSERT_NO_FATAL_FAILURE(ExpectWarning(box, kNotNumeric, IDCANCEL, "Cancel"));
  EXPECT_EQ(Request("S1"), Served(kUnread));
  EXPECT_EQ(Request("T1"), kRequestFailed);
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"S1", u"S2"}));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box, IDCANCEL));

  box = PressCloseBox();
  ASSERT_NO_FATAL_FAILURE(ExpectWarning(box, kNotNumeric, IDCANCEL, "Cancel"));
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"T1", u"T2"}));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box, IDCANCEL));

  // Mended, the close box closes.
  ASSERT_TRUE(setup_.TypeIntoCell(1, 2, u"5"));
  EXPECT_EQ(PressCloseBox(), nullptr);
  EXPECT_TRUE(setup_.WaitClosed());
}

TEST_F(SetupFormTest, WorkbookOptionWithoutAFileWarnsAfterTheNamesWereApplied) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  setup_.Click(kSetupCB3Id);
  ASSERT_TRUE(WaitUntil([&] { return setup_.Checked(kSetupCB3Id); }));
  EXPECT_EQ(setup_.Text(kRBE1Id), u"");
  ASSERT_TRUE(setup_.SetText(kRzEdit2Id, u"T"));

  const HWND box = PressOk();
  ASSERT_NO_FATAL_FAILURE(ExpectWarning(box, kNoWorkbook, IDOK, "OK"));
  EXPECT_EQ(Request("T1"), Served(kUnread));
  EXPECT_EQ(Request("S1"), kRequestFailed);
  ASSERT_NO_FATAL_FAILURE(Dismiss(box, IDOK));

  setup_.Click(kSetupCB3Id);
  ASSERT_TRUE(WaitUntil([&] { return !setup_.Checked(kSetupCB3Id); }));
  EXPECT_EQ(PressOk(), nullptr);
  EXPECT_TRUE(setup_.WaitClosed());
}

// --- The port --------------------------------------------------------------------

// The port pane follows the port list at once; the speed chosen is the one
// the port is opened with next. Each run asks a device of its own, so a
// request of the first that the stop cut short cannot be taken for one of
// the second.
TEST_F(SetupFormTest, ChosenSpeedIsTheSpeedOfTheNextOpen) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceCounted, 3}})));
  ASSERT_NO_FATAL_FAILURE(Launch());
  ASSERT_NO_FATAL_FAILURE(PollUntilLogged(kDeviceCounted, 2));

  ASSERT_TRUE(setup_.Open());
  EXPECT_EQ(setup_.Chosen(kSpeedCBId), kSpeed9600);
  setup_.Choose(kCOMCBId, kCom4);
  EXPECT_TRUE(WaitPane(kStaticText3Id, "COM4")) << Pane(kStaticText3Id);
  setup_.Choose(kCOMCBId, kCom3);
  EXPECT_TRUE(WaitPane(kStaticText3Id, "COM3")) << Pane(kStaticText3Id);
  setup_.Choose(kSpeedCBId, kSpeed19200);
  ASSERT_TRUE(setup_.TypeIntoCell(1, 1, u"5"));
  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_NO_FATAL_FAILURE(PollUntilLogged(kDeviceGood, 2));

  for (const auto& [address, speed] :
       std::vector<std::pair<int, std::string>>{{kDeviceCounted, "9600"}, {kDeviceGood, "19200"}}) {
    const std::vector<LoggedRequest> requests = LoggedRequests(address);
    EXPECT_FALSE(requests.empty()) << "device " << address;
    for (const LoggedRequest& request : requests) EXPECT_EQ(request.line, speed) << address;
  }
}

// --- Start with Windows ----------------------------------------------------------

TEST_F(SetupFormTest, StartWithWindowsWritesTheRunValueAndDeletesItOnlyIfThere) {
  const RunValueCleanup cleanup;
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  const std::optional<std::string> path = folder_ + "Quorvel.exe";
  EXPECT_FALSE(setup_.Checked(kSetupCB1Id));
  // Once the box shows the click's effect its handler has returned, or shows
  // a message box (see setup_driver_win.h).
  const auto toggle = [&](bool checked) {
    setup_.Click(kSetupCB1Id);
    ASSERT_TRUE(WaitUntil([&] { return setup_.Checked(kSetupCB1Id) == checked; }));
    const HWND box = form_.FindDialog();
    EXPECT_EQ(box, nullptr) << MessageOf(box);
  };

  ASSERT_NO_FATAL_FAILURE(toggle(true));
  EXPECT_EQ(RunValue(), path);
  ASSERT_NO_FATAL_FAILURE(toggle(false));
  EXPECT_EQ(RunValue(), std::nullopt);
  ASSERT_NO_FATAL_FAILURE(toggle(true));
  EXPECT_EQ(RunValue(), path);
  // Gone already: unchecking says nothing.
  DeleteRunValue();
  ASSERT_NO_FATAL_FAILURE(toggle(false));
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_TRUE(setup_.Showing());
}

// --- The sensor count ------------------------------------------------------------

TEST_F(SetupFormTest, RaisedCountInitialisesRowsFromTheOldLastAndLoweredKeepsRows) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(
      BaseSettings({{kDeviceGood, 3, 1}, {kDeviceGood, 4, 2}, {kDeviceCounted, 3, 3}})));
  EXPECT_EQ(setup_.Text(kSE1Id), u"3");
  const auto row = [&](int r) {
    std::u16string cells;
    for (int col = 1; col <= 3; ++col) cells += setup_.Cell(col, r).value_or(u"<none>") + u";";
    return Utf8(cells);
  };

  ASSERT_TRUE(setup_.SetText(kSE1Id, u"5"));
  EXPECT_EQ(row(1), "5;3;1;");
  EXPECT_EQ(row(2), "5;4;2;");
  for (const int r : {3, 4, 5}) EXPECT_EQ(row(r), "1;0;1;") << "row " << r;
  for (const char16_t* text : {u"x", u"0", u"501", u""}) {
    ASSERT_TRUE(setup_.SetText(kSE1Id, text));
    EXPECT_TRUE(setup_.SelectCell(1, 5)) << Utf8(text);
    EXPECT_FALSE(setup_.SelectCell(1, 6)) << Utf8(text);
  }
  // A number again before the box can lose the focus, which would hold it
  // within range.
  ASSERT_TRUE(setup_.SetText(kSE1Id, u"5"));
  ASSERT_TRUE(setup_.TypeIntoCell(1, 4, u"9"));
  ASSERT_TRUE(setup_.SetText(kSE1Id, u"4"));
  EXPECT_FALSE(setup_.SelectCell(1, 5));
  EXPECT_EQ(row(4), "9;0;1;");

  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"S1", u"S2", u"S3", u"S4"}));
  ASSERT_NO_FATAL_FAILURE(CloseProgram());
  config::SensorTable saved;
  ASSERT_EQ(config::LoadSensorTable(saved, folder_ + config::kSensorTableFile), std::nullopt);
  EXPECT_EQ(saved.cells(),
            MakeTable({{kDeviceGood, 3, 1}, {kDeviceGood, 4, 2}, {1, 0, 1}, {9, 0, 1}}).cells());
  EXPECT_EQ(SavedSetting("Channel"), "4");
}

// --- Saved and read back -----------------------------------------------------------

TEST_F(SetupFormTest, ChosenValuesAreSavedOnExitAndShownAtTheNextStart) {
  const RunValueCleanup cleanup;
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}})));
  setup_.Choose(kCOMCBId, kCom4);
  setup_.Choose(kSpeedCBId, kSpeed19200);
  setup_.Click(kSetupCB1Id);
  ASSERT_TRUE(WaitUntil([&] { return setup_.Checked(kSetupCB1Id); }));
  for (const auto& [id, text] : std::vector<std::pair<int, std::u16string>>{
           {kSE2Id, u"250"}, {kSE3Id, u"40"}, {kRzEdit1Id, u"PLANT"}, {kRzEdit2Id, u"T"}}) {
    ASSERT_TRUE(setup_.SetText(id, text)) << id;
  }
  for (const int tab : {1, 2}) {
    setup_.NextTab();
    ASSERT_TRUE(WaitUntil([&] { return setup_.Tab() == tab; })) << tab;
  }
  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_NO_FATAL_FAILURE(CloseProgram());

  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"ComPort", std::to_string(kCom4)},
                                                        {"Speed", std::to_string(kSpeed19200)},
                                                        {"StartUp", "1"},
                                                        {"Channel", "2"},
                                                        {"TimeOut", "250"},
                                                        {"TimeOutCycle", "40"},
                                                        {"Server", "PLANT"},
                                                        {"Item", "T"},
                                                        {"ActivPage", "3"}}) {
    EXPECT_EQ(SavedSetting(key), value) << key;
  }

  // The option read back registers the program again.
  DeleteRunValue();
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(RunValue(), std::optional<std::string>(folder_ + "Quorvel.exe"));
  EXPECT_EQ(Pane(kStaticText3Id), "COM4");
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"T1", u"T2"}));
  EXPECT_EQ(Request("T2", "PLANT"), Served(kUnread));
  ASSERT_TRUE(setup_.Open());
  EXPECT_EQ(setup_.Chosen(kCOMCBId), kCom4);
  EXPECT_EQ(setup_.Chosen(kSpeedCBId), kSpeed19200);
  EXPECT_TRUE(setup_.Checked(kSetupCB1Id));
  EXPECT_EQ(setup_.Text(kSE1Id), u"2");
  EXPECT_EQ(setup_.Text(kSE2Id), u"250");
  EXPECT_EQ(setup_.Text(kSE3Id), u"40");
  EXPECT_EQ(setup_.Text(kRzEdit1Id), u"PLANT");
  EXPECT_EQ(setup_.Text(kRzEdit2Id), u"T");
  EXPECT_EQ(setup_.Tab(), 2);
}

}  // namespace
}  // namespace quorvel::testing
