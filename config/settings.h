// Every setting of the program but the sensor table's cells, in one model
// that the settings dialog edits. A change made here has the same side
// effects, in the same place, as the user's change of the control that shows
// the setting: the sensor-count box resizes the table, the prefix box renames
// its rows, the start-up option and the display choice tell the parts of the
// program that act on them (SettingsEffects).
#pragma once

#include <cstdint>
#include <string>

#include "config/log_settings.h"
#include "config/mqtt_settings.h"
#include "config/opcua_settings.h"
#include "config/range.h"
#include "config/sensor_table.h"

namespace quorvel::config {

// What other parts of the program do when a setting changes. The defaults
// do nothing, for the code that has no such part (tests, tools).
class SettingsEffects {
 public:
  virtual ~SettingsEffects() = default;
  // The start-with-Windows option changed: register or unregister the program.
  virtual void StartWithWindowsChanged(bool /*checked*/) {}
  // The display choice is about to become `index`: 0 taskbar only (tray
  // icon off), 1 notification area only (tray icon on).
  virtual void DisplayChanging(int /*index*/) {}
  // The broker settings changed: the publisher starts over with them.
  virtual void MqttChanged(const MqttSettings& /*mqtt*/) {}
  // The reading log's settings changed: the log starts over with them.
  virtual void LogChanged(const LogSettings& /*log*/) {}
  // The OPC UA server's settings changed: the server starts over with them.
  virtual void OpcUaChanged(const OpcUaSettings& /*opcua*/) {}
};

inline constexpr int kPortChoices = 10;  // COM1 .. COM10
inline constexpr int kSpeedChoices = 7;  // 300 .. 19200
// "Общие", search (hidden), "Обмен", "Настройки DDE", "Дополнительно"
inline constexpr int kPageCount = 5;

inline constexpr Range kSensorCountRange{1, kMaxSensors};
inline constexpr Range kTimeOutRange{100, 100'000'000};
inline constexpr Range kCycleRange{0, 3'600'000};
// Demotion of a device that does not answer: after how many exchanges in a
// row without the start of a reply (0: never), and for how long at first.
inline constexpr Range kDemoteAfterRange{0, 100};
inline constexpr Range kDemoteForRange{100, 3'600'000};
inline constexpr int kDefaultDemoteForMs = 10'000;
// How the wait for a reply waits: 0 looking at the port without pause, 1
// every 2 ms, 2 woken by the arrival of the bytes (bus/more_com.h).
inline constexpr Range kWaitForReplyRange{0, 2};
inline constexpr int kDefaultWaitForReply = 2;

// Line speed of a speed index; 0 for an index outside the list.
std::int32_t SpeedOfIndex(int index);

class Settings {
 public:
  // Every setting at its designed value; the table as the grid is designed.
  explicit Settings(SettingsEffects* effects = nullptr);

  // Main window position.
  int FormTop() const { return form_top_; }
  int FormLeft() const { return form_left_; }
  void SetFormTop(int top) { form_top_ = top; }
  void SetFormLeft(int left) { form_left_ = left; }

  bool StartWithWindows() const { return start_with_windows_; }
  void SetStartWithWindows(bool checked);
  bool AutoPoll() const { return auto_poll_; }
  void SetAutoPoll(bool checked) { auto_poll_ = checked; }
  bool OpenWorkbook() const { return open_workbook_; }
  void SetOpenWorkbook(bool checked) { open_workbook_ = checked; }

  // Index 0..9 (COM1..COM10). An index outside the list is refused (false)
  // and the choice stays as it was.
  int ComPort() const { return com_port_; }
  bool SetComPort(int index);
  std::string ComPortName() const;
  // Index 0..6 (300, 600, 1200, 2400, 4800, 9600, 19200 bit/s); refused the same way.
  int Speed() const { return speed_; }
  bool SetSpeed(int index);
  std::int32_t BaudRate() const { return SpeedOfIndex(speed_); }

  // The sensor-count box: its text, and its value (the text read as a number
  // and held within 1..500; text that cannot be read gives the minimum).
  // Every change of the text applies it to the table (ResizeSensorTable),
  // with the prefix of that moment.
  const std::string& SensorCountText() const { return sensor_count_text_; }
  void SetSensorCountText(std::string text);
  int SensorCount() const;
  // Sets the box to a number, held within the range.
  void SetSensorCount(int count);

  // Reply time-out and cycle interval in milliseconds, held within range.
  int TimeOut() const { return time_out_; }
  void SetTimeOut(int ms) { time_out_ = kTimeOutRange.Clamp(ms); }
  int TimeOutCycle() const { return time_out_cycle_; }
  void SetTimeOutCycle(int ms) { time_out_cycle_ = kCycleRange.Clamp(ms); }

  // A value outside its range is refused (false) and the setting stays.
  int DemoteAfter() const { return demote_after_; }
  bool SetDemoteAfter(int count);
  int DemoteForMs() const { return demote_for_ms_; }
  bool SetDemoteForMs(int ms);
  int WaitForReply() const { return wait_for_reply_; }
  bool SetWaitForReply(int mode);
  // The DDE clients are told of a reading while the next request is on the
  // line (true), or before it is written.
  bool AdviseDuringRequest() const { return advise_during_request_; }
  void SetAdviseDuringRequest(bool during) { advise_during_request_ = during; }

  // Numbers out of their range are held in it; a change that makes no
  // difference tells nobody.
  const MqttSettings& Mqtt() const { return mqtt_; }
  void SetMqtt(MqttSettings mqtt);
  const LogSettings& Log() const { return log_; }
  void SetLog(LogSettings log);
  const OpcUaSettings& OpcUa() const { return opcua_; }
  void SetOpcUa(OpcUaSettings opcua);

  const std::string& WorkbookPath() const { return workbook_path_; }
  void SetWorkbookPath(std::string path) { workbook_path_ = std::move(path); }
  // The DDE topic; the server takes it on OK, not at each change.
  const std::string& Topic() const { return topic_; }
  void SetTopic(std::string topic) { topic_ = std::move(topic); }
  // The DDE item prefix. A change renames the table's rows at once.
  const std::string& ItemPrefix() const { return item_prefix_; }
  void SetItemPrefix(std::string prefix);

  // The settings page shown last, 0..4; an index outside is refused.
  int ActivePage() const { return active_page_; }
  bool SetActivePage(int index);
  // Where the program shows itself: 0 taskbar only, 1 notification area
  // only, -1 no choice. Above 1 selects 1; below 0 clears the choice.
  int Display() const { return display_; }
  void SetDisplay(int index);

  SensorTable& table() { return table_; }
  const SensorTable& table() const { return table_; }
  // The table file failed to load and no copy of it could be kept: the
  // table is not saved over it in this run.
  bool TableFileProtected() const { return table_file_protected_; }
  void ProtectTableFile() { table_file_protected_ = true; }

 private:
  // Not owned; null for none. A pointer, so a copy of the settings tells the
  // same parts and never refers into the settings it was copied from.
  SettingsEffects* effects_;
  int form_top_ = 524;
  int form_left_ = 284;
  bool start_with_windows_ = false;
  bool auto_poll_ = false;
  bool open_workbook_ = false;
  int com_port_ = 0;
  int speed_ = 5;
  std::string sensor_count_text_ = "1";
  int time_out_ = 400;
  int time_out_cycle_ = 0;
  int demote_after_ = 0;
  int demote_for_ms_ = kDefaultDemoteForMs;
  int wait_for_reply_ = kDefaultWaitForReply;
  bool advise_during_request_ = true;
  MqttSettings mqtt_;
  OpcUaSettings opcua_;
  LogSettings log_;
  std::string workbook_path_;
  std::string topic_ = "ZORVIK";
  std::string item_prefix_ = "S";
  int active_page_ = 0;
  int display_ = 0;
  SensorTable table_;
  bool table_file_protected_ = false;
};

}  // namespace quorvel::config
