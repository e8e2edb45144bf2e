#include "testkit/program_test_win.h"

#include <cstdlib>

#include "base/cp1251.h"
#include "config/profile_file_win.h"
#include "config/table_file.h"
#include "testkit/crash_exit_win.h"
#include "testkit/dde_text.h"
#include "testkit/form_driver_win.h"
#include "testkit/message_wait_win.h"
#include "testkit/wine_run.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {

namespace {

[[maybe_unused]] const bool g_exit_on_crash = ExitOnCrash();

constexpr char kReady[] = "Программа готова к работе";

}  // namespace

bool WaitUntil(const std::function<bool()>& condition) {
  return remote::PumpUntil(condition, remote::kProgramWaitMs);
}

std::u16string Shown(std::string_view utf8) {
  return cp1251::ToUtf16(cp1251::FromUtf8(utf8));
}

std::string Served(std::string_view utf8) {
  std::string bytes(utf8);
  bytes += "\r\n";
  bytes.push_back('\0');
  return bytes;
}

config::SensorTable MakeTable(const std::vector<Sensor>& sensors, std::string_view prefix) {
  config::SensorTable table;
  const int count = static_cast<int>(sensors.size());
  config::ResetSensorTable(table, prefix, count);
  for (int row = 1; row <= count; ++row) {
    const Sensor& sensor = sensors[static_cast<std::size_t>(row - 1)];
    config::SetRowName(table, row, prefix);
    table.SetCell(1, row, std::to_string(sensor.address));
    table.SetCell(2, row, std::to_string(sensor.channel));
    table.SetCell(3, row, std::to_string(sensor.step));
  }
  return table;
}

config::Settings BaseSettings(const std::vector<Sensor>& sensors, std::string_view prefix) {
  config::Settings settings;
  settings.SetItemPrefix(std::string(prefix));
  settings.SetComPort(kCom3);
  settings.SetSpeed(kSpeed9600);
  settings.SetSensorCount(static_cast<int>(sensors.size()));
  settings.SetTimeOut(kShortTimeOutMs);
  settings.SetTimeOutCycle(20);
  settings.table() = MakeTable(sensors, prefix);
  return settings;
}

std::optional<LoggedRequest> ParseLogLine(const std::string& text) {
  const std::size_t addr = text.find(" addr=");
  const std::size_t cmd = text.find(" cmd=");
  const std::size_t answer = text.find(" answer=");
  if (addr == std::string::npos || cmd == std::string::npos || answer == std::string::npos ||
      text.find(" check=ok ") == std::string::npos) {
    return std::nullopt;
  }
  LoggedRequest request;
  request.seconds = std::strtod(text.c_str(), nullptr);
  request.address = static_cast<int>(std::strtol(text.c_str() + addr + 6, nullptr, 10));
  request.command = text.substr(cmd + 5, answer - cmd - 5);
  const std::size_t line = text.find(" line=", answer);
  if (line != std::string::npos) {
    const std::size_t end = text.find(' ', line + 1);
    request.line = text.substr(line + 6, end == std::string::npos ? end : end - line - 6);
  }
  return request;
}

void ProgramTest::SetUp() {
  log_start_ = SimulatorLog().size();
}

void ProgramTest::TearDown() {
  for (auto& client : clients_) client->Kill();
  form_.Terminate();
}

std::string ProgramTest::TestName() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(test->test_suite_name()) + "." + test->name();
}

void ProgramTest::Prepare(const config::Settings& settings) {
  std::string error;
  const std::optional<std::string> folder = ProgramFolder(TestName(), &error);
  ASSERT_TRUE(folder) << error;
  folder_ = *folder;
  ASSERT_TRUE(remote::PrepareFolder(ProgramPath(), folder_, settings, &error)) << error;
}

void ProgramTest::Launch(std::string_view arguments) {
  std::string error;
  ASSERT_TRUE(form_.Start(folder_, arguments, &error)) << error;
  EXPECT_EQ(Pane(ui::kRzStatusPane1Id), kReady);
}

void ProgramTest::PrepareAndLaunch(const config::Settings& settings, std::string_view arguments) {
  ASSERT_NO_FATAL_FAILURE(Prepare(settings));
  ASSERT_NO_FATAL_FAILURE(Launch(arguments));
}

std::string ProgramTest::TablePath() const {
  return folder_ + config::kSensorTableFile;
}

bool ProgramTest::WaitPane(int id, std::string_view utf8) const {
  return form_.WaitControlText(id, Shown(utf8));
}

void ProgramTest::CloseAndExpectExit() {
  form_.Close();
  ExpectExitWithoutDialog();
}

void ProgramTest::ExpectExitWithoutDialog() {
  const remote::RemoteQuorvel::Ending ending = form_.WaitExitOrDialog();
  ASSERT_EQ(ending.dialog, nullptr) << "Quorvel.exe " << remote::RemoteQuorvel::Describe(ending);
  ASSERT_EQ(ending.exit_code, std::optional<DWORD>(0))
      << "Quorvel.exe " << remote::RemoteQuorvel::Describe(ending);
}

std::string ProgramTest::SavedSetting(const std::string& key) const {
  config::Win32ProfileFile profile(IniPath());
  return profile.Read(key.starts_with("Form1") ? "FORM1" : "SetupForm", key, "<missing>");
}

void ProgramTest::ExpectTableFile(const std::vector<Sensor>& sensors) const {
  ASSERT_NE(::GetFileAttributesA(TablePath().c_str()), INVALID_FILE_ATTRIBUTES) << "no table file";
  config::SensorTable table;
  ASSERT_EQ(config::LoadSensorTable(table, TablePath()), std::nullopt);
  EXPECT_EQ(table.RowCount(), static_cast<int>(sensors.size()) + 1);
  EXPECT_EQ(table.cells(), MakeTable(sensors).cells());
}

std::vector<LoggedRequest> ProgramTest::LoggedRequests(int address) const {
  std::vector<LoggedRequest> requests;
  const std::vector<std::string> log = SimulatorLog();
  for (std::size_t i = log_start_; i < log.size(); ++i) {
    const std::optional<LoggedRequest> request = ParseLogLine(log[i]);
    if (request && request->address == address) requests.push_back(*request);
  }
  return requests;
}

ProgramTest::ReadingCount ProgramTest::ReadingsAfterStop(int address) const {
  ReadingCount count;
  int last_address = -1;
  const std::vector<std::string> log = SimulatorLog();
  for (std::size_t i = log_start_; i < log.size(); ++i) {
    const std::optional<LoggedRequest> request = ParseLogLine(log[i]);
    if (!request) continue;
    last_address = request->address;
    if (request->address == address) ++count.most;
  }
  count.least = count.most - (count.most > 0 && last_address == address ? 1 : 0);
  return count;
}

std::vector<std::string> ProgramTest::LoggedCommands(int address) const {
  std::vector<std::string> commands;
  for (const LoggedRequest& request : LoggedRequests(address)) commands.push_back(request.command);
  return commands;
}

std::string ProgramTest::ClientPath() {
  return ExecutableDirectory() + "..\\..\\tools\\dde_client\\DdeClient.exe";
}

ChildProcess& ProgramTest::Advise(const std::vector<std::string>& items) {
  std::vector<std::string> arguments = {"advise", kService, kTopic};
  arguments.insert(arguments.end(), items.begin(), items.end());
  clients_.push_back(std::make_unique<ChildProcess>());
  ChildProcess& client = *clients_.back();
  std::string error;
  EXPECT_TRUE(client.Start(ClientPath(), arguments, &error)) << error;
  for (const std::string& item : items) {
    EXPECT_TRUE(
        client.WaitLine([&](const std::string& l) { return l == "linked " + item; }, kClientMs))
        << "no link to " << item << ":\n"
        << client.Transcript();
  }
  return client;
}

std::vector<std::string> ProgramTest::Updates(const ChildProcess& client, const std::string& item) {
  std::vector<std::string> updates;
  for (const std::string& line : client.OutputLines()) {
    if (line.find(" " + item + " = ") == std::string::npos) continue;
    updates.push_back(cp1251::ToUtf8(QuotedBytes(line).value_or("<bad line>")));
  }
  return updates;
}

bool ProgramTest::WaitUpdates(const ChildProcess& client, const std::string& item,
                              std::size_t count) {
  return WaitUntil([&] { return Updates(client, item).size() >= count; });
}

std::string ProgramTest::Request(const std::string& item, const std::string& topic,
                                 const std::string& service) {
  ChildProcess client;
  std::string error;
  if (!client.Start(ClientPath(), {"request", service, topic, item}, &error)) {
    return std::string(kRequestFailed) + " " + error;
  }
  const std::optional<DWORD> code = client.WaitExit(kClientMs);
  client.Kill();
  const std::vector<std::string> out = client.OutputLines();
  if (code != std::optional<DWORD>(0) || out.size() != 1 || !QuotedBytes(out[0])) {
    return std::string(kRequestFailed) + "\n" + client.Transcript();
  }
  return cp1251::ToUtf8(*QuotedBytes(out[0]));
}

::testing::AssertionResult ProgramTest::Refused(const std::string& item, const std::string& topic) {
  const std::string served = Request(item, topic);
  if (served.starts_with(kRequestFailed)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << topic << "!" << item << " served \"" << served << "\"";
}

}  // namespace quorvel::testing
