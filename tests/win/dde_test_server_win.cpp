// DdeTestServer.exe: the real DDE server in a console program of its own, for
// the tests under Wine. The service is the executable's name (DdeTestServer);
// topic ZORVIK with items S1..S500, and the forms "Quorvel v.2.1",
// "Настройки" and "О программе".
//
// Commands come on stdin, one per line (see DdeTestHost::Run); each is
// answered with one line on stdout. "ready" is printed once the service is
// registered. The main thread runs the message loop, where DDEML calls back;
// a second thread reads stdin and hands each line over as a thread message,
// so every server call happens on the main thread. At the end of stdin, or
// after "quit", the items are released and the server is ended (its
// conversations disconnected, the service withdrawn); the exit code is 0.
// A crash exits with 3 after a line on stderr.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "base/executable_path.h"
#include "poll/dde_server.h"
#include "testkit/crash_exit_win.h"
#include "testkit/dde_test_host_win.h"

namespace {

constexpr UINT kLineMessage = WM_APP + 1;  // lParam: a std::string* to take over
constexpr UINT kEndMessage = WM_APP + 2;   // stdin ended

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Hand(DWORD thread, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  auto owned = std::make_unique<std::string>(std::move(line));
  if (::PostThreadMessageA(thread, kLineMessage, 0, reinterpret_cast<LPARAM>(owned.get()))) {
    static_cast<void>(owned.release());
  }
}

void ReadCommands(DWORD main_thread) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string partial;
  char buffer[65536];
  DWORD received = 0;
  while (::ReadFile(input, buffer, sizeof buffer, &received, nullptr) && received > 0) {
    for (DWORD i = 0; i < received; ++i) {
      if (buffer[i] == '\n') {
        Hand(main_thread, std::move(partial));
        partial.clear();
      } else {
        partial.push_back(buffer[i]);
      }
    }
  }
  if (!partial.empty()) Hand(main_thread, std::move(partial));
  ::PostThreadMessageA(main_thread, kEndMessage, 0, 0);
}

}  // namespace

int main() {
  quorvel::testing::ExitOnCrash();
  // Lines end in LF alone, whatever the C runtime's text mode would add.
  _setmode(_fileno(stdout), _O_BINARY);

  std::uint32_t code = 0;
  auto host = quorvel::testing::DdeTestHost::Start(
      quorvel::poll::ServiceName(quorvel::ExecutablePath()), &code);
  if (!host) {
    std::fprintf(stderr, "DdeTestServer: %s\n",
                 quorvel::poll::DdeStartupErrorMessage(code).c_str());
    return 1;
  }

  // The thread's message queue exists before the reader may post to it.
  MSG msg;
  ::PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  // The reader may be blocked in ReadFile when the program ends: it is not
  // joined, and ends with the process.
  std::thread(ReadCommands, ::GetCurrentThreadId()).detach();
  PrintLine("ready");

  std::string last_answer;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == kEndMessage) break;
    if (msg.hwnd == nullptr && msg.message == kLineMessage) {
      const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(msg.lParam));
      bool quit = false;
      const std::string answer = host->Run(*line, &quit);
      if (quit) {
        last_answer = answer;
        break;
      }
      PrintLine(answer);
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  host.reset();
  // "bye" only once the server has ended, so a test can wait for it.
  if (!last_answer.empty()) PrintLine(last_answer);
  return 0;
}
