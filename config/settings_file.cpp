#include "config/settings_file.h"

#include "config/integer_text.h"
#include "config/mqtt_settings.h"

namespace quorvel::config {

namespace {

constexpr std::string_view kForm = "FORM1";
constexpr std::string_view kSetup = "SetupForm";
constexpr std::string_view kBus = "Bus";

}  // namespace

std::string SettingsPath(std::string_view executable_path) {
  const std::size_t slash = executable_path.find_last_of("\\/");
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = executable_path.rfind('.');
  const bool has_extension = dot != std::string_view::npos && dot >= name_start;
  return std::string(executable_path.substr(0, has_extension ? dot : executable_path.size())) +
         ".ini";
}

int ReadIntegerKey(Profile& profile, std::string_view section, std::string_view key, int current) {
  std::string text = profile.Read(section, key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.replace(0, 2, "$");
  }
  return ParseIntegerText(text).value_or(current);
}

bool ReadBooleanKey(Profile& profile, std::string_view section, std::string_view key,
                    bool current) {
  return ReadIntegerKey(profile, section, key, current ? 1 : 0) != 0;
}

std::string ReadTextKey(Profile& profile, std::string_view section, std::string_view key,
                        const std::string& current) {
  return profile.Read(section, key, current);
}

void ReadIni(Profile& profile, Settings& s, const std::string& table_path) {
  s.SetFormTop(ReadIntegerKey(profile, kForm, "Form1Top", s.FormTop()));
  s.SetFormLeft(ReadIntegerKey(profile, kForm, "Form1Left", s.FormLeft()));
  s.SetStartWithWindows(ReadBooleanKey(profile, kSetup, "StartUp", s.StartWithWindows()));
  s.SetAutoPoll(ReadBooleanKey(profile, kSetup, "CheckBoxState2", s.AutoPoll()));
  s.SetOpenWorkbook(ReadBooleanKey(profile, kSetup, "CheckBoxState3", s.OpenWorkbook()));
  // A list index outside the list keeps the choice it had.
  s.SetComPort(ReadIntegerKey(profile, kSetup, "ComPort", s.ComPort()));
  s.SetSpeed(ReadIntegerKey(profile, kSetup, "Speed", s.Speed()));
  s.SetSensorCount(ReadIntegerKey(profile, kSetup, "Channel", s.SensorCount()));
  s.SetTimeOut(ReadIntegerKey(profile, kSetup, "TimeOut", s.TimeOut()));
  s.SetTimeOutCycle(ReadIntegerKey(profile, kSetup, "TimeOutCycle", s.TimeOutCycle()));
  s.SetWorkbookPath(ReadTextKey(profile, kSetup, "PaTchFile", s.WorkbookPath()));
  s.SetTopic(ReadTextKey(profile, kSetup, "Server", s.Topic()));
  s.SetItemPrefix(ReadTextKey(profile, kSetup, "Item", s.ItemPrefix()));
  s.SetActivePage(ReadIntegerKey(profile, kSetup, "ActivPage", s.ActivePage()));
  s.SetDisplay(ReadIntegerKey(profile, kSetup, "Trey", s.Display()));
  s.SetDemoteAfter(ReadIntegerKey(profile, kBus, "DemoteAfter", s.DemoteAfter()));
  s.SetDemoteForMs(ReadIntegerKey(profile, kBus, "DemoteForMs", s.DemoteForMs()));
  s.SetWaitForReply(ReadIntegerKey(profile, kBus, "WaitForReply", s.WaitForReply()));
  s.SetAdviseDuringRequest(
      ReadBooleanKey(profile, kBus, "AdviseDuringRequest", s.AdviseDuringRequest()));
  MqttSettings mqtt = s.Mqtt();
  ReadMqttSection(profile, mqtt);
  s.SetMqtt(std::move(mqtt));
  LogSettings log = s.Log();
  ReadLogSection(profile, log);
  s.SetLog(std::move(log));
  OpcUaSettings opcua = s.OpcUa();
  ReadOpcUaSection(profile, opcua);
  s.SetOpcUa(std::move(opcua));
  profile.Flush();

  const TableLoad load = LoadSensorTableKeepingRefused(s.table(), table_path);
  if (load.error) ResetSensorTable(s.table(), s.ItemPrefix(), s.SensorCount());
  if (load.unkept) s.ProtectTableFile();
}

std::optional<std::string> WriteIni(Profile& profile, const Settings& s,
                                    std::string_view settings_path, std::int32_t table_id,
                                    const std::string& table_path) {
  const auto flag = [](bool checked) { return checked ? "1" : "0"; };
  const std::pair<std::string_view, std::string> values[] = {
      {"Form1Top", std::to_string(s.FormTop())},
      {"Form1Left", std::to_string(s.FormLeft())},
      {"StartUp", flag(s.StartWithWindows())},
      {"CheckBoxState2", flag(s.AutoPoll())},
      {"CheckBoxState3", flag(s.OpenWorkbook())},
      {"ComPort", std::to_string(s.ComPort())},
      {"Speed", std::to_string(s.Speed())},
      {"Channel", std::to_string(s.SensorCount())},
      {"TimeOut", std::to_string(s.TimeOut())},
      {"TimeOutCycle", std::to_string(s.TimeOutCycle())},
      {"PaTchFile", s.WorkbookPath()},
      {"Server", s.Topic()},
      {"Item", s.ItemPrefix()},
      {"ActivPage", std::to_string(s.ActivePage())},
      {"Trey", std::to_string(s.Display())},
      {"DemoteAfter", std::to_string(s.DemoteAfter())},
      {"DemoteForMs", std::to_string(s.DemoteForMs())},
      {"WaitForReply", std::to_string(s.WaitForReply())},
      {"AdviseDuringRequest", flag(s.AdviseDuringRequest())},
  };
  // The form's two keys, then the dialog's; what came later has sections
  // of its own.
  constexpr std::size_t kSetupEnd = std::size(values) - 4;
  bool written = true;
  for (std::size_t i = 0; i < std::size(values) && written; ++i) {
    const std::string_view section = i < 2 ? kForm : i < kSetupEnd ? kSetup : kBus;
    written = profile.Write(section, values[i].first, values[i].second);
  }
  written = written && WriteMqttSection(profile, s.Mqtt());
  written = written && WriteLogSection(profile, s.Log());
  written = written && WriteOpcUaSection(profile, s.OpcUa());
  profile.Flush();  // the profile is released on the way out all the same
  if (!written) return "Unable to write to " + std::string(settings_path);
  // A failed save is silent: the previous table file stays whole.
  if (!s.TableFileProtected()) (void)SaveSensorTable(s.table(), table_id, table_path);
  return std::nullopt;
}

}  // namespace quorvel::config
