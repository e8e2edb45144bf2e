#include "config/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/cp1251.h"
#include "config/log_settings.h"
#include "config/start_with_windows.h"
#include "memory_profile.h"

namespace quorvel::config {
namespace {

using testing::MemoryProfile;
using Texts = std::vector<std::string>;

constexpr std::string_view kSetup = "SetupForm";
// Every key of the settings file, in the order it is read and written.
const std::vector<std::string> kEveryKey = {"Form1Top",
                                            "Form1Left",
                                            "StartUp",
                                            "CheckBoxState2",
                                            "CheckBoxState3",
                                            "ComPort",
                                            "Speed",
                                            "Channel",
                                            "TimeOut",
                                            "TimeOutCycle",
                                            "PaTchFile",
                                            "Server",
                                            "Item",
                                            "ActivPage",
                                            "Trey",
                                            "DemoteAfter",
                                            "DemoteForMs",
                                            "WaitForReply",
                                            "AdviseDuringRequest",
                                            "Enabled",
                                            "Host",
                                            "Port",
                                            "ClientId",
                                            "User",
                                            "PasswordSealed",
                                            "Tls",
                                            "CaFile",
                                            "TopicRoot",
                                            "Qos",
                                            "BufferMessages",
                                            "Enabled",
                                            "Folder",
                                            "KeepDays",
                                            "Enabled",
                                            "Port",
                                            "Anonymous",
                                            "User",
                                            "PasswordSealed",
                                            "SecurityNone"};

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Texts RowTexts(const SensorTable& t, int row) {
  return {t.Cell(0, row), t.Cell(1, row), t.Cell(2, row), t.Cell(3, row)};
}

class RecordingEffects final : public SettingsEffects {
 public:
  void StartWithWindowsChanged(bool checked) override {
    events.push_back(checked ? "start on" : "start off");
  }
  void DisplayChanging(int index) override { events.push_back("display " + std::to_string(index)); }
  void MqttChanged(const MqttSettings& mqtt) override { events.push_back("mqtt " + mqtt.host); }
  Texts events;
};

// Every test works in a directory of its own, so no table file is shared.
class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("quorvel-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    table_path = (dir_ / "DDEConf.dde").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Read() { ReadIni(profile, settings, table_path); }

  MemoryProfile profile;
  RecordingEffects effects;
  Settings settings{&effects};
  std::string table_path;

 private:
  std::filesystem::path dir_;
};

TEST(SettingsPath, BesideTheExecutableNamedAfterIt) {
  EXPECT_EQ(SettingsPath("C:\\Program Files\\Quorvel\\Quorvel.exe"),
            "C:\\Program Files\\Quorvel\\Quorvel.ini");
  EXPECT_EQ(SettingsPath("C:\\Tools\\Quorvel.v2.exe"), "C:\\Tools\\Quorvel.v2.ini");
  EXPECT_EQ(SettingsPath("C:\\a.dir\\Quorvel"), "C:\\a.dir\\Quorvel.ini");
  EXPECT_EQ(SettingsPath("Z:/opt/q/Copy.EXE"), "Z:/opt/q/Copy.ini");
  EXPECT_EQ(SettingsPath("Quorvel.exe"), "Quorvel.ini");
}

TEST(StartWithWindows, ValueNamedByTheFileName) {
  EXPECT_EQ(RunValueName("C:\\Program Files\\Plant\\Quorvel.exe"), "Quorvel.exe");
  EXPECT_EQ(RunValueName("Z:/opt/q/Copy.v2.EXE"), "Copy.v2.EXE");
  EXPECT_EQ(RunValueName("Quorvel.exe"), "Quorvel.exe");
}

// A copy, made from settings that are gone by then, tells the same parts of
// the program and is whole on its own.
TEST(SettingsCopy, OutlivesItsOriginal) {
  RecordingEffects effects;
  auto original = std::make_unique<Settings>(&effects);
  Settings with_effects = *original;
  auto plain = std::make_unique<Settings>();
  Settings without_effects = *plain;
  original.reset();
  plain.reset();
  with_effects.SetStartWithWindows(true);
  without_effects.SetOpenWorkbook(true);
  without_effects.SetDisplay(1);
  EXPECT_EQ(effects.events, (Texts{"start on"}));
  EXPECT_TRUE(without_effects.OpenWorkbook());
}

// The box's text set again to what it holds is a change like any other.
TEST_F(SettingsFileTest, SameSensorCountTypedAgainReinitialisesTheLastRow) {
  settings.SetSensorCount(3);
  settings.table().SetCell(1, 2, "12");
  settings.table().SetCell(1, 3, "33");
  settings.SetSensorCountText("3");
  EXPECT_EQ(settings.table().Cell(1, 2), "12");
  EXPECT_EQ(RowTexts(settings.table(), 3), (Texts{"S3", "1", "0", "1"}));
}

TEST_F(SettingsFileTest, NoFilesAtAllGiveTheDefaults) {
  Read();
  EXPECT_EQ(settings.ComPortName(), "COM1");
  EXPECT_EQ(settings.BaudRate(), 9600);
  EXPECT_EQ(settings.SensorCount(), 1);
  EXPECT_EQ(settings.TimeOut(), 400);
  EXPECT_EQ(settings.TimeOutCycle(), 0);
  EXPECT_EQ(settings.Topic(), "ZORVIK");
  EXPECT_EQ(settings.ItemPrefix(), "S");
  EXPECT_FALSE(settings.StartWithWindows());
  EXPECT_FALSE(settings.AutoPoll());
  EXPECT_FALSE(settings.OpenWorkbook());
  EXPECT_EQ(settings.Display(), 0);
  EXPECT_EQ(settings.ActivePage(), 0);
  EXPECT_EQ(settings.FormTop(), 524);
  EXPECT_EQ(settings.FormLeft(), 284);
  EXPECT_EQ(settings.table().RowCount(), 2);
  EXPECT_EQ(RowTexts(settings.table(), 1), (Texts{"S1", "1", "0", "1"}));
  EXPECT_EQ(settings.table().Cell(3, 0), std::string(kHeaderStep));
  EXPECT_TRUE(effects.events.empty());
  EXPECT_EQ(profile.flushes, 1);
}

TEST_F(SettingsFileTest, KeysAreReadInTheirOrder) {
  Read();
  EXPECT_EQ(profile.reads, kEveryKey);
}

TEST_F(SettingsFileTest, NumericBoxesAreHeldInRange) {
  for (auto [stored, count] : {std::pair{"0", 1}, {"900", 500}, {"-7", 1}, {"250", 250}}) {
    Settings fresh;
    profile.Set(kSetup, "Channel", stored);
    ReadIni(profile, fresh, table_path);
    EXPECT_EQ(fresh.SensorCount(), count) << stored;
  }
  profile.Set(kSetup, "TimeOut", "50");
  profile.Set(kSetup, "TimeOutCycle", "99999999");
  Read();
  EXPECT_EQ(settings.TimeOut(), 100);
  EXPECT_EQ(settings.TimeOutCycle(), 3'600'000);
}

TEST_F(SettingsFileTest, IntegerSpellings) {
  profile.Set(kSetup, "Speed", "0x6");
  profile.Set(kSetup, "ComPort", "COM3");  // not integer text: COM1 stays
  profile.Set(kSetup, "TimeOut", "0X3E8");
  profile.Set(kSetup, "TimeOutCycle", " +$10");
  profile.Set("FORM1", "Form1Top", "0x");  // too short to be hexadecimal
  Read();
  EXPECT_EQ(settings.BaudRate(), 19200);
  EXPECT_EQ(settings.ComPort(), 0);
  EXPECT_EQ(settings.TimeOut(), 1000);
  EXPECT_EQ(settings.TimeOutCycle(), 16);
  EXPECT_EQ(settings.FormTop(), 524);
}

TEST_F(SettingsFileTest, ListIndicesOutsideTheListKeepTheirDefaults) {
  profile.Set(kSetup, "ComPort", "10");
  profile.Set(kSetup, "Speed", "-1");
  profile.Set(kSetup, "ActivPage", "5");
  profile.Set(kSetup, "Server", "PLANT");  // later keys still load
  Read();
  EXPECT_EQ(settings.ComPort(), 0);
  EXPECT_EQ(settings.Speed(), 5);
  EXPECT_EQ(settings.ActivePage(), 0);
  EXPECT_EQ(settings.Topic(), "PLANT");
  EXPECT_EQ(settings.table().Cell(0, 1), "S1");
}

TEST_F(SettingsFileTest, TheBusSectionKeepsTheDefaultForAValueOutOfRange) {
  for (const auto& [after, for_ms, want_after, want_for] : {std::tuple{"3", "250", 3, 250},
                                                            {"101", "99", 0, 10'000},
                                                            {"-1", "3600001", 0, 10'000},
                                                            {"100", "3600000", 100, 3'600'000},
                                                            {"x", "", 0, 10'000}}) {
    Settings fresh;
    profile.Set("Bus", "DemoteAfter", after);
    profile.Set("Bus", "DemoteForMs", for_ms);
    ReadIni(profile, fresh, table_path);
    EXPECT_EQ(fresh.DemoteAfter(), want_after) << after;
    EXPECT_EQ(fresh.DemoteForMs(), want_for) << for_ms;
  }
  settings.SetDemoteAfter(7);
  settings.SetDemoteForMs(500);
  ASSERT_FALSE(WriteIni(profile, settings, "C:\\Q\\Quorvel.ini", 0, table_path));
  EXPECT_EQ(*profile.Get("Bus", "DemoteAfter"), "7");
  EXPECT_EQ(*profile.Get("Bus", "DemoteForMs"), "500");
  EXPECT_FALSE(profile.Get(kSetup, "DemoteAfter")) << "not in the dialog's section";
}

// The broker's section: what an old file without it gives, what a damaged
// key gives, and every key written back; a change tells the publisher once.
TEST_F(SettingsFileTest, TheMqttSectionReadsWritesAndTellsTheChange) {
  Read();
  EXPECT_EQ(settings.Mqtt(), MqttSettings{});
  EXPECT_TRUE(effects.events.empty());
  EXPECT_EQ(MqttSettings{}.port, 1883);
  EXPECT_EQ(MqttSettings{}.qos, 1);
  EXPECT_EQ(MqttSettings{}.buffer_messages, 100'000);

  for (const auto& [key, text] : {std::pair{"Port", "0"},
                                  {"Port", "65536"},
                                  {"Qos", "2"},
                                  {"BufferMessages", "0"},
                                  {"BufferMessages", "1000001"},
                                  {"Port", "x"}}) {
    Settings fresh;
    profile.Set("MQTT", key, text);
    ReadIni(profile, fresh, table_path);
    EXPECT_EQ(fresh.Mqtt(), MqttSettings{}) << key << "=" << text;
  }
  profile.Set("MQTT", "Enabled", "1");
  profile.Set("MQTT", "Host", "broker.plant");
  profile.Set("MQTT", "Port", "8883");
  profile.Set("MQTT", "Tls", "1");
  profile.Set("MQTT", "Qos", "0");
  profile.Set("MQTT", "BufferMessages", "0x10");
  profile.Set("MQTT", "PasswordSealed", "01000000D08C9DDF");
  Read();
  const MqttSettings& read = settings.Mqtt();
  EXPECT_TRUE(read.enabled && read.tls);
  EXPECT_EQ(read.host, "broker.plant");
  EXPECT_EQ(read.port, 8883);
  EXPECT_EQ(read.qos, 0);
  EXPECT_EQ(read.buffer_messages, 16);
  EXPECT_EQ(read.sealed_password, "01000000D08C9DDF");
  EXPECT_EQ(effects.events, (Texts{"mqtt broker.plant"}));

  MqttSettings changed = read;
  changed.client_id = "Quorvel-PC7";
  changed.ca_file = "C:\\certs\\plant-ca.pem";
  changed.topic_root = "plant/line2";
  changed.user = "line2";
  changed.port = 70'000;  // held in range
  settings.SetMqtt(changed);
  settings.SetMqtt(settings.Mqtt());
  EXPECT_EQ(effects.events.size(), 2u);
  EXPECT_EQ(settings.Mqtt().port, 65'535);
  ASSERT_FALSE(WriteIni(profile, settings, "C:\\Q\\Quorvel.ini", 0, table_path));
  Settings back;
  ReadIni(profile, back, table_path);
  EXPECT_EQ(back.Mqtt(), settings.Mqtt());
  EXPECT_FALSE(profile.Get(kSetup, "Host")) << "not in the dialog's section";
}

// The OPC UA server's section: off and closed by default (a user name is
// needed, unsecured connections are refused), damaged keys, a round trip.
TEST(OpcUaSection, StartsClosedReadsWhatIsSoundAndWritesEveryKey) {
  MemoryProfile profile;
  OpcUaSettings opcua;
  ReadOpcUaSection(profile, opcua);
  EXPECT_EQ(opcua, (OpcUaSettings{false, 4840, false, "", "", false}));

  for (const char* text : {"0", "65536", "x", "4840 "}) {
    OpcUaSettings fresh;
    fresh.port = 4841;
    profile.Set("OPCUA", "Port", text);
    ReadOpcUaSection(profile, fresh);
    EXPECT_EQ(fresh.port, 4841) << text;
  }
  const OpcUaSettings chosen{true, 48'400, true, "operator", "01000000D08C9DDF", true};
  MemoryProfile written;
  ASSERT_TRUE(WriteOpcUaSection(written, chosen));
  EXPECT_EQ(*written.Get("OPCUA", "SecurityNone"), "1");
  OpcUaSettings back;
  ReadOpcUaSection(written, back);
  EXPECT_EQ(back, chosen);
  written.refuse_key = "User";
  EXPECT_FALSE(WriteOpcUaSection(written, chosen));
}

// The reading log's section: an old file without it, damaged keys, every key
// written back and read again.
TEST(LogSection, ReadsWhatIsSoundAndWritesEveryKey) {
  MemoryProfile profile;
  LogSettings log;
  ReadLogSection(profile, log);
  EXPECT_EQ(log, LogSettings{});
  EXPECT_EQ(profile.reads, (Texts{"Enabled", "Folder", "KeepDays"}));
  EXPECT_FALSE(log.enabled);
  EXPECT_EQ(log.keep_days, 31);

  for (const char* text : {"0", "3651", "-5", "x", "", "10 days"}) {
    LogSettings fresh;
    fresh.keep_days = 90;
    profile.Set("Log", "KeepDays", text);
    ReadLogSection(profile, fresh);
    EXPECT_EQ(fresh.keep_days, 90) << text;
  }
  profile.Set("Log", "Enabled", "1");
  const std::string folder = cp1251::FromUtf8("D:\\Журнал");
  profile.Set("Log", "Folder", folder);
  profile.Set("Log", "KeepDays", "0x10");
  ReadLogSection(profile, log);
  EXPECT_EQ(log, (LogSettings{true, folder, 16}));

  log.keep_days = 3650;
  MemoryProfile written;
  ASSERT_TRUE(WriteLogSection(written, log));
  EXPECT_EQ(written.writes, (Texts{"Enabled", "Folder", "KeepDays"}));
  EXPECT_EQ(*written.Get("Log", "KeepDays"), "3650");
  LogSettings back;
  ReadLogSection(written, back);
  EXPECT_EQ(back, log);

  written.refuse_key = "Folder";
  EXPECT_FALSE(WriteLogSection(written, LogSettings{}));
  EXPECT_EQ(written.writes.back(), "Enabled");
}

TEST_F(SettingsFileTest, BooleansAndTheirSideEffects) {
  profile.Set(kSetup, "StartUp", "2");
  profile.Set(kSetup, "CheckBoxState2", "-1");
  profile.Set(kSetup, "CheckBoxState3", "1");
  profile.Set(kSetup, "Trey", "7");
  Read();
  EXPECT_TRUE(settings.StartWithWindows());
  EXPECT_TRUE(settings.AutoPoll());
  EXPECT_TRUE(settings.OpenWorkbook());
  EXPECT_EQ(settings.Display(), 1);
  EXPECT_EQ(effects.events, (Texts{"start on", "display 1"}));
}

TEST_F(SettingsFileTest, NegativeDisplayClearsTheChoiceQuietly) {
  profile.Set(kSetup, "Trey", "-3");
  Read();
  EXPECT_EQ(settings.Display(), -1);
  EXPECT_TRUE(effects.events.empty());
}

TEST_F(SettingsFileTest, TextKeys) {
  profile.Set(kSetup, "Item", "");  // present but empty: the prefix becomes empty
  profile.Set(kSetup, "PaTchFile", std::string(3000, 'p'));
  Read();
  EXPECT_EQ(settings.ItemPrefix(), "");
  EXPECT_EQ(settings.table().Cell(0, 1), "1");
  EXPECT_EQ(settings.WorkbookPath().size(), kProfileBufferSize - 1);
  EXPECT_EQ(settings.Topic(), "ZORVIK");  // missing: the default stays
}

TEST_F(SettingsFileTest, CountAndPrefixShapeTheTableWhenNoFileLoads) {
  profile.Set(kSetup, "Channel", "3");
  profile.Set(kSetup, "Item", "T");
  Read();
  EXPECT_EQ(settings.table().RowCount(), 4);
  EXPECT_EQ(RowTexts(settings.table(), 1), (Texts{"T1", "1", "0", "1"}));
  EXPECT_EQ(RowTexts(settings.table(), 3), (Texts{"T3", "1", "0", "1"}));
  EXPECT_EQ(settings.table().Cell(1, 0), std::string(kHeaderAddress));
}

// A table file that fails to load is completed silently into the default
// table, which the close saves: the failed file's bytes are kept beside it
// first, under a name of their own each time.
TEST_F(SettingsFileTest, ATableFileThatFailsToLoadIsKeptBeforeTheSaveOverIt) {
  const std::string damaged[] = {std::string("QRVL\x01\0\xff", 7), "not a table at all"};
  for (int n = 1; n <= 2; ++n) {
    WriteFile(table_path, damaged[n - 1]);
    Settings fresh;
    ReadIni(profile, fresh, table_path);
    EXPECT_EQ(fresh.table().RowCount(), 2) << "the default table";
    ASSERT_EQ(WriteIni(profile, fresh, "C:\\Q\\Quorvel.ini", 0, table_path), std::nullopt);
    SensorTable back;
    EXPECT_EQ(LoadSensorTable(back, table_path), std::nullopt) << "the default table, saved";
    EXPECT_EQ(ReadFile(KeptTablePath(table_path, n)), damaged[n - 1]) << n;
  }
  EXPECT_EQ(ReadFile(KeptTablePath(table_path, 1)), damaged[0]) << "never overwritten";
  EXPECT_EQ(KeptTablePath(table_path, 1), table_path + ".bad");
  EXPECT_EQ(KeptTablePath(table_path, 2), table_path + ".bad2");

  // A good file or none: nothing is kept.
  Settings again;
  ReadIni(profile, again, table_path);
  ASSERT_EQ(WriteIni(profile, again, "C:\\Q\\Quorvel.ini", 0, table_path), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(KeptTablePath(table_path, 3)));
}

// With no free name to keep it under, the failed file is never saved over.
TEST_F(SettingsFileTest, ATableFileThatCannotBeKeptIsNotSavedOver) {
  for (int n = 1; n <= kMaxKeptTables; ++n) WriteFile(KeptTablePath(table_path, n), "kept");
  WriteFile(table_path, "damaged");
  Settings fresh;
  ReadIni(profile, fresh, table_path);
  EXPECT_TRUE(fresh.TableFileProtected());
  ASSERT_EQ(WriteIni(profile, fresh, "C:\\Q\\Quorvel.ini", 0, table_path), std::nullopt);
  EXPECT_EQ(ReadFile(table_path), "damaged");
}

TEST_F(SettingsFileTest, TheTableFileWinsOverTheStoredCount) {
  Settings five;
  ResetSensorTable(five.table(), "S", 1);
  five.SetSensorCount(5);
  five.table().SetCell(1, 5, "42");
  ASSERT_FALSE(SaveSensorTable(five.table(), 0, table_path));

  profile.Set(kSetup, "Channel", "3");
  Read();
  EXPECT_EQ(settings.SensorCount(), 3);
  EXPECT_EQ(settings.table().RowCount(), 6);
  EXPECT_EQ(settings.table().Cell(1, 5), "42");
}

TEST_F(SettingsFileTest, WriteIniWritesEveryKeyInOrderAndReadsBack) {
  settings.SetComPort(2);
  settings.SetSpeed(6);
  settings.SetSensorCount(4);
  settings.SetTimeOut(250);
  settings.SetTopic("PLANT");
  settings.SetItemPrefix("T");
  settings.SetDisplay(1);
  settings.SetActivePage(2);
  settings.SetOpenWorkbook(true);
  settings.SetWorkbookPath("C:\\book.xls");
  settings.SetFormTop(-20);
  ASSERT_FALSE(WriteIni(profile, settings, "C:\\Q\\Quorvel.ini", 0, table_path));
  EXPECT_EQ(profile.writes, kEveryKey);
  EXPECT_EQ(*profile.Get("FORM1", "Form1Top"), "-20");
  EXPECT_EQ(*profile.Get(kSetup, "CheckBoxState3"), "1");
  EXPECT_EQ(*profile.Get(kSetup, "StartUp"), "0");
  EXPECT_EQ(*profile.Get(kSetup, "Channel"), "4");
  EXPECT_TRUE(std::filesystem::exists(table_path));

  Settings back;
  ReadIni(profile, back, table_path);
  EXPECT_EQ(back.ComPortName(), "COM3");
  EXPECT_EQ(back.BaudRate(), 19200);
  EXPECT_EQ(back.SensorCount(), 4);
  EXPECT_EQ(back.TimeOut(), 250);
  EXPECT_EQ(back.Topic(), "PLANT");
  EXPECT_EQ(back.Display(), 1);
  EXPECT_EQ(back.ActivePage(), 2);
  EXPECT_EQ(back.WorkbookPath(), "C:\\book.xls");
  EXPECT_EQ(back.FormTop(), -20);
  EXPECT_EQ(back.table().cells(), settings.table().cells());
}

TEST_F(SettingsFileTest, RefusedWriteStopsAtOnce) {
  profile.refuse_key = "Speed";
  const auto error = WriteIni(profile, settings, "C:\\Q\\Quorvel.ini", 0, table_path);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "Unable to write to C:\\Q\\Quorvel.ini");
  EXPECT_EQ(profile.writes.back(), "ComPort");
  EXPECT_FALSE(std::filesystem::exists(table_path));  // the table is not saved either
  EXPECT_EQ(profile.flushes, 1);
}

}  // namespace
}  // namespace quorvel::config
