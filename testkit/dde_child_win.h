// Child processes on pipes for the DDE tests and the benchmark: stdin is
// written a line at a time; stdout and stderr are read into lines by threads
// of their own. Every wait here handles the calling thread's window messages,
// because DDEML talks through them: a thread that waits without handling
// them stalls its own conversations and every DDE broadcast of the session.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "testkit/message_wait_win.h"

namespace quorvel::testing {

using remote::PumpMessages;
using remote::PumpUntil;

// The folder of the running executable, with its trailing backslash.
std::string ExecutableDirectory();

// One argument quoted so that the C runtime's splitting gives it back.
std::string QuoteArgument(std::string_view argument);

class ChildProcess {
 public:
  ChildProcess();
  // Kills the process if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (a Windows path); false with `error` set on failure.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             std::string* error);
  HANDLE Process() const { return process_; }
  DWORD Pid() const { return pid_; }

  bool WriteLine(std::string_view line);
  // The child reads the end of its input.
  void CloseInput();

  // The first line of stdout after those already taken that `match` accepts
  // (taking it and the lines before it), or nothing when none came within
  // `timeout_ms` or the output ended first.
  std::optional<std::string> WaitLine(const std::function<bool(const std::string&)>& match,
                                      DWORD timeout_ms);
  std::optional<std::string> WaitLineStartingWith(std::string_view prefix, DWORD timeout_ms);
  // Writes a command and takes the next line as its answer.
  std::optional<std::string> Ask(std::string_view command, DWORD timeout_ms);

  std::vector<std::string> OutputLines() const;
  std::size_t OutputLineCount() const;
  std::vector<std::string> ErrorLines() const;
  // Every line of stdout and stderr so far, for failure messages.
  std::string Transcript() const;

  // The exit code, or nothing when the process still runs after `timeout_ms`.
  std::optional<DWORD> WaitExit(DWORD timeout_ms);
  // Ends the process by its handle if it still runs, waits for it and its
  // output, and closes every handle.
  void Kill();

 private:
  struct Stream {
    HANDLE pipe = nullptr;
    std::thread reader;
    std::vector<std::string> lines;
    std::string partial;
    bool ended = false;
  };
  void Read(Stream& stream);

  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HANDLE input_ = nullptr;
  HANDLE line_event_ = nullptr;  // auto-reset: set on every new line
  mutable std::mutex mutex_;
  Stream out_;
  Stream err_;
  std::size_t taken_ = 0;  // stdout lines handed out by WaitLine
};

}  // namespace quorvel::testing
