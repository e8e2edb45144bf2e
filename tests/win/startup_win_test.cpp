// Quorvel.exe's start-up as a user meets it: one copy per executable file
// name, whatever its folder or letter case, a name freed by a close and by
// a kill alike, copies under other names side by side, and the "/k" switch.
// Each test starts its copies in folders of its own and ends them by handle
// unless closing them is part of the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/form_driver_win.h"
#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {
namespace {

using remote::FindTopLevel;
using remote::RemoteQuorvel;
using remote::Utf8;
using remote::WindowText;

constexpr char kRefusal[] = "Нельзя запустить две копии программы c одинаковыми именами ";

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file's last write, nothing when there is no such file.
std::optional<ULONGLONG> LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

// The texts of a message box's static controls, and whether one is an icon.
struct BoxContent {
  std::vector<std::string> texts;
  bool icon = false;
};

BoxContent ContentOf(HWND box) {
  BoxContent content;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t window_class[32] = {};
    ::GetClassNameW(child, window_class, 32);
    if (std::wstring_view(window_class) != L"Static") continue;
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      // A box without an icon may still hold the control, empty.
      const std::optional<LRESULT> icon = remote::Ask(child, STM_GETICON, 0, 0);
      content.icon = content.icon || (icon && *icon != 0);
    } else {
      content.texts.push_back(Utf8(WindowText(child)));
    }
  }
  return content;
}

class StartupTest : public ProgramTest {
 protected:
  // A copy of the program as `file_name` in a folder of this test's.
  std::string CopyProgram(const std::string& folder_suffix, const std::string& file_name) {
    std::string error;
    const std::optional<std::string> folder = ProgramFolder(TestName() + folder_suffix, &error);
    EXPECT_TRUE(folder) << error;
    if (!folder) return {};
    ::CreateDirectoryA(folder->c_str(), /*lpSecurityAttributes=*/nullptr);
    EXPECT_TRUE(::CopyFileA(ProgramPath().c_str(), (*folder + file_name).c_str(), FALSE));
    return *folder;
  }

  // Starts `folder``file_name` and expects it to be refused: the box without
  // owner or icon, no window of its own and no splash, then exit code 0
  // once the box is answered, and neither its settings file nor the table
  // file in its folder touched.
  void ExpectRefused(const std::string& folder, const std::string& file_name) {
    const std::string settings = folder + file_name.substr(0, file_name.rfind('.')) + ".ini";
    const std::optional<ULONGLONG> settings_before = LastWrite(settings);
    const std::optional<ULONGLONG> table_before = LastWrite(folder + "DDEConf.dde");
    RemoteQuorvel refused;  // ended by its handle if it stays
    std::string error;
    ASSERT_TRUE(refused.Launch(folder, "", &error, file_name)) << error;
    const HWND box = refused.WaitDialog();
    ASSERT_NE(box, nullptr) << file_name << " was not refused";
    EXPECT_EQ(Utf8(WindowText(box)), "Error");
    const BoxContent content = ContentOf(box);
    EXPECT_EQ(content.texts, std::vector<std::string>{kRefusal});
    EXPECT_FALSE(content.icon);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), nullptr);
    EXPECT_EQ(FindTopLevel(refused.Pid(), ui::kMainFormClass), nullptr);
    EXPECT_EQ(FindTopLevel(refused.Pid(), L"TMark"), nullptr);
    EXPECT_TRUE(RemoteQuorvel::AnswerDialog(box, IDOK));
    EXPECT_EQ(refused.WaitExit(), std::optional<DWORD>(0));
    EXPECT_EQ(LastWrite(settings), settings_before) << "the refused copy wrote " << settings;
    EXPECT_EQ(LastWrite(folder + "DDEConf.dde"), table_before)
        << "the refused copy wrote the table";
  }

  void LaunchFresh() {
    std::string error;
    ASSERT_TRUE(form_.Start(folder_, "", &error)) << error;
  }
};

TEST_F(StartupTest, SameFileNameIsRefusedWhereverItIsAndTheFirstCopyRunsOn) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{5, 3}})));
  ASSERT_NO_FATAL_FAILURE(ExpectRefused(folder_, "Quorvel.exe"));
  const std::string elsewhere = CopyProgram("-elsewhere", "Quorvel.exe");
  ASSERT_NO_FATAL_FAILURE(ExpectRefused(elsewhere, "Quorvel.exe"));
  const std::string upper = CopyProgram("-upper", "QUORVEL.EXE");
  ASSERT_NO_FATAL_FAILURE(ExpectRefused(upper, "QUORVEL.EXE"));
  // The first copy was not disturbed: it answers, serves and closes.
  EXPECT_TRUE(form_.Answers(remote::kProgramWaitMs));
  EXPECT_EQ(Request("S1"), Served(kUnread));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

TEST_F(StartupTest, AnotherFileNameRunsBesideWithItsOwnSettingsAndService) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{5, 3}})));
  const std::string second_folder = CopyProgram("-second", "Second.exe");
  RemoteQuorvel second;
  std::string error;
  ASSERT_TRUE(second.Start(second_folder, "", &error, "Second.exe")) << error;
  EXPECT_EQ(Request("S1", kTopic, "Second"), Served(kUnread));
  EXPECT_EQ(Request("S1"), Served(kUnread));
  second.Close();
  EXPECT_EQ(second.WaitExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(FileExists(second_folder + "Second.ini"));
  EXPECT_FALSE(FileExists(second_folder + "Quorvel.ini"));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
}

TEST_F(StartupTest, NameIsFreeAgainAfterACloseAndAfterAKill) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{5, 3}})));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  ASSERT_NO_FATAL_FAILURE(LaunchFresh());
  // Killed: no close handling ran, the registration stayed behind.
  form_.Terminate();
  ASSERT_NO_FATAL_FAILURE(LaunchFresh());
  // And the copy that took it over holds it as its own.
  ASSERT_NO_FATAL_FAILURE(ExpectRefused(folder_, "Quorvel.exe"));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  ASSERT_NO_FATAL_FAILURE(LaunchFresh());
}

TEST_F(StartupTest, ACloseRefusedWhilePollingKeepsTheNameTaken) {
  ASSERT_NO_FATAL_FAILURE(PrepareAndLaunch(BaseSettings({{5, 3}})));
  form_.PressStartStop();
  ASSERT_TRUE(form_.WaitPolling(true));
  form_.Close();
  const HWND refusal = form_.WaitDialog();
  ASSERT_NE(refusal, nullptr) << "the close while polling was not refused";
  ASSERT_TRUE(RemoteQuorvel::AnswerDialog(refusal, IDYES));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(refusal); }));
  ASSERT_NO_FATAL_FAILURE(ExpectRefused(folder_, "Quorvel.exe"));
  ASSERT_TRUE(form_.StopPolling());
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit());
  ASSERT_NO_FATAL_FAILURE(LaunchFresh());
}

TEST_F(StartupTest, SwitchUnlocksTheSettingsItemInAnyCaseAndPosition) {
  struct Case {
    const char* arguments;
    bool unlocked;
  };
  const Case cases[] = {
      {"/k", true},   {"/K", true}, {"one /k two", true}, {"/K /k", true}, {"", false},
      {"/kk", false}, {"k", false}, {"-k", false},        {"/k.", false},  {"\"/k \"", false},
  };
  ASSERT_NO_FATAL_FAILURE(Prepare(BaseSettings({{5, 3}})));
  for (const Case& c : cases) {
    std::string error;
    ASSERT_TRUE(form_.Start(folder_, c.arguments, &error)) << c.arguments << ": " << error;
    const std::optional<UINT> state = MenuItemState(form_, ui::kSetup1Id);
    ASSERT_TRUE(state) << c.arguments;
    EXPECT_EQ((*state & (MF_GRAYED | MF_DISABLED)) == 0, c.unlocked)
        << "arguments: " << c.arguments;
    form_.Close();
    ASSERT_EQ(form_.WaitExit(), std::optional<DWORD>(0)) << c.arguments;
  }
}

}  // namespace
}  // namespace quorvel::testing
