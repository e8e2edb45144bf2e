#include "poll/poll_run.h"

#include <algorithm>

#include "base/cp1251.h"
#include "bus/frame.h"
#include "bus/status_text.h"
#include "config/integer_text.h"

namespace quorvel::poll {

namespace {

constexpr auto kReading = cp1251::Text("Идет считывание данных");
constexpr auto kExchangeError = cp1251::Text("Ошибка обмена");
constexpr auto kFormatError = cp1251::Text("Ошибка: неправильный формат ответа");
constexpr auto kBadReply = cp1251::Text("Ошибка");
constexpr auto kErrorPrefix = cp1251::Text("Ошибка: ");
constexpr auto kStopped = cp1251::Text("Считывание данных остановлено");

}  // namespace

std::int32_t StepOf(const std::string& cell) {
  const std::optional<std::int32_t> step = config::ParseIntegerText(cell);
  return step && *step >= 0 ? *step : 1;
}

bool PortFailed(std::int32_t status) {
  return status == bus::kStatusWriteFailed || status == bus::kStatusReadFailed;
}

std::string OpenFailedText(std::int32_t status) {
  return std::string(kErrorPrefix) + bus::StatusText(status);
}

std::string ReadingCommand(std::int32_t channel) {
  return "1;" + std::to_string(channel) + ";";
}

std::string WithSeparator(std::string text, char separator) {
  std::replace(text.begin(), text.end(), '.', separator);
  return text;
}

PollRun::PollRun(bus::MoreCOM& bus, bus::MonotonicClock& clock, bus::MessagePump& pump,
                 const config::Settings& settings, PollWindow& window)
    : bus_(bus), clock_(clock), pump_(pump), settings_(settings), window_(window) {}

void PollRun::SB1Click() {
  if (tag_ == 0) {
    // The separator of the moment of the press serves the whole run.
    separator_ = DecimalSeparator;
    Start();
  } else if (tag_ == 1) {
    Stop();
  }
}

int PollRun::PolledRowCount() const {
  return std::clamp(settings_.table().RowCount() - 1, 0, kPolledRows);
}

void PollRun::Start() {
  // A run gives the Settings item back as it found it: a program started
  // without the unlocking switch keeps its settings locked after polling.
  const bool setup_before = window_.SetupEnabled();
  tag_ = 1;
  window_.ShowStatus(kReading);
  const int rows = PolledRowCount();
  for (int r = 1; r <= rows; ++r) StepCounter[r - 1] = StepOf(settings_.table().Cell(3, r));
  window_.ShowRunButton(true);
  bus_.StopRequested = 0;
  window_.EnableSetup(false);
  window_.Repaint();

  bus_.SelectedMask = bus::PortBit[settings_.ComPort()];
  if (!bus_.OpenPorts()) {
    StartFailed(setup_before);
    return;
  }
  PollCycle();
  bus_.ClosePorts();
  tag_ = 0;
  window_.EnableSetup(setup_before);
}

void PollRun::StartFailed(bool setup_before) {
  // A stop pressed while the port was being opened leaves the port unopened
  // and its slot with the status an earlier run left there, which is then
  // shown like the failure of an open.
  const std::int32_t status = bus_.Slots[settings_.ComPort()].Status;
  if (status != bus::kStatusOk) {
    window_.ShowStatus(OpenFailedText(status));
    window_.ShowRunButton(false);
  }
  tag_ = 0;
  window_.EnableSetup(setup_before);
}

void PollRun::EndRun() {
  if (tag_ != 1) return;
  Stop();
  bus_.ClosePorts();
}

void PollRun::Stop() {
  window_.ShowRunButton(false);
  bus_.StopRequested = 1;
  window_.ShowStatus(kStopped);
}

void PollRun::PollCycle() {
  while (bus_.StopRequested == 0) {
    const int rows = PolledRowCount();
    for (int r = 1; r <= rows; ++r) {
      // Counted down with wrap-around: a step of 0 comes back to 0 only after
      // the whole 32-bit range, so such a sensor is never asked in a run.
      std::int32_t& counter = StepCounter[r - 1];
      counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) - 1u);
      if (counter != 0) continue;
      if (!AskRow(r)) return;
    }
    WaitBetweenCycles();
  }
}

bool PollRun::AskRow(int r) {
  const config::TSensorRow row = settings_.table().Row(r);
  StepCounter[r - 1] = StepOf(row.Step);
  bus::TPortSlot& slot = bus_.Slots[settings_.ComPort()];
  const std::optional<std::int32_t> channel = config::ParseIntegerText(row.Channel);
  const std::optional<std::int32_t> address = config::ParseIntegerText(row.Address);
  if (!channel || !address) {
    // Only a table file edited by hand has such a cell. The row is not sent;
    // it reads as an address the exchange refuses would.
    slot.Values[0] = bus::StatusText(bus::kStatusBadArgument);
    window_.ShowStatus(kExchangeError);
  } else if (!PortOpen() && !Reopen()) {
    if (bus_.StopRequested != 0) return false;
    slot.Values[0] = OpenFailedText(slot.Status);
    window_.ShowStatus(slot.Values[0].view());
  } else {
    const double time_out = settings_.TimeOut() / 1000.0 * kDaysPerSecond;
    const bool exchanged = bus_.Transact(ReadingCommand(*channel), *address, time_out);
    if (bus_.StopRequested != 0) return false;
    if (!exchanged) {
      slot.Values[0] = bus::StatusText(slot.Status);
      window_.ShowStatus(kExchangeError);
      if (PortFailed(slot.Status)) LosePort();
    } else if (bus::ParseReply(slot.RxText.view(), *address, slot.Values, 1)) {
      window_.ShowStatus(kReading);
    } else {
      window_.ShowStatus(kFormatError);
      slot.Values[0] = kBadReply;
    }
  }
  ShowRow(r, WithSeparator(slot.Values[0].str(), separator_));
  return true;
}

void PollRun::ShowRow(int r, const std::string& text) {
  window_.Publish(r - 1, text);
  if (window_.SelectedSensor() + 1 == r) window_.ShowValue(text);
  window_.ShowPort(settings_.ComPortName());
}

bool PollRun::PortOpen() const {
  return (bus_.OpenMask() & bus_.SelectedMask) == bus_.SelectedMask;
}

void PollRun::LosePort() {
  // A handle whose device went away fails every call; a new one is needed
  // once the device is back. The first attempt comes a whole interval later:
  // a port that has just failed is not back at once.
  bus_.ClosePorts();
  last_open_attempt_ns_ = clock_.NowNs();
}

bool PollRun::Reopen() {
  // The same wait as between cycles, so a Stop ends it and the window and
  // the DDE clients are served meanwhile. Rows are asked at most once per
  // attempt, and a run that gets its port back goes on with the next row at
  // its usual pace: nothing missed is made up. A stop that ended the wait
  // ends OpenPorts too, before it opens anything.
  WaitUntil([this] { return last_open_attempt_ns_ + kReopenIntervalNs; });
  last_open_attempt_ns_ = clock_.NowNs();
  if (!bus_.OpenPorts()) return false;
  window_.ShowStatus(kReading);
  return true;
}

void PollRun::WaitBetweenCycles() {
  // Counted on the monotonic clock: a change of the calendar time neither
  // stretches nor cuts the pause. The pump runs at least once, so back-to-back
  // passes (interval 0) still serve the window between them. The interval is
  // read afresh on every pass.
  const std::int64_t t0 = clock_.NowNs();
  WaitUntil([&] { return t0 + bus::DaysToNs(settings_.TimeOutCycle() * kDaysPerMillisecond); });
}

void PollRun::WaitUntil(const std::function<std::int64_t()>& deadline) {
  for (;;) {
    pump_.ProcessMessages();
    if (bus_.StopRequested != 0) return;
    const std::int64_t until = deadline();
    const std::int64_t now = clock_.NowNs();
    if (now >= until) return;
    pump_.Idle(until - now);
  }
}

}  // namespace quorvel::poll
