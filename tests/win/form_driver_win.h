// Drives a Quorvel.exe from another process as a user would, through its
// windows only: the main window found by its class and process, its child
// controls by their identities (ui/main_form_ids.h), the modal message
// dialog by its class and process.
//
// The Start-Stop press and the close are posted, never sent: the press runs
// the whole poll loop inside its handler, which returns only when polling
// ends. Everything read is read with messages the program's thread answers
// (WM_GETTEXT, CB_GETLBTEXT, ...), with an upper bound on each, so a program
// that hangs fails the test instead of hanging it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

// Upper bound of every wait for something the program is to do.
inline constexpr DWORD kProgramWaitMs = 20'000;

// Checks `condition` every 10 ms until it holds or `timeout_ms` have passed;
// returns what it gave last.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = kProgramWaitMs);

// The text of a window of any process, asked of the thread that owns it;
// empty when it does not answer within a few seconds.
std::u16string WindowText(HWND window);

// UTF-16 to UTF-8, for failure messages.
std::string Utf8(std::u16string_view text);

// A folder of the run (QUORVEL_RUN) for one test, "<run>\main_form\<name>",
// emptied if it exists, with a copy of Quorvel.exe of this build. Its
// Windows path with a trailing backslash, or nothing with `error` set.
std::optional<std::string> MakeProgramFolder(const std::string& name, std::string* error);

// One Quorvel.exe process started from a folder, which is also its working
// directory. The process is ended by its handle when the driver goes, if it
// still runs.
class FormDriver {
 public:
  FormDriver() = default;
  ~FormDriver();
  FormDriver(const FormDriver&) = delete;
  FormDriver& operator=(const FormDriver&) = delete;

  // Starts `folder`Quorvel.exe with the arguments and waits until its main
  // window is there. False with `error` set when it could not be started or
  // showed no main window in time.
  bool Start(const std::string& folder, const std::vector<std::string>& arguments,
             std::string* error);
  DWORD Pid() const { return pid_; }
  HWND Main() const { return main_; }
  HWND Control(int id) const { return ::GetDlgItem(main_, id); }

  std::u16string ControlText(int id) const { return WindowText(Control(id)); }
  // Waits until the control shows `text`.
  bool WaitControlText(int id, std::u16string_view text, DWORD timeout_ms = kProgramWaitMs) const;

  // A click of the Start-Stop button, posted.
  void PressStartStop() const;

  // The sensor selector: its entries, the index chosen (-1 for none), and a
  // choice made as a user makes it (the selection, then its notification).
  std::vector<std::u16string> SensorNames() const;
  int ChosenSensor() const;
  void ChooseSensor(int index) const;

  // The state bits (MF_GRAYED, MF_DISABLED, ...) of an item of the main
  // window's menu, or nothing when they could not be read. Read through
  // menu_probe.dll, beside this program (tests/win/menu_probe_win.h).
  std::optional<UINT> MenuItemState(int id) const;

  // Asks the main window to close, as its close box does (posted).
  void Close() const;

  // A modal dialog of the program (class "#32770"), or null when none is up.
  HWND FindDialog() const;
  HWND WaitDialog(DWORD timeout_ms = kProgramWaitMs) const;
  // Answers the dialog with one of its buttons, as a click on it does.
  static bool AnswerDialog(HWND dialog, int button_id);

  bool Running() const;
  // The exit code, or nothing when the process still runs after `timeout_ms`.
  std::optional<DWORD> WaitExit(DWORD timeout_ms = kProgramWaitMs) const;
  // Ends the process by its handle if it still runs, and waits for it.
  void Terminate();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

}  // namespace quorvel::testing
