#include "app/program_win.h"

// after windows.h, which they need
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/workbook/workbook_launch_win.h"
#include "base/cp1251.h"
#include "base/executable_path.h"
#include "base/file_name.h"
#include "base/local_memory_win.h"
#include "base/user_decimal_win.h"
#include "config/profile_file_win.h"
#include "config/secret_seal_win.h"
#include "config/settings_file.h"
#include "config/start_with_windows.h"
#include "mqtt/reading_payload.h"
#include "opcua/server_state_text.h"
#include "ui/error_report_win.h"
#include "ui/form_captions.h"
#include "ui/message_dialog_win.h"
#include "ui/message_texts.h"
#include "ui/resource_ids.h"
#include "ui/splash/splash_win.h"

namespace quorvel::app {

namespace {

// The splash's display time, in units of 600 ms.
constexpr std::int32_t kSplashShowTime = 4;

// This computer's name, in Windows-1251 as the program's texts.
std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &size)) return "PC";
  return cp1251::FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(name), size));
}

void ShowStartupError(const std::string& text) {
  const std::u16string wide = cp1251::ToUtf16(text);
  ::MessageBoxW(/*hWnd=*/nullptr, reinterpret_cast<const wchar_t*>(wide.c_str()), L"Error",
                MB_OK | MB_ICONERROR);
}

// The command-line arguments after the program's name, in Windows-1251.
std::vector<std::string> Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  const UniqueLocalMemory owner(list);
  if (list == nullptr) return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(cp1251::FromUtf16(reinterpret_cast<const char16_t*>(list[i])));
  return arguments;
}

}  // namespace

ComApartment::ComApartment()
    : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ComApartment::~ComApartment() {
  if (initialised_) ::CoUninitialize();
}

Program::Program(HINSTANCE instance)
    : instance_(instance),
      instance_name_(RegistrationName(ExecutablePath())),
      main_form_{std::string(ui::kMainFormCaption), {}},
      setup_form_{std::string(ui::kSetupFormCaption.view()), {}},
      about_form_{std::string(ui::kAboutFormCaption.view()), {}},
      bus_(ports_, clock_, pump_),
      settings_(this),
      settings_path_(config::SettingsPath(ExecutablePath())) {}

Program::~Program() {
  // The windows go first, the main window with the DDE items last of them;
  // then the port, and the forms' topics.
  monitor_.reset();
  about_.reset();
  setup_.reset();
  form_.reset();
  mqtt_readings_.reset();
  log_readings_.reset();
  quality_items_.reset();
  value_items_.reset();
  announcements_.reset();
  items_.reset();
  bus_.ClosePorts();
  if (forms_added_) {
    for (const poll::DdeForm* form : {&main_form_, &setup_form_, &about_form_}) {
      dde_->Manager().RemoveForm(form);
    }
  }
  tray_.reset();
}

int Program::Run(int show) {
  if (!StartDde()) return 1;
  // The shell's message to re-add notification-area icons, before any window.
  ::RegisterWindowMessageW(L"TaskbarCreated");
  if (instance_name_.AlreadyRunning()) {
    const std::u16string refusal = cp1251::ToUtf16(ui::kTwoCopiesText);
    ::MessageBoxW(/*hWnd=*/nullptr, reinterpret_cast<const wchar_t*>(refusal.c_str()), L"Error",
                  MB_OK);
    return 0;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  for (const poll::DdeForm* form : {&main_form_, &setup_form_, &about_form_}) {
    dde_->Manager().AddForm(form);
  }
  forms_added_ = true;
  if (!CreateWindows(show)) return 1;
  RunMessageLoop();
  // "offline" from the program itself, before the windows go.
  broker_.Configure(std::nullopt);
  opcua_readings_.SetOn(false);
  opcua_server_.Configure(std::nullopt);
  return 0;
}

bool Program::StartDde() {
  std::uint32_t error = 0;
  dde_ = poll::DdemlServer::Start(poll::ServiceName(ExecutablePath()), &error);
  if (!dde_) ShowStartupError(poll::DdeStartupErrorMessage(error));
  return dde_ != nullptr;
}

bool Program::CreateWindows(int show) {
  form_ = std::make_unique<ui::TForm1>(instance_, settings_, *this);
  status_ = std::make_unique<ui::MainStatusSink>(*form_);
  panes_ = std::make_unique<ui::MainPaneSink>(*form_, settings_);
  sinks_.Add(*status_);
  poll_ =
      std::make_unique<poll::PollRun>(bus_, clock_, wall_clock_, pump_, settings_, *form_, sinks_);
  if (!form_->Create(Arguments())) {
    ShowStartupError("Cannot create the main window");
    return false;
  }
  // The window's creation handler has run: now its DDE items.
  items_ = std::make_unique<poll::DdeComponents>(dde_->Manager(), main_form_);
  announcements_ = std::make_unique<poll::DdeAnnouncements>(dde_->Manager());
  sinks_.Add(*announcements_);
  value_items_ = std::make_unique<poll::DdeValueItems>(*items_);
  sinks_.Add(*value_items_);
  quality_items_ = std::make_unique<poll::DdeQualityItems>(*items_, time_zone_);
  sinks_.Add(*quality_items_);
  mqtt_readings_ = std::make_unique<mqtt::MqttReadings>(*items_, broker_);
  sinks_.Add(*mqtt_readings_);
  log_readings_ = std::make_unique<log::LogReadings>(log_writer_, settings_.table(), time_zone_);
  sinks_.Add(*log_readings_);
  opcua_readings_.OnQueued([this] { opcua_server_.Wake(); });
  sinks_.Add(opcua_readings_);
  sinks_.Add(monitor_sink_);
  sinks_.Add(*panes_);
  // The notification area shows small icons: the small one, not a shrunk large one.
  const auto icon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(QUORVEL_ICON_ID),
                                                    IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  tray_ = std::make_unique<ui::TrayIcon>(instance_, form_->Handle(), icon, ui::kApplicationTitle);
  // The stored settings and the table, read now that their effects find the
  // icon; the settings dialog's creation applies them: the DDE names, the
  // port name.
  ReadSettingsFile();
  setup_ = std::make_unique<ui::TSetupForm>(instance_, form_->Handle(), form_->Images(), settings_,
                                            *items_, *this);
  if (!setup_->Create()) {
    ShowStartupError("Cannot create the settings dialog");
    return false;
  }
  // Started when the dialog named the topic, unless it refused the name.
  if (!broker_.Open()) RestartBroker();
  RestartOpcUa(/*names_only=*/true);
  about_ = std::make_unique<ui::TAboutForm>(instance_, form_->Handle());
  if (!about_->Create()) {
    ShowStartupError("Cannot create the About box");
    return false;
  }
  form_->MoveTo(settings_.FormLeft(), settings_.FormTop());
  form_->Show(show);
  return true;
}

void Program::RunMessageLoop() {
  // A WM_QUIT that a pump inside a handler took ends the loop as well.
  pump_.set_dialog_window(form_->Handle());
  MSG msg;
  while (!pump_.quit_received() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (form_->Handle() != nullptr && ::IsDialogMessageW(form_->Handle(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  pump_.set_dialog_window(nullptr);
}

void Program::ReadSettingsFile() {
  config::Win32ProfileFile profile(settings_path_);
  config::ReadIni(profile, settings_);
  config::ReadWindowPlace(profile, config::kMonitorSection, monitor_place_);
}

HWND Program::Owner() const {
  if (setup_ && setup_->Visible()) return setup_->Handle();
  return form_ ? form_->Handle() : nullptr;
}

// config::SettingsEffects

void Program::StartWithWindowsChanged(bool checked) {
  config::RegisterStartWithWindows(checked, ExecutablePath());
}

void Program::DisplayChanging(int index) {
  // The notification-area icon follows the display choice. A refusal of the
  // shell is reported, and whatever was being done goes on (at start, the
  // rest of the settings and the table still load).
  if (!tray_) return;
  if (const std::optional<std::string> error = tray_->SetActive(index == 1)) {
    ui::ShowErrorReport(Owner(), *error);
  }
}

void Program::MqttChanged(const config::MqttSettings& /*mqtt*/) {
  // While the file is read at start, the DDE names are not set yet.
  if (setup_) RestartBroker();
}

void Program::LogChanged(const config::LogSettings& log) {
  if (!log.enabled) {
    log_writer_.Configure(std::nullopt);
    return;
  }
  std::error_code error;
  std::filesystem::path folder = log::LogFolder(log.folder);
  // Fixed now: a later change of the working directory does not move it.
  if (std::filesystem::path absolute = std::filesystem::absolute(folder, error); !error) {
    folder = std::move(absolute);
  }
  log_writer_.Configure(log::LogOptions{std::move(folder), log.keep_days, UserDecimalSeparator()});
}

void Program::OpcUaChanged(const config::OpcUaSettings& /*opcua*/) {
  if (setup_) RestartOpcUa(/*names_only=*/false);
}

void Program::RestartOpcUa(bool names_only) {
  const config::OpcUaSettings& o = settings_.OpcUa();
  if (!o.enabled || !items_) {
    opcua_readings_.SetOn(false);
    opcua_server_.Configure(std::nullopt);
    opcua_options_.reset();
    return;
  }
  opcua::ServerOptions options;
  options.port = o.port;
  options.anonymous = o.anonymous;
  options.user = cp1251::ToUtf8(o.user);
  options.password = cp1251::ToUtf8(config::OpenSecret(o.sealed_password).value_or(""));
  options.security_none = o.security_none;
  const std::string exe = ExecutablePath();
  options.pki_folder = cp1251::ToUtf8(std::string(FolderOf(exe))) + "pki\\";
  options.computer = cp1251::ToUtf8(ComputerName());
  options.service = cp1251::ToUtf8(poll::ServiceName(exe));
  options.topic = cp1251::ToUtf8(items_->Topic().Name());
  const config::SensorTable& table = settings_.table();
  for (int row = 1; row < table.RowCount(); ++row) {
    options.items.push_back(cp1251::ToUtf8(table.Cell(0, row)));
  }
  if (names_only && opcua_options_ && opcua_options_->topic == options.topic &&
      opcua_options_->items == options.items) {
    return;
  }
  opcua_options_ = options;
  opcua_readings_.SetOn(true);
  opcua_server_.Configure(options);
}

std::string Program::OpcUaThumbprint() {
  return opcua_server_.Status().thumbprint;
}

std::string Program::OpcUaStateText() {
  const config::OpcUaSettings& o = settings_.OpcUa();
  return opcua::ServerStateText(opcua_server_.Status(), opcua::EndpointUrl(ComputerName(), o.port));
}

void Program::RestartBroker() {
  const config::MqttSettings& mqtt = settings_.Mqtt();
  if (!mqtt.enabled || !items_) {
    broker_root_.clear();
    broker_.Configure(std::nullopt);
    return;
  }
  broker_root_ = mqtt.topic_root.empty() ? MqttDefaultTopicRoot() : mqtt.topic_root;
  mqtt::LinkOptions options;
  options.host = cp1251::ToUtf8(mqtt.host);
  options.port = mqtt.port;
  options.client_id =
      cp1251::ToUtf8(mqtt.client_id.empty() ? MqttDefaultClientId() : mqtt.client_id);
  options.user = cp1251::ToUtf8(mqtt.user);
  // A password sealed by another user or on another computer does not
  // open: the broker then refuses the user, and the page says so.
  options.password = cp1251::ToUtf8(config::OpenSecret(mqtt.sealed_password).value_or(""));
  options.tls = mqtt.tls;
  options.ca_file = cp1251::ToUtf8(mqtt.ca_file);
  options.qos = mqtt.qos;
  options.buffer_messages = static_cast<std::size_t>(mqtt.buffer_messages);
  options.status_topic = mqtt::ItemTopic(cp1251::ToUtf8(broker_root_), "status");
  mqtt_readings_->SetTopicRoot(cp1251::ToUtf8(broker_root_));
  broker_.Configure(options);
}

// ui::MainFormHost

void Program::ShowSplash() {
  ui::TStartMark splash(instance_);
  splash.SetShowTime(kSplashShowTime);
  splash.SetPicture(ui::SplashPicture(instance_));
  splash.SetTransparent(false);
  try {
    splash.SetActive(true);
  } catch (const std::exception& error) {
    ShowStartupError(error.what());
  }
}

void Program::EnableWorkbookControls(bool enabled) {
  if (setup_) setup_->EnableWorkbookControls(enabled);
}

void Program::OpenWorkbook() {
  if (const std::optional<std::string> error = LaunchWorkbook(settings_.WorkbookPath())) {
    const std::array<ui::DialogButton, 1> cancel{{{u"Cancel", IDCANCEL}}};
    ui::ShowMessageDialog(form_->Handle(), u"Error", cp1251::ToUtf16(*error),
                          ui::DialogIcon::kError, cancel);
  }
}

void Program::ShowSetup() {
  if (setup_) setup_->ShowModal();
}

void Program::ShowAbout() {
  if (about_) about_->ShowModal();
}

void Program::ShowMonitor() {
  if (!monitor_) {
    monitor_ = std::make_unique<ui::MonitorForm>(instance_, settings_, monitor_sink_, clock_,
                                                 time_zone_, monitor_place_, *this);
  }
  monitor_->Show();
}

std::optional<std::string> Program::ItemText(int index) {
  if (!items_ || index >= items_->ItemCount()) return std::nullopt;
  return items_->Item(index).Text();
}

std::optional<std::string> Program::SaveSettings() {
  config::Win32ProfileFile profile(settings_path_);
  // The table file records the grid that saved it.
  const auto grid = static_cast<std::int32_t>(
      reinterpret_cast<std::intptr_t>(setup_ ? setup_->GridHandle() : nullptr));
  std::optional<std::string> error = config::WriteIni(profile, settings_, settings_path_, grid);
  if (monitor_) monitor_->NotePlace();
  // Where the monitor stood is no setting worth a failed save: written
  // when it was ever placed, and a refusal is not reported.
  if (monitor_place_.width > 0) {
    config::WriteWindowPlace(profile, config::kMonitorSection, monitor_place_);
    profile.Flush();
  }
  return error;
}

void Program::ReleaseItems() {
  if (items_) items_->ReleaseItems();
}

void Program::ReleaseInstance() {
  instance_name_.Release();
}

void Program::ReportError(const std::string& text) {
  ui::ShowErrorReport(Owner(), text);
}

// ui::SetupFormHost: the settings dialog's boxes are owned by the dialog
// while it shows (a box disables its owner until it closes, and gives it back
// enabled), by the main window otherwise.

void Program::ShowPortName(std::string_view name) {
  form_->ShowPort(name);
}

void Program::FillSensorList() {
  form_->FillSensorList();
}

void Program::Warn(ui::SetupWarning warning) {
  const bool table = warning == ui::SetupWarning::kTableNotNumeric;
  const std::array<ui::DialogButton, 1> button{
      {table ? ui::DialogButton{u"Cancel", IDCANCEL} : ui::DialogButton{u"OK", IDOK}}};
  ui::ShowMessageDialog(Owner(), u"Warning", cp1251::ToUtf16(ui::SetupWarningText(warning)),
                        ui::DialogIcon::kWarning, button);
}

std::string Program::MqttStateText() {
  return mqtt::LinkStatusText(broker_.Status());
}

std::string Program::LogStateText() {
  return log::TroubleText(log_writer_.State());
}

std::string Program::MqttDefaultClientId() {
  return config::DefaultClientId(poll::ServiceName(ExecutablePath()), ComputerName());
}

std::string Program::MqttDefaultTopicRoot() {
  return config::DefaultTopicRoot(poll::ServiceName(ExecutablePath()),
                                  items_ ? items_->Topic().Name() : settings_.Topic());
}

std::string Program::ServicesText() {
  std::string text;
  if (settings_.Mqtt().enabled) {
    text = std::string(ui::kMqttSummaryPrefix) + mqtt::LinkStatusText(broker_.Status());
  }
  if (settings_.Log().enabled) {
    if (!text.empty()) text += "   ";
    text += LogStateText();
  }
  if (settings_.OpcUa().enabled) {
    if (!text.empty()) text += "   ";
    text += std::string(ui::kOpcUaSummaryPrefix) + OpcUaStateText();
  }
  return text;
}

void Program::TopicNamed() {
  RestartOpcUa(/*names_only=*/true);
  // At start the link starts once the dialog has set the names.
  const config::MqttSettings& mqtt = settings_.Mqtt();
  if (setup_ && mqtt.enabled && mqtt.topic_root.empty() && broker_root_ != MqttDefaultTopicRoot()) {
    RestartBroker();
  }
}

}  // namespace quorvel::app
