#include "poll/poll_run.h"

#include <algorithm>

#include "base/cp1251.h"
#include "bus/frame.h"
#include "bus/status_text.h"
#include "config/integer_text.h"

namespace quorvel::poll {

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

PollRun::PollRun(bus::MoreCOM& bus, bus::MonotonicClock& clock, bus::WallClock& wall_clock,
                 bus::MessagePump& pump, const config::Settings& settings, PollWindow& window,
                 const ReadingSinks& sinks)
    : bus_(bus),
      clock_(clock),
      wall_clock_(wall_clock),
      pump_(pump),
      settings_(settings),
      window_(window),
      sinks_(sinks) {}

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
  window_.ShowStatus(kReadingText);
  const int rows = PolledRowCount();
  for (int r = 1; r <= rows; ++r) StepCounter[r - 1] = StepOf(settings_.table().Cell(3, r));
  window_.ShowRunButton(true);
  bus_.StopRequested = 0;
  window_.EnableSetup(false);
  window_.Repaint();
  demotion_.Reset(settings_.DemoteAfter(), std::int64_t{settings_.DemoteForMs()} * 1'000'000);

  bus_.SelectedMask = bus::PortBit[settings_.ComPort()];
  if (!OpenPort()) {
    StartFailed(setup_before);
    return;
  }
  // The clients hear of a reading while the next request is on the line.
  if (settings_.AdviseDuringRequest()) bus_.RequestsWritten = [this] { sinks_.Announce(); };
  PollCycle();
  bus_.RequestsWritten = nullptr;
  // A reading taken before the stop is told all the same.
  sinks_.Announce();
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
  sinks_.Announce();
  Stop();
  bus_.ClosePorts();
}

void PollRun::Stop() {
  window_.ShowRunButton(false);
  bus_.StopRequested = 1;
  window_.ShowStatus(kStoppedText);
}

void PollRun::PollCycle() {
  while (bus_.StopRequested == 0) {
    demotion_.NewPass();
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
  Reading reading;
  reading.row = r;
  reading.item = r - 1;
  reading.address = address.value_or(0);
  reading.channel = channel.value_or(0);
  bool demoted = false;
  if (channel && address && demotion_.TurnOf(*address, clock_.NowNs()) == Demotion::Turn::kSkip) {
    return true;
  }
  if (!channel || !address) {
    // Only a table file edited by hand has such a cell. The row is not sent;
    // it reads as an address the exchange refuses would.
    Stamp(reading);
    reading.outcome = Outcome::kArgumentsRefused;
    reading.status = bus::kStatusBadArgument;
    slot.Values[0] = bus::StatusText(reading.status);
  } else if (!PortOpen() && !Reopen()) {
    if (bus_.StopRequested != 0) return false;
    Stamp(reading);
    reading.outcome = Outcome::kPortUnavailable;
    reading.status = slot.Status;
    slot.Values[0] = OpenFailedText(slot.Status);
  } else if (!Exchange(reading, slot)) {
    return false;
  } else {
    // Only an exchange in which the device never began to answer counts
    // against it: a partial or garbled reply says it is there.
    demoted = demotion_.Note(reading.address, reading.outcome != Outcome::kNoReply, reading.end_ns);
  }
  reading.text = WithSeparator(slot.Values[0].str(), separator_);
  sinks_.Take(reading);
  if (demoted) TellDemoted(reading.address);
  if (!settings_.AdviseDuringRequest()) sinks_.Announce();
  return true;
}

void PollRun::TellDemoted(std::int32_t address) {
  const int rows = PolledRowCount();
  for (int r = 1; r <= rows; ++r) {
    // The rows that are passed over from now: those that would be sent.
    const config::TSensorRow row = settings_.table().Row(r);
    if (config::ParseIntegerText(row.Address) == address &&
        config::ParseIntegerText(row.Channel).has_value()) {
      sinks_.Demoted(r - 1);
    }
  }
}

bool PollRun::Exchange(Reading& reading, bus::TPortSlot& slot) {
  const double time_out = settings_.TimeOut() / 1000.0 * kDaysPerSecond;
  reading.request_ns = clock_.NowNs();
  reading.request_utc_ns = wall_clock_.UtcNs();
  const bool exchanged = bus_.Transact(ReadingCommand(reading.channel), reading.address, time_out);
  reading.end_ns = clock_.NowNs();
  reading.end_utc_ns = wall_clock_.UtcNs();
  if (bus_.StopRequested != 0) return false;
  reading.status = slot.Status;
  // A request the bus refused was never sent: the slot still holds the reply
  // of an earlier exchange.
  const bool sent = slot.Status != bus::kStatusBadArgument;
  reading.written_ns = sent ? bus_.WrittenNs() : reading.end_ns;
  if (sent) reading.reply = slot.RxText.str();
  if (!exchanged) {
    reading.outcome = OutcomeOfStatus(slot.Status);
    slot.Values[0] = bus::StatusText(slot.Status);
    if (PortFailed(slot.Status)) LosePort();
  } else if (bus::ParseReply(slot.RxText.view(), reading.address, slot.Values, 1)) {
    reading.outcome = Outcome::kGood;
    reading.value = slot.Values[0].str();
  } else {
    reading.outcome = Outcome::kBadReply;
    slot.Values[0] = kBadReplyText;
  }
  return true;
}

void PollRun::Stamp(Reading& reading) {
  reading.request_ns = reading.written_ns = reading.end_ns = clock_.NowNs();
  reading.request_utc_ns = reading.end_utc_ns = wall_clock_.UtcNs();
}

std::string ReadingStatusText(const Reading& reading) {
  switch (reading.outcome) {
    case Outcome::kGood:
      return std::string(kReadingText);
    case Outcome::kBadReply:
      return std::string(kFormatErrorText);
    case Outcome::kPortUnavailable:
      return OpenFailedText(reading.status);
    default:
      return std::string(kExchangeErrorText);
  }
}

bool PollRun::OpenPort() {
  // The line speed of the moment of the open: the settings may have changed
  // it since the last run.
  bus_.BaudRate = settings_.BaudRate();
  bus_.Wait = static_cast<bus::ReplyWait>(settings_.WaitForReply());
  return bus_.OpenPorts();
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
  if (!OpenPort()) return false;
  window_.ShowStatus(kReadingText);
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
  // Nothing is held back over a wait that is not the line's.
  sinks_.Announce();
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
