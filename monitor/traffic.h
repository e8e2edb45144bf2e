// The line's traffic as the monitor window lists it: every request and reply
// of the last exchanges, oldest first, and the texts a line is shown and
// copied as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/civil_time.h"
#include "poll/reading.h"

namespace quorvel::monitor {

enum class Direction { kRequest, kReply };

struct TrafficLine {
  std::int64_t utc_ns = 0;
  Direction direction = Direction::kRequest;
  std::int32_t address = 0;
  std::string bytes;
  // The exchange's; the reply line shows it.
  poll::Outcome outcome = poll::Outcome::kGood;
};

// The last `capacity` lines. The storage is taken once, at construction, so
// adding costs the same however long the line has been watched.
class TrafficRing {
 public:
  explicit TrafficRing(std::size_t capacity = 10'000);

  void Add(TrafficLine line);
  // The request as it went out (its frame built again from the reading's
  // address and channel) and the reply as far as it came. A reading whose
  // request never went out has the reply line only, with no bytes.
  void AddExchange(const poll::Reading& reading);

  std::size_t size() const { return lines_.size(); }
  // 0 is the oldest kept.
  const TrafficLine& operator[](std::size_t i) const;
  // Lines ever added, across Clear too: a view that saw `n` of them shows the
  // last min(added() - n, size()) lines as new.
  std::uint64_t added() const { return added_; }
  void Clear();

 private:
  std::size_t capacity_;
  std::vector<TrafficLine> lines_;  // in the order added until full
  std::size_t oldest_ = 0;
  std::uint64_t added_ = 0;
};

// Printable ASCII (0x20..0x7E) as itself, but '<': every '<' of the text
// opens a name in angle brackets. The control bytes go by their ASCII names,
// "<CR>", "<LF>", "<NUL>", "<DEL>"; bytes from 0x80 by their hex value,
// "<xFF>"; '<' itself is "<LT>".
std::string EscapedBytes(std::string_view bytes);
// Each byte as two upper-case hex digits, one space between: "3E 31 3B 0D".
std::string HexBytes(std::string_view bytes);

// "hh:nn:ss.zzz\t>\tADDR\tbytes\toutcome": `local` is the local time of the
// line, '>' a request and '<' a reply, the bytes escaped or in hex, and the
// outcome the quality item's word for a reply, empty for a request.
std::string TrafficText(const TrafficLine& line, const CivilTime& local, bool hex);

// Whether the line is of `device`; every line is when there is none.
bool MatchesDevice(const TrafficLine& line, std::optional<std::int32_t> device);

}  // namespace quorvel::monitor
