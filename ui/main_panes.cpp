#include "ui/main_panes.h"

#include "poll/poll_run.h"

namespace quorvel::ui {

void MainStatusSink::Take(const poll::Reading& reading) {
  panes_.ShowStatus(poll::ReadingStatusText(reading));
}

void MainPaneSink::Take(const poll::Reading& reading) {
  if (panes_.SelectedSensor() == reading.item) panes_.ShowValue(reading.text);
  panes_.ShowPort(settings_.ComPortName());
}

}  // namespace quorvel::ui
