// Time in the simulator: nanoseconds on CLOCK_MONOTONIC, the clock the log
// reports, so tests can compare log times with their own. Only the send
// time of a reply is on CLOCK_REALTIME, which Windows programs under Wine
// can read too.
#pragma once

#include <time.h>

#include <chrono>

namespace quorvel::sim {

using Nanos = std::chrono::nanoseconds;

inline Nanos MonotonicNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::chrono::seconds(ts.tv_sec) + Nanos(ts.tv_nsec);
}

inline Nanos RealtimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return std::chrono::seconds(ts.tv_sec) + Nanos(ts.tv_nsec);
}

}  // namespace quorvel::sim
