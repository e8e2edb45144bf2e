// A Quorvel.exe run and driven from another process the way a user drives
// it: a folder of its own holding the program, its settings file and its
// sensor table; the main window found by its class and process; the
// Start-Stop button pressed by a posted click (the press runs the whole poll
// loop inside its handler, so it is never sent); the window closed by a
// posted WM_CLOSE.
//
// Every wait here handles the calling thread's window messages: a DDE client
// on that thread keeps receiving its updates while it waits.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace quorvel::tools {

// Upper bound of every wait for something the program is to do.
inline constexpr DWORD kProgramWaitMs = 30'000;

// The folder of the running executable, with its trailing backslash.
std::string ExecutableFolder();

// The Windows path of a Unix path, through drive Z:.
std::string WindowsPathOf(std::string_view unix_path);

// Dispatches every window message waiting for this thread.
void PumpMessages();

// Handles messages until `done` holds, looking at it whenever a message or
// `wake` (if given) arrives and at least every 10 ms; gives up after
// `timeout_ms`. Returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, HANDLE wake = nullptr);

// Handles messages for `ms` milliseconds (INFINITE: for ever), or until
// `stop` (if given) is signalled; false when it was. Wakes only for a
// message or `stop`.
bool PumpFor(DWORD ms, HANDLE stop);

// Sets the port (1..10), the speed (one of the program's) and the number of
// sensors (1..500; the rows named from the prefix, each asked every cycle,
// address and channel left to SetSensor). False when the port or the speed
// is not one the program offers.
bool ConfigureRun(config::Settings& settings, int port, int baud, int sensors);

// Sets row `row` (1..) of the table to a device address and channel.
void SetSensor(config::Settings& settings, int row, int address, int channel);

// Makes `folder` (a Windows path ending in '\', its parent must exist),
// copies `program` into it as Quorvel.exe and writes Quorvel.ini and
// DDEConf.dde from `settings`. False with `error` set on failure.
bool PrepareFolder(const std::string& program, const std::string& folder,
                   const config::Settings& settings, std::string* error);

class RemoteQuorvel {
 public:
  RemoteQuorvel() = default;
  // Ends the process by its handle if it still runs.
  ~RemoteQuorvel();
  RemoteQuorvel(const RemoteQuorvel&) = delete;
  RemoteQuorvel& operator=(const RemoteQuorvel&) = delete;

  // Starts `folder`Quorvel.exe with `folder` as its working directory and
  // waits until its main window shows. False with `error` set otherwise.
  bool Start(const std::string& folder, std::string* error);

  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_; }
  HWND Main() const { return main_; }
  HWND Control(int id) const { return ::GetDlgItem(main_, id); }

  // A control's text, asked of the program's thread (WM_GETTEXT, bounded);
  // empty when it does not answer.
  std::u16string ControlText(int id) const;

  // The Start-Stop press, posted.
  void PressStartStop() const;
  // Waits until the button shows "Стоп" (polling) or "Старт" (idle).
  bool WaitPolling(bool polling, DWORD timeout_ms = kProgramWaitMs) const;
  // Presses Stop if the program polls and waits until the button and the
  // status pane say that polling stopped.
  bool StopPolling(DWORD timeout_ms = kProgramWaitMs) const;

  // Posts WM_CLOSE and waits for the process to end; its exit code, or
  // nothing when it still runs after `timeout_ms`. The button shows "Старт"
  // as soon as the Stop press is handled, while the poll loop still runs to
  // the end of the exchange in progress: a close that comes in between is
  // refused with a message box, which is answered (counted in
  // refused_closes()) and the close asked again.
  std::optional<DWORD> Close(DWORD timeout_ms = kProgramWaitMs);
  int refused_closes() const { return refused_closes_; }
  bool Running() const;
  // Whether the program's thread handles a message sent to its main window
  // within `timeout_ms`.
  bool Answers(DWORD timeout_ms) const;
  // Ends the process by its handle if it still runs, and waits for it.
  void Terminate();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  int refused_closes_ = 0;
};

}  // namespace quorvel::tools
