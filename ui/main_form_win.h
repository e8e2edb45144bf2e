// The main window: the sensor selector, the value of the chosen sensor, the
// port in use, the Start-Stop button, a status bar with a clock, and the
// menu. Its button starts and stops the host's poll cycle, its panes are one
// of the cycle's sinks, and it refuses to close while polling.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "poll/poll_run.h"
#include "poll/poll_window.h"
#include "ui/gdi_object_win.h"
#include "ui/image_list_win.h"
#include "ui/main_panes.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

// What the window asks of the program built around it.
class MainFormHost {
 public:
  virtual ~MainFormHost() = default;
  // While the window is being made, before its creation handler: the splash.
  virtual void ShowSplash() = 0;
  // First show: the workbook option's label and path box follow the option;
  // with the option on, the workbook opens.
  virtual void EnableWorkbookControls(bool enabled) = 0;
  virtual void OpenWorkbook() = 0;
  // "Настройки" and "О программе": the modal dialogs.
  virtual void ShowSetup() = 0;
  virtual void ShowAbout() = 0;
  // "Монитор обмена": a window of its own, not modal.
  virtual void ShowMonitor() = 0;
  // The poll cycle behind the Start-Stop button.
  virtual poll::PollRun& Poll() = 0;
  // The text of DDE value item `index`; nothing when there is no such item.
  virtual std::optional<std::string> ItemText(int index) = 0;
  // Saves the settings and the table; an error text when it failed.
  virtual std::optional<std::string> SaveSettings() = 0;
  // The close goes ahead: the DDE value items go.
  virtual void ReleaseItems() = 0;
  // The close goes ahead, or the session ends: the single-instance
  // registration is released.
  virtual void ReleaseInstance() = 0;
  // An error that escaped a handler: the program's general error report.
  virtual void ReportError(const std::string& text) = 0;
};

class TForm1 final : public poll::PollWindow, public MainPanes {
 public:
  TForm1(HINSTANCE instance, config::Settings& settings, MainFormHost& host);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates the window, hidden, and runs FormCreate with the command-line
  // arguments (Windows-1251). False when the window could not be made.
  bool Create(const std::vector<std::string>& arguments);
  // Shows the window; the first show runs FormShow.
  void Show(int show_command);
  HWND Handle() const { return window_; }

  // Moves the window's top-left corner (the stored position).
  void MoveTo(int left, int top);
  // The sensor list from the table's name column; the first entry chosen.
  void FillSensorList();
  // The user's decimal separator, read again from the user's default locale.
  void ReadDecimalSeparator(bool user_default);

  HIMAGELIST Images() const { return images_.get(); }

  // PollWindow and MainPanes
  void ShowRunButton(bool polling) override;
  bool SetupEnabled() const override;
  void EnableSetup(bool enabled) override;
  void ShowStatus(std::string_view text) override;
  void ShowValue(std::string_view text) override;
  void ShowPort(std::string_view name) override;
  int SelectedSensor() const override;
  void Repaint() override;

 private:
  template <typename Owner>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  void Attach(HWND window);
  void ReportError(const std::string& text);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  HMENU CreateMainMenu();
  void DrawButton(const DRAWITEMSTRUCT& item);
  void MeasureMenuItem(MEASUREITEMSTRUCT& item);
  void DrawMenuItem(const DRAWITEMSTRUCT& item);
  void SetPaneText(int id, std::string_view text);
  void UpdateClock();

  // Handlers.
  void FormCreate(const std::vector<std::string>& arguments);
  void FormShow();
  bool FormCloseQuery();
  // Windows ends the session: the close's saving without its questions.
  void EndSession();
  // The window's place into the settings, as the stored position.
  void NotePosition();
  void SB1Click();
  void Timer2Timer();
  void CB1Change();
  void Setup1Click();
  void N2Click();
  void N4Click();

  HINSTANCE instance_;
  config::Settings& settings_;
  MainFormHost& host_;
  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND status_bar_ = nullptr;  // holds the clock and status panes
  UniqueFont font_;
  ImageList images_;
  std::string help_file_;
  std::string guide_file_;
  // The texts the panes show, so an unchanged text is not set (and painted)
  // again at every reading.
  std::map<int, std::string> pane_texts_;
  bool shown_ = false;
  // A close asked for while a stop was pending: done when the run has ended.
  bool close_pending_ = false;
  int button_image_ = kImageStart;
};

}  // namespace quorvel::ui
