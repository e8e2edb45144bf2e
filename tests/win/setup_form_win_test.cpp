// Quorvel.exe's settings dialog as its user sees it, driven from this program
// (testkit/setup_driver_win.h), the program's DDE items read by DdeClient.exe
// processes, its line speed read from the simulator's log. The run that
// tests/win/setup_form.cmake sets up:
//   COM3  the simulator, devices 5 and 7 (channel 3: 23.45)
//   COM4  nothing: chosen here, never opened
// Each test starts its own copy of the program with "/k", which unlocks the
// dialog, in a folder of its own, and ends it by its handle unless closing it
// is part of the test. The broker's boxes are also driven on a dialog made
// in this process, over settings and a host of the test's.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "base/cp1251.h"
#include "base/unique_handle.h"
#include "base/wide_win.h"
#include "config/mqtt_settings.h"
#include "config/profile_file_win.h"
#include "config/secret_seal_win.h"
#include "config/sensor_table.h"
#include "config/settings.h"
#include "config/start_with_windows.h"
#include "config/table_file.h"
#include "poll/dde_components.h"
#include "poll/dde_server.h"
#include "testkit/dde_child_win.h"
#include "testkit/form_driver_win.h"
#include "testkit/message_wait_win.h"
#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "testkit/setup_driver_win.h"
#include "ui/main_form_ids.h"
#include "ui/message_dialog_win.h"
#include "ui/setup_form_ids.h"
#include "ui/setup_form_rules.h"
#include "ui/setup_form_win.h"

namespace quorvel::testing {
namespace {

using namespace quorvel::ui;
using remote::RemoteQuorvel;
using remote::Utf8;
using remote::WindowText;

// Choices of the port and speed lists besides those of BaseSettings.
constexpr int kCom4 = 3;
constexpr int kSpeed19200 = 6;

constexpr int kDeviceGood = 5;
constexpr int kDeviceCounted = 7;

// The pages "Обмен" and "Дополнительно" in the settings file.
constexpr int kExchangePage = 2;
constexpr int kMorePage = 4;

// Channel 3 of the devices, as published under the run's locale (C.UTF-8).
constexpr char kReading[] = "23.45";
constexpr char kNotNumeric[] = "Все параметры должны быть численными!";
constexpr char kNoWorkbook[] =
    "Небыл указан файл Excel для запуска!\rУберите галочку или укажите путь и имя файла.";

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

constexpr std::string_view kUnlocked = "/k";  // see the file comment

class SetupFormTest : public ProgramTest {
 protected:
  void PrepareAndOpen(const config::Settings& settings) {
    ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(settings, kUnlocked));
    ASSERT_TRUE(setup_.Open()) << "the settings dialog did not show";
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

  // Clicks into a box, as a user does, and waits until it has the focus.
  void Focus(int id) {
    setup_.ClickAt(id, 0.5, 0.5);
    ASSERT_TRUE(WaitUntil([&] { return setup_.Focused() == setup_.Control(id); }))
        << "no focus in " << id;
  }

  // Moves the focus on from a box with Tab and expects it to show `held`.
  void TabAway(int id, std::u16string_view held) {
    setup_.PressKey(id, VK_TAB);
    ASSERT_TRUE(WaitUntil([&] { return setup_.Focused() != setup_.Control(id); }))
        << "the focus stayed in " << id;
    ASSERT_TRUE(WaitUntil([&] { return setup_.Text(id) == held; }))
        << id << " shows " << Utf8(setup_.Text(id));
  }

  // The rows of the saved table file, its title row not counted.
  int SavedSensorCount() const {
    config::SensorTable table;
    if (config::LoadSensorTable(table, TablePath())) return -1;
    return table.RowCount() - 1;
  }

  SetupDriver setup_{form_};
};

// --- Placement -----------------------------------------------------------------

// Unless that would put its lower part, OK and all, off the monitor: then as
// high as it takes.
TEST_F(SetupFormTest, OpensDirectlyBelowTheMainWindowWhereverItFits) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceGood, 3}})));
  ASSERT_NO_FATAL_FAILURE(Launch(kUnlocked));
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
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(
        ::GetMonitorInfoW(::MonitorFromWindow(form_.Main(), MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    const bool fits = main.bottom + (dialog.bottom - dialog.top) <= work.bottom;
    // The designed place does not leave room for the whole dialog below.
    EXPECT_EQ(fits, moved.x >= 0) << "main window at " << main.left << "," << main.top;
    EXPECT_EQ(dialog.left, main.left) << "main window at " << main.left << "," << main.top;
    if (fits) {
      EXPECT_EQ(dialog.top, main.bottom) << "main window at " << main.left << "," << main.top;
    } else {
      EXPECT_EQ(dialog.bottom, work.bottom) << "main window at " << main.left << "," << main.top;
    }
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
  ASSERT_NO_FATAL_FAILURE(Launch(kUnlocked));
  ChildProcess& client = Advise({"S1"});
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
  EXPECT_TRUE(Refused("T1"));

  ASSERT_TRUE(setup_.Open());
  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  for (const char* item : {"T1", "T2", "T500"}) EXPECT_EQ(Request(item), Served(kUnread)) << item;
  EXPECT_TRUE(Refused("S1"));
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"T1", u"T2"}));
}

// OK with a prefix that names no item: the general error report, and
// nothing after it: the items and the topic keep their names and the
// dialog stays open.
TEST_F(SetupFormTest, RefusedPrefixIsReportedAndNothingAfterItChanges) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  ASSERT_TRUE(setup_.SetText(kRzEdit1Id, u"PLANT"));
  ASSERT_TRUE(setup_.SetText(kRzEdit2Id, u""));
  const HWND box = PressOk();
  ASSERT_NE(box, nullptr) << "the dialog closed";
  EXPECT_EQ(Utf8(WindowText(box)), "Quorvel v.2.1");
  EXPECT_EQ(MessageOf(box), "''1'' is not a valid component name.");
  ASSERT_NO_FATAL_FAILURE(Dismiss(box, IDOK));
  EXPECT_EQ(Request("S1", kTopic), Served(kUnread));
  EXPECT_TRUE(Refused("S1", "PLANT"));
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
  EXPECT_TRUE(Refused("T1"));
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
  EXPECT_TRUE(Refused("S1"));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box, IDOK));

  setup_.Click(kSetupCB3Id);
  ASSERT_TRUE(WaitUntil([&] { return !setup_.Checked(kSetupCB3Id); }));
  EXPECT_EQ(PressOk(), nullptr);
  EXPECT_TRUE(setup_.WaitClosed());
}

// --- The workbook file ------------------------------------------------------------

// The file dialog must leave the working directory alone: the table file is
// named relative to it and would otherwise be saved beside the workbook. A
// cancelled dialog keeps the path.
TEST_F(SetupFormTest, WorkbookChosenElsewhereLeavesTheTableBesideTheProgram) {
  std::string error;
  const std::optional<std::string> books = ProgramFolder(TestName() + "-books", &error);
  ASSERT_TRUE(books) << error;
  ASSERT_TRUE(::CreateDirectoryA(books->c_str(), /*lpSecurityAttributes=*/nullptr) ||
              ::GetLastError() == ERROR_ALREADY_EXISTS);
  const std::string book = *books + "plant.xls";
  const HANDLE file = ::CreateFileA(book.c_str(), GENERIC_WRITE, /*dwShareMode=*/0,
                                    /*lpSecurityAttributes=*/nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ::GetLastError();
  ::CloseHandle(file);
  const std::string stray_table = *books + config::kSensorTableFile;
  ::DeleteFileA(stray_table.c_str());

  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  setup_.Click(kSetupCB3Id);
  ASSERT_TRUE(WaitUntil([&] { return setup_.Checked(kSetupCB3Id); }));
  const auto browse = [&] {
    setup_.Click(kRBE1ButtonId);
    return form_.WaitDialog();
  };
  HWND files = browse();
  ASSERT_NE(files, nullptr) << "no file dialog";
  EXPECT_EQ(::GetWindow(files, GW_OWNER), setup_.Handle());
  EXPECT_EQ(::GetDlgItem(files, kMessageTextId), nullptr) << "a message box: " << MessageOf(files);
  ASSERT_TRUE(SetupDriver::EnterFileName(files, Shown(book))) << "no file name box";
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(files); })) << "the file dialog stayed";
  EXPECT_TRUE(WaitUntil([&] { return setup_.Text(kRBE1Id) == Shown(book); }))
      << Utf8(setup_.Text(kRBE1Id));

  files = browse();
  ASSERT_NE(files, nullptr) << "no file dialog";
  SetupDriver::PressDialogButton(files, IDCANCEL);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(files); })) << "the file dialog stayed";
  // Answered once the browse handler has returned.
  setup_.Tab();
  EXPECT_EQ(Utf8(setup_.Text(kRBE1Id)), book);

  // The program holds the table: only the close writes the file again.
  ASSERT_TRUE(::DeleteFileA(TablePath().c_str()));
  EXPECT_EQ(PressOk(), nullptr) << MessageOf(form_.FindDialog());
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  ExpectTableFile({{kDeviceGood, 3}});
  EXPECT_EQ(::GetFileAttributesA(stray_table.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(SavedSetting("PaTchFile"), book);
  EXPECT_EQ(SavedSetting("CheckBoxState3"), "1");
}

// --- The port --------------------------------------------------------------------

// The port pane follows the port list at once; the speed chosen is the one
// the port is opened with next. Each run asks a device of its own, so a
// request of the first that the stop cut short cannot be taken for one of
// the second.
TEST_F(SetupFormTest, ChosenSpeedIsTheSpeedOfTheNextOpen) {
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{kDeviceCounted, 3}})));
  ASSERT_NO_FATAL_FAILURE(Launch(kUnlocked));
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
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  ExpectTableFile({{kDeviceGood, 3, 1}, {kDeviceGood, 4, 2}, {1, 0, 1}, {9, 0, 1}});
  EXPECT_EQ(SavedSetting("Channel"), "4");
}

// A box takes only a value of its range while it has the focus (the table
// follows the count 1..500 only); leaving it holds the text within the range,
// and a text that is no number becomes the least value.
TEST_F(SetupFormTest, NumberBoxesAreHeldWithinTheirRangeWhenLeft) {
  config::Settings settings = BaseSettings({{kDeviceGood, 3}});
  settings.SetActivePage(kExchangePage);
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(settings));
  ASSERT_NO_FATAL_FAILURE(Focus(kSE1Id));
  ASSERT_TRUE(setup_.SetText(kSE1Id, u"900"));
  EXPECT_FALSE(setup_.SelectCell(1, 2));
  ASSERT_NO_FATAL_FAILURE(TabAway(kSE1Id, u"500"));
  EXPECT_TRUE(setup_.SelectCell(1, 500));
  EXPECT_FALSE(setup_.SelectCell(1, 501));

  // ES_NUMBER keeps the user from typing what WM_SETTEXT puts in.
  for (const char16_t* text : {u"12", u"", u"abc"}) {
    ASSERT_NO_FATAL_FAILURE(Focus(kSE2Id));
    ASSERT_TRUE(setup_.SetText(kSE2Id, text));
    ASSERT_NO_FATAL_FAILURE(TabAway(kSE2Id, u"100")) << Utf8(text);
  }

  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  EXPECT_EQ(SavedSensorCount(), 500);
  EXPECT_EQ(SavedSetting("Channel"), "500");
  EXPECT_EQ(SavedSetting("TimeOut"), "100");
}

// A click on the upper half of the count's spin buttons.
TEST_F(SetupFormTest, UpperSpinButtonStepsTheCountAndTheTableFollows) {
  config::Settings settings =
      BaseSettings({{kDeviceGood, 3}, {kDeviceGood, 4}, {kDeviceCounted, 3}});
  settings.SetActivePage(kExchangePage);
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(settings));
  EXPECT_EQ(setup_.Text(kSE1Id), u"3");
  setup_.ClickAt(kSE1Id + kSpinButtonsOffset, 0.5, 0.25);
  ASSERT_TRUE(WaitUntil([&] { return setup_.Text(kSE1Id) == u"4"; })) << Utf8(setup_.Text(kSE1Id));
  EXPECT_TRUE(setup_.SelectCell(1, 4));
  EXPECT_FALSE(setup_.SelectCell(1, 5));

  setup_.Click(kOkB1Id);
  ASSERT_TRUE(setup_.WaitClosed());
  EXPECT_EQ(form_.SensorNames(), (std::vector<std::u16string>{u"S1", u"S2", u"S3", u"S4"}));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  EXPECT_EQ(SavedSensorCount(), 4);
}

// --- The demotion of a device that does not answer -------------------------------

// The page after the three, its boxes like those of "Обмен": typed, stepped
// and held within range when left, each change the model's at once; what is
// saved is shown on the page, the page last shown, at the next start.
TEST_F(SetupFormTest, DemotionIsSetOnTheFourthTabSavedAndShownAtTheNextStart) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  ASSERT_EQ(remote::Ask(setup_.Control(kRzPageControl1Id), TCM_GETITEMCOUNT, 0, 0),
            std::optional<LRESULT>(4));
  const char* const captions[] = {"Общие", "Обмен", "Настройки DDE", "Дополнительно"};
  for (int tab = 0; tab < 4; ++tab) {
    EXPECT_EQ(Utf8(setup_.TabCaption(tab).value_or(u"<unread>")), captions[tab]);
    if (tab > 0) setup_.NextTab();
    ASSERT_TRUE(WaitUntil([&] { return setup_.Tab() == tab; })) << tab;
  }
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(setup_.Control(kDemoteAfterId)); }));
  EXPECT_FALSE(::IsWindowVisible(setup_.Control(kSE2Id)));
  EXPECT_EQ(setup_.Text(kDemoteAfterId), u"0");
  EXPECT_EQ(setup_.Text(kDemoteForId), u"10000");

  ASSERT_NO_FATAL_FAILURE(Focus(kDemoteAfterId));
  ASSERT_TRUE(setup_.SetText(kDemoteAfterId, u"4"));
  setup_.ClickAt(kDemoteAfterId + kSpinButtonsOffset, 0.5, 0.25);
  ASSERT_TRUE(WaitUntil([&] { return setup_.Text(kDemoteAfterId) == u"5"; }))
      << Utf8(setup_.Text(kDemoteAfterId));
  ASSERT_NO_FATAL_FAILURE(Focus(kDemoteForId));
  ASSERT_TRUE(setup_.SetText(kDemoteForId, u"4000000"));
  ASSERT_NO_FATAL_FAILURE(TabAway(kDemoteForId, u"3600000"));

  setup_.CloseBox();
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  config::Win32ProfileFile ini(IniPath());
  EXPECT_EQ(ini.Read("Bus", "DemoteAfter", "<missing>"), "5");
  EXPECT_EQ(ini.Read("Bus", "DemoteForMs", "<missing>"), "3600000");
  EXPECT_EQ(SavedSetting("ActivPage"), "4");

  ASSERT_NO_FATAL_FAILURE(Launch(kUnlocked));
  ASSERT_TRUE(setup_.Open());
  EXPECT_EQ(setup_.Tab(), 3);
  EXPECT_TRUE(::IsWindowVisible(setup_.Control(kDemoteForId)));
  EXPECT_EQ(setup_.Text(kDemoteAfterId), u"5");
  EXPECT_EQ(setup_.Text(kDemoteForId), u"3600000");
}

// --- The broker ----------------------------------------------------------------------

// The host's side of the broker link as the test sets it, and what the dialog
// told it.
class BrokerHost final : public SetupFormHost {
 public:
  void ShowPortName(std::string_view /*name*/) override {}
  void FillSensorList() override {}
  void Warn(SetupWarning /*warning*/) override { ++warnings; }
  void ReportError(const std::string& text) override { errors.push_back(text); }
  std::string MqttStateText() override { return state; }
  std::string MqttDefaultClientId() override { return "Quorvel-PLANT7"; }
  std::string MqttDefaultTopicRoot() override { return "quorvel/Quorvel/ZORVIK"; }

  std::string state = std::string(cp1251::Text("нет связи"));
  int warnings = 0;
  std::vector<std::string> errors;
};

// Every restart of the broker link the settings ask for.
class BrokerRestarts final : public config::SettingsEffects {
 public:
  void MqttChanged(const config::MqttSettings& mqtt) override { told.push_back(mqtt); }
  std::vector<config::MqttSettings> told;
};

// DDE names that take anything, for the dialog's DDE components.
class AnyDdeNames final : public poll::DdePlatform {
 public:
  poll::DdeString CreateString(std::string_view /*text*/) override { return ++last_; }
  void FreeString(poll::DdeString /*handle*/) override {}
  bool SameString(poll::DdeString a, poll::DdeString b) override { return a == b; }
  void PostAdvise(poll::DdeString /*topic*/, poll::DdeString /*item*/) override {}
  void Disconnect(poll::DdeConversation /*conversation*/) override {}

 private:
  poll::DdeString last_ = 0;
};

// The program's manifest made active on this thread, so that the dialog's
// controls are those of the program (common controls 6, whose edit boxes
// show a cue banner).
struct ActivationContextTraits {
  using pointer = HANDLE;
  static pointer Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(pointer context) { ::ReleaseActCtx(context); }
};
struct ActivationTraits {
  using pointer = ULONG_PTR;
  static pointer Invalid() { return 0; }
  static void Close(pointer cookie) { ::DeactivateActCtx(/*dwFlags=*/0, cookie); }
};

class BrokerPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring program = Wide(cp1251::ToUtf16(ProgramPath()));
    ACTCTXW manifest{};
    manifest.cbSize = sizeof manifest;
    manifest.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    manifest.lpSource = program.c_str();
    manifest.lpResourceName = MAKEINTRESOURCEW(1);
    context_.reset(::CreateActCtxW(&manifest));
    ASSERT_TRUE(context_) << ::GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(::ActivateActCtx(context_.get(), &cookie)) << ::GetLastError();
    activation_.reset(cookie);
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&classes));

    manager_.AddForm(&dde_form_);
    dde_ = std::make_unique<poll::DdeComponents>(manager_, dde_form_, 1);
    settings_.SetActivePage(kMorePage);
    settings_.table() = MakeTable({{kDeviceGood, 3}});
    config::MqttSettings mqtt;
    mqtt.host = "old.example";
    mqtt.sealed_password = config::SealSecret("old-secret").value_or("");
    ASSERT_FALSE(mqtt.sealed_password.empty()) << "the platform sealed nothing";
    settings_.SetMqtt(mqtt);
    restarts_.told.clear();
    dialog_ = std::make_unique<TSetupForm>(::GetModuleHandleW(nullptr), /*owner=*/nullptr,
                                           /*images=*/nullptr, settings_, *dde_, host_);
    ASSERT_TRUE(dialog_->Create());
    ::ShowWindow(dialog_->Handle(), SW_SHOW);
  }

  void TearDown() override {
    dialog_.reset();
    dde_.reset();
    manager_.RemoveForm(&dde_form_);
  }

  HWND Box(int id) const { return ::GetDlgItem(dialog_->Handle(), id); }
  std::u16string Text(int id) const { return WindowText(Box(id)); }
  // Keys typed into a box that has the focus.
  void Type(int id, std::u16string_view keys) const {
    ASSERT_EQ(::GetFocus(), Box(id));
    for (const char16_t key : keys) ::SendMessageW(Box(id), WM_CHAR, key, /*lParam=*/1);
  }
  // A box emptied and typed into, as a user does who selects its text first.
  void Retype(int id, std::u16string_view keys) const {
    ::SetFocus(Box(id));
    ::SendMessageW(Box(id), EM_SETSEL, 0, -1);
    ::SendMessageW(Box(id), WM_CHAR, u'\b', /*lParam=*/1);
    Type(id, keys);
  }
  std::u16string CueBanner(int id) const {
    wchar_t cue[64] = {};
    ::SendMessageW(Box(id), EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue), std::size(cue));
    return reinterpret_cast<const char16_t*>(cue);
  }
  const config::MqttSettings& Mqtt() const { return settings_.Mqtt(); }

  UniqueHandle<ActivationContextTraits> context_;
  UniqueHandle<ActivationTraits> activation_;
  BrokerRestarts restarts_;
  config::Settings settings_{&restarts_};
  BrokerHost host_;
  AnyDdeNames names_;
  poll::TDdeMgr manager_{names_};
  poll::DdeForm dde_form_{"Quorvel v.2.1", {}};
  std::unique_ptr<poll::DdeComponents> dde_;
  std::unique_ptr<TSetupForm> dialog_;
};

// Typing restarts nothing: a box takes effect when the focus leaves it (a
// number held within its range), and the box still in hand at the close
// box; the check boxes and the QoS list at once. The password shows in clear only in
// its masked box and is kept sealed; a box left unchanged restarts nothing.
// The state line follows the host while the dialog shows; the boxes that are
// empty for a default show the host's.
TEST_F(BrokerPageTest, BoxesTakeEffectWhenLeftChoicesAtOnceAndTheStateFollowsTheHost) {
  ASSERT_TRUE(::IsWindowVisible(Box(kMqttHostId)));
  RECT group{};
  ::GetWindowRect(Box(kMqttGroupId), &group);
  for (int id = kMqttEnabledId; id <= kMqttStateId; ++id) {
    RECT box{};
    ::GetWindowRect(Box(id), &box);
    RECT both{};
    ::IntersectRect(&both, &box, &group);
    EXPECT_TRUE(::EqualRect(&both, &box)) << id << " is not inside its group";
  }
  RECT ok{};
  ::GetWindowRect(Box(kOkB1Id), &ok);
  EXPECT_LT(group.bottom, ok.top);

  EXPECT_EQ(Text(kMqttHostId), u"old.example");
  EXPECT_EQ(Text(kMqttPortId), u"1883");
  EXPECT_EQ(Text(kMqttPasswordId), u"old-secret");
  EXPECT_NE(::SendMessageW(Box(kMqttPasswordId), EM_GETPASSWORDCHAR, 0, 0), 0) << "not masked";
  EXPECT_EQ(::SendMessageW(Box(kMqttQosId), CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(kMqttBufferId), u"100000");
  EXPECT_EQ(CueBanner(kMqttClientId), u"Quorvel-PLANT7");
  EXPECT_EQ(CueBanner(kMqttTopicRootId), u"quorvel/Quorvel/ZORVIK");
  EXPECT_EQ(Text(kMqttStateId), u"Состояние: нет связи");
  host_.state = std::string(cp1251::Text("подключено"));
  EXPECT_TRUE(WaitUntil([&] { return Text(kMqttStateId) == u"Состояние: подключено"; }));

  const config::MqttSettings before = Mqtt();
  ASSERT_NO_FATAL_FAILURE(Retype(kMqttHostId, u"broker.plant"));
  EXPECT_EQ(Mqtt().host, "old.example") << "taken before it was left";
  ASSERT_NO_FATAL_FAILURE(Retype(kMqttPortId, u"70000"));
  EXPECT_EQ(Mqtt().host, "broker.plant");
  EXPECT_EQ(Mqtt().port, 1883) << "taken before it was left";
  EXPECT_EQ(restarts_.told.size(), 1u);
  ::SetFocus(Box(kMqttUserId));
  EXPECT_EQ(Text(kMqttPortId), u"65535");
  EXPECT_EQ(Mqtt().port, 65535);
  ASSERT_NO_FATAL_FAILURE(Retype(kMqttUserId, u"reader"));
  ASSERT_NO_FATAL_FAILURE(Retype(kMqttPasswordId, u"s3cret"));
  EXPECT_EQ(Mqtt().user, "reader");
  EXPECT_EQ(Mqtt().sealed_password, before.sealed_password);
  ::SetFocus(Box(kMqttBufferId));
  const std::string sealed = Mqtt().sealed_password;
  EXPECT_EQ(config::OpenSecret(sealed), std::optional<std::string>("s3cret"));
  EXPECT_EQ(sealed.find("s3cret"), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(Retype(kMqttBufferId, u"0"));
  // Passed through without a change.
  ::SetFocus(Box(kMqttPasswordId));
  ::SetFocus(Box(kMqttClientId));
  EXPECT_EQ(Text(kMqttBufferId), u"1");
  EXPECT_EQ(Mqtt().buffer_messages, 1);
  EXPECT_EQ(Mqtt().sealed_password, sealed) << "sealed again";
  EXPECT_EQ(restarts_.told.size(), 5u);

  ::SendMessageW(Box(kMqttTlsId), BM_CLICK, 0, 0);
  EXPECT_TRUE(Mqtt().tls);
  ::SendMessageW(Box(kMqttEnabledId), BM_CLICK, 0, 0);
  EXPECT_TRUE(Mqtt().enabled);
  ::SendMessageW(Box(kMqttQosId), CB_SETCURSEL, 0, 0);
  ::SendMessageW(dialog_->Handle(), WM_COMMAND, MAKEWPARAM(kMqttQosId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Box(kMqttQosId)));
  EXPECT_EQ(Mqtt().qos, 0);
  EXPECT_EQ(restarts_.told.size(), 8u);

  // The close box with the focus still in a box that was typed into.
  ::SetFocus(Box(kMqttTopicRootId));
  ASSERT_NO_FATAL_FAILURE(Type(kMqttTopicRootId, u"plant/line1"));
  EXPECT_EQ(restarts_.told.size(), 8u);
  ::SendMessageW(dialog_->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(::GetFocus(), Box(kMqttTopicRootId));
  EXPECT_EQ(Mqtt().topic_root, "plant/line1");
  EXPECT_EQ(Mqtt().client_id, "");
  ASSERT_EQ(restarts_.told.size(), 9u);
  EXPECT_EQ(restarts_.told.back(), Mqtt());
  EXPECT_TRUE(host_.errors.empty()) << host_.errors.front();
  EXPECT_EQ(host_.warnings, 0);
}

// Quorvel.exe's own page: the boxes left with Tab, the password still in its
// box when Enter chooses OK. The settings file holds the password sealed, not
// in clear, and the next start shows it in its masked box again.
TEST_F(SetupFormTest, BrokerIsSavedWithThePasswordSealedAndShownAtTheNextStart) {
  config::Settings settings = BaseSettings({{kDeviceGood, 3}});
  settings.SetActivePage(kMorePage);
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(settings));
  EXPECT_EQ(setup_.Text(kMqttGroupId), u" Передача показаний брокеру MQTT ");
  EXPECT_NE(::GetWindowLongW(setup_.Control(kMqttPasswordId), GWL_STYLE) & ES_PASSWORD, 0);
  for (const auto& [id, text, held] : std::vector<std::tuple<int, std::u16string, std::u16string>>{
           {kMqttHostId, u"broker.plant", u"broker.plant"},
           {kMqttPortId, u"0", u"1"},
           {kMqttUserId, u"reader", u"reader"}}) {
    ASSERT_NO_FATAL_FAILURE(Focus(id));
    ASSERT_TRUE(setup_.SetText(id, text));
    ASSERT_NO_FATAL_FAILURE(TabAway(id, held));
  }
  setup_.Click(kMqttTlsId);
  ASSERT_TRUE(WaitUntil([&] { return setup_.Checked(kMqttTlsId); }));
  ASSERT_NO_FATAL_FAILURE(Focus(kMqttPasswordId));
  ASSERT_TRUE(setup_.SetText(kMqttPasswordId, u"s3cret"));
  setup_.PressKey(kMqttPasswordId, VK_RETURN);
  ASSERT_TRUE(setup_.WaitClosed());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());

  std::ifstream file(IniPath(), std::ios::binary);
  const std::string saved{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(saved.find("s3cret"), std::string::npos) << saved;
  config::Win32ProfileFile ini(IniPath());
  const auto mqtt = [&](const char* key) { return ini.Read("MQTT", key, "<missing>"); };
  EXPECT_EQ(mqtt("Host"), "broker.plant");
  EXPECT_EQ(mqtt("Port"), "1");
  EXPECT_EQ(mqtt("User"), "reader");
  EXPECT_EQ(mqtt("Tls"), "1");
  EXPECT_EQ(config::OpenSecret(mqtt("PasswordSealed")), std::optional<std::string>("s3cret"));

  ASSERT_NO_FATAL_FAILURE(Launch(kUnlocked));
  ASSERT_TRUE(setup_.Open());
  EXPECT_EQ(setup_.Text(kMqttHostId), u"broker.plant");
  EXPECT_TRUE(setup_.Checked(kMqttTlsId));
  EXPECT_EQ(setup_.Text(kMqttPasswordId), u"s3cret");
}

// --- The device search -------------------------------------------------------------

// The search page has no tab and its button never shows; a click that
// reaches the button anyway starts the search, which lists a result under
// the first port and a placeholder, and a second click stops it.
TEST_F(SetupFormTest, HiddenSearchButtonStillTogglesTheSearch) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndOpen(BaseSettings({{kDeviceGood, 3}})));
  const HWND find = setup_.Control(kFindButtonId);
  const HWND tree = setup_.Control(kRzTreeView1Id);
  const auto nodes = [&] { return remote::Ask(tree, TVM_GETCOUNT, 0, 0).value_or(-1); };
  const auto next = [&](LPARAM item, WPARAM code) {
    return remote::Ask(tree, TVM_GETNEXTITEM, code, item).value_or(0);
  };
  EXPECT_EQ(remote::Ask(setup_.Control(kRzPageControl1Id), TCM_GETITEMCOUNT, 0, 0),
            std::optional<LRESULT>(4));
  for (const int tab : {0, 1, 2, 3}) {
    if (tab > 0) setup_.NextTab();
    ASSERT_TRUE(WaitUntil([&] { return setup_.Tab() == tab; })) << tab;
    EXPECT_FALSE(::IsWindowVisible(find)) << "on tab " << tab;
  }
  EXPECT_EQ(nodes(), 10);
  const LPARAM first = next(0, TVGN_ROOT);
  EXPECT_EQ(next(first, TVGN_CHILD), 0);

  setup_.Click(kFindButtonId);
  EXPECT_TRUE(WaitUntil([&] { return setup_.Text(kFindButtonId) == u"Остановить"; }))
      << Utf8(setup_.Text(kFindButtonId));
  EXPECT_EQ(nodes(), 12);
  const LPARAM result = next(first, TVGN_CHILD);
  EXPECT_NE(result, 0) << "nothing under the first port";
  EXPECT_EQ(next(result, TVGN_NEXT), 0) << "more than one node under the first port";
  EXPECT_FALSE(::IsWindowVisible(find));

  setup_.Click(kFindButtonId);
  EXPECT_TRUE(WaitUntil([&] { return setup_.Text(kFindButtonId) == u"Поиск"; }))
      << Utf8(setup_.Text(kFindButtonId));
  EXPECT_EQ(nodes(), 12);
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
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());

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
  ASSERT_NO_FATAL_FAILURE(Launch(kUnlocked));
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
