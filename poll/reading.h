// What one exchange of the poll cycle produced, and where it goes: the cycle
// makes one Reading per sensor row it asks and hands it to every sink, in the
// order of the exchanges. The cycle knows nothing of what the sinks do with
// it; the DDE value items and the main window's panes are two of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::poll {

enum class Outcome {
  kGood,              // a reply that parsed; `value` holds its field
  kNoReply,           // nothing came before the time-out
  kCutOff,            // the reply began but did not end in time
  kTooLong,           // the reply reached the longest length a reply may have
  kWriteFailed,       // the request could not be written
  kReadFailed,        // the port failed while reading
  kArgumentsRefused,  // the row's address or command was refused unsent
  kBadReply,          // a whole reply that does not parse
  kPortUnavailable,   // the port cannot be opened, or went away
};

// The outcome of an exchange that ended with the bus link's `status`, when
// its reply did not parse or never came whole.
Outcome OutcomeOfStatus(std::int32_t status);

struct Reading {
  int row = 0;   // sensor row of the table, from 1
  int item = 0;  // index of its DDE value item, row - 1
  std::int32_t address = 0;
  std::int32_t channel = 0;
  Outcome outcome = Outcome::kGood;
  std::int32_t status = 0;  // the bus link's status code of the exchange
  std::string text;         // what the value item shows, decimal separator applied
  std::string value;        // the reply's value field, as it came
  std::string reply;        // the reply bytes, '!' through CR, as far as they came
  // When the exchange began, when its request was written whole and when
  // the exchange ended: nanoseconds of the monotonic clock, and of UTC since
  // 1970 (wall clock). A row that was not sent has them all at the moment it
  // was passed over.
  std::int64_t request_ns = 0;
  std::int64_t written_ns = 0;
  std::int64_t end_ns = 0;
  std::int64_t request_utc_ns = 0;
  std::int64_t end_utc_ns = 0;

  // The device's part: from the end of the write to the end of the reply.
  std::int64_t ResponseNs() const { return end_ns - written_ns; }
};

class ReadingSink {
 public:
  virtual ~ReadingSink() = default;
  // Called on the user-interface thread, inside the poll cycle, before the
  // next exchange begins: what it does delays the bus.
  virtual void Take(const Reading& reading) = 0;
  // What Take left to be told is told now: the cycle calls it once the next
  // request is written (its line time is then free for it), before any other
  // wait, and when the run ends.
  virtual void Announce() {}
  // The device of the row of DDE item `item` stopped answering: its rows
  // are passed over for a while (poll/demotion.h). Told once for each of
  // its rows at every demotion, right after the reading that caused it.
  virtual void Demoted(int /*item*/) {}
};

// The program's sinks, each given every reading in the order they were added.
class ReadingSinks {
 public:
  void Add(ReadingSink& sink) { sinks_.push_back(&sink); }
  void Take(const Reading& reading) const {
    for (ReadingSink* sink : sinks_) sink->Take(reading);
  }
  void Demoted(int item) const {
    for (ReadingSink* sink : sinks_) sink->Demoted(item);
  }
  void Announce() const {
    for (ReadingSink* sink : sinks_) sink->Announce();
  }

 private:
  std::vector<ReadingSink*> sinks_;
};

}  // namespace quorvel::poll
