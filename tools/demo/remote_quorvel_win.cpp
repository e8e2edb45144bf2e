#include "tools/demo/remote_quorvel_win.h"

#include <algorithm>

#include "base/executable_path.h"
#include "config/profile_file_win.h"
#include "config/settings_file.h"
#include "config/table_file.h"
#include "ui/main_form_ids.h"

namespace quorvel::tools {

namespace {

constexpr DWORD kLookMs = 10;

constexpr std::u16string_view kStart = u"Старт";
constexpr std::u16string_view kStop = u"Стоп";
constexpr std::u16string_view kStopped = u"Считывание данных остановлено";

std::string LastError(const std::string& call) {
  return call + " failed: " + std::to_string(::GetLastError());
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// The first visible top-level window of the process with the class, or null.
HWND FindTopLevel(DWORD pid, std::wstring_view window_class) {
  struct Search {
    DWORD pid;
    std::wstring_view window_class;
    HWND found;
  } search{pid, window_class, nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner != s.pid || ClassName(window) != s.window_class || !::IsWindowVisible(window)) {
          return TRUE;
        }
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMainWindow(DWORD pid) {
  return FindTopLevel(pid, ui::kMainFormClass);
}

// A message box or dialog of the program.
HWND FindDialog(DWORD pid) {
  return FindTopLevel(pid, L"#32770");
}

}  // namespace

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string WindowsPathOf(std::string_view unix_path) {
  std::string path = "Z:" + std::string(unix_path);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, /*hWnd=*/nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, HANDLE wake) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    PumpMessages();
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return done();
    // The cap bounds how late a change that signals nothing (a window, a
    // text of another process) is seen.
    const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kLookMs));
    ::MsgWaitForMultipleObjectsEx(wake != nullptr ? 1 : 0, wake != nullptr ? &wake : nullptr, wait,
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool PumpFor(DWORD ms, HANDLE stop) {
  const ULONGLONG deadline = ms == INFINITE ? ~0ULL : ::GetTickCount64() + ms;
  for (;;) {
    PumpMessages();
    if (stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return false;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return true;
    const DWORD wait =
        ms == INFINITE ? INFINITE : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 60'000));
    ::MsgWaitForMultipleObjectsEx(stop != nullptr ? 1 : 0, stop != nullptr ? &stop : nullptr, wait,
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool ConfigureRun(config::Settings& settings, int port, int baud, int sensors) {
  int speed = -1;
  for (int i = 0; i < config::kSpeedChoices; ++i) {
    if (config::SpeedOfIndex(i) == baud) speed = i;
  }
  if (speed < 0 || !settings.SetComPort(port - 1) || !settings.SetSpeed(speed)) return false;
  settings.SetSensorCount(sensors);
  // The count box resizes the table only when its text changes: the default
  // table is made here as the program makes it when it has no table file.
  config::ResetSensorTable(settings.table(), settings.ItemPrefix(), settings.SensorCount());
  config::RenameSensorRows(settings.table(), settings.ItemPrefix());
  return true;
}

void SetSensor(config::Settings& settings, int row, int address, int channel) {
  config::SensorTable& table = settings.table();
  table.SetCell(1, row, std::to_string(address));
  table.SetCell(2, row, std::to_string(channel));
  table.SetCell(3, row, "1");
}

bool PrepareFolder(const std::string& program, const std::string& folder,
                   const config::Settings& settings, std::string* error) {
  if (!::CreateDirectoryA(folder.c_str(), /*lpSecurityAttributes=*/nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = LastError("CreateDirectory(" + folder + ")");
    return false;
  }
  if (!::CopyFileA(program.c_str(), (folder + "Quorvel.exe").c_str(), /*bFailIfExists=*/FALSE)) {
    *error = LastError("CopyFile(" + program + ")");
    return false;
  }
  const std::string ini = folder + "Quorvel.ini";
  config::Win32ProfileFile profile(ini);
  if (const std::optional<std::string> failed = config::WriteIni(
          profile, settings, ini, /*table_id=*/0, folder + config::kSensorTableFile)) {
    *error = *failed;
    return false;
  }
  // WriteIni saves the table silently: a table that is not there would
  // leave the program with its default table.
  config::SensorTable check;
  if (const std::optional<std::string> failed =
          config::LoadSensorTable(check, folder + config::kSensorTableFile)) {
    *error = "the sensor table was not written: " + *failed;
    return false;
  }
  return true;
}

RemoteQuorvel::~RemoteQuorvel() {
  Terminate();
}

bool RemoteQuorvel::Start(const std::string& folder, std::string* error) {
  const std::string program = folder + "Quorvel.exe";
  std::string command_line = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(program.c_str(), command_line.data(), /*lpProcessAttributes=*/nullptr,
                        /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/FALSE, 0,
                        /*lpEnvironment=*/nullptr, folder.c_str(), &startup, &info)) {
    *error = LastError("CreateProcess(" + program + ")");
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  const bool shown = PumpUntil(
      [&] {
        main_ = FindMainWindow(pid_);
        return main_ != nullptr || !Running();
      },
      kProgramWaitMs);
  if (!shown || main_ == nullptr) {
    *error = Running() ? "Quorvel.exe showed no main window" : "Quorvel.exe ended at start";
    return false;
  }
  return true;
}

std::u16string RemoteQuorvel::ControlText(int id) const {
  // The text as the window manager keeps it: no message to the program.
  wchar_t text[256] = {};
  const int length = ::GetWindowTextW(Control(id), text, static_cast<int>(std::size(text)));
  return std::u16string(reinterpret_cast<const char16_t*>(text),
                        length > 0 ? static_cast<std::size_t>(length) : 0);
}

void RemoteQuorvel::PressStartStop() const {
  const HWND button = Control(ui::kSB1Id);
  ::PostMessageW(main_, WM_COMMAND, MAKEWPARAM(ui::kSB1Id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

bool RemoteQuorvel::WaitPolling(bool polling, DWORD timeout_ms) const {
  const std::u16string_view caption = polling ? kStop : kStart;
  return PumpUntil([&] { return ControlText(ui::kSB1Id) == caption || !Running(); }, timeout_ms) &&
         Running();
}

bool RemoteQuorvel::StopPolling(DWORD timeout_ms) const {
  if (ControlText(ui::kSB1Id) != kStop) return Running();
  PressStartStop();
  return PumpUntil(
             [&] {
               return (ControlText(ui::kSB1Id) == kStart &&
                       ControlText(ui::kRzStatusPane1Id) == kStopped) ||
                      !Running();
             },
             timeout_ms) &&
         Running();
}

std::optional<DWORD> RemoteQuorvel::Close(DWORD timeout_ms) {
  if (process_ == nullptr) return std::nullopt;
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    ::PostMessageW(main_, WM_CLOSE, 0, 0);
    HWND dialog = nullptr;
    const ULONGLONG now = ::GetTickCount64();
    PumpUntil(
        [&] {
          dialog = FindDialog(pid_);
          return !Running() || dialog != nullptr;
        },
        static_cast<DWORD>(now < deadline ? deadline - now : 0), process_);
    if (!Running()) break;
    if (dialog == nullptr) return std::nullopt;
    // Its only button. The poll loop under it ends when the message pump
    // that took the close finds the queue empty: a message sent to the
    // window is handled by that pump, so once it is answered the next close
    // finds the loop over (or, rarely, is refused once more).
    ++refused_closes_;
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDYES)));
    if (!PumpUntil([&] { return !::IsWindow(dialog); }, kProgramWaitMs) ||
        !Answers(kProgramWaitMs)) {
      return std::nullopt;
    }
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  return code;
}

bool RemoteQuorvel::Answers(DWORD timeout_ms) const {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

bool RemoteQuorvel::Running() const {
  return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void RemoteQuorvel::Terminate() {
  if (process_ == nullptr) return;
  if (Running()) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, kProgramWaitMs);
  }
  ::CloseHandle(process_);
  process_ = nullptr;
}

}  // namespace quorvel::tools
