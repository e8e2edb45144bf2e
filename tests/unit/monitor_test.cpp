// The line monitor's model: the counters of sensors and devices, the pass
// and rate figures, and the ring of the line's traffic with its texts.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "bus/frame.h"
#include "monitor/counters.h"
#include "monitor/monitor_sink.h"
#include "monitor/monitor_table.h"
#include "monitor/traffic.h"

namespace quorvel::monitor {
namespace {

using poll::Outcome;

constexpr std::int64_t kUs = 1'000;
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000'000'000;
// Where the fake monotonic clock starts, and UTC ahead of it.
constexpr std::int64_t kStart = 1'000'000'000;
constexpr std::int64_t kUtcAhead = 1'796'855'117'123'000'000;  // 2026-12-09 22:25:17.123 UTC

// The frame of channel 3 of device 5, its checksum that of "5;1;3;".
const std::string kRequest5Ch3 = "\xFF:5;1;3;27082\r";

poll::Reading ReadingOf(int row, std::int32_t address, Outcome outcome, std::int64_t request_ns,
                        std::int64_t response_ns) {
  poll::Reading r;
  r.row = row;
  r.item = row - 1;
  r.address = address;
  r.channel = 3;
  r.outcome = outcome;
  r.request_ns = r.written_ns = request_ns;
  r.end_ns = request_ns + response_ns;
  r.request_utc_ns = r.request_ns + kUtcAhead;
  r.end_utc_ns = r.end_ns + kUtcAhead;
  return r;
}

std::array<std::uint64_t, kOutcomeCount> Failures(
    std::initializer_list<std::pair<Outcome, std::uint64_t>> counts) {
  std::array<std::uint64_t, kOutcomeCount> failures{};
  for (const auto& [outcome, count] : counts) failures[static_cast<int>(outcome)] = count;
  return failures;
}

// Local time is UTC here: the table's times are then the stamps' own.
class UtcZone final : public LocalTimeZone {
 public:
  CivilTime LocalOf(std::int64_t utc_ns) override {
    const std::int64_t ms = utc_ns / 1'000'000;
    const std::int64_t days = ms / 86'400'000;
    CivilTime t;
    // Days to a civil date (H. Hinnant's algorithm).
    const std::int64_t z = days + 719'468;
    const std::int64_t era = z / 146'097;
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    const std::int64_t in_day = ms % 86'400'000;
    t.hour = static_cast<int>(in_day / 3'600'000);
    t.minute = static_cast<int>(in_day / 60'000 % 60);
    t.second = static_cast<int>(in_day / 1000 % 60);
    t.millisecond = static_cast<int>(in_day % 1000);
    return t;
  }
};

TEST(MonitorTable, SensorRowsThenDeviceSumsFailingMarkedAndSortedAsNumbers) {
  MonitorSink sink;
  poll::Reading good = ReadingOf(1, 11, Outcome::kGood, kStart, 12'345 * kUs);
  sink.Take(good);
  sink.Take(ReadingOf(2, 11, Outcome::kNoReply, kStart + kSecond, 150 * kMs));
  sink.Take(ReadingOf(3, 9, Outcome::kGood, kStart + 2 * kSecond, 2 * kMs));
  sink.Demoted(1);
  UtcZone zone;
  const std::vector<SensorNames> names{{"S1", "23,45"}, {"S2", "Нет"}, {"S3", "1"}, {"S4", ""}};
  std::vector<TableRow> rows = TableRows(sink, names, zone, ',');
  ASSERT_EQ(rows.size(), 6u);  // four sensors, devices 9 and 11
  EXPECT_EQ(rows[0].cells[kQualityColumn], "OK");
  EXPECT_EQ(rows[0].cells[kLastMsColumn], "12,345");
  EXPECT_EQ(rows[0].cells[kLastGoodColumn], "2026-12-09 22:25:18.135");
  EXPECT_FALSE(rows[0].failing);
  EXPECT_EQ(rows[1].cells[kQualityColumn], "DEMOTED");
  EXPECT_EQ(rows[1].cells[kFirstFailureColumn], "1");  // NO_REPLY
  EXPECT_TRUE(rows[1].failing);
  EXPECT_EQ(rows[3].cells[kQualityColumn], "NONE");
  EXPECT_EQ(rows[3].cells[kDeviceColumn], "");
  EXPECT_EQ(ColumnTitle(kFirstFailureColumn), "NO_REPLY");
  EXPECT_EQ(ColumnTitle(kInRowColumn - 1), "PORT");
  ASSERT_TRUE(rows[4].device);
  EXPECT_EQ(rows[4].key, 9);
  EXPECT_EQ(rows[5].cells[kAskedColumn], "2");
  EXPECT_TRUE(rows[5].failing);

  // By response time, longest first: 150 ms before 12,345 and 2 (not as
  // words, where "2" would come first); the never-read sensor, with no time,
  // last among the sensors; the devices stay below.
  SortRows(rows, kLastMsColumn, /*descending=*/true, ',');
  std::vector<std::string> order;
  for (const TableRow& row : rows) order.push_back(row.cells[kItemColumn]);
  EXPECT_EQ(order[0], "S2");
  EXPECT_EQ(order[1], "S1");
  EXPECT_EQ(order[2], "S3");
  EXPECT_EQ(order[3], "S4");
  EXPECT_TRUE(rows[4].device && rows[5].device);
  EXPECT_EQ(rows[4].key, 11);
}

TEST(Counters, EachOutcomeTheRunOfFailuresAndTheResponseTimesOfWhatWasSent) {
  Counters counters;
  counters.Take(ReadingOf(1, 5, Outcome::kGood, kStart, 1500 * kUs));
  const std::int64_t first_good_utc = counters.Sensor(0).last_good_utc_ns;
  EXPECT_EQ(first_good_utc, kStart + 1500 * kUs + kUtcAhead);
  counters.Take(ReadingOf(1, 5, Outcome::kNoReply, kStart + kSecond, 200'000 * kUs));
  counters.Take(ReadingOf(1, 5, Outcome::kBadReply, kStart + 2 * kSecond, 3000 * kUs + 999));
  // Not sent: its moment says nothing of the device, so it is not timed.
  counters.Take(ReadingOf(1, 5, Outcome::kPortUnavailable, kStart + 3 * kSecond, 0));
  counters.Take(ReadingOf(1, 5, Outcome::kArgumentsRefused, kStart + 4 * kSecond, 0));
  EXPECT_EQ(counters.Sensor(0).failures_in_row, 4u);
  EXPECT_FALSE(counters.Sensor(0).demoted);
  counters.Demoted(0);
  EXPECT_TRUE(counters.Sensor(0).demoted);
  EXPECT_EQ(counters.Sensor(0).last_good_utc_ns, first_good_utc) << "moved by a failure";

  // The probe answers: the run of failures and the demotion end with it.
  counters.Take(ReadingOf(1, 5, Outcome::kGood, kStart + 9 * kSecond, 1000 * kUs));
  const SensorCounters& s = counters.Sensor(0);
  EXPECT_EQ(s.asked, 6u);
  EXPECT_EQ(s.good, 2u);
  EXPECT_EQ(s.failures, Failures({{Outcome::kNoReply, 1},
                                  {Outcome::kBadReply, 1},
                                  {Outcome::kPortUnavailable, 1},
                                  {Outcome::kArgumentsRefused, 1}}));
  EXPECT_EQ(s.demotions, 1u);
  EXPECT_FALSE(s.demoted);
  EXPECT_EQ(s.failures_in_row, 0u);
  EXPECT_EQ(s.timed, 4u);
  EXPECT_EQ(s.last_us, 1000);
  EXPECT_EQ(s.min_us, 1000);
  EXPECT_EQ(s.max_us, 200'000);
  EXPECT_EQ(s.sum_us, 205'500);
  EXPECT_DOUBLE_EQ(s.MeanUs(), 51'375.0);
  EXPECT_EQ(s.last_good_utc_ns, kStart + 9 * kSecond + 1000 * kUs + kUtcAhead);

  for (const int never : {1, 499, -1}) {
    const SensorCounters& none = counters.Sensor(never);
    EXPECT_EQ(none.asked, 0u) << never;
    EXPECT_EQ(none.timed, 0u) << never;
    EXPECT_EQ(none.min_us, -1) << never;
    EXPECT_EQ(none.max_us, -1) << never;
    EXPECT_EQ(none.MeanUs(), 0.0) << never;
  }
}

TEST(Counters, DeviceSumsGoByEachSensorsLastAddressAndResetForgetsAll) {
  Counters counters;
  // Row 2 answers first, row 1 later: the device's last time is row 1's.
  counters.Take(ReadingOf(2, 7, Outcome::kGood, kStart, 100 * kUs));
  counters.Take(ReadingOf(1, 7, Outcome::kNoReply, kStart + 10 * kMs, 500 * kUs));
  counters.Demoted(0);
  counters.Demoted(1);
  counters.Take(ReadingOf(3, 5, Outcome::kGood, kStart + 20 * kMs, 300 * kUs));
  counters.Take(ReadingOf(4, 5, Outcome::kBadReply, kStart + 30 * kMs, 50 * kUs));
  // Row 3 moved to device 9: its earlier reading goes along.
  counters.Take(ReadingOf(3, 9, Outcome::kGood, kStart + 40 * kMs, 700 * kUs));

  const auto devices = counters.Devices();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].first, 5);
  EXPECT_EQ(devices[1].first, 7);
  EXPECT_EQ(devices[2].first, 9);

  const SensorCounters& five = devices[0].second;
  EXPECT_EQ(five.asked, 1u);
  EXPECT_EQ(five.good, 0u);
  EXPECT_EQ(five.failures, Failures({{Outcome::kBadReply, 1}}));
  EXPECT_EQ(five.min_us, 50);

  const SensorCounters& seven = devices[1].second;
  EXPECT_EQ(seven.asked, 2u);
  EXPECT_EQ(seven.good, 1u);
  EXPECT_EQ(seven.failures, Failures({{Outcome::kNoReply, 1}}));
  EXPECT_EQ(seven.demotions, 1u) << "one demotion, told to each of its rows";
  EXPECT_TRUE(seven.demoted);
  EXPECT_EQ(seven.failures_in_row, 1u);
  EXPECT_EQ(seven.timed, 2u);
  EXPECT_EQ(seven.last_us, 500);
  EXPECT_EQ(seven.min_us, 100);
  EXPECT_EQ(seven.max_us, 500);
  EXPECT_DOUBLE_EQ(seven.MeanUs(), 300.0);
  EXPECT_EQ(seven.last_good_utc_ns, kStart + 100 * kUs + kUtcAhead);

  const SensorCounters& nine = devices[2].second;
  EXPECT_EQ(nine.asked, 2u);
  EXPECT_EQ(nine.good, 2u);
  EXPECT_EQ(nine.last_us, 700);
  EXPECT_EQ(nine.min_us, 300);
  EXPECT_EQ(nine.last_good_utc_ns, kStart + 40 * kMs + 700 * kUs + kUtcAhead);

  counters.Reset();
  EXPECT_TRUE(counters.Devices().empty());
  EXPECT_EQ(counters.Sensor(0).asked, 0u);
  EXPECT_EQ(counters.Sensor(0).demotions, 0u);
  EXPECT_EQ(counters.passes().passes, 0u);
  EXPECT_EQ(counters.ReadingsPerSecond(kStart + 50 * kMs), 0.0);
  // Row 1 after row 4 would end a pass had the row before been kept.
  counters.Take(ReadingOf(1, 7, Outcome::kGood, kStart + 60 * kMs, 100 * kUs));
  EXPECT_EQ(counters.passes().passes, 0u);
  EXPECT_EQ(counters.Sensor(0).asked, 1u);
}

TEST(Counters, PassesRunFromOneFirstRequestToTheNextAcrossTheWrap) {
  Counters counters;
  const auto ask = [&](int row, std::int64_t at_ms) {
    counters.Take(ReadingOf(row, 5, Outcome::kGood, kStart + at_ms * kMs, 5 * kMs));
  };
  ask(1, 0);
  ask(2, 10);
  ask(3, 20);
  EXPECT_EQ(counters.passes().passes, 0u);
  ask(1, 100);
  ask(2, 110);
  ask(3, 120);
  EXPECT_EQ(counters.passes().passes, 1u);
  EXPECT_EQ(counters.passes().last_ns, 100 * kMs);
  ask(2, 250);  // row 1 waits for its step: the pass begins at row 2
  ask(3, 260);
  ask(1, 300);
  ask(1, 310);  // the only row due: a pass of its own
  const PassFigures passes = counters.passes();
  EXPECT_EQ(passes.passes, 4u);
  EXPECT_EQ(passes.last_ns, 10 * kMs);
  EXPECT_EQ(passes.min_ns, 10 * kMs);
  EXPECT_EQ(passes.max_ns, 150 * kMs);
}

TEST(Counters, ReadingsPerSecondOverTheLastTenSeconds) {
  Counters counters;
  // Twenty a second, each ending 20 ms after its request.
  int taken = 0;
  const auto run_until = [&](std::int64_t until_ns) {
    for (; kStart + taken * 50 * kMs < until_ns; ++taken) {
      counters.Take(ReadingOf(1, 5, Outcome::kGood, kStart + taken * 50 * kMs, 20 * kMs));
    }
  };
  run_until(kStart + kSecond);
  // Less than the window since the first request: over that time.
  EXPECT_DOUBLE_EQ(counters.ReadingsPerSecond(kStart + kSecond), 20.0);
  run_until(kStart + 30 * kSecond);
  EXPECT_DOUBLE_EQ(counters.ReadingsPerSecond(kStart + 30 * kSecond), 20.0);
  // Five seconds of silence: the ends from 25.12 s to 29.97 s are left, over
  // the window's 9.9 s of whole slots.
  EXPECT_DOUBLE_EQ(counters.ReadingsPerSecond(kStart + 35 * kSecond), 98 / 9.9);
  EXPECT_EQ(counters.ReadingsPerSecond(kStart + 45 * kSecond), 0.0);
}

TEST(TrafficRing, KeepsTheNewestInOrderAcrossTheWrapInTheSameStorage) {
  TrafficRing ring(3);
  const auto add = [&](std::int32_t address) {
    ring.Add({address * kMs, Direction::kReply, address, "x", Outcome::kGood});
  };
  const auto addresses = [&] {
    std::vector<std::int32_t> kept;
    for (std::size_t i = 0; i < ring.size(); ++i) kept.push_back(ring[i].address);
    return kept;
  };
  const auto storage = [&] {
    std::set<const TrafficLine*> places;
    for (std::size_t i = 0; i < ring.size(); ++i) places.insert(&ring[i]);
    return places;
  };
  for (std::int32_t a = 1; a <= 3; ++a) add(a);
  const std::set<const TrafficLine*> first_fill = storage();
  for (std::int32_t a = 4; a <= 7; ++a) add(a);
  EXPECT_EQ(ring.size(), 3u);
  EXPECT_EQ(ring.added(), 7u);
  EXPECT_EQ(addresses(), (std::vector<std::int32_t>{5, 6, 7}));
  EXPECT_EQ(storage(), first_fill);

  ring.Clear();
  EXPECT_EQ(ring.size(), 0u);
  EXPECT_EQ(ring.added(), 7u) << "a view must see the lines after a clear as new";
  for (std::int32_t a = 8; a <= 11; ++a) add(a);
  EXPECT_EQ(addresses(), (std::vector<std::int32_t>{9, 10, 11}));
  EXPECT_EQ(storage(), first_fill);
  EXPECT_EQ(ring.added(), 11u);

  TrafficRing none(0);  // holds one at least
  none.Add({});
  none.Add({0, Direction::kRequest, 4, "", Outcome::kGood});
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].address, 4);
}

TEST(TrafficText, EscapedAndHexBytes) {
  EXPECT_EQ(EscapedBytes(kRequest5Ch3), "<xFF>:5;1;3;27082<CR>");
  EXPECT_EQ(EscapedBytes(std::string("a<b>\n\t\x7F\x80 ~\x1F", 11) + '\0'),
            "a<LT>b><LF><HT><DEL><x80> ~<US><NUL>");
  // A '<' of the bytes never reads as the start of an escape.
  EXPECT_EQ(EscapedBytes("<CR>"), "<LT>CR>");
  EXPECT_NE(EscapedBytes("<CR>"), EscapedBytes("\r"));
  EXPECT_EQ(EscapedBytes("\x0C"), "<FF>");
  EXPECT_EQ(EscapedBytes("\xFF"), "<xFF>");
  EXPECT_EQ(EscapedBytes(""), "");

  EXPECT_EQ(HexBytes(">1;\r"), "3E 31 3B 0D");
  EXPECT_EQ(HexBytes(std::string("\xFF\x00\xa5", 3)), "FF 00 A5");
  EXPECT_EQ(HexBytes(""), "");
}

TEST(TrafficRing, AnExchangeIsItsRequestAndItsReplyAndAnUnsentRowItsReplyAlone) {
  TrafficRing ring;
  poll::Reading good = ReadingOf(1, 5, Outcome::kGood, kStart, 25 * kMs);
  good.reply = "!5;23.4;12345\r";
  ring.AddExchange(good);
  ASSERT_EQ(ring.size(), 2u);
  EXPECT_EQ(ring[0].direction, Direction::kRequest);
  EXPECT_EQ(ring[0].bytes, kRequest5Ch3);
  EXPECT_EQ(ring[0].bytes, bus::BuildRequest("1;3;", 5));
  EXPECT_EQ(ring[0].utc_ns, good.request_utc_ns);
  EXPECT_EQ(ring[1].direction, Direction::kReply);
  EXPECT_EQ(ring[1].bytes, good.reply);
  EXPECT_EQ(ring[1].utc_ns, good.end_utc_ns);

  const CivilTime sent{2026, 12, 9, 22, 25, 17, 123};
  const CivilTime replied{2026, 12, 9, 22, 25, 17, 148};
  EXPECT_EQ(TrafficText(ring[0], sent, false), "22:25:17.123\t>\t5\t<xFF>:5;1;3;27082<CR>\t");
  EXPECT_EQ(TrafficText(ring[0], sent, true),
            "22:25:17.123\t>\t5\tFF 3A 35 3B 31 3B 33 3B 32 37 30 38 32 0D\t");
  EXPECT_EQ(TrafficText(ring[1], replied, false), "22:25:17.148\t<\t5\t!5;23.4;12345<CR>\tOK");

  // Rows never sent: the slot's reply is an earlier exchange's.
  poll::Reading refused = ReadingOf(2, 0, Outcome::kArgumentsRefused, kStart + kSecond, 0);
  refused.reply = "!5;23.4;12345\r";
  ring.AddExchange(refused);
  poll::Reading no_port = ReadingOf(3, 7, Outcome::kPortUnavailable, kStart + 2 * kSecond, 0);
  no_port.reply = "!7;1;2\r";
  ring.AddExchange(no_port);
  ring.AddExchange(ReadingOf(4, 5, Outcome::kNoReply, kStart + 3 * kSecond, 200 * kMs));
  ASSERT_EQ(ring.size(), 6u);
  EXPECT_EQ(ring[2].direction, Direction::kReply);
  EXPECT_EQ(ring[2].bytes, "");
  EXPECT_EQ(ring[2].utc_ns, refused.end_utc_ns);
  EXPECT_EQ(TrafficText(ring[2], {}, false), "00:00:00.000\t<\t0\t\tPARAM");
  EXPECT_EQ(TrafficText(ring[3], {}, true), "00:00:00.000\t<\t7\t\tPORT");
  EXPECT_EQ(ring[4].direction, Direction::kRequest);
  EXPECT_EQ(TrafficText(ring[5], {}, false), "00:00:00.000\t<\t5\t\tNO_REPLY");

  std::vector<std::size_t> of_five, all;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    if (MatchesDevice(ring[i], 5)) of_five.push_back(i);
    if (MatchesDevice(ring[i], std::nullopt)) all.push_back(i);
  }
  EXPECT_EQ(of_five, (std::vector<std::size_t>{0, 1, 4, 5}));
  EXPECT_EQ(all.size(), 6u);
  EXPECT_FALSE(MatchesDevice(ring[3], 0));
}

}  // namespace
}  // namespace quorvel::monitor
