#include "config/settings.h"

#include "config/integer_text.h"

namespace quorvel::config {

std::int32_t SpeedOfIndex(int index) {
  constexpr std::int32_t kSpeeds[kSpeedChoices] = {300, 600, 1200, 2400, 4800, 9600, 19200};
  return index >= 0 && index < kSpeedChoices ? kSpeeds[index] : 0;
}

Settings::Settings(SettingsEffects* effects) : effects_(effects) {}

void Settings::SetStartWithWindows(bool checked) {
  if (checked == start_with_windows_) return;
  start_with_windows_ = checked;
  if (effects_ != nullptr) effects_->StartWithWindowsChanged(checked);
}

bool Settings::SetComPort(int index) {
  if (index < 0 || index >= kPortChoices) return false;
  com_port_ = index;
  return true;
}

std::string Settings::ComPortName() const {
  return "COM" + std::to_string(com_port_ + 1);
}

bool Settings::SetSpeed(int index) {
  if (index < 0 || index >= kSpeedChoices) return false;
  speed_ = index;
  return true;
}

void Settings::SetSensorCountText(std::string text) {
  // The same text typed again is a change of the box too: it re-initialises
  // the last row, as the table's resize rule says for an unchanged count.
  sensor_count_text_ = std::move(text);
  ResizeSensorTable(table_, sensor_count_text_, item_prefix_);
}

int Settings::SensorCount() const {
  const auto value = ParseIntegerText(sensor_count_text_);
  return value ? kSensorCountRange.Clamp(*value) : kSensorCountRange.min;
}

void Settings::SetSensorCount(int count) {
  SetSensorCountText(std::to_string(kSensorCountRange.Clamp(count)));
}

void Settings::SetItemPrefix(std::string prefix) {
  if (prefix == item_prefix_) return;
  item_prefix_ = std::move(prefix);
  RenameSensorRows(table_, item_prefix_);
}

bool Settings::SetWaitForReply(int mode) {
  if (kWaitForReplyRange.Clamp(mode) != mode) return false;
  wait_for_reply_ = mode;
  return true;
}

bool Settings::SetDemoteAfter(int count) {
  if (kDemoteAfterRange.Clamp(count) != count) return false;
  demote_after_ = count;
  return true;
}

bool Settings::SetDemoteForMs(int ms) {
  if (kDemoteForRange.Clamp(ms) != ms) return false;
  demote_for_ms_ = ms;
  return true;
}

void Settings::SetLog(LogSettings log) {
  log.keep_days = kLogKeepDaysRange.Clamp(log.keep_days);
  if (log == log_) return;
  log_ = std::move(log);
  if (effects_ != nullptr) effects_->LogChanged(log_);
}

void Settings::SetOpcUa(OpcUaSettings opcua) {
  opcua.port = kOpcUaPortRange.Clamp(opcua.port);
  if (opcua == opcua_) return;
  opcua_ = std::move(opcua);
  if (effects_ != nullptr) effects_->OpcUaChanged(opcua_);
}

void Settings::SetMqtt(MqttSettings mqtt) {
  mqtt.port = kMqttPortRange.Clamp(mqtt.port);
  mqtt.qos = kMqttQosRange.Clamp(mqtt.qos);
  mqtt.buffer_messages = kMqttBufferRange.Clamp(mqtt.buffer_messages);
  if (mqtt == mqtt_) return;
  mqtt_ = std::move(mqtt);
  if (effects_ != nullptr) effects_->MqttChanged(mqtt_);
}

bool Settings::SetActivePage(int index) {
  if (index < 0 || index >= kPageCount) return false;
  active_page_ = index;
  return true;
}

void Settings::SetDisplay(int index) {
  const int choice = index > 1 ? 1 : index < 0 ? -1 : index;
  if (choice == display_) return;
  if (choice >= 0 && effects_ != nullptr) effects_->DisplayChanging(choice);
  display_ = choice;
}

}  // namespace quorvel::config
