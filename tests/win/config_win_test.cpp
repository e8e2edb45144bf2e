// The settings file and the table file through the real Win32 calls, in a
// folder of the run's own (the Windows temp folder of the run's prefix).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "base/executable_path.h"
#include "config/profile_file_win.h"
#include "config/secret_seal_win.h"
#include "config/settings_file.h"
#include "config/start_with_windows.h"
#include "config/table_file.h"

namespace quorvel::config {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ConfigWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    dir = std::string(temp) + "quorvel-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ini_path = dir + "Quorvel.ini";
    table_path = dir + "DDEConf.dde";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  void Store(const char* key, const char* value) {
    ASSERT_TRUE(::WritePrivateProfileStringA("SetupForm", key, value, ini_path.c_str()));
  }

  std::string dir, ini_path, table_path;
};

TEST_F(ConfigWinTest, SettingsPathOfThisProgram) {
  const std::string exe = ExecutablePath();
  ASSERT_GE(exe.size(), 4u);
  EXPECT_EQ(exe.substr(exe.size() - 4), ".exe");
  EXPECT_EQ(SettingsPath(exe), exe.substr(0, exe.size() - 4) + ".ini");
}

TEST_F(ConfigWinTest, MissingFilesGiveTheDefaults) {
  Win32ProfileFile profile(ini_path);
  Settings settings;
  ReadIni(profile, settings, table_path);
  EXPECT_EQ(settings.ComPortName(), "COM1");
  EXPECT_EQ(settings.BaudRate(), 9600);
  EXPECT_EQ(settings.Topic(), "ZORVIK");
  EXPECT_EQ(settings.table().Cell(0, 1), "S1");
  EXPECT_FALSE(std::filesystem::exists(ini_path));  // reading creates nothing
}

TEST_F(ConfigWinTest, StoredValuesThroughTheProfileFunctions) {
  Store("Channel", "900");
  Store("TimeOut", "50");
  Store("Speed", "0x6");
  Store("ComPort", "x");
  Store("StartUp", "2");
  Store("Item", "");
  Win32ProfileFile profile(ini_path);
  Settings settings;
  ReadIni(profile, settings, table_path);
  EXPECT_EQ(settings.SensorCount(), 500);
  EXPECT_EQ(settings.TimeOut(), 100);
  EXPECT_EQ(settings.BaudRate(), 19200);
  EXPECT_EQ(settings.ComPort(), 0);
  EXPECT_TRUE(settings.StartWithWindows());
  EXPECT_EQ(settings.ItemPrefix(), "");  // present but empty
  EXPECT_EQ(settings.table().Cell(0, 500), "500");
}

TEST_F(ConfigWinTest, WriteIniThenReadIni) {
  Settings settings;
  settings.SetComPort(9);
  settings.SetSensorCount(3);
  settings.SetTopic("PLANT");
  settings.SetWorkbookPath("C:\\Книги\\book.xls");
  settings.table().SetCell(1, 2, "17");
  Win32ProfileFile profile(ini_path);
  ASSERT_FALSE(WriteIni(profile, settings, ini_path, 1234, table_path));

  const std::string text = ReadBytes(ini_path);
  EXPECT_NE(text.find("[FORM1]"), std::string::npos);
  EXPECT_LT(text.find("[FORM1]"), text.find("[SetupForm]"));
  EXPECT_LT(text.find("StartUp=0"), text.find("Trey=0"));
  EXPECT_NE(text.find("ComPort=9"), std::string::npos);

  Win32ProfileFile again(ini_path);
  Settings back;
  ReadIni(again, back, table_path);
  EXPECT_EQ(back.ComPortName(), "COM10");
  EXPECT_EQ(back.SensorCount(), 3);
  EXPECT_EQ(back.Topic(), "PLANT");
  EXPECT_EQ(back.WorkbookPath(), settings.WorkbookPath());
  EXPECT_EQ(back.table().Cell(1, 2), "17");
  EXPECT_EQ(back.table().cells(), settings.table().cells());
}

// The broker's password reaches the file only sealed for this user, and
// opens back; text that was not sealed here, or was altered, does not open.
TEST_F(ConfigWinTest, ThePasswordIsStoredSealed) {
  const std::string password = "Pl@nt-secret 1";
  const std::optional<std::string> sealed = SealSecret(password);
  ASSERT_TRUE(sealed);
  Settings settings;
  MqttSettings mqtt;
  mqtt.user = "line2";
  mqtt.sealed_password = *sealed;
  settings.SetMqtt(mqtt);
  Win32ProfileFile profile(ini_path);
  ASSERT_FALSE(WriteIni(profile, settings, ini_path, 1, table_path));
  const std::string text = ReadBytes(ini_path);
  EXPECT_EQ(text.find("Pl@nt"), std::string::npos) << text;
  EXPECT_NE(text.find("[MQTT]"), std::string::npos);

  Win32ProfileFile again(ini_path);
  Settings back;
  ReadIni(again, back, table_path);
  EXPECT_EQ(OpenSecret(back.Mqtt().sealed_password), password);
  EXPECT_EQ(SealSecret(""), "");
  EXPECT_EQ(OpenSecret(""), "");
  EXPECT_FALSE(OpenSecret("0G"));
  std::string altered = *sealed;
  altered[altered.size() - 2] = altered[altered.size() - 2] == '0' ? '1' : '0';
  EXPECT_FALSE(OpenSecret(altered));
}

TEST_F(ConfigWinTest, RefusedWriteNamesTheFile) {
  const std::string nowhere = dir + "no such folder\\Quorvel.ini";
  Win32ProfileFile profile(nowhere);
  Settings settings;
  const auto error = WriteIni(profile, settings, nowhere, 0, table_path);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "Unable to write to " + nowhere);
  EXPECT_FALSE(std::filesystem::exists(table_path));
}

TEST_F(ConfigWinTest, TableSavesReplaceTheFileWhole) {
  SensorTable table;
  ResetSensorTable(table, "S", 1);
  ASSERT_FALSE(SaveSensorTable(table, 1, table_path));
  ResizeSensorTable(table, "40", "S");
  ASSERT_FALSE(SaveSensorTable(table, 2, table_path));  // over an existing file
  SensorTable back;
  ASSERT_FALSE(LoadSensorTable(back, table_path));
  EXPECT_EQ(back.RowCount(), 41);
  EXPECT_EQ(back.cells(), table.cells());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind
}

// The Run value of this prefix's machine key; the tests put the key back as
// they found it.
class StartWithWindowsTest : public ::testing::Test {
 protected:
  static constexpr char kPath[] = "C:\\Program Files\\Plant\\Quorvel.exe";
  static constexpr char kName[] = "Quorvel.exe";

  void SetUp() override { TearDown(); }  // the key there, the value not
  void TearDown() override {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
      ::RegDeleteValueA(key, kName);
      ::RegCloseKey(key);
    }
  }
  // The value's type and data; nothing when it is not there.
  static std::optional<std::pair<DWORD, std::string>> Value() {
    char data[MAX_PATH] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kRunKey, kName, RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                       &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::pair{type, std::string(data)};
  }
};

TEST_F(StartWithWindowsTest, CheckedWritesTheUnquotedPathUncheckedDeletesIt) {
  RegisterStartWithWindows(true, kPath);
  EXPECT_EQ(Value(), (std::pair<DWORD, std::string>{REG_SZ, kPath}));
  RegisterStartWithWindows(true, kPath);
  EXPECT_EQ(Value(), (std::pair<DWORD, std::string>{REG_SZ, kPath}));
  RegisterStartWithWindows(false, kPath);
  EXPECT_EQ(Value(), std::nullopt);
  RegisterStartWithWindows(false, kPath);  // nothing to delete: nothing happens
  EXPECT_EQ(Value(), std::nullopt);
}

TEST_F(StartWithWindowsTest, MissingKeyIsNeitherCreatedNorAnError) {
  ASSERT_EQ(::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRunKey), ERROR_SUCCESS);
  RegisterStartWithWindows(true, kPath);
  HKEY key = nullptr;
  EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  if (key != nullptr) ::RegCloseKey(key);
}

TEST_F(StartWithWindowsTest, StoredOptionRegistersAgainOnReading) {
  // Reading "StartUp"=1 checks the option, with the effect a user's check has.
  class Registering final : public SettingsEffects {
   public:
    void StartWithWindowsChanged(bool checked) override {
      RegisterStartWithWindows(checked, kPath);
    }
  } effects;
  char temp[MAX_PATH];
  ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string ini = std::string(temp) + "quorvel-startup.ini";
  ASSERT_TRUE(::WritePrivateProfileStringA("SetupForm", "StartUp", "1", ini.c_str()));
  Settings settings(&effects);
  Win32ProfileFile profile(ini);
  ReadIni(profile, settings, std::string(temp) + "quorvel-startup.dde");
  ::DeleteFileA(ini.c_str());
  EXPECT_TRUE(settings.StartWithWindows());
  EXPECT_EQ(Value(), (std::pair<DWORD, std::string>{REG_SZ, kPath}));
}

}  // namespace
}  // namespace quorvel::config
