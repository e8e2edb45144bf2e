#include "bus/more_com.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "base/cp1251.h"
#include "bus/crc16.h"
#include "bus/status_text.h"
#include "fake_bus.h"

namespace quorvel::bus {
namespace {

using testing::FakeClock;
using testing::FakePorts;
using testing::FakePump;

constexpr int kCom3 = 2;
constexpr std::int64_t kMs = 1'000'000;
// 400 ms as the poll cycle passes it: 0.4 s x 1.15e-5 days per second.
constexpr double kTimeOut400 = 0.4 * 1.15e-5;

std::string Reply(const std::string& body) {
  return "!" + body + std::to_string(Crc16(body)) + "\r";
}

class BusTest : public ::testing::Test {
 protected:
  FakeClock clock;
  FakePorts ports{clock};
  FakePump pump{clock, ports};
  std::unique_ptr<MoreCOM> bus = std::make_unique<MoreCOM>(ports, clock, pump);

  void OpenOnly(std::initializer_list<int> indexes) {
    bus->SelectedMask = 0;
    for (int i : indexes) bus->SelectedMask |= PortBit[i];
    ASSERT_TRUE(bus->OpenPorts());
  }
  TPortSlot& slot(int i) { return bus->Slots[i]; }
};

TEST(PortBit, SingleBits) {
  EXPECT_EQ(PortBit[0], 1u);
  EXPECT_EQ(PortBit[31], 0x80000000u);
}

TEST(DaysToNs, KeepsTheFixedFactorDurations) {
  EXPECT_EQ(DaysToNs(kTimeOut400), 397'440'000);
  EXPECT_EQ(DaysToNs(0), 0);
  EXPECT_LT(DaysToNs(-1e-9), 0);
  EXPECT_EQ(DaysToNs(std::nan("")), 0);
  EXPECT_GT(DaysToNs(1e300), 0);  // clamped, not overflowed
}

TEST_F(BusTest, EmptySelectionOpensNothing) {
  EXPECT_TRUE(bus->OpenPorts());
  EXPECT_EQ(bus->OpenMask(), 0u);
  EXPECT_EQ(ports.open_count(), 0);
}

TEST_F(BusTest, OpenPortsPumpsAndUsesTheSpeedOfTheMoment) {
  bus->BaudRate = 19200;
  OpenOnly({kCom3});
  EXPECT_EQ(bus->OpenMask(), PortBit[kCom3]);
  EXPECT_EQ(ports.port(kCom3).baud, 19200);
  EXPECT_EQ(pump.pumps, 1);
  EXPECT_EQ(slot(kCom3).Status, 0);
  // A speed changed while open reaches the port only after a reopen.
  bus->BaudRate = 4800;
  EXPECT_TRUE(bus->OpenPorts());
  EXPECT_EQ(ports.port(kCom3).opens, 1);
  bus->ClosePorts();
  EXPECT_TRUE(bus->OpenPorts());
  EXPECT_EQ(ports.port(kCom3).baud, 4800);
}

TEST_F(BusTest, AlreadyOpenPortIsSkippedUntouched) {
  OpenOnly({kCom3});
  slot(kCom3).Status = 77;
  bus->SelectedMask |= PortBit[4];
  EXPECT_TRUE(bus->OpenPorts());
  EXPECT_EQ(ports.port(kCom3).opens, 1);
  EXPECT_EQ(slot(kCom3).Status, 77);
  EXPECT_EQ(bus->OpenMask(), PortBit[kCom3] | PortBit[4]);
}

TEST_F(BusTest, FirstFailureStopsTheWalk) {
  ports.port(1).open_status = kStatusCannotOpen;
  slot(4).Status = 1234;
  bus->SelectedMask = PortBit[1] | PortBit[4];
  EXPECT_FALSE(bus->OpenPorts());
  EXPECT_EQ(slot(1).Status, kStatusCannotOpen);
  EXPECT_EQ(ports.port(4).opens, 0);  // COM5 not tried
  EXPECT_EQ(slot(4).Status, 1234);
  EXPECT_EQ(bus->OpenMask(), 0u);
}

TEST_F(BusTest, PortsOpenedBeforeAFailureStayOpen) {
  ports.port(5).open_status = kStatusNotCharDevice;
  bus->SelectedMask = PortBit[0] | PortBit[5];
  EXPECT_FALSE(bus->OpenPorts());
  EXPECT_EQ(bus->OpenMask(), PortBit[0]);
  EXPECT_EQ(slot(5).Status, kStatusNotCharDevice);
}

TEST_F(BusTest, StopWhileOpeningOpensNothingAndSetsNoStatus) {
  slot(kCom3).Status = 9;
  pump.on_pump = [&] { bus->StopRequested = 1; };
  bus->SelectedMask = PortBit[kCom3];
  EXPECT_FALSE(bus->OpenPorts());
  EXPECT_EQ(ports.port(kCom3).opens, 0);
  EXPECT_EQ(slot(kCom3).Status, 9);
}

TEST_F(BusTest, ClosePortsKeepsSlotsAndClosesOnce) {
  OpenOnly({0, kCom3});
  slot(kCom3).RxText = "!5;1;";
  bus->ClosePorts();
  bus->ClosePorts();
  EXPECT_EQ(bus->OpenMask(), 0u);
  EXPECT_EQ(ports.port(0).closes, 1);
  EXPECT_EQ(ports.port(kCom3).closes, 1);
  EXPECT_EQ(slot(kCom3).RxText, "!5;1;");
  EXPECT_EQ(bus->SelectedMask, PortBit[0] | PortBit[kCom3]);
}

TEST_F(BusTest, NoOpenPortMeansNothingSentAndTrue) {
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(pump.pumps, 0);
}

TEST_F(BusTest, GoodExchange) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, "!5;23.45;36887\r", 30 * kMs);
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(ports.port(kCom3).written, BuildRequest("1;3;", 5));
  EXPECT_EQ(ports.port(kCom3).purges, 1);
  EXPECT_EQ(slot(kCom3).Status, 0);
  EXPECT_EQ(slot(kCom3).RxText, "!5;23.45;36887\r");
  EXPECT_TRUE(slot(kCom3).StartSeen);
  EXPECT_TRUE(slot(kCom3).EndSeen);
  ASSERT_TRUE(ParseReply(slot(kCom3).RxText.view(), 5, slot(kCom3).Values, 1));
  EXPECT_EQ(slot(kCom3).Values[0], "23.45");
}

TEST_F(BusTest, WaitSleepsInShortTicksNotSpinning) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, Reply("5;1;"), 100 * kMs);
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(pump.longest_idle, kIdleTickNs);
  // One pass per tick: reads are bounded by elapsed time, not by speed.
  EXPECT_LE(ports.port(kCom3).reads, 52);
  EXPECT_GE(ports.port(kCom3).reads, 50);
}

TEST_F(BusTest, WhileAReplyArrivesTheWaitIsOneCharacterTime) {
  bus->BaudRate = 19200;
  OpenOnly({kCom3});
  ports.Deliver(kCom3, "!5;", 10 * kMs);
  ports.Deliver(kCom3, "1;" + std::to_string(Crc16("5;1;")) + "\r", 20 * kMs);
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  ASSERT_FALSE(pump.idle_log.empty());
  EXPECT_EQ(pump.idle_log.front(), kIdleTickNs);
  // After the '!': 10 bits at 19200 bit/s.
  EXPECT_EQ(pump.idle_log.back(), 520'833);
}

// Woken by the arrival of bytes: no ticks, a few wakes each asking for the
// bytes without which the reply cannot be whole; the deadline still counts
// from the end of the write phase, and the line's work overlaps what comes
// after the write.
TEST_F(BusTest, ArrivalWaitsForTheBytesAndKeepsTheDeadline) {
  bus->Wait = ReplyWait::kArrival;
  bus->BaudRate = 19200;
  std::vector<std::string> written_when_told;
  bus->RequestsWritten = [&] { written_when_told.push_back(ports.port(kCom3).written); };
  OpenOnly({kCom3});
  ASSERT_TRUE(ports.port(kCom3).watched);
  const std::string reply = Reply("5;23.45;");
  ports.Deliver(kCom3, reply.substr(0, 7), 10 * kMs);
  ports.Deliver(kCom3, reply.substr(7), 12 * kMs);
  ASSERT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).RxText, reply);
  EXPECT_EQ(pump.idles, 0) << "no sleep by the clock";
  EXPECT_EQ(ports.port(kCom3).watched_for, (std::vector<std::uint32_t>{7, 3}));
  EXPECT_EQ(written_when_told, (std::vector<std::string>{BuildRequest("1;3;", 5)}));

  const std::int64_t written = clock.now;
  EXPECT_FALSE(bus->Transact("1;3;", 6, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusNoReply);
  EXPECT_EQ(clock.now - written, DaysToNs(kTimeOut400) + 1) << "woken just past the deadline";
  EXPECT_EQ(written_when_told.size(), 2u);

  // A port that cannot say when bytes arrive is looked at by the clock.
  ports.port(kCom3).watched = false;
  ports.Deliver(kCom3, Reply("5;1;"), 30 * kMs);
  ASSERT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(pump.longest_idle, kIdleTickNs);
}

TEST_F(BusTest, SilenceTimesOutWithNine) {
  OpenOnly({kCom3});
  const std::int64_t start = clock.now;
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusNoReply);
  EXPECT_FALSE(slot(kCom3).StartSeen);
  // Ends just past the deadline, not a tick later.
  EXPECT_GT(clock.now - start, 397'440'000);
  EXPECT_LE(clock.now - start, 397'440'001);
}

TEST_F(BusTest, PartialReplyTimesOutWithSeven) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, "!5;1", 5 * kMs);
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusBadReply);
  EXPECT_EQ(slot(kCom3).RxText, "!5;1");
  EXPECT_TRUE(slot(kCom3).StartSeen);
  EXPECT_FALSE(slot(kCom3).EndSeen);
}

TEST_F(BusTest, NoiseOnlyIsNoReply) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, std::string(200, '#'));
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusNoReply);
  EXPECT_EQ(slot(kCom3).RxText, "");
}

TEST_F(BusTest, NoiseBeforeStartIsSkipped) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, "#@x*");
  ports.Deliver(kCom3, "zz!5;23.45;36887\r!9;9;9\r", 1 * kMs);
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).RxText, "!5;23.45;36887\r");  // bytes after the CR dropped
}

TEST_F(BusTest, OneBytePerReadAssemblesTheSameReply) {
  OpenOnly({kCom3});
  const std::string reply = "!5;23.45;36887\r";
  for (char c : reply) ports.Deliver(kCom3, std::string(1, c), 1);
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).RxText, reply);
}

// '!', n digits, and the CR when `end` is set.
std::string LongReply(std::size_t digits, bool end) {
  std::string text(1, '!');
  text.append(digits, '1');
  if (end) text.push_back('\r');
  return text;
}

TEST_F(BusTest, ReplyLengthLimit) {
  OpenOnly({kCom3});
  // 249 characters from '!' through CR are accepted.
  const std::string ok = LongReply(247, true);
  ports.Deliver(kCom3, ok.substr(0, 200));
  ports.Deliver(kCom3, ok.substr(200));
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).RxText.size(), 249u);

  // 250 fail with 15, even when the 250th is the CR.
  const std::string at_limit = LongReply(248, true);
  ports.Deliver(kCom3, at_limit);
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusBadLength);
  EXPECT_EQ(slot(kCom3).RxText.size(), 250u);

  ports.Deliver(kCom3, LongReply(400, false));
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusBadLength);
  EXPECT_EQ(slot(kCom3).RxText.size(), 250u);
}

TEST_F(BusTest, ArgumentLimits) {
  OpenOnly({0, kCom3});
  ports.Deliver(0, Reply("254;1;"));
  ports.Deliver(kCom3, Reply("254;1;"));
  EXPECT_TRUE(bus->Transact(std::string(230, 'c'), 254, kTimeOut400));
  EXPECT_EQ(ports.port(kCom3).written, BuildRequest(std::string(230, 'c'), 254));

  const std::string sent = ports.port(kCom3).written;
  for (auto [cmd, addr] : {std::pair{std::string(231, 'c'), 5},
                           {std::string("1;3;"), 255},
                           {std::string("1;3;"), -1}}) {
    slot(0).Status = slot(kCom3).Status = 0;
    EXPECT_FALSE(bus->Transact(cmd, addr, kTimeOut400));
    EXPECT_EQ(slot(0).Status, kStatusBadArgument);
    EXPECT_EQ(slot(kCom3).Status, kStatusBadArgument);
    EXPECT_EQ(ports.port(kCom3).written, sent);  // nothing more written
  }
  EXPECT_EQ(slot(5).Status, 0);  // closed ports untouched
}

TEST_F(BusTest, WriteFailuresGiveSixteenAndTheOthersGoOn) {
  OpenOnly({0, 1, kCom3});
  ports.port(0).write_fails = true;
  ports.port(1).write_limit = 3;
  ports.Deliver(kCom3, Reply("5;7;"));
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(0).Status, kStatusWriteFailed);
  EXPECT_EQ(slot(1).Status, kStatusWriteFailed);
  EXPECT_EQ(slot(kCom3).Status, 0);
  EXPECT_TRUE(slot(kCom3).EndSeen);
  EXPECT_EQ(ports.port(0).reads, 0);
}

TEST_F(BusTest, ReadFailureGivesEighteen) {
  OpenOnly({kCom3});
  ports.port(kCom3).read_fails = true;
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, kStatusReadFailed);
  EXPECT_EQ(ports.port(kCom3).reads, 1);
}

TEST_F(BusTest, ZeroAndNegativeTimeOuts) {
  OpenOnly({kCom3});
  const std::int64_t start = clock.now;
  EXPECT_FALSE(bus->Transact("1;3;", 5, 0.0));
  EXPECT_EQ(slot(kCom3).Status, kStatusNoReply);
  EXPECT_EQ(ports.port(kCom3).reads, 2);  // waits until the clock has moved past T0
  EXPECT_EQ(clock.now - start, 1);

  EXPECT_FALSE(bus->Transact("1;3;", 5, -1e-5));
  EXPECT_EQ(ports.port(kCom3).reads, 3);  // one read, then out
}

TEST_F(BusTest, ReplyAtTheDeadlineIsStillTaken) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, Reply("5;1;"), 397'440'000);
  EXPECT_TRUE(bus->Transact("1;3;", 5, kTimeOut400));
}

TEST_F(BusTest, StopDuringWaitLeavesWhatArrived) {
  OpenOnly({kCom3});
  ports.Deliver(kCom3, "!5;1", 2 * kMs);
  pump.on_pump = [&] {
    if (slot(kCom3).RxText == "!5;1") bus->StopRequested = 1;
  };
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(kCom3).Status, 0);
  EXPECT_EQ(slot(kCom3).RxText, "!5;1");
  EXPECT_LT(clock.now, 1'000'000'000 + 10 * kMs);
}

TEST_F(BusTest, StopBeforeWriteLeavesLaterSlotsFromLastExchange) {
  OpenOnly({0, kCom3});
  slot(kCom3).RxText = "!old\r";
  slot(kCom3).Status = 9;
  int pumps = 0;
  pump.on_pump = [&] {
    if (++pumps == 2) bus->StopRequested = 1;  // before the write to COM3
  };
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(ports.port(0).written.size(), BuildRequest("1;3;", 5).size());
  EXPECT_EQ(ports.port(kCom3).written, "");
  EXPECT_EQ(slot(kCom3).Status, 9);
  EXPECT_EQ(slot(kCom3).RxText, "!old\r");
}

TEST_F(BusTest, OneDeadlineForAllPortsAndFailuresDoNotStopOthers) {
  OpenOnly({0, 1, kCom3});
  ports.Deliver(0, Reply("5;1;"), 10 * kMs);
  ports.Deliver(1, "!5;2", 10 * kMs);
  ports.Deliver(kCom3, Reply("5;3;"), 300 * kMs);
  EXPECT_FALSE(bus->Transact("1;3;", 5, kTimeOut400));
  EXPECT_EQ(slot(0).Status, 0);
  EXPECT_EQ(slot(1).Status, kStatusBadReply);
  EXPECT_EQ(slot(kCom3).Status, 0);
  EXPECT_TRUE(slot(kCom3).EndSeen);
}

TEST(StatusText, ExactTexts) {
  const std::pair<std::int32_t, const char*> texts[] = {
      {0, "Усё нормально, ШЕФ !!!"},
      {5, "Нельзя открыть   COM-порт"},
      {6, "Ошибка установок COM-порта"},
      {7, "Неправильный ответ"},
      {8, "Ошибка записи в EEPROM"},
      {9, "Нет ответа"},
      {10, "Неизвестный  прибор"},
      {15, "Ошибочная длина строки"},
      {16, "Невозможно записать в COM-порт"},
      {17, "Досрочное завершение операции"},
      {18, "Невозможно считать из COM-порта"},
      {19, "Ошибочный входной параметр"},
      {20, "Ошибка чтения из EEPROM"},
      {21, "COM-порт не существует"},
      {11, "Неизвестная ошибка  11"},
      {3, "Неизвестная ошибка  3"},
      {-1, "Неизвестная ошибка  -1"},
  };
  for (const auto& [code, utf8] : texts)
    EXPECT_EQ(StatusText(code), cp1251::FromUtf8(utf8)) << code;
  // Windows-1251 bytes, not UTF-8.
  EXPECT_EQ(StatusText(9), "\xCD\xE5\xF2 \xEE\xF2\xE2\xE5\xF2\xE0");
}

}  // namespace
}  // namespace quorvel::bus
