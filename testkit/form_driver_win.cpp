#include "testkit/form_driver_win.h"

#include <cstdlib>
#include <string_view>

#include "testkit/menu_probe_win.h"
#include "testkit/wine_run.h"

namespace quorvel::testing {

namespace {

// Upper bound of the probe's answer: the program's thread takes it from its
// queue between two steps of an exchange.
constexpr DWORD kProbeMs = 5'000;
// How often the wait for the answer looks again, besides each new message.
constexpr DWORD kLookMs = 10;
// The probe DLL is built here, seen from a test program of tests/win.
constexpr char kTestkitFolder[] = "..\\..\\testkit\\";

std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

}  // namespace

std::string ProgramPath() {
  return remote::ExecutableFolder() + "..\\..\\app\\Quorvel.exe";
}

std::optional<std::string> ProgramFolder(const std::string& name, std::string* error) {
  const char* run = std::getenv("QUORVEL_RUN");
  if (run == nullptr) {
    *error = "QUORVEL_RUN is not set: run this program through tools/winerun.sh";
    return std::nullopt;
  }
  const std::string parent = WindowsPath(std::string(run) + "/main_form") + "\\";
  if (!::CreateDirectoryA(parent.c_str(), /*lpSecurityAttributes=*/nullptr)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_ALREADY_EXISTS) {
      *error = "CreateDirectory(" + parent + ") failed: " + std::to_string(code);
      return std::nullopt;
    }
  }
  return parent + name + "\\";
}

std::optional<UINT> MenuItemState(const remote::RemoteQuorvel& program, int id) {
  // Read inside the program's process (see menu_probe_win.h).
  const UINT probe = ::RegisterWindowMessageW(kMenuProbeMessage);
  const HMODULE dll =
      ::LoadLibraryW((Wide(remote::ExecutableFolder() + kTestkitFolder) + kMenuProbeDll).c_str());
  if (dll == nullptr) return std::nullopt;
  const auto hook_proc =
      reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(dll, kMenuProbeHook)));
  const DWORD thread = ::GetWindowThreadProcessId(program.Main(), /*lpdwProcessId=*/nullptr);
  const HHOOK hook =
      hook_proc != nullptr ? ::SetWindowsHookExW(WH_GETMESSAGE, hook_proc, dll, thread) : nullptr;
  std::optional<UINT> state;
  if (hook != nullptr) {
    // The answer is a thread message: it is taken here, never dispatched
    // (a message pump would drop it). The first peek also gives this thread
    // its queue.
    const auto take_answer = [&] {
      MSG msg;
      while (::PeekMessageW(&msg, reinterpret_cast<HWND>(-1), probe, probe, PM_REMOVE)) {
        if (msg.lParam == id) state = static_cast<UINT>(msg.wParam);
      }
      return state.has_value();
    };
    take_answer();
    state.reset();
    if (::PostMessageW(program.Main(), probe, static_cast<WPARAM>(id), ::GetCurrentThreadId())) {
      const ULONGLONG deadline = ::GetTickCount64() + kProbeMs;
      while (!take_answer() && ::GetTickCount64() < deadline) {
        // Wakes for a message posted since the last look.
        ::MsgWaitForMultipleObjects(0, /*pHandles=*/nullptr, /*fWaitAll=*/FALSE, kLookMs,
                                    QS_POSTMESSAGE);
      }
    }
    ::UnhookWindowsHookEx(hook);
  }
  ::FreeLibrary(dll);
  if (state == static_cast<UINT>(-1)) return std::nullopt;
  return state;
}

}  // namespace quorvel::testing
