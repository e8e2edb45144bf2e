// The readings as an OPC UA client sees them: each outcome's StatusCode, the
// value field as a Double, and the updates the server is given, in order,
// through demotions and a queue that fills.
#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "opcua/node_update.h"
#include "opcua/opcua_readings.h"
#include "opcua/value_status.h"

namespace quorvel::opcua {
namespace {

using poll::Outcome;

poll::Reading ReadingOf(int item, Outcome outcome, std::string value, std::string text) {
  poll::Reading r;
  r.row = item + 1;
  r.item = item;
  r.address = 7;
  r.channel = 3;
  r.outcome = outcome;
  r.value = std::move(value);
  r.text = std::move(text);
  r.end_utc_ns = 1'765'400'000'123'000'000 + item;
  return r;
}

TEST(ValueStatus, EveryOutcomeHasItsCodeAndOnlyGoodIsGood) {
  const std::pair<Outcome, std::uint32_t> expected[] = {
      {Outcome::kGood, 0x00000000},
      {Outcome::kNoReply, 0x800A0000},
      {Outcome::kCutOff, 0x80050000},
      {Outcome::kTooLong, 0x80080000},
      {Outcome::kWriteFailed, 0x80050000},
      {Outcome::kReadFailed, 0x80050000},
      {Outcome::kArgumentsRefused, 0x80890000},
      {Outcome::kBadReply, 0x80380000},
      {Outcome::kPortUnavailable, 0x80050000},
  };
  for (const auto& [outcome, code] : expected) {
    EXPECT_EQ(ValueStatus(outcome), code) << static_cast<int>(outcome);
  }
  EXPECT_EQ(kNeverReadStatus, 0x80320000u);  // BadWaitingForInitialData
  EXPECT_EQ(kDemotedStatus, 0x40900000u);    // UncertainLastUsableValue
}

TEST(DecimalValue, TakesDecimalsOnly) {
  EXPECT_EQ(DecimalValue("23.45"), 23.45);
  EXPECT_EQ(DecimalValue(" -1.5 "), -1.5);
  EXPECT_EQ(DecimalValue("+7"), 7.0);
  EXPECT_EQ(DecimalValue(".5"), 0.5);
  EXPECT_EQ(DecimalValue("007."), 7.0);
  for (const char* field :
       {"", " ", "-", ".", "1e5", "inf", "nan", "0x10", "1.2.3", "12a", "$5", "1,5", "- 1"}) {
    EXPECT_FALSE(DecimalValue(field)) << field;
  }
}

TEST(OpcUaReadings, EachReadingIsOneUpdateAndADemotionKeepsTheLastGoodValue) {
  UpdateQueue queue(100);
  OpcUaReadings readings(queue);
  readings.Take(ReadingOf(0, Outcome::kGood, "23.45", "23,45"));
  EXPECT_TRUE(queue.TakeAll().empty()) << "nothing while the server is off";

  readings.SetOn(true);
  readings.Take(ReadingOf(0, Outcome::kGood, "1.0", "1,0"));
  readings.Take(ReadingOf(0, Outcome::kNoReply, "", cp1251::FromUtf8("Нет ответа")));
  readings.Take(ReadingOf(1, Outcome::kGood, "abc", "abc"));
  readings.Take(ReadingOf(2, Outcome::kNoReply, "", cp1251::FromUtf8("Нет ответа")));
  readings.Demoted(0);
  readings.Demoted(2);
  readings.Demoted(5);  // never read: nothing to tell
  const std::vector<NodeUpdate> u = queue.TakeAll();
  ASSERT_EQ(u.size(), 6u);
  EXPECT_EQ(u[0].item, 0);
  EXPECT_EQ(u[0].value, 1.0);
  EXPECT_EQ(u[0].status, kGood);
  EXPECT_EQ(u[0].text, "1,0");
  EXPECT_EQ(u[0].source_utc_ns, 1'765'400'000'123'000'000);
  EXPECT_EQ(u[0].device, 7);
  EXPECT_EQ(u[0].channel, 3);
  EXPECT_EQ(u[1].value, std::nullopt);
  EXPECT_EQ(u[1].status, kBadTimeout);
  EXPECT_EQ(u[1].text, "Нет ответа") << "UTF-8";
  EXPECT_EQ(u[2].value, std::nullopt) << "a good reply whose field is no number";
  EXPECT_EQ(u[2].status, kBadDataEncodingInvalid);
  EXPECT_EQ(u[3].item, 2);
  EXPECT_EQ(u[4].item, 0);
  EXPECT_EQ(u[4].text, "Нет ответа") << "the last reading's text";
  EXPECT_EQ(u[4].value, 1.0) << "the last good value";
  EXPECT_EQ(u[4].status, kDemotedStatus);
  EXPECT_EQ(u[5].item, 2);
  EXPECT_EQ(u[5].value, std::nullopt);
  EXPECT_EQ(u[5].status, kBadCommunicationError) << "no good value to stand";
}

TEST(UpdateQueue, AFullQueueDropsItsOldestAndCountsThem) {
  UpdateQueue queue(3);
  for (int i = 0; i < 5; ++i) {
    NodeUpdate update;
    update.item = i;
    queue.Push(update);
  }
  const std::vector<NodeUpdate> taken = queue.TakeAll();
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken.front().item, 2);
  EXPECT_EQ(taken.back().item, 4);
  EXPECT_EQ(queue.dropped(), 2u);
  EXPECT_TRUE(queue.TakeAll().empty());
}

}  // namespace
}  // namespace quorvel::opcua
