// The workbook launch (app/workbook) against SheetServer.exe standing in for
// the spreadsheet application: started by COM or found running, told to fail
// at a step; in this process, and by Quorvel.exe at its first show. The
// server's log shows every call it got.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/workbook/excel_u_win.h"
#include "app/workbook/workbook_launch_win.h"
#include "base/cp1251.h"
#include "testkit/program_test_win.h"
#include "testkit/stand_in_win.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {
namespace {

using Lines = std::vector<std::string>;

// What a good launch asks of a server whose window is `state`.
Lines GoodLaunch(const std::string& path, const std::string& state = "-4143") {
  Lines calls = {"qi _Application", "get Workbooks",    "call Add Template=\"" + path + "\"",
                 "qi _Workbook",    "get Worksheets",   "get Item \"Лист1\"",
                 "qi _Worksheet",   "put Visible true", "get WindowState " + state};
  if (state == "-4140") calls.push_back("put WindowState -4143");
  calls.push_back("put ScreenUpdating true");
  calls.push_back("put DisplayAlerts true");
  return calls;
}

// The texts this system has for two codes, as the launch shows them.
std::string SystemText(HRESULT code) {
  wchar_t text[512];
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code), 0, text, 512, nullptr);
  std::wstring wide(text, length);
  while (!wide.empty() && (wide.back() <= L' ' || wide.back() == L'.')) wide.pop_back();
  char code_text[32];
  ::wsprintfA(code_text, "OLE error %08lx", static_cast<unsigned long>(code));
  return wide.empty() ? code_text
                      : cp1251::ToUtf8(cp1251::FromUtf16(
                            {reinterpret_cast<const char16_t*>(wide.data()), wide.size()}));
}

// Each test (or each case of a test, after StartLog) has a log of its own;
// every server it caused to start is ended with it.
class StandInTest : public ::testing::Test {
 protected:
  StandInTest() { StartLog(""); }

  void StartLog(const std::string& tag) {
    stand_in_.reset();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("sheet-") + test->test_suite_name() + "." + test->name();
    for (const char c : tag) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    stand_in_ =
        std::make_unique<sheet::StandIn>(sheet::ServerPath(), sheet::TempLog(name + ".log"));
  }
  void Register(const std::vector<std::wstring>& options) {
    std::string error;
    ASSERT_TRUE(stand_in_->Register(options, &error)) << error;
  }
  // A server given no window ends once the launch let go of it.
  void ExpectServerEnds() const {
    EXPECT_TRUE(stand_in_->WaitAllEnded()) << "a reference was kept";
    EXPECT_EQ(stand_in_->Log().back(), "exit");
  }

  std::unique_ptr<sheet::StandIn> stand_in_;
};

class WorkbookLaunch : public StandInTest {};

TEST_F(WorkbookLaunch, StartsTheApplicationWhenNoneRunsAndLeavesItShown) {
  Register({});
  EXPECT_EQ(app::LaunchWorkbook("C:\\data\\book.xls"), std::nullopt);
  EXPECT_EQ(stand_in_->Calls(), GoodLaunch("C:\\data\\book.xls"));
  const std::vector<DWORD> pids = stand_in_->Pids();
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_EQ(stand_in_->Log().front(), "pid " + std::to_string(pids[0]) + " embedding");
  // Every reference was let go, and the application the user was given runs on.
  EXPECT_EQ(stand_in_->Gone(), (Lines{"gone _Worksheet", "gone _Workbook", "gone _Application"}));
  EXPECT_TRUE(sheet::StandIn::Running(pids[0]));
}

TEST_F(WorkbookLaunch, ReusesTheRunningApplication) {
  // A class registered as well: a missed running instance would start a
  // second server.
  Register({});
  std::string error;
  ASSERT_TRUE(stand_in_->StartRunning({}, &error)) << error;
  EXPECT_EQ(app::LaunchWorkbook("book.xls"), std::nullopt);
  EXPECT_EQ(stand_in_->Calls(), GoodLaunch("book.xls"));
  const std::vector<DWORD> pids = stand_in_->Pids();
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_EQ(stand_in_->Log().front(), "pid " + std::to_string(pids[0]) + " running");
}

TEST_F(WorkbookLaunch, RestoresAMinimisedWindowAndKeepsAMaximisedOne) {
  for (const std::string state : {"-4140", "-4118"}) {
    SCOPED_TRACE(state);
    StartLog(state);
    Register({L"--window-state", sheet::Wide(state)});
    EXPECT_EQ(app::LaunchWorkbook("book.xls"), std::nullopt);
    EXPECT_EQ(stand_in_->Calls(), GoodLaunch("book.xls", state));
  }
}

TEST_F(WorkbookLaunch, PassesThePathAsStored) {
  for (const std::string path : {"", "relative\\my book.xls", "\"quoted\".xls"}) {
    SCOPED_TRACE(path);
    StartLog(std::to_string(path.size()));
    Register({});
    EXPECT_EQ(app::LaunchWorkbook(path), std::nullopt);
    const Lines calls = stand_in_->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[2], "call Add Template=\"" + path + "\"");
  }
}

// A failed launch stops at the failing step, returns its message and lets
// go of every reference: a server that was not made visible then ends.
class FailedLaunch : public StandInTest {
 protected:
  void ExpectFailure(const std::vector<std::wstring>& options, std::string_view message,
                     const std::string& last_call) {
    Register(options);
    const std::optional<std::string> shown = app::LaunchWorkbook("C:\\data\\book.xls");
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(cp1251::ToUtf8(*shown), message);
    const Lines calls = stand_in_->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), last_call);
    ExpectServerEnds();
  }
};

TEST_F(FailedLaunch, MissingFileShowsTheServersDescriptionTrimmed) {
  ExpectFailure({L"--fail", L"Add", L"--description", L"Файл не найден.  \\r\\n"}, "Файл не найден",
                "fail Add");
}

TEST_F(FailedLaunch, WithoutADescriptionTheCodeIsShown) {
  ExpectFailure({L"--fail", L"Visible", L"--scode", L"800a03ec"}, "OLE error 800a03ec",
                "fail Visible");
}

TEST_F(FailedLaunch, NoFirstSheet) {
  ExpectFailure({L"--sheet", L"Sheet1"}, SystemText(DISP_E_BADINDEX), "get Item \"Лист1\"");
}

TEST_F(FailedLaunch, RefusedInterfaces) {
  const struct {
    const wchar_t* refused;
    const char* last_call;
  } cases[] = {
      {L"_Application", "qi _Application refused"},
      {L"_Workbook", "qi _Workbook refused"},
      {L"_Worksheet", "qi _Worksheet refused"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last_call);
    StartLog(c.last_call);
    ExpectFailure({L"--refuse", c.refused}, "Interface not supported", c.last_call);
  }
}

TEST_F(FailedLaunch, AddReturningNoWorkbook) {
  ExpectFailure({L"--no-workbook-object"}, "Interface not supported",
                "call Add Template=\"C:\\data\\book.xls\"");
}

TEST_F(FailedLaunch, ApplicationNotRegistered) {
  sheet::StandIn::Unregister();
  const std::optional<std::string> shown = app::LaunchWorkbook("C:\\data\\book.xls");
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(cp1251::ToUtf8(*shown), SystemText(REGDB_E_CLASSNOTREG));
  EXPECT_TRUE(stand_in_->Log().empty());
}

class ExcelU : public StandInTest {};

TEST_F(ExcelU, ConnectsOnceAndShowsNothingWithoutAnApplication) {
  workbook::TExcelU excel;
  excel.ShowApplication();
  excel.Disconnect();
  EXPECT_TRUE(stand_in_->Log().empty());

  Register({});
  excel.Connect(/*force_new=*/false);
  IDispatch* const application = excel.Application();
  ASSERT_NE(application, nullptr);
  excel.Connect(/*force_new=*/true);
  EXPECT_EQ(excel.Application(), application);
  EXPECT_EQ(excel.Workbook(), nullptr);
  EXPECT_EQ(excel.Worksheet(), nullptr);
  excel.Disconnect();
  EXPECT_EQ(excel.Application(), nullptr);
  EXPECT_EQ(stand_in_->Calls(), Lines{"qi _Application"});
  EXPECT_EQ(stand_in_->Pids().size(), 1u);
  ExpectServerEnds();
}

TEST_F(ExcelU, ForcedNewStartsASecondApplication) {
  Register({});
  std::string error;
  ASSERT_TRUE(stand_in_->StartRunning({}, &error)) << error;
  workbook::TExcelU excel;
  excel.Connect(/*force_new=*/true);
  excel.OpenWorkbook("book.xls");
  EXPECT_NE(excel.Worksheet(), nullptr);
  excel.Disconnect();
  const Lines log = stand_in_->Log();
  ASSERT_EQ(stand_in_->Pids().size(), 2u);
  EXPECT_TRUE(log[0].ends_with(" running"));
  EXPECT_TRUE(log[2].ends_with(" embedding")) << log[2];
}

// --- Quorvel.exe with the option "Запускать Excel-файл при запуске программы" ---

class WorkbookProgram : public ProgramTest {
 protected:
  WorkbookProgram()
      : stand_in_(sheet::ServerPath(), sheet::TempLog("sheet-program-" + TestName() + ".log")) {}

  void Register(const std::vector<std::wstring>& options) {
    std::string error;
    ASSERT_TRUE(stand_in_.Register(options, &error)) << error;
  }
  static config::Settings Settings(bool open_workbook) {
    config::Settings settings = BaseSettings({{5, 3}});
    settings.SetOpenWorkbook(open_workbook);
    settings.SetWorkbookPath("C:\\data\\book.xls");
    return settings;
  }

  sheet::StandIn stand_in_;
};

TEST_F(WorkbookProgram, OpensTheWorkbookAtTheFirstShowAndGoesOn) {
  Register({});
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(Settings(/*open_workbook=*/true)));
  EXPECT_EQ(stand_in_.Calls(), GoodLaunch("C:\\data\\book.xls"));
  EXPECT_EQ(form_.FindDialog(), nullptr);
  CloseAndExpectExit();
}

TEST_F(WorkbookProgram, AFailureIsShownAndTheProgramGoesOn) {
  Register({L"--fail", L"Add", L"--description", L"Файл не найден.  \\r\\n"});
  ASSERT_NO_FATAL_FAILURE(Prepare(Settings(/*open_workbook=*/true)));
  // The sensor list, which Start waits for, is filled once the dialog is
  // answered: Start runs on a thread of its own meanwhile.
  std::string error;
  bool started = false;
  std::thread start([&] { started = form_.Start(folder_, {}, &error); });
  HWND dialog = nullptr;
  const bool shown = WaitUntil([&] {
    dialog = ::FindWindowW(L"#32770", L"Error");
    return dialog != nullptr && ::IsWindowVisible(dialog);
  });
  if (shown) {
    EXPECT_EQ(remote::RemoteQuorvel::DialogMessage(dialog), Shown("Файл не найден"));
    // No assertion may leave before the thread is joined.
    const std::vector<HWND> buttons = remote::DialogButtons(dialog);
    EXPECT_EQ(buttons.size(), 1u);
    if (!buttons.empty()) {
      EXPECT_EQ(remote::WindowText(buttons[0]), u"Cancel");
      EXPECT_EQ(::GetDlgCtrlID(buttons[0]), IDCANCEL);
    }
    EXPECT_TRUE(remote::RemoteQuorvel::AnswerDialog(dialog, IDCANCEL));
  }
  start.join();
  ASSERT_TRUE(shown) << "no error dialog";
  ASSERT_TRUE(started) << error;
  EXPECT_EQ(stand_in_.Calls().back(), "fail Add");
  EXPECT_EQ(Pane(ui::kRzStatusPane1Id), "Программа готова к работе");
  CloseAndExpectExit();
}

TEST_F(WorkbookProgram, OptionOffStartsNoApplication) {
  Register({});
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(Settings(/*open_workbook=*/false)));
  CloseAndExpectExit();
  EXPECT_TRUE(stand_in_.Log().empty());
}

}  // namespace
}  // namespace quorvel::testing

int main(int argc, char** argv) {
  // As the program does before its first window.
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
