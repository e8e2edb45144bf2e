// The soak run's judgement: a count that rises for good after the start-up
// is a leak, one that comes and goes with the work is not; missed updates
// counted from what each client received.
#include "tools/soak/soak_figures.h"

#include <gtest/gtest.h>

namespace quorvel::tools::soak {
namespace {

std::vector<Sample> Every10s(const std::vector<std::int64_t>& values) {
  std::vector<Sample> samples;
  for (std::size_t i = 0; i < values.size(); ++i) {
    samples.push_back({10.0 * static_cast<double>(i), values[i]});
  }
  return samples;
}

TEST(SoakGrowthTest, StartUpAndPassingSpikesAreNotGrowth) {
  // Made during the first minute, then back and forth by one.
  const auto samples = Every10s({40, 55, 60, 60, 61, 60, 60, 61, 60, 61, 60, 60, 60});
  const Growth growth = GrowthAfterFirstMinute(samples, 120);
  EXPECT_TRUE(growth.known);
  EXPECT_FALSE(growth.grew);
  EXPECT_EQ(growth.first_minute_max, 61);
  EXPECT_EQ(growth.last_minute_min, 60);
}

TEST(SoakGrowthTest, AFloorThatRisesIsGrowth) {
  // One more handle kept every 10 s: every sample of the last minute is
  // above the first minute's highest.
  const auto samples = Every10s({60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72});
  const Growth growth = GrowthAfterFirstMinute(samples, 120);
  EXPECT_TRUE(growth.grew);
  EXPECT_EQ(growth.first_minute_max, 66);
  EXPECT_EQ(growth.last_minute_min, 67);
}

TEST(SoakGrowthTest, UnreadSamplesAndMissingWindowsAreNotJudged) {
  EXPECT_FALSE(GrowthAfterFirstMinute(Every10s({-1, -1, -1, -1, -1, -1, -1, -1, -1}), 80).known);
  // Nothing after the first minute yet.
  const Growth early = GrowthAfterFirstMinute(Every10s({5, 6, 7}), 20);
  EXPECT_FALSE(early.known);
  EXPECT_FALSE(early.grew);
  // An unread sample in the last minute does not count as a low one.
  const auto samples = Every10s({5, 5, 5, 5, 5, 5, 5, 9, -1, 9, 9, 9, 9});
  EXPECT_TRUE(GrowthAfterFirstMinute(samples, 120).grew);
}

TEST(SoakMissedTest, EveryUpdateLackingOrWithoutDataIsMissed) {
  EXPECT_EQ(Missed({100, 0}, 100, 0), 0);
  EXPECT_EQ(Missed({97, 0}, 100, 0), 3);
  EXPECT_EQ(Missed({100, 2}, 100, 0), 2);
  // An exchange the stop cut short may or may not have been published.
  EXPECT_EQ(Missed({99, 0}, 100, 1), 0);
  EXPECT_EQ(Missed({100, 0}, 100, 1), 0);
  EXPECT_EQ(Missed({98, 0}, 100, 1), 2);
  // More than published (a poke not counted) is not a miss.
  EXPECT_EQ(Missed({101, 0}, 100, 0), 0);
}

TEST(SoakFiguresTest, UnreadFiguresShowAsUnknown) {
  EXPECT_EQ(Megabytes(15 * 1024 * 1024 + 512 * 1024), "15.5 MB");
  EXPECT_EQ(Megabytes(-1), "?");
  EXPECT_EQ(Count(42), "42");
  EXPECT_EQ(Count(-1), "?");
}

}  // namespace
}  // namespace quorvel::tools::soak
