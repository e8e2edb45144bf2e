// How long the splash stays: its display time in units of 600 ms, measured
// on the system's 32-bit millisecond tick counter, which wraps to 0 about
// every 49.7 days. The time passed is (now - start) modulo 2^32, so a wrap
// during the wait does not end it early or make it last for ever.
#pragma once

#include <cstdint>

namespace quorvel::ui::splash {

inline constexpr std::int64_t kShowTimeUnitMs = 600;

class SplashWait {
 public:
  // `show_time` in units of 600 ms; 0 or less: no wait at all.
  SplashWait(std::int32_t show_time, std::uint32_t start_tick);

  // The display time in milliseconds, 0 when there is none. Computed in
  // 64 bits: the largest display time does not fit the tick counter, so
  // that wait never ends.
  std::int64_t DurationMs() const { return duration_ms_; }

  // Whether the time passed at tick `now` has reached the display time.
  bool Over(std::uint32_t now) const;

  // How long to sleep at tick `now` before looking again: what is left of
  // the display time, 0 when it is over, never more than kMaxSleepMs.
  std::uint32_t SleepMs(std::uint32_t now) const;
  static constexpr std::uint32_t kMaxSleepMs = 0x7FFFFFFF;

 private:
  std::int64_t duration_ms_;
  std::uint32_t start_;
};

}  // namespace quorvel::ui::splash
