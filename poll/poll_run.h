// The poll cycle behind the Start-Stop button.
//
// Everything runs on the user-interface thread. A press in idle runs the
// whole polling loop inside SB1Click and returns only when polling ends; the
// second press arrives through the message pump inside that loop, enters
// SB1Click again and only raises the bus link's StopRequested. Each exchange
// and the wait between cycles run the pump, so the window and the DDE
// clients are served meanwhile; a modal window opened in there holds
// polling until it closes.
//
// A port that fails under a run (a USB adapter pulled out, a device node
// gone) is closed and opened again before the following exchanges, at most
// once per kReopenIntervalNs, until it is back; meanwhile the rows whose turn
// comes show why it cannot be opened. Only the first open, at Start, ends
// the run when it fails.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/cp1251.h"
#include "bus/more_com.h"
#include "bus/port_driver.h"
#include "config/settings.h"
#include "poll/demotion.h"
#include "poll/poll_window.h"
#include "poll/reading.h"

namespace quorvel::poll {

// Sensor rows a run serves: as many as there are DDE items. Rows of a table
// file edited by hand beyond these are not polled.
inline constexpr int kPolledRows = 500;

// Days per second of the reply time-out and per millisecond of the interval.
inline constexpr double kDaysPerSecond = 1.15e-5;
inline constexpr double kDaysPerMillisecond = 1.15e-8;

// The step of a step cell: text that is not integer text, or a negative
// value, counts as 1.
std::int32_t StepOf(const std::string& cell);

// What the status pane shows while polling and after a stop, and the text a
// value item gets for a reply that does not parse (Windows-1251).
inline constexpr auto kReadingText = cp1251::Text("Идет считывание данных");
inline constexpr auto kExchangeErrorText = cp1251::Text("Ошибка обмена");
inline constexpr auto kFormatErrorText = cp1251::Text("Ошибка: неправильный формат ответа");
inline constexpr auto kStoppedText = cp1251::Text("Считывание данных остановлено");
inline constexpr auto kBadReplyText = cp1251::Text("Ошибка");
inline constexpr auto kErrorPrefix = cp1251::Text("Ошибка: ");

// Least time between two attempts to open a port lost during a run.
inline constexpr std::int64_t kReopenIntervalNs = 1'000'000'000;

// The port itself failed the exchange, rather than the device behind it.
// The Win32 driver reports a removed device this way too: its writes and
// reads fail.
bool PortFailed(std::int32_t status);

// "Ошибка: " and the text of `status`: what the status pane and the items
// show when the port cannot be opened.
std::string OpenFailedText(std::int32_t status);

// What the status pane shows after `reading`.
std::string ReadingStatusText(const Reading& reading);

// "1;" channel ";", the channel in decimal digits.
std::string ReadingCommand(std::int32_t channel);

// Every '.' of `text` replaced by `separator`.
std::string WithSeparator(std::string text, char separator);

class PollRun {
 public:
  // Every reading goes to `sinks`, which must outlive the run.
  PollRun(bus::MoreCOM& bus, bus::MonotonicClock& clock, bus::WallClock& wall_clock,
          bus::MessagePump& pump, const config::Settings& settings, PollWindow& window,
          const ReadingSinks& sinks);

  // The button's handler: Start in idle, Stop while polling.
  void SB1Click();
  // The session ends: the Stop's actions, and the port closed at once, as
  // the run's own end would close it, which may never come. The running
  // loop, in whose pump this arrives, ends at its next test of the stop
  // without touching the port again. Nothing while idle.
  void EndRun();

  // Run state: 0 idle, 1 polling (also while a stop is pending).
  std::int32_t Tag() const { return tag_; }
  // Polling, with a stop asked for that the loop has not reached yet.
  bool Stopping() const { return tag_ == 1 && bus_.StopRequested != 0; }

  // The user's decimal separator as the program holds it now; a press takes
  // a copy for its whole run.
  char DecimalSeparator = '.';

  // Entry r - 1 belongs to sensor row r; a row is asked in the cycle in which
  // its entry reaches exactly 0, and the entry is then loaded again.
  std::array<std::int32_t, kPolledRows> StepCounter{};

 private:
  void Start();
  void Stop();
  void StartFailed(bool setup_before);
  // Passes over the table and waits, until a stop is requested.
  void PollCycle();
  // False when a stop was requested during the exchange.
  bool AskRow(int row);
  // The exchange of `reading`'s row on the open port; false on a stop.
  bool Exchange(Reading& reading, bus::TPortSlot& slot);
  void Stamp(Reading& reading);
  // Tells the sinks of every polled row of the just demoted `address`.
  void TellDemoted(std::int32_t address);
  // Opens the selected port at the line speed of the settings.
  bool OpenPort();
  bool PortOpen() const;
  // Closes the port after PortFailed; it is opened again from the next
  // exchange on.
  void LosePort();
  // One attempt to open the lost port, made after waiting out the interval
  // since the last one. False when it stays away or a stop came.
  bool Reopen();
  void WaitBetweenCycles();
  // Runs the pump until the clock reaches `deadline()` (asked afresh on every
  // pass) or a stop is requested; the pump runs at least once.
  void WaitUntil(const std::function<std::int64_t()>& deadline);
  int PolledRowCount() const;

  bus::MoreCOM& bus_;
  bus::MonotonicClock& clock_;
  bus::WallClock& wall_clock_;
  bus::MessagePump& pump_;
  const config::Settings& settings_;
  PollWindow& window_;
  const ReadingSinks& sinks_;
  std::int32_t tag_ = 0;
  char separator_ = '.';
  // When the lost port was closed or last tried.
  std::int64_t last_open_attempt_ns_ = 0;
  Demotion demotion_;
};

}  // namespace quorvel::poll
