// The splash's display time on the wrapping 32-bit tick counter.
#include <gtest/gtest.h>

#include <cstdint>

#include "ui/splash/splash_wait.h"

namespace quorvel::ui::splash {
namespace {

TEST(SplashWait, LastsShowTimeUnitsOf600Ms) {
  const SplashWait wait(4, 1000);
  EXPECT_EQ(wait.DurationMs(), 2400);
  EXPECT_FALSE(wait.Over(1000));
  EXPECT_FALSE(wait.Over(3399));
  EXPECT_TRUE(wait.Over(3400));
  EXPECT_TRUE(wait.Over(3401));
  EXPECT_EQ(wait.SleepMs(1000), 2400u);
  EXPECT_EQ(wait.SleepMs(3000), 400u);
  EXPECT_EQ(wait.SleepMs(3400), 0u);
}

TEST(SplashWait, ZeroOrLessIsNoWait) {
  for (const std::int32_t show_time : {0, -1, -3, INT32_MIN}) {
    SCOPED_TRACE(show_time);
    const SplashWait wait(show_time, 5000);
    EXPECT_EQ(wait.DurationMs(), 0);
    EXPECT_TRUE(wait.Over(5000));
    EXPECT_EQ(wait.SleepMs(5000), 0u);
  }
}

TEST(SplashWait, TickCounterWrappingDuringTheWait) {
  const std::uint32_t start = 0xFFFFFC18;  // 1000 ms before the wrap
  const SplashWait wait(2, start);
  EXPECT_FALSE(wait.Over(0xFFFFFFFF));
  EXPECT_FALSE(wait.Over(0));  // 1000 ms passed, not a huge negative time
  EXPECT_EQ(wait.SleepMs(0), 200u);
  EXPECT_FALSE(wait.Over(199));
  EXPECT_TRUE(wait.Over(200));
}

TEST(SplashWait, ProductComputedIn64Bits) {
  // 7158279 * 600 = 4294967400: more than the counter holds, so it is never
  // reached; in 32 bits it would wrap to 104 ms.
  const SplashWait wait(7158279, 0);
  EXPECT_EQ(wait.DurationMs(), 4294967400);
  EXPECT_FALSE(wait.Over(104));
  EXPECT_FALSE(wait.Over(0xFFFFFFFF));
  EXPECT_EQ(wait.SleepMs(0), SplashWait::kMaxSleepMs);
  EXPECT_EQ(SplashWait(INT32_MAX, 0).DurationMs(), std::int64_t{INT32_MAX} * 600);
}

}  // namespace
}  // namespace quorvel::ui::splash
