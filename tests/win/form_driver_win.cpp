#include "tests/win/form_driver_win.h"

#include <cstdlib>

#include "tests/win/dde_child_win.h"
#include "tests/win/menu_probe_win.h"
#include "tests/win/wine_run.h"
#include "ui/main_form_ids.h"

namespace quorvel::testing {

namespace {

// Upper bound of one message to the program: its thread runs the message
// pump between every step of an exchange, so only a hung program takes long.
constexpr UINT kAnswerMs = 5'000;
constexpr DWORD kPollMs = 10;

std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

// The first top-level window of the process with the class.
HWND FindTopLevel(DWORD pid, const wchar_t* window_class) {
  struct Search {
    DWORD pid;
    const wchar_t* window_class;
    HWND found;
  } search{pid, window_class, nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        if (ProcessOf(window) != s.pid || ClassName(window) != s.window_class) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A message answered by the window's thread; nothing when it did not answer.
std::optional<LRESULT> Ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kAnswerMs, &result) ==
      0) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

// Removes the files of a folder (the folders of a run hold no others).
void EmptyFolder(const std::string& folder) {
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

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (!condition()) {
    if (::GetTickCount64() >= deadline) return condition();
    ::Sleep(kPollMs);
  }
  return true;
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

std::string Utf8(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, size, out.data(), length, nullptr, nullptr);
  return out;
}

std::optional<std::string> MakeProgramFolder(const std::string& name, std::string* error) {
  const char* run = std::getenv("QUORVEL_RUN");
  if (run == nullptr) {
    *error = "QUORVEL_RUN is not set: run this program through tools/winerun.sh";
    return std::nullopt;
  }
  const std::string parent = WindowsPath(std::string(run) + "/main_form") + "\\";
  const std::string folder = parent + name + "\\";
  ::CreateDirectoryA(parent.c_str(), /*lpSecurityAttributes=*/nullptr);
  if (!::CreateDirectoryA(folder.c_str(), /*lpSecurityAttributes=*/nullptr)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_ALREADY_EXISTS) {
      *error = "CreateDirectory(" + folder + ") failed: " + std::to_string(code);
      return std::nullopt;
    }
    EmptyFolder(folder);
  }
  const std::string program = ExecutableDirectory() + "..\\..\\app\\Quorvel.exe";
  if (!::CopyFileA(program.c_str(), (folder + "Quorvel.exe").c_str(),
                   /*bFailIfExists=*/FALSE)) {
    *error = "CopyFile(" + program + ") failed: " + std::to_string(::GetLastError());
    return std::nullopt;
  }
  return folder;
}

FormDriver::~FormDriver() {
  Terminate();
}

bool FormDriver::Start(const std::string& folder, const std::vector<std::string>& arguments,
                       std::string* error) {
  const std::string program = folder + "Quorvel.exe";
  std::string command_line = QuoteArgument(program);
  for (const std::string& argument : arguments)
    command_line.append(" ").append(QuoteArgument(argument));
  std::wstring wide_command_line = Wide(command_line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(Wide(program).c_str(), wide_command_line.data(),
                        /*lpProcessAttributes=*/nullptr, /*lpThreadAttributes=*/nullptr,
                        /*bInheritHandles=*/FALSE, /*dwCreationFlags=*/0,
                        /*lpEnvironment=*/nullptr, Wide(folder).c_str(), &startup, &info)) {
    *error = "CreateProcess(" + program + ") failed: " + std::to_string(::GetLastError());
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;

  // Ready once shown with its sensor list filled: the first show has run.
  const bool ready = WaitUntil([&] {
    if (!Running()) return true;
    main_ = FindTopLevel(pid_, ui::kMainFormClass);
    if (main_ == nullptr || !::IsWindowVisible(main_)) return false;
    const std::optional<LRESULT> entries = Ask(Control(ui::kCB1Id), CB_GETCOUNT, 0, 0);
    return entries && *entries > 0;
  });
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

bool FormDriver::WaitControlText(int id, std::u16string_view text, DWORD timeout_ms) const {
  return WaitUntil([&] { return ControlText(id) == text; }, timeout_ms);
}

void FormDriver::PressStartStop() const {
  const HWND button = Control(ui::kSB1Id);
  ::PostMessageW(main_, WM_COMMAND, MAKEWPARAM(ui::kSB1Id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

std::vector<std::u16string> FormDriver::SensorNames() const {
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

int FormDriver::ChosenSensor() const {
  return static_cast<int>(Ask(Control(ui::kCB1Id), CB_GETCURSEL, 0, 0).value_or(CB_ERR));
}

void FormDriver::ChooseSensor(int index) const {
  const HWND list = Control(ui::kCB1Id);
  Ask(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::PostMessageW(main_, WM_COMMAND, MAKEWPARAM(ui::kCB1Id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

std::optional<UINT> FormDriver::MenuItemState(int id) const {
  // Read inside the program's process (see menu_probe_win.h).
  const UINT probe = ::RegisterWindowMessageW(kMenuProbeMessage);
  const HMODULE dll = ::LoadLibraryW((Wide(ExecutableDirectory()) + kMenuProbeDll).c_str());
  if (dll == nullptr) return std::nullopt;
  const auto hook_proc =
      reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(dll, kMenuProbeHook)));
  const DWORD thread = ::GetWindowThreadProcessId(main_, /*lpdwProcessId=*/nullptr);
  const HHOOK hook =
      hook_proc != nullptr ? ::SetWindowsHookExW(WH_GETMESSAGE, hook_proc, dll, thread) : nullptr;
  std::optional<UINT> state;
  if (hook != nullptr) {
    // Thread messages only; the first peek also gives this thread its queue.
    const auto take_answer = [&] {
      MSG msg;
      while (::PeekMessageW(&msg, reinterpret_cast<HWND>(-1), probe, probe, PM_REMOVE)) {
        if (msg.lParam == id) state = static_cast<UINT>(msg.wParam);
      }
      return state.has_value();
    };
    take_answer();
    state.reset();
    if (::PostMessageW(main_, probe, static_cast<WPARAM>(id), ::GetCurrentThreadId())) {
      WaitUntil(take_answer, kAnswerMs);
    }
    ::UnhookWindowsHookEx(hook);
  }
  ::FreeLibrary(dll);
  if (state == static_cast<UINT>(-1)) return std::nullopt;
  return state;
}

void FormDriver::Close() const {
  ::PostMessageW(main_, WM_CLOSE, 0, 0);
}

HWND FormDriver::FindDialog() const {
  return FindTopLevel(pid_, L"#32770");
}

HWND FormDriver::WaitDialog(DWORD timeout_ms) const {
  HWND dialog = nullptr;
  WaitUntil(
      [&] {
        dialog = FindDialog();
        return dialog != nullptr && ::IsWindowVisible(dialog);
      },
      timeout_ms);
  return dialog;
}

bool FormDriver::AnswerDialog(HWND dialog, int button_id) {
  const HWND button = ::GetDlgItem(dialog, button_id);
  if (button == nullptr) return false;
  return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool FormDriver::Running() const {
  return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> FormDriver::WaitExit(DWORD timeout_ms) const {
  if (process_ == nullptr || ::WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(process_, &code)) return std::nullopt;
  return code;
}

void FormDriver::Terminate() {
  if (process_ == nullptr) return;
  if (Running()) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, kProgramWaitMs);
  }
  ::CloseHandle(process_);
  process_ = nullptr;
  main_ = nullptr;
}

}  // namespace quorvel::testing
