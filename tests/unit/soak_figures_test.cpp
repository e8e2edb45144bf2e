// The soak run's judgement: a count that rises for good after the start-up
// is a leak, one that comes and goes with the work is not; missed updates
// counted from what each client received.
#include "runs/soak/soak_figures.h"

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

TEST(SoakGrowthPerThousandTest, SlopeAfterTheFirstMinuteInBytesPerThousand) {
  // 24 conversations every 10 s; 96 bytes each after the first minute, and a
  // start-up that made 2 MB at once, which must not count.
  std::vector<Sample> bytes, conversations;
  for (int i = 0; i <= 18; ++i) {
    const double seconds = 10.0 * i;
    const std::int64_t opened = std::int64_t{24} * i;
    conversations.push_back({seconds, opened});
    bytes.push_back({seconds, (i <= 3 ? 0 : 2'000'000) + 10'000'000 + 96 * opened});
  }
  const auto growth = GrowthPerThousand(bytes, conversations);
  ASSERT_TRUE(growth.has_value());
  EXPECT_NEAR(*growth, 96'000, 1e-6);
}

TEST(SoakGrowthPerThousandTest, PageStepsAverageOut) {
  // A count that moves a 4096-byte page at a time: 100 bytes a conversation
  // over 1200 conversations after the first minute.
  std::vector<Sample> bytes, conversations;
  for (int i = 6; i <= 66; ++i) {
    const std::int64_t opened = std::int64_t{20} * i;
    conversations.push_back({10.0 * i, opened});
    bytes.push_back({10.0 * i, 8'000'000 + (100 * opened / 4096) * 4096});
  }
  const auto growth = GrowthPerThousand(bytes, conversations);
  ASSERT_TRUE(growth.has_value());
  EXPECT_NEAR(*growth, 100'000, 5'000);
}

TEST(SoakGrowthPerThousandTest, UnknownWithoutTwoReadSamplesOrNewConversations) {
  const auto at = [](const std::vector<std::int64_t>& values) { return Every10s(values); };
  // Only the first minute.
  EXPECT_FALSE(GrowthPerThousand(at({1, 2, 3}), at({0, 10, 20})).has_value());
  // One sample after it that was read.
  EXPECT_FALSE(GrowthPerThousand(at({1, 1, 1, 1, 1, 1, 1, 5, -1}), at({0, 1, 2, 3, 4, 5, 6, 7, 8}))
                   .has_value());
  // No conversation after the first minute.
  EXPECT_FALSE(GrowthPerThousand(at({1, 1, 1, 1, 1, 1, 1, 5, 9}), at({0, 1, 2, 3, 4, 5, 6, 6, 6}))
                   .has_value());
  // A conversation count that was not read leaves its sample out.
  const auto growth = GrowthPerThousand(at({0, 0, 0, 0, 0, 0, 0, 700, 7, 900}),
                                        at({0, 0, 0, 0, 0, 0, 0, 7, -1, 9}));
  ASSERT_TRUE(growth.has_value());
  EXPECT_NEAR(*growth, 100'000, 1e-6);
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
