// The tests' side of SheetServer.exe: its registration as the spreadsheet's
// class in the run's Wine prefix, an instance started as "already running",
// its log, and the end of every server process it logged.
//
// The class goes into the machine's classes (HKLM\Software\Classes): Wine's
// COM does not look up per-user classes. The spreadsheet's interfaces are
// registered with a type library made here, so that COM can marshal them
// between the processes as it does for the real application.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quorvel::sheet {

inline constexpr DWORD kServerWaitMs = 30'000;

// SheetServer.exe of the build tree, from a test program in tests/win.
std::wstring ServerPath();
// A log file named `name` in the temporary folder.
std::wstring TempLog(const std::string& name);

class StandIn {
 public:
  // `server`: SheetServer.exe; `log`: its log, removed first.
  StandIn(std::wstring server, std::wstring log);
  // Ends every server process of the log and removes the registration.
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Registers the class, served by the stand-in with its log and `options`
  // (SheetServer.exe's command-line options).
  bool Register(const std::vector<std::wstring>& options, std::string* error);
  static void Unregister();

  // Starts an instance found in the running object table, with `options`,
  // and waits until it is there.
  bool StartRunning(const std::vector<std::wstring>& options, std::string* error);

  // The log's lines (UTF-8); the calls only, without the lines about the
  // process and the objects' lifetimes ("pid ...", "ready", "gone ...", "exit").
  std::vector<std::string> Log() const;
  std::vector<std::string> Calls() const;
  // The "gone ..." lines: the objects whose last reference went, in order.
  std::vector<std::string> Gone() const;
  // The processes that logged their start, in order.
  std::vector<DWORD> Pids() const;
  // Whether a process of the log still runs.
  static bool Running(DWORD pid);

  // Waits until every process of the log ended by itself.
  bool WaitAllEnded(DWORD timeout_ms = kServerWaitMs) const;
  // Ends every process of the log by its pid and waits for each.
  void EndAll();

 private:
  std::wstring CommandLine(const std::vector<std::wstring>& options) const;

  std::wstring server_;
  std::wstring log_;
  HANDLE running_ = nullptr;
};

// A UTF-8 text as a UTF-16 one.
std::wstring Wide(const std::string& utf8);

}  // namespace quorvel::sheet
