// The installer of this build run silently in the run's fresh prefix, as an
// administrator deploys it: what it puts where (files, Start-menu shortcuts,
// the entry among installed programs), the installed program started as its
// shortcut starts it, an upgrade over a user's files, an install refused
// while the program runs, and the uninstall.
#include <windows.h>

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "testkit/dde_child_win.h"
#include "testkit/form_driver_win.h"
#include "testkit/program_test_win.h"
#include "testkit/quorvel_remote_win.h"
#include "testkit/wine_run.h"

namespace quorvel::testing {
namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvel";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD kInstallMs = 120'000;
// The exit code of an install refused because the program runs.
constexpr DWORD kProgramRuns = 2;

std::string SetupPath() {
  return ExecutableDirectory() + "..\\..\\" QUORVEL_SETUP_NAME;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> MachineValue(const char* key, const char* name) {
  char data[1024] = {};
  DWORD size = sizeof data;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(data);
}

std::optional<DWORD> MachineNumber(const char* key, const char* name) {
  DWORD data = 0;
  DWORD size = sizeof data;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return data;
}

// The Start-menu folder of every user, with its trailing backslash.
std::wstring CommonPrograms() {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
  return std::wstring(path) + L"\\";
}

struct Shortcut {
  std::wstring target;
  std::wstring arguments;
  std::wstring working_directory;
};

std::optional<Shortcut> ReadShortcut(const std::wstring& path) {
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return std::nullopt;
  }
  std::optional<Shortcut> result;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
      wchar_t target[MAX_PATH] = {};
      wchar_t arguments[MAX_PATH] = {};
      wchar_t directory[MAX_PATH] = {};
      link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
      link->GetArguments(arguments, MAX_PATH);
      link->GetWorkingDirectory(directory, MAX_PATH);
      result = Shortcut{target, arguments, directory};
    }
    file->Release();
  }
  link->Release();
  return result;
}

std::wstring Wide(const std::string& ansi) {
  return std::wstring(ansi.begin(), ansi.end());  // the test's paths are ASCII
}

class InstallerTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ASSERT_TRUE(Exists(SetupPath())) << SetupPath() << " was not built";
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    install_ = std::string("C:\\QuorvelTest") + test->name();
    folder_ = install_ + "\\";
  }
  void TearDown() override {
    ProgramTest::TearDown();
    // The next test starts from no install.
    if (Exists(folder_ + "uninstall.exe")) Uninstall();
    ::CoUninitialize();
  }

  // The installer's exit code.
  std::optional<DWORD> Install() {
    ChildProcess setup;
    std::string error;
    // "/D=" is the last argument, unquoted, as the installer takes it.
    if (!setup.Start(SetupPath(), {"/S", "/D=" + install_}, &error)) {
      ADD_FAILURE() << error;
      return std::nullopt;
    }
    const std::optional<DWORD> code = setup.WaitExit(kInstallMs);
    setup.Kill();
    return code;
  }
  // Runs the installed uninstaller silently from a copy of it, as the
  // uninstaller itself does, so that its end is the end of the uninstall.
  std::optional<DWORD> Uninstall() {
    const std::string copy = ExecutableDirectory() + "uninstall-copy.exe";
    if (!::CopyFileA((folder_ + "uninstall.exe").c_str(), copy.c_str(), FALSE)) {
      ADD_FAILURE() << "no uninstaller in " << folder_;
      return std::nullopt;
    }
    // "_?=" names the folder to uninstall and runs the copy in place.
    const std::vector<std::string> arguments{"/S", "_?=" + install_};
    ChildProcess uninstall;
    std::string error;
    std::optional<DWORD> code;
    if (uninstall.Start(copy, arguments, &error)) {
      code = uninstall.WaitExit(kInstallMs);
    } else {
      ADD_FAILURE() << error;
    }
    uninstall.Kill();
    ::DeleteFileA(copy.c_str());
    return code;
  }

  std::string install_;
};

TEST_F(InstallerTest, SilentInstallPutsTheProgramItsShortcutsAndItsEntryInPlace) {
  ASSERT_EQ(Install(), std::optional<DWORD>(0));

  // (Not EXPECT_EQ: a failure would print both programs byte by byte.)
  EXPECT_TRUE(FileText(folder_ + "Quorvel.exe") == FileText(ProgramPath()))
      << "the installed program is not the one built";
  for (const char* file : {"license.txt", "uninstall.exe", "doc\\guide.html"}) {
    EXPECT_TRUE(Exists(folder_ + file)) << file;
  }
  EXPECT_FALSE(Exists(folder_ + "Quorvel.ini")) << "the program's files are its own";
  EXPECT_FALSE(Exists(folder_ + "DDEConf.dde"));

  const std::wstring menu = CommonPrograms() + L"Quorvel\\";
  const std::wstring exe = Wide(folder_ + "Quorvel.exe");
  struct Expected {
    const wchar_t* name;
    std::wstring target;
    const wchar_t* arguments;
  };
  const Expected links[] = {
      {L"Quorvel.lnk", exe, L""},
      {L"Quorvel (с доступом к настройкам).lnk", exe, L"/k"},
      {L"Руководство пользователя.lnk", Wide(folder_ + "doc\\guide.html"), L""},
      {L"Удаление Quorvel.lnk", Wide(folder_ + "uninstall.exe"), L""},
  };
  for (const Expected& expected : links) {
    const std::optional<Shortcut> link = ReadShortcut(menu + expected.name);
    ASSERT_TRUE(link) << remote::Utf8(reinterpret_cast<const char16_t*>(expected.name));
    EXPECT_TRUE(::lstrcmpiW(link->target.c_str(), expected.target.c_str()) == 0)
        << remote::Utf8(reinterpret_cast<const char16_t*>(link->target.c_str()));
    EXPECT_EQ(link->arguments, expected.arguments);
    EXPECT_TRUE(::lstrcmpiW(link->working_directory.c_str(), Wide(install_).c_str()) == 0)
        << remote::Utf8(reinterpret_cast<const char16_t*>(link->working_directory.c_str()));
  }

  EXPECT_EQ(MachineValue(kUninstallKey, "DisplayName"), "Quorvel");
  EXPECT_EQ(MachineValue(kUninstallKey, "DisplayVersion"), QUORVEL_VERSION);
  EXPECT_EQ(MachineValue(kUninstallKey, "Publisher"), "Quorvel Instruments");
  EXPECT_EQ(MachineValue(kUninstallKey, "InstallLocation"), install_);
  EXPECT_EQ(MachineValue(kUninstallKey, "UninstallString"), "\"" + folder_ + "uninstall.exe\"");
  const std::optional<DWORD> size = MachineNumber(kUninstallKey, "EstimatedSize");
  ASSERT_TRUE(size);
  EXPECT_GE(*size, FileText(ProgramPath())->size() / 1024) << "KiB of the whole install";

  // Started as its shortcut starts it: in its folder, which it writes to.
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(Request("S1"), Served(kUnread));
  CloseAndExpectExit();
  EXPECT_TRUE(Exists(folder_ + "Quorvel.ini"));
  EXPECT_TRUE(Exists(folder_ + "DDEConf.dde"));
}

TEST_F(InstallerTest, UpgradeKeepsTheUsersFilesByteForByteAndReplacesTheProgram) {
  ASSERT_EQ(Install(), std::optional<DWORD>(0));
  const std::string ini = "[FORM1]\r\nLeft=77\r\n; the user's own\r\n";
  const std::string table = "a table \xE4\xE0\xF2\xF7\xE8\xEA\r\n";
  WriteBytes(IniPath(), ini);
  WriteBytes(TablePath(), table);
  WriteBytes(folder_ + "Quorvel.exe", "an older program");

  ASSERT_EQ(Install(), std::optional<DWORD>(0));
  EXPECT_EQ(FileText(IniPath()), ini);
  EXPECT_EQ(FileText(TablePath()), table);
  EXPECT_TRUE(FileText(folder_ + "Quorvel.exe") == FileText(ProgramPath()))
      << "the installed program is not the one built";
}

TEST_F(InstallerTest, ARunningProgramIsNotReplacedAndTheSilentInstallSaysSo) {
  ASSERT_EQ(Install(), std::optional<DWORD>(0));
  WriteBytes(folder_ + "doc\\guide.html", "the guide of the running install");
  ASSERT_NO_FATAL_FAILURE(Launch());

  EXPECT_EQ(Install(), std::optional<DWORD>(kProgramRuns));
  EXPECT_TRUE(form_.Running());
  EXPECT_EQ(FileText(folder_ + "doc\\guide.html"), "the guide of the running install")
      << "the install went on";
  CloseAndExpectExit();

  EXPECT_EQ(Install(), std::optional<DWORD>(0)) << "once it is closed";
  EXPECT_NE(FileText(folder_ + "doc\\guide.html"), "the guide of the running install");
}

TEST_F(InstallerTest, UninstallRemovesTheProgramAndKeepsTheUsersFiles) {
  ASSERT_EQ(Install(), std::optional<DWORD>(0));
  WriteBytes(IniPath(), "[FORM1]\r\n");
  WriteBytes(TablePath(), "table\r\n");
  WriteBytes(folder_ + "DDEConf.dde.bad", "damaged\r\n");
  // The value the program writes when it is to start with Windows.
  const std::string exe = folder_ + "Quorvel.exe";
  ASSERT_EQ(::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, "Quorvel.exe", REG_SZ, exe.c_str(),
                              static_cast<DWORD>(exe.size() + 1)),
            ERROR_SUCCESS);

  ASSERT_EQ(Uninstall(), std::optional<DWORD>(0));
  for (const char* file : {"Quorvel.exe", "license.txt", "uninstall.exe", "doc"}) {
    EXPECT_FALSE(Exists(folder_ + file)) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(CommonPrograms() + L"Quorvel"));
  EXPECT_FALSE(MachineValue(kUninstallKey, "DisplayName"));
  EXPECT_FALSE(MachineValue(kRunKey, "Quorvel.exe"));
  EXPECT_EQ(FileText(IniPath()), "[FORM1]\r\n");
  EXPECT_EQ(FileText(TablePath()), "table\r\n");
  EXPECT_EQ(FileText(folder_ + "DDEConf.dde.bad"), "damaged\r\n");
}

}  // namespace
}  // namespace quorvel::testing
