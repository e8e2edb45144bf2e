// The main window's panes as sinks of readings: the status pane says how
// the exchange went, the value pane shows the reading of the chosen sensor,
// the port pane the port in use. The status comes before the DDE items, the
// other two after them: a pane whose text changes repaints at once, and the
// linked clients are not to wait for that.
#pragma once

#include <string_view>

#include "config/settings.h"
#include "poll/reading.h"

namespace quorvel::ui {

class MainPanes {
 public:
  virtual ~MainPanes() = default;
  // Windows-1251 texts.
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void ShowValue(std::string_view text) = 0;
  virtual void ShowPort(std::string_view name) = 0;
  // The index chosen in the sensor selector; -1 when none is.
  virtual int SelectedSensor() const = 0;
};

class MainStatusSink final : public poll::ReadingSink {
 public:
  explicit MainStatusSink(MainPanes& panes) : panes_(panes) {}
  void Take(const poll::Reading& reading) override;

 private:
  MainPanes& panes_;
};

class MainPaneSink final : public poll::ReadingSink {
 public:
  MainPaneSink(MainPanes& panes, const config::Settings& settings)
      : panes_(panes), settings_(settings) {}
  void Take(const poll::Reading& reading) override;

 private:
  MainPanes& panes_;
  const config::Settings& settings_;
};

}  // namespace quorvel::ui
