// The line monitor, "Сервис → Монитор обмена": a resizable window of its own
// with the table of sensors and devices and their counters, the traffic of
// the line, and a summary line (the pass against the interval, readings a
// second, the MQTT link and the reading log). It only looks: what it shows is
// kept by the monitor sink whether it is open or not, and it reads that at a
// tick of its own, so polling never waits for it.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/civil_time.h"
#include "bus/port_driver.h"
#include "config/settings.h"
#include "config/window_place.h"
#include "monitor/monitor_sink.h"
#include "monitor/monitor_table.h"
#include "monitor/traffic.h"
#include "ui/gdi_object_win.h"
#include "ui/window_proc_win.h"

namespace quorvel::ui {

class MonitorFormHost {
 public:
  virtual ~MonitorFormHost() = default;
  // The text of DDE value item `index`; nothing when there is no such item.
  virtual std::optional<std::string> ItemText(int index) = 0;
  // The MQTT link's and the reading log's states for the summary line,
  // Windows-1251; empty for a service that is off.
  virtual std::string ServicesText() = 0;
  virtual void ReportError(const std::string& text) = 0;
};

class MonitorForm {
 public:
  // `clock` is the one the readings are stamped with, for the rate.
  MonitorForm(HINSTANCE instance, const config::Settings& settings, monitor::MonitorSink& sink,
              bus::MonotonicClock& clock, LocalTimeZone& zone, config::WindowPlace& place,
              MonitorFormHost& host);
  ~MonitorForm();
  MonitorForm(const MonitorForm&) = delete;
  MonitorForm& operator=(const MonitorForm&) = delete;

  // Opens the window, or brings it to the front when it is open.
  void Show();
  bool Open() const { return window_ != nullptr; }
  // The window's place into the stored place, when it is open.
  void NotePlace();
  HWND Handle() const { return window_; }

 private:
  template <typename Owner>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  void Attach(HWND window);
  void ReportError(const std::string& text) { host_.ReportError(text); }
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool RegisterClassOnce();
  void CreateControls();
  void Layout();
  // The views from the sink: the table's rows, the traffic lines the filter
  // lets through (unless paused), the summary and the device list.
  void Refresh();
  // The poll cycle's line time is free: draws what is due, one list a call.
  void LineFree();
  void RefreshTable();
  void RefreshTraffic();
  void RefreshDevices();
  void RefreshSummary();
  LRESULT OnNotify(const NMHDR& header);
  void TableCell(NMLVDISPINFOW& info);
  void TrafficCell(NMLVDISPINFOW& info);
  LRESULT TableCustomDraw(NMLVCUSTOMDRAW& draw);
  void Command(int id, int code);
  // The selected traffic lines (all of them with `all`) to the clipboard.
  bool CopyTraffic(bool all);
  bool CopyTable();
  bool CopyToClipboard(const std::string& text);
  const monitor::TrafficLine& ShownLine(std::size_t index) const;
  std::optional<std::int32_t> FilterDevice() const;

  HINSTANCE instance_;
  const config::Settings& settings_;
  monitor::MonitorSink& sink_;
  bus::MonotonicClock& clock_;
  LocalTimeZone& zone_;
  config::WindowPlace& place_;
  MonitorFormHost& host_;
  HWND window_ = nullptr;
  HWND summary_ = nullptr;
  HWND table_ = nullptr;
  HWND traffic_ = nullptr;
  HWND device_ = nullptr;
  UniqueFont font_;
  char decimal_ = ',';

  // What the refresh timer asked to be drawn and was not yet.
  static constexpr unsigned kTableDue = 1;
  static constexpr unsigned kTrafficDue = 2;
  unsigned due_ = 0;
  std::vector<monitor::TableRow> rows_;
  int sort_column_ = -1;
  bool sort_descending_ = false;
  // The traffic view shows the ring's lines through `shown_` (their indexes
  // in the ring), or, paused, the copies in `paused_`.
  std::vector<std::size_t> shown_;
  std::vector<monitor::TrafficLine> paused_;
  bool paused_now_ = false;
  bool hex_ = false;
  std::uint64_t seen_added_ = ~std::uint64_t{0};
  std::optional<std::int32_t> seen_filter_;
  std::vector<std::int32_t> devices_;  // the filter's list after "all"
  // The texts a display request asked for, alive until the next one.
  std::u16string cell_text_;
};

}  // namespace quorvel::ui
