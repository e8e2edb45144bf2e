#include "testkit/quorvel_remote_win.h"

#include <algorithm>

#include "base/executable_path.h"
#include "config/profile_file_win.h"
#include "config/settings_file.h"
#include "config/table_file.h"
#include "testkit/message_wait_win.h"
#include "testkit/process_start_win.h"
#include "ui/main_form_ids.h"
#include "ui/message_dialog_win.h"

namespace quorvel::remote {

namespace {

// Upper bound of one message to the program: its thread runs the message
// pump between every step of an exchange, so only a hung program takes long.
constexpr UINT kAnswerMs = 5'000;

constexpr std::u16string_view kStart = u"Старт";
constexpr std::u16string_view kStop = u"Стоп";
constexpr std::u16string_view kStopped = u"Считывание данных остановлено";

// A message box, or a dialog made from a template.
constexpr wchar_t kDialogClass[] = L"#32770";

std::string Failed(const std::string& call, DWORD code) {
  return call + " failed: " + std::to_string(code);
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// Removes the files of a folder (the program's folders hold no others).
void RemoveFiles(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  const HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::DeleteFileA((folder + found.cFileName).c_str());
    }
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
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

std::string Utf8(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, size, out.data(), length, nullptr, nullptr);
  return out;
}

std::vector<HWND> DialogButtons(HWND dialog) {
  std::vector<HWND> buttons;
  ::EnumChildWindows(
      dialog,
      [](HWND child, LPARAM out) -> BOOL {
        if (::lstrcmpiW(ClassName(child).c_str(), L"Button") == 0) {
          reinterpret_cast<std::vector<HWND>*>(out)->push_back(child);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&buttons));
  return buttons;
}

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
        if (owner != s.pid || ClassName(window) != s.window_class) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<LRESULT> Ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kAnswerMs, &result) ==
      0) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::u16string WindowText(HWND window) {
  const std::optional<LRESULT> length = Ask(window, WM_GETTEXTLENGTH, 0, 0);
  if (!length || *length <= 0) return {};
  std::u16string text(static_cast<std::size_t>(*length) + 1, u'\0');
  const std::optional<LRESULT> copied =
      Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied && *copied > 0 ? static_cast<std::size_t>(*copied) : 0);
  return text;
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
  if (!::CreateDirectoryA(folder.c_str(), /*lpSecurityAttributes=*/nullptr)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_ALREADY_EXISTS) {
      *error = Failed("CreateDirectory(" + folder + ")", code);
      return false;
    }
    RemoveFiles(folder);
  }
  if (!::CopyFileA(program.c_str(), (folder + "Quorvel.exe").c_str(), /*bFailIfExists=*/FALSE)) {
    *error = Failed("CopyFile(" + program + ")", ::GetLastError());
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

bool RemoteQuorvel::Launch(const std::string& folder, std::string_view arguments,
                           std::string* error, std::string_view file_name) {
  Terminate();  // one program at a time: a copy still running is ended first
  const std::string program = folder + std::string(file_name);
  std::string command_line = "\"" + program + "\"";
  if (!arguments.empty()) command_line.append(" ").append(arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!testing::StartProcess([&] {
        return ::CreateProcessA(program.c_str(), command_line.data(),
                                /*lpProcessAttributes=*/nullptr, /*lpThreadAttributes=*/nullptr,
                                /*bInheritHandles=*/FALSE, /*dwCreationFlags=*/0,
                                /*lpEnvironment=*/nullptr, folder.c_str(), &startup, &info);
      })) {
    *error = Failed("CreateProcess(" + program + ")", ::GetLastError());
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  return true;
}

bool RemoteQuorvel::Start(const std::string& folder, std::string_view arguments, std::string* error,
                          std::string_view file_name) {
  return Launch(folder, arguments, error, file_name) && WaitStarted(error);
}

bool RemoteQuorvel::WaitStarted(std::string* error) {
  const bool ready = PumpUntil(
      [&] {
        if (!Running()) return true;
        main_ = FindTopLevel(pid_, ui::kMainFormClass);
        if (main_ == nullptr || !::IsWindowVisible(main_)) return false;
        const std::optional<LRESULT> entries = Ask(Control(ui::kCB1Id), CB_GETCOUNT, 0, 0);
        return entries && *entries > 0;
      },
      kProgramWaitMs, process_);
  if (!Running()) {
    *error = "Quorvel.exe ended at start with exit code " + std::to_string(WaitExit(0).value_or(0));
    return false;
  }
  if (!ready) {
    *error =
        main_ == nullptr ? "Quorvel.exe showed no main window" : "the sensor list stayed empty";
    return false;
  }
  return true;
}

HWND RemoteQuorvel::Control(int id) const {
  if (const HWND child = ::GetDlgItem(main_, id)) return child;
  return ::GetDlgItem(::GetDlgItem(main_, ui::kRzStatusBar1Id), id);
}

bool RemoteQuorvel::WaitControlText(int id, std::u16string_view text, DWORD timeout_ms) const {
  return PumpUntil([&] { return ControlText(id) == text || !Running(); }, timeout_ms, process_) &&
         Running();
}

void RemoteQuorvel::PressStartStop() const {
  ::PostMessageW(main_, WM_COMMAND, MAKEWPARAM(ui::kSB1Id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(ui::kSB1Id)));
}

bool RemoteQuorvel::WaitPolling(bool polling, DWORD timeout_ms) const {
  return WaitControlText(ui::kSB1Id, polling ? kStop : kStart, timeout_ms);
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
             timeout_ms, process_) &&
         Running();
}

std::vector<std::u16string> RemoteQuorvel::SensorNames() const {
  std::vector<std::u16string> names;
  const HWND list = Control(ui::kCB1Id);
  const LRESULT count = Ask(list, CB_GETCOUNT, 0, 0).value_or(0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = Ask(list, CB_GETLBTEXTLEN, i, 0).value_or(CB_ERR);
    if (length < 0) break;
    std::u16string name(static_cast<std::size_t>(length) + 1, u'\0');
    const LRESULT copied =
        Ask(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name.data())).value_or(CB_ERR);
    name.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    names.push_back(std::move(name));
  }
  return names;
}

int RemoteQuorvel::ChosenSensor() const {
  return static_cast<int>(Ask(Control(ui::kCB1Id), CB_GETCURSEL, 0, 0).value_or(CB_ERR));
}

void RemoteQuorvel::ChooseSensor(int index) const {
  const HWND list = Control(ui::kCB1Id);
  Ask(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::PostMessageW(main_, WM_COMMAND, MAKEWPARAM(ui::kCB1Id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void RemoteQuorvel::Close() const {
  ::PostMessageW(main_, WM_CLOSE, 0, 0);
}

HWND RemoteQuorvel::FindDialog() const {
  return FindTopLevel(pid_, kDialogClass);
}

HWND RemoteQuorvel::WaitDialog(DWORD timeout_ms) const {
  HWND dialog = nullptr;
  PumpUntil(
      [&] {
        dialog = FindDialog();
        return dialog != nullptr && ::IsWindowVisible(dialog);
      },
      timeout_ms);
  return dialog;
}

std::u16string RemoteQuorvel::DialogMessage(HWND dialog) {
  const HWND text = ::GetDlgItem(dialog, ui::kMessageTextId);
  return WindowText(text != nullptr ? text : dialog);
}

bool RemoteQuorvel::AnswerDialog(HWND dialog, int button_id) {
  const HWND button = ::GetDlgItem(dialog, button_id);
  if (button == nullptr) return false;
  return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool RemoteQuorvel::Running() const {
  return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool RemoteQuorvel::Answers(DWORD timeout_ms) const {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

std::optional<DWORD> RemoteQuorvel::WaitExit(DWORD timeout_ms) const {
  if (process_ == nullptr || !PumpUntil([&] { return !Running(); }, timeout_ms, process_)) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(process_, &code)) return std::nullopt;
  return code;
}

RemoteQuorvel::Ending RemoteQuorvel::WaitExitOrDialog(DWORD timeout_ms) const {
  Ending ending;
  if (process_ == nullptr) return ending;
  PumpUntil(
      [&] {
        ending.dialog = FindDialog();
        return ending.dialog != nullptr || !Running();
      },
      timeout_ms, process_);
  if (ending.dialog == nullptr) {
    ending.exit_code = WaitExit(0);
  } else {
    // Made, but maybe not filled in yet: handed out once it shows.
    PumpUntil([&] { return ::IsWindowVisible(ending.dialog) || !::IsWindow(ending.dialog); },
              kAnswerMs);
  }
  return ending;
}

std::string RemoteQuorvel::Describe(const Ending& ending) {
  if (ending.exit_code) return "ended with exit code " + std::to_string(*ending.exit_code);
  if (ending.dialog != nullptr)
    return "showed a dialog: \"" + Utf8(DialogMessage(ending.dialog)) + "\"";
  return "still runs";
}

void RemoteQuorvel::Terminate() {
  if (process_ == nullptr) return;
  if (Running()) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, kProgramWaitMs);
  }
  ::CloseHandle(process_);
  process_ = nullptr;
  main_ = nullptr;
}

}  // namespace quorvel::remote
