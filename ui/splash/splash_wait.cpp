#include "ui/splash/splash_wait.h"

#include <algorithm>

namespace quorvel::ui::splash {

SplashWait::SplashWait(std::int32_t show_time, std::uint32_t start_tick)
    : duration_ms_(std::max<std::int64_t>(0, show_time * kShowTimeUnitMs)), start_(start_tick) {}

bool SplashWait::Over(std::uint32_t now) const {
  const std::uint32_t passed = now - start_;  // modulo 2^32
  return passed >= duration_ms_;
}

std::uint32_t SplashWait::SleepMs(std::uint32_t now) const {
  if (Over(now)) return 0;
  const std::int64_t left = duration_ms_ - static_cast<std::uint32_t>(now - start_);
  return static_cast<std::uint32_t>(std::min<std::int64_t>(left, kMaxSleepMs));
}

}  // namespace quorvel::ui::splash
