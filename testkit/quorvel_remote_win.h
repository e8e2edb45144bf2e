// A Quorvel.exe run and driven from another process the way a user drives
// it, through its windows only: a folder of its own holding the program, its
// settings file and its sensor table; the main window found by its class and
// process, its child controls by their identities (ui/main_form_ids.h); a
// message box or dialog of the program found by its class ("#32770").
//
// The Start-Stop press and the close are posted, never sent: the press runs
// the whole poll loop inside its handler, which returns only when polling
// ends. What is read is asked of the program's thread (WM_GETTEXT,
// CB_GETLBTEXT, ...) with an upper bound on each message, so a program that
// hangs fails its driver instead of hanging it.
//
// Every wait here handles the calling thread's window messages
// (testkit/message_wait_win.h): a DDE client on that thread keeps
// receiving its updates while it waits.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace quorvel::remote {

// Upper bound of every wait for something the program is to do.
inline constexpr DWORD kProgramWaitMs = 30'000;

// The folder of the running executable, with its trailing backslash.
std::string ExecutableFolder();

// The Windows path of a Unix path, through drive Z:.
std::string WindowsPathOf(std::string_view unix_path);

// UTF-16 to UTF-8, for messages.
std::string Utf8(std::u16string_view text);

// The text of a window of any process, asked of the thread that owns it;
// empty when it does not answer within a few seconds.
std::u16string WindowText(HWND window);

// Sets the port (1..10), the speed (one of the program's) and the number of
// sensors (1..500; the rows named from the prefix, each asked every cycle,
// address and channel left to SetSensor). False when the port or the speed
// is not one the program offers.
bool ConfigureRun(config::Settings& settings, int port, int baud, int sensors);

// Sets row `row` (1..) of the table to a device address and channel, asked
// every cycle.
void SetSensor(config::Settings& settings, int row, int address, int channel);

// Makes `folder` (a Windows path ending in '\', its parent must exist; the
// files of a folder that exists are removed first), copies `program` into it
// as Quorvel.exe and writes Quorvel.ini and DDEConf.dde from `settings`.
// False with `error` set on failure.
bool PrepareFolder(const std::string& program, const std::string& folder,
                   const config::Settings& settings, std::string* error);

// The push buttons of a dialog, in the order of its child windows.
std::vector<HWND> DialogButtons(HWND dialog);

// The first top-level window of the process with the class, shown or not;
// null when there is none.
HWND FindTopLevel(DWORD pid, std::wstring_view window_class);

// A message answered by the window's thread within a few seconds; nothing
// when it did not answer.
std::optional<LRESULT> Ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

class RemoteQuorvel {
 public:
  // How a wait for the end of the program came out: its exit code once it
  // ended, or the dialog it showed instead; neither when the time ran out.
  struct Ending {
    std::optional<DWORD> exit_code;
    HWND dialog = nullptr;
  };

  RemoteQuorvel() = default;
  // Ends the process by its handle if it still runs.
  ~RemoteQuorvel();
  RemoteQuorvel(const RemoteQuorvel&) = delete;
  RemoteQuorvel& operator=(const RemoteQuorvel&) = delete;

  // Starts `folder`Quorvel.exe with `arguments` (the rest of its command
  // line, as typed) and `folder` as its working directory, and waits until
  // its main window shows with its sensor list filled (its first show has
  // run). False with `error` set otherwise.
  // `file_name` is the executable's name in the folder.
  bool Start(const std::string& folder, std::string_view arguments, std::string* error,
             std::string_view file_name = "Quorvel.exe");
  // Starts it the same way without waiting for anything: for what happens
  // before the main window shows (the splash, a refused start).
  bool Launch(const std::string& folder, std::string_view arguments, std::string* error,
              std::string_view file_name = "Quorvel.exe");
  // After a Launch: waits as Start does.
  bool WaitStarted(std::string* error);

  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_; }
  HWND Main() const { return main_; }
  // A control of the main window, also one inside its status bar.
  HWND Control(int id) const;

  std::u16string ControlText(int id) const { return WindowText(Control(id)); }
  // Waits until the control shows `text`; false when it did not in time or
  // the program ended.
  bool WaitControlText(int id, std::u16string_view text, DWORD timeout_ms = kProgramWaitMs) const;

  // A click of the Start-Stop button, posted.
  void PressStartStop() const;
  // Waits until the button shows "Стоп" (polling) or "Старт" (idle).
  bool WaitPolling(bool polling, DWORD timeout_ms = kProgramWaitMs) const;
  // Presses Stop if the program polls and waits until the button and the
  // status pane say that polling stopped.
  bool StopPolling(DWORD timeout_ms = kProgramWaitMs) const;

  // The sensor selector: its entries, the index chosen (-1 for none), and a
  // choice made as a user makes it (the selection, then its notification).
  std::vector<std::u16string> SensorNames() const;
  int ChosenSensor() const;
  void ChooseSensor(int index) const;

  // Asks the main window to close, as its close box does (posted).
  void Close() const;

  // A message box or dialog of the program, or null when none is there.
  HWND FindDialog() const;
  // Waits until one shows; null when none did in time.
  HWND WaitDialog(DWORD timeout_ms = kProgramWaitMs) const;
  // The message of such a dialog (ui/message_dialog_win.h), or its caption
  // when it has none.
  static std::u16string DialogMessage(HWND dialog);
  // Answers the dialog with one of its buttons, as a click on it does.
  static bool AnswerDialog(HWND dialog, int button_id);

  bool Running() const;
  // Whether the program's thread handles a message sent to its main window
  // within `timeout_ms`.
  bool Answers(DWORD timeout_ms) const;
  // The exit code, or nothing when the process still runs after `timeout_ms`.
  std::optional<DWORD> WaitExit(DWORD timeout_ms = kProgramWaitMs) const;
  // Waits until the process ends or a dialog of it is there, whichever
  // comes first (after a close: whether it was refused); a dialog is handed
  // out once it shows.
  Ending WaitExitOrDialog(DWORD timeout_ms = kProgramWaitMs) const;
  // "ended with exit code N", "showed a dialog: "MESSAGE"" or "still runs",
  // for messages.
  static std::string Describe(const Ending& ending);
  // Ends the process by its handle if it still runs, and waits for it.
  void Terminate();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

}  // namespace quorvel::remote
