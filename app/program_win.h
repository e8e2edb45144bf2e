// The program: for its whole life it owns the DDE service and its items, the
// bus link, the settings, the poll cycle with its sinks, and the windows,
// and it is the host each window asks for what lies outside it.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/single_instance_win.h"
#include "base/local_time_zone_win.h"
#include "bus/message_pump_win.h"
#include "bus/more_com.h"
#include "bus/serial_port_win.h"
#include "config/settings.h"
#include "config/window_place.h"
#include "log/log_readings.h"
#include "log/log_writer.h"
#include "monitor/monitor_sink.h"
#include "mqtt/broker_link.h"
#include "mqtt/mqtt_readings.h"
#include "opcua/opcua_readings.h"
#include "opcua/ua_server.h"
#include "poll/dde_announcements.h"
#include "poll/dde_components.h"
#include "poll/dde_quality_items.h"
#include "poll/dde_server_win.h"
#include "poll/dde_value_items.h"
#include "poll/poll_run.h"
#include "poll/reading.h"
#include "ui/main_form_win.h"
#include "ui/main_panes.h"
#include "ui/monitor_form_win.h"
#include "ui/setup_form_rules.h"
#include "ui/setup_form_win.h"
#include "ui/tray/about_form_win.h"
#include "ui/tray/tray_icon_win.h"

namespace quorvel::app {

// The thread's single-threaded COM apartment, for the workbook launch.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

class Program final : public config::SettingsEffects,
                      public ui::MainFormHost,
                      public ui::SetupFormHost,
                      public ui::MonitorFormHost {
 public:
  explicit Program(HINSTANCE instance);
  ~Program() override;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Starts the program, runs it until its main window closes and gives the
  // process's exit code. A start that fails says why in a box.
  int Run(int show);

  // config::SettingsEffects
  void StartWithWindowsChanged(bool checked) override;
  void DisplayChanging(int index) override;
  void MqttChanged(const config::MqttSettings& mqtt) override;
  void LogChanged(const config::LogSettings& log) override;
  void OpcUaChanged(const config::OpcUaSettings& opcua) override;

  // ui::MainFormHost
  void ShowSplash() override;
  void EnableWorkbookControls(bool enabled) override;
  void OpenWorkbook() override;
  void ShowSetup() override;
  void ShowAbout() override;
  void ShowMonitor() override;
  poll::PollRun& Poll() override { return *poll_; }
  std::optional<std::string> ItemText(int index) override;
  std::optional<std::string> SaveSettings() override;
  void ReleaseItems() override;
  void ReleaseInstance() override;
  void ReportError(const std::string& text) override;

  // ui::SetupFormHost
  void ShowPortName(std::string_view name) override;
  void FillSensorList() override;
  void Warn(ui::SetupWarning warning) override;
  std::string MqttStateText() override;
  std::string LogStateText() override;
  std::string OpcUaStateText() override;
  std::string OpcUaThumbprint() override;
  std::string MqttDefaultClientId() override;
  std::string MqttDefaultTopicRoot() override;
  void TopicNamed() override;

  // ui::MonitorFormHost
  std::string ServicesText() override;

 private:
  bool StartDde();
  // The main window, its cycle and the DDE items, the notification-area
  // icon, the settings file read, the settings dialog and the About box;
  // then the main window shows. False, with the reason shown, when a window
  // cannot be made.
  bool CreateWindows(int show);
  void RunMessageLoop();
  // Reads the settings file and the table into the settings.
  void ReadSettingsFile();
  // The broker link anew from the settings, once the DDE names are set
  // (the default topic root follows the topic).
  void RestartBroker();
  // The OPC UA server anew from the settings and the table's names, once
  // the DDE names are set; unless it already serves those.
  void RestartOpcUa(bool names_only);
  // The window that owns a box shown now: the settings dialog while it
  // shows, else the main window.
  HWND Owner() const;

  HINSTANCE instance_;
  const ComApartment com_;
  // The DDE manager comes before any window and goes last.
  std::unique_ptr<poll::DdemlServer> dde_;
  SingleInstance instance_name_;
  // Every form's caption is a topic a connection may name, whether the form
  // shows or not.
  poll::DdeForm main_form_;
  poll::DdeForm setup_form_;
  poll::DdeForm about_form_;
  bool forms_added_ = false;
  bus::Win32PortDriver ports_;
  bus::SteadyClock clock_;
  bus::SystemWallClock wall_clock_;
  bus::Win32MessagePump pump_;
  bus::MoreCOM bus_;
  config::Settings settings_;
  const std::string settings_path_;
  poll::ReadingSinks sinks_;
  std::unique_ptr<ui::TForm1> form_;
  std::unique_ptr<ui::MainStatusSink> status_;
  std::unique_ptr<ui::MainPaneSink> panes_;
  std::unique_ptr<poll::PollRun> poll_;
  std::unique_ptr<poll::DdeComponents> items_;
  std::unique_ptr<poll::DdeAnnouncements> announcements_;
  std::unique_ptr<poll::DdeValueItems> value_items_;
  Win32LocalTimeZone time_zone_;
  std::unique_ptr<poll::DdeQualityItems> quality_items_;
  mqtt::BrokerLink broker_;
  std::string broker_root_;  // the topic root the link was started with
  std::unique_ptr<mqtt::MqttReadings> mqtt_readings_;
  // Its thread ends (writing out what it holds) after the windows have gone.
  log::LogWriter log_writer_;
  std::unique_ptr<log::LogReadings> log_readings_;
  // The server's thread ends before the sinks that feed it go.
  opcua::UpdateQueue opcua_queue_{50'000};
  opcua::OpcUaReadings opcua_readings_{opcua_queue_};
  opcua::UaServer opcua_server_{opcua_queue_};
  std::optional<opcua::ServerOptions> opcua_options_;  // what the server runs with
  // Counted from the start, whether the monitor shows or not.
  monitor::MonitorSink monitor_sink_;
  config::WindowPlace monitor_place_;
  std::unique_ptr<ui::MonitorForm> monitor_;
  std::unique_ptr<ui::TrayIcon> tray_;
  std::unique_ptr<ui::TSetupForm> setup_;
  std::unique_ptr<ui::TAboutForm> about_;
};

}  // namespace quorvel::app
