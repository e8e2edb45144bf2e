// Quorvel.exe: the DDE service, the main window with its 500 DDE items and
// the poll cycle, the settings from the settings file and the sensor table.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/single_instance_win.h"
#include "app/workbook/workbook_launch_win.h"
#include "base/cp1251.h"
#include "base/executable_path.h"
#include "bus/message_pump_win.h"
#include "bus/more_com.h"
#include "bus/serial_port_win.h"
#include "config/profile_file_win.h"
#include "config/settings.h"
#include "config/settings_file.h"
#include "config/start_with_windows.h"
#include "poll/dde_components.h"
#include "poll/dde_server_win.h"
#include "ui/error_report_win.h"
#include "ui/form_captions.h"
#include "ui/main_form_win.h"
#include "ui/message_dialog_win.h"
#include "ui/resource_ids.h"
#include "ui/setup_form_rules.h"
#include "ui/setup_form_win.h"
#include "ui/splash/splash_win.h"
#include "ui/tray/about_form_win.h"
#include "ui/tray/tray_icon_win.h"

namespace {

using namespace quorvel;

// The splash's display time, in units of 600 ms.
constexpr std::int32_t kSplashShowTime = 4;

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
  if (list == nullptr) return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(cp1251::FromUtf16(reinterpret_cast<const char16_t*>(list[i])));
  ::LocalFree(list);
  return arguments;
}

// What the program does when a setting changes, whether the user or the
// settings file changed it.
class ProgramEffects final : public config::SettingsEffects {
 public:
  void StartWithWindowsChanged(bool checked) override {
    config::RegisterStartWithWindows(checked, ExecutablePath());
  }
  // The notification-area icon follows the display choice. A refusal of
  // the shell is reported, and whatever was being done goes on (at start,
  // the rest of the settings and the table still load).
  void DisplayChanging(int index) override {
    if (tray == nullptr) return;
    if (const std::optional<std::string> error = tray->SetActive(index == 1)) {
      ui::ShowErrorReport(report_owner ? report_owner() : nullptr, *error);
    }
  }
  ui::TrayIcon* tray = nullptr;
  std::function<HWND()> report_owner;
};

// What the settings dialog's handlers reach outside the dialog. Its boxes
// are owned by the dialog while it shows (a box disables its owner until it
// closes, and gives it back enabled), by the main window otherwise.
class SetupHost final : public ui::SetupFormHost {
 public:
  SetupHost(ui::TForm1& form, std::function<HWND()> owner)
      : form_(form), owner_(std::move(owner)) {}
  void ShowPortName(std::string_view name) override { form_.ShowPort(name); }
  void FillSensorList() override { form_.FillSensorList(); }
  void Warn(ui::SetupWarning warning) override {
    const bool table = warning == ui::SetupWarning::kTableNotNumeric;
    const std::array<ui::DialogButton, 1> button{
        {table ? ui::DialogButton{u"Cancel", IDCANCEL} : ui::DialogButton{u"OK", IDOK}}};
    ui::ShowMessageDialog(owner_(), u"Warning", cp1251::ToUtf16(ui::SetupWarningText(warning)),
                          ui::DialogIcon::kWarning, button);
  }
  void ReportError(const std::string& text) override { ui::ShowErrorReport(owner_(), text); }

 private:
  ui::TForm1& form_;
  std::function<HWND()> owner_;
};

// The thread's single-threaded COM apartment, for the workbook launch.
struct ComApartment {
  ComApartment() : initialised(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialised) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool initialised;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int show) {
  const ComApartment com;
  // The DDE manager comes before any window and goes last.
  std::uint32_t dde_error = 0;
  const std::unique_ptr<poll::DdemlServer> dde =
      poll::DdemlServer::Start(poll::ServiceName(ExecutablePath()), &dde_error);
  if (!dde) {
    ShowStartupError(poll::DdeStartupErrorMessage(dde_error));
    return 1;
  }
  // The shell's message to re-add notification-area icons, before any window.
  ::RegisterWindowMessageW(L"TaskbarCreated");
  app::SingleInstance instance_name(app::RegistrationName(ExecutablePath()));
  if (instance_name.AlreadyRunning()) {
    ::MessageBoxW(/*hWnd=*/nullptr, L"Нельзя запустить две копии программы c одинаковыми именами ",
                  L"Error", MB_OK);
    return 0;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  // Every form's caption is a topic a connection may name, whether the form
  // shows or not.
  poll::DdeForm main_form{std::string(ui::kMainFormCaption), {}};
  poll::DdeForm setup_form{std::string(ui::kSetupFormCaption.view()), {}};
  poll::DdeForm about_form{std::string(ui::kAboutFormCaption.view()), {}};
  for (const poll::DdeForm* form : {&main_form, &setup_form, &about_form}) {
    dde->Manager().AddForm(form);
  }
  bus::Win32PortDriver ports;
  bus::SteadyClock clock;
  bus::Win32MessagePump pump;
  bus::MoreCOM bus(ports, clock, pump);
  ProgramEffects effects;
  config::Settings settings(&effects);
  const std::string settings_path = config::SettingsPath(ExecutablePath());

  std::unique_ptr<ui::TForm1> form;
  std::unique_ptr<ui::TSetupForm> setup;
  // The window that owns a box shown now: the settings dialog while it
  // shows, else the main window.
  const auto owner = [&]() -> HWND {
    if (setup && setup->Visible()) return setup->Handle();
    return form ? form->Handle() : nullptr;
  };
  ui::MainFormHooks hooks;
  hooks.save_settings = [&]() -> std::optional<std::string> {
    config::Win32ProfileFile profile(settings_path);
    // The table file records the grid that saved it.
    const auto grid = static_cast<std::int32_t>(
        reinterpret_cast<std::intptr_t>(setup ? setup->GridHandle() : nullptr));
    return config::WriteIni(profile, settings, settings_path, grid);
  };
  hooks.report_error = [&](const std::string& text) { ui::ShowErrorReport(owner(), text); };
  effects.report_owner = owner;
  hooks.show_splash = [&]() {
    ui::TStartMark splash(instance);
    splash.SetShowTime(kSplashShowTime);
    splash.SetPicture(ui::SplashPicture(instance));
    splash.SetTransparent(false);
    try {
      splash.SetActive(true);
    } catch (const std::exception& error) {
      ShowStartupError(error.what());
    }
  };
  std::unique_ptr<ui::TAboutForm> about;
  hooks.show_about = [&]() {
    if (about) about->ShowModal();
  };
  hooks.open_workbook = [&]() {
    if (const std::optional<std::string> error = app::LaunchWorkbook(settings.WorkbookPath())) {
      const std::array<ui::DialogButton, 1> cancel{{{u"Cancel", IDCANCEL}}};
      ui::ShowMessageDialog(form->Handle(), u"Error", cp1251::ToUtf16(*error),
                            ui::DialogIcon::kError, cancel);
    }
  };
  hooks.release_instance = [&]() { instance_name.Release(); };
  hooks.show_setup = [&]() {
    if (setup) setup->ShowModal();
  };
  hooks.enable_workbook_controls = [&](bool enabled) {
    if (setup) setup->EnableWorkbookControls(enabled);
  };
  form = std::make_unique<ui::TForm1>(instance, dde->Manager(), main_form, bus, clock, pump,
                                      settings, hooks);
  if (!form->Create(Arguments())) {
    ShowStartupError("Cannot create the main window");
    return 1;
  }
  // The notification area shows small icons: the small one, not a shrunk large one.
  const auto icon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(QUORVEL_ICON_ID),
                                                    IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  ui::TrayIcon tray(instance, form->Handle(), icon, ui::kApplicationTitle);
  effects.tray = &tray;
  // The settings dialog's creation reads the stored settings and the table
  // and applies them: the DDE names, the line speed, the port name.
  SetupHost setup_host(*form, owner);
  ui::SetupFormHooks setup_hooks;
  setup_hooks.read_ini = [&]() {
    config::Win32ProfileFile profile(settings_path);
    config::ReadIni(profile, settings);
  };
  setup_hooks.report_error = hooks.report_error;
  setup = std::make_unique<ui::TSetupForm>(instance, form->Handle(), form->Images(), settings,
                                           form->Dde(), bus.BaudRate, setup_host, setup_hooks);
  if (!setup->Create()) {
    ShowStartupError("Cannot create the settings dialog");
    return 1;
  }
  about = std::make_unique<ui::TAboutForm>(instance, form->Handle());
  if (!about->Create()) {
    ShowStartupError("Cannot create the About box");
    return 1;
  }
  form->MoveTo(settings.FormLeft(), settings.FormTop());
  form->Show(show);

  // A WM_QUIT that a pump inside a handler took ends the loop as well.
  pump.set_dialog_window(form->Handle());
  MSG msg;
  while (!pump.quit_received() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (form->Handle() != nullptr && ::IsDialogMessageW(form->Handle(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  pump.set_dialog_window(nullptr);
  effects.tray = nullptr;
  about.reset();
  setup.reset();
  form.reset();
  bus.ClosePorts();
  for (const poll::DdeForm* form : {&main_form, &setup_form, &about_form}) {
    dde->Manager().RemoveForm(form);
  }
  return 0;
}
