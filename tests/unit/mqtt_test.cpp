// What a reading becomes on the broker, the queue it waits in, and the
// link's state as the settings page tells it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "bus/status_text.h"
#include "fake_dde.h"
#include "mqtt/link_status.h"
#include "mqtt/mqtt_readings.h"
#include "mqtt/outbox.h"
#include "mqtt/reading_payload.h"

namespace quorvel::mqtt {
namespace {

constexpr std::int64_t kEvening = 1'796'855'117'123'000'000;  // 2026-12-09 22:25:17.123 UTC

poll::Reading GoodReading(int item, std::string value, std::string text) {
  poll::Reading r;
  r.row = item + 1;
  r.item = item;
  r.address = 5;
  r.channel = 3;
  r.value = std::move(value);
  r.text = std::move(text);
  r.end_utc_ns = kEvening + 456'789;  // below the millisecond: cut, not rounded
  return r;
}

TEST(ReadingPayload, EveryFieldOfAGoodAndAFailedReading) {
  EXPECT_EQ(ReadingPayload(GoodReading(0, "23.45", "23,45"), "OK"),
            R"({"value":23.45,"text":"23,45","quality":"OK",)"
            R"("time":"2026-12-09T22:25:17.123Z","device":5,"channel":3})");

  poll::Reading failed = GoodReading(1, "", bus::StatusText(9));
  failed.outcome = poll::Outcome::kNoReply;
  failed.address = 250;
  failed.channel = 12;
  EXPECT_EQ(ReadingPayload(failed, "NO_REPLY"),
            R"({"value":null,"text":")" + cp1251::ToUtf8(bus::StatusText(9)) +
                R"(","quality":"NO_REPLY","time":"2026-12-09T22:25:17.123Z",)"
                R"("device":250,"channel":12})");
  EXPECT_NE(ReadingPayload(failed, "NO_REPLY").find('\xD0'), std::string::npos)
      << "the Russian text in UTF-8";

  // A good reply's field that is no number; a text that JSON must escape.
  const std::string odd = ReadingPayload(GoodReading(0, "1e5", "a\"b\\c\x01"), "OK");
  EXPECT_NE(odd.find(R"("value":null,"text":"a\"b\\c\u0001")"), std::string::npos) << odd;
}

TEST(ReadingPayload, DecimalNumbersAsJsonAndEverythingElseNot) {
  const std::pair<const char*, const char*> numbers[] = {
      {"23.45", "23.45"}, {"-1.5", "-1.5"}, {"+023.50", "23.50"}, {"  7 ", "7"},  {".5", "0.5"},
      {"5.", "5"},        {"000", "0"},     {"-0.0", "-0.0"},     {"0012", "12"},
  };
  for (const auto& [field, json] : numbers) EXPECT_EQ(JsonNumber(field), json) << field;
  for (const char* field :
       {"", " ", "-", ".", "1e5", "1,5", "0x10", "1.2.3", "--1", "1 2", "nan"}) {
    EXPECT_EQ(JsonNumber(field), std::nullopt) << field;
  }
}

TEST(ReadingPayload, UtcTimesAcrossTheCalendar) {
  EXPECT_EQ(UtcTimeText(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(UtcTimeText(kEvening), "2026-12-09T22:25:17.123Z");
  EXPECT_EQ(UtcTimeText(1'709'164'800'000'000'000), "2024-02-29T00:00:00.000Z");
  EXPECT_EQ(UtcTimeText(951'912'000'999'000'000), "2000-03-01T12:00:00.999Z");
  EXPECT_EQ(UtcTimeText(-1), "1969-12-31T23:59:59.999Z");
}

TEST(Outbox, TheOldestAreDroppedAndCountedPastTheCapacity) {
  Outbox box(3);
  for (int i = 1; i <= 5; ++i) box.Push({"t", std::to_string(i)});
  EXPECT_EQ(box.Size(), 3u);
  EXPECT_EQ(box.Dropped(), 2u);
  std::optional<Message> first = box.Pop();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->payload, "3");
  // Back in front, still the oldest: the first to go when the box fills.
  box.Return(std::move(*first));
  box.Push({"t", "6"});
  EXPECT_EQ(box.Dropped(), 3u);
  box.Return({"t", "x"});  // full: the returned one is the oldest
  EXPECT_EQ(box.Dropped(), 4u);
  std::vector<std::string> left;
  while (std::optional<Message> m = box.Pop()) left.push_back(m->payload);
  EXPECT_EQ(left, (std::vector<std::string>{"4", "5", "6"}));
  EXPECT_FALSE(box.Pop());
}

class RecordingOutlet final : public MessageOutlet {
 public:
  bool Open() const override { return open; }
  void Post(Message message) override { posted.push_back(std::move(message)); }
  bool open = true;
  std::vector<Message> posted;
};

class MqttReadingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager.AddForm(&window);
    ASSERT_FALSE(components.NameItems("S"));
    sink.SetTopicRoot("quorvel/Quorvel/ZORVIK");
  }
  poll::testing::FakePlatform platform;
  poll::TDdeMgr manager{platform};
  poll::DdeForm window{"Quorvel", {}};
  poll::DdeComponents components{manager, window, 3};
  RecordingOutlet outlet;
  MqttReadings sink{components, outlet};
};

TEST_F(MqttReadingsTest, EachReadingOnItsItemsTopicFollowingRenamesAndDemotions) {
  sink.Demoted(1);  // nothing read yet: nothing to say
  sink.Take(GoodReading(1, "1.0", "1,0"));
  ASSERT_EQ(outlet.posted.size(), 1u);
  EXPECT_EQ(outlet.posted[0].topic, "quorvel/Quorvel/ZORVIK/S2");
  EXPECT_EQ(outlet.posted[0].payload, ReadingPayload(GoodReading(1, "1.0", "1,0"), "OK"));

  poll::Reading silent = GoodReading(1, "", bus::StatusText(9));
  silent.outcome = poll::Outcome::kNoReply;
  sink.Take(silent);
  sink.Demoted(1);
  ASSERT_EQ(outlet.posted.size(), 3u);
  EXPECT_EQ(outlet.posted[2].payload, ReadingPayload(silent, "DEMOTED"));

  ASSERT_FALSE(components.NameItems("T"));
  sink.SetTopicRoot("plant/line2/");
  sink.Take(GoodReading(0, "2", "2"));
  EXPECT_EQ(outlet.posted.back().topic, "plant/line2/T1");

  outlet.open = false;
  sink.Take(GoodReading(0, "2", "2"));
  sink.Demoted(1);
  sink.Take(GoodReading(7, "2", "2"));  // past the items: the program is closing
  EXPECT_EQ(outlet.posted.size(), 4u);
}

TEST(LinkStatusText, EveryRefusalInItsOwnWordsAndTheQueue) {
  EXPECT_EQ(LinkStatusText({}), cp1251::FromUtf8("выключена"));
  EXPECT_EQ(LinkStatusText({LinkPhase::kConnected, Refusal::kNone, 0, 12, 3}),
            cp1251::FromUtf8("подключено к брокеру; в очереди 12, отброшено 3"));
  std::set<std::string> texts;
  for (const Refusal refusal : {Refusal::kBadCredentials, Refusal::kNotAuthorised,
                                Refusal::kUnknownHost, Refusal::kNoBroker, Refusal::kCertificate,
                                Refusal::kCaFile, Refusal::kTls, Refusal::kLost, Refusal::kOther}) {
    const std::string text = LinkStatusText({LinkPhase::kRefused, refusal, 0, 0, 0});
    EXPECT_EQ(text.rfind(cp1251::FromUtf8("нет связи: "), 0), 0u) << cp1251::ToUtf8(text);
    // Only a refusal without words of its own is told by its code.
    EXPECT_EQ(text.find(cp1251::FromUtf8("код")) != std::string::npos, refusal == Refusal::kOther)
        << cp1251::ToUtf8(text);
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 9u);
  EXPECT_NE(LinkStatusText({LinkPhase::kRefused, Refusal::kOther, 7, 0, 0}).find("7;"),
            std::string::npos);
}

}  // namespace
}  // namespace quorvel::mqtt
