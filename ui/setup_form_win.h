// The settings dialog: the port and line speed, the sensor count, the two
// time-outs, the sensor table, the DDE topic and item prefix, the start-up
// and display options, the demotion of a device that does not answer, the
// broker the readings are published to, on four pages (a fifth, the device
// search, is never shown).
//
// The dialog edits the settings model in place: every change takes effect
// when the user makes it, except the DDE item names and the topic, which
// change on OK, and the broker's boxes, which take effect when left and at
// OK or any close (each change restarts the broker link). Its controls only
// show the model; they are filled from it when the dialog is made and each
// time it is shown. It is made once, hidden, at start, right after the
// program read the settings file (its creation applies what was read to the
// DDE names), and shown modally from the main window's menu; it closes only
// with a valid sensor table. While it shows, it asks the host for the broker
// link's state twice a second.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "poll/dde_components.h"
#include "ui/gdi_object_win.h"
#include "ui/sensor_grid_win.h"
#include "ui/setup_form_rules.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

class TSetupForm {
 public:
  // `owner` is the main window, `images` its image list.
  TSetupForm(HINSTANCE instance, HWND owner, HIMAGELIST images, config::Settings& settings,
             poll::DdeComponents& dde, SetupFormHost& host);
  ~TSetupForm();
  TSetupForm(const TSetupForm&) = delete;
  TSetupForm& operator=(const TSetupForm&) = delete;

  // Makes the dialog, hidden, and runs FormCreate. False when the window
  // could not be made.
  bool Create();
  HWND Handle() const { return window_; }
  HWND GridHandle() const { return grid_.Handle(); }
  bool Visible() const { return window_ != nullptr && ::IsWindowVisible(window_) != FALSE; }

  // Shows the dialog below the owner and returns when it has closed.
  void ShowModal();

  // The workbook path box and its label follow the workbook option.
  void EnableWorkbookControls(bool enabled);

 private:
  struct Control;

  template <typename Owner>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  void Attach(HWND window);
  void ReportError(const std::string& text);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  HWND AddControl(const Control& control);
  void ShowPage(int page);
  int PageOfTab(int tab) const;
  void FillControls();
  void SetControlText(int id, const std::string& text);
  std::string ControlText(int id) const;
  void OnCommand(int id, int code);
  void OnSpin(int edit_id, int delta);
  void SpinEditDone(int edit_id);
  // The open-file dialog from `current`; the path chosen, nothing when
  // cancelled.
  std::optional<std::string> ChooseFile(const std::string& current, const wchar_t* filter,
                                        const wchar_t* extension);
  // The broker's box `id` read into `mqtt`: a number held within its range
  // (its text too), the password sealed when it changed.
  void TakeMqttBox(int id, config::MqttSettings& mqtt);
  // Box `id` left: the settings take it. At OK and any close every box.
  void MqttBoxDone(int id);
  void MqttBoxesDone();
  void LogBoxesDone();
  void OpcUaBoxesDone();
  // A password box left: its text sealed into `sealed_password`, unless it
  // is what that opens to already.
  void TakePassword(int id, std::string& sealed_password);
  // The host's defaults in the boxes that are empty for them.
  void ShowMqttHints();
  // The states of the broker link, the log and the OPC UA server, and the
  // server's thumbprint.
  void ShowServiceStates();

  // Handlers.
  void FormCreate();
  void FormShow();
  bool FormClose();
  void OkB1Click();
  void COMCBChange();
  void SpeedCBChange();
  void SE1Change();
  void RzEdit2Change();
  void CB1Click();
  void CB3Click();
  void RBE1ButtonClick();
  void RzRadioGroup1Changing(int index);
  void FindButtonClick();
  void MqttChoiceChange();
  void MqttCaFileButtonClick();

  HINSTANCE instance_;
  HWND owner_;
  HIMAGELIST images_;
  config::Settings& settings_;
  poll::DdeComponents& dde_;
  SetupFormHost& host_;
  SensorGrid grid_;
  HWND window_ = nullptr;
  HWND tabs_ = nullptr;
  UniqueFont font_;
  // The pages' area, in the dialog's client coordinates.
  RECT page_{};
  // Each control with the page that shows it (-1: every page).
  std::vector<std::pair<HWND, int>> paged_;
  // Set while the controls are being filled from the settings, so their
  // change notifications do not write back.
  bool filling_ = false;
  bool modal_ = false;
  int search_state_ = 0;  // the device search: 0 idle, 1 searching
};

}  // namespace quorvel::ui
