// The instrument simulator's pure parts: requests, replies and their faults,
// the output schedule and the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bus/crc16.h"
#include "tools/sim/channel_value.h"
#include "tools/sim/log_line.h"
#include "tools/sim/output_schedule.h"
#include "tools/sim/reply_builder.h"
#include "tools/sim/request_assembler.h"
#include "tools/sim/request_parser.h"
#include "tools/sim/sim_config.h"
#include "tools/sim/sim_device.h"

namespace quorvel::sim {
namespace {

using std::chrono::milliseconds;

// Address 5, command "1;3;".
const std::string kWorkedRequest = "\xFF:5;1;3;27082\r";

// The checksum a well-formed reply ends with is the CRC of what lies between
// '!' and it; returns false when `frame` does not hold one.
bool ChecksumValid(std::string_view frame) {
  if (frame.empty() || frame.front() != '!' || frame.back() != '\r') return false;
  frame.remove_prefix(1);
  frame.remove_suffix(1);
  const std::size_t split = frame.rfind(';') + 1;
  return std::to_string(bus::Crc16(frame.substr(0, split))) == frame.substr(split);
}

ChannelSource Fixed(std::string text) {
  ChannelSource source;
  source.fixed = std::move(text);
  return source;
}

ChannelSource Count() {
  ChannelSource source;
  source.kind = ChannelSource::Kind::kCount;
  return source;
}

ChannelSource Wave(double base, double amp, double period) {
  ChannelSource source;
  source.kind = ChannelSource::Kind::kWave;
  source.base = base;
  source.amp = amp;
  source.period = period;
  return source;
}

Faults With(bool Faults::*flag) {
  Faults faults;
  faults.*flag = true;
  return faults;
}

// --- requests ---

TEST(SimRequestParser, ReadsTheWorkedExample) {
  const std::string bytes = {'\xFF', 0x3A, 0x35, 0x3B, 0x31, 0x3B, 0x33,
                             0x3B,   0x32, 0x37, 0x30, 0x38, 0x32, 0x0D};
  EXPECT_EQ(bytes, kWorkedRequest);
  const Request request = ParseRequest(bytes);
  EXPECT_EQ(request.check, RequestCheck::kOk);
  EXPECT_EQ(request.address, 5);
  EXPECT_EQ(request.address_text, "5");
  EXPECT_EQ(request.command, "1;3;");
  EXPECT_EQ(ReadingChannel(request.command), 3u);
}

TEST(SimRequestParser, SplitsAChecksumOffACommandEndingInDigits) {
  const std::string body = "12;AB12";
  const std::string frame = "\xFF:" + body + std::to_string(bus::Crc16(body)) + "\r";
  const Request request = ParseRequest(frame);
  EXPECT_EQ(request.check, RequestCheck::kOk);
  EXPECT_EQ(request.address, 12);
  EXPECT_EQ(request.command, "AB12");
}

TEST(SimRequestParser, ReadsAnEmptyCommand) {
  const Request request = ParseRequest("\xFF:0;" + std::to_string(bus::Crc16("0;")) + "\r");
  EXPECT_EQ(request.check, RequestCheck::kOk);
  EXPECT_EQ(request.address, 0);
  EXPECT_EQ(request.command, "");
}

TEST(SimRequestParser, BadStart) {
  EXPECT_EQ(ParseRequest("#" + kWorkedRequest).check, RequestCheck::kBadStart);
  EXPECT_EQ(ParseRequest("\r").check, RequestCheck::kBadStart);
  EXPECT_EQ(ParseRequest(kWorkedRequest.substr(1)).check, RequestCheck::kBadStart);
}

TEST(SimRequestParser, BadColon) {
  EXPECT_EQ(ParseRequest("\xFF;5;1;3;27082\r").check, RequestCheck::kBadColon);
  EXPECT_EQ(ParseRequest("\xFF\r").check, RequestCheck::kBadColon);
}

TEST(SimRequestParser, BadAddress) {
  for (const char* frame : {"\xFF:;1;3;1\r", "\xFF:255;1;3;1\r", "\xFF:1000;1;\r", "\xFF:05;1;1\r",
                            "\xFF:x;1;3;1\r", "\xFF:5\r"}) {
    EXPECT_EQ(ParseRequest(frame).check, RequestCheck::kBadAddress) << EscapeBytes(frame);
  }
  EXPECT_EQ(ParseRequest("\xFF:255;1;3;1\r").address_text, "255");
  EXPECT_EQ(ParseRequest("\xFF:x;1;3;1\r").address_text, "");
}

TEST(SimRequestParser, BadCrc) {
  const Request request = ParseRequest("\xFF:5;1;3;27083\r");
  EXPECT_EQ(request.check, RequestCheck::kBadCrc);
  EXPECT_EQ(request.address_text, "5");
  EXPECT_EQ(request.command, "1;3;27083");
  EXPECT_EQ(ParseRequest("\xFF:5;1;3;\r").check, RequestCheck::kBadCrc);
  // The same value with a leading zero is not the checksum.
  EXPECT_EQ(ParseRequest("\xFF:5;1;3;027082\r").check, RequestCheck::kBadCrc);
}

TEST(SimRequestParser, ReadingChannel) {
  EXPECT_EQ(ReadingChannel("1;0;"), 0u);
  EXPECT_EQ(ReadingChannel("1;123;"), 123u);
  EXPECT_EQ(ReadingChannel("1;;"), std::nullopt);
  EXPECT_EQ(ReadingChannel("2;3;"), std::nullopt);
  EXPECT_EQ(ReadingChannel("1;3"), std::nullopt);
  EXPECT_EQ(ReadingChannel("1;3;4;"), std::nullopt);
  EXPECT_EQ(ReadingChannel(""), std::nullopt);
}

TEST(SimRequestAssembler, CutsFramesAtCrAndKeepsJunkAtTheirHead) {
  RequestAssembler assembler;
  EXPECT_TRUE(assembler.Feed("zz\xFF:5;1;", Nanos(10)).empty());
  const auto frames = assembler.Feed("3;27082\r\xFF:", Nanos(20));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].bytes, "zz" + kWorkedRequest);
  EXPECT_EQ(frames[0].first_byte, Nanos(10));
  EXPECT_EQ(frames[0].last_byte, Nanos(20));
  EXPECT_FALSE(frames[0].overflow);
  EXPECT_EQ(ParseRequest(frames[0].bytes).check, RequestCheck::kBadStart);
  const auto next = assembler.Feed("5;\r", Nanos(30));
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].first_byte, Nanos(20));
}

TEST(SimRequestAssembler, DropsARequestLongerThan512Bytes) {
  RequestAssembler assembler;
  EXPECT_TRUE(assembler.Feed(std::string(512, 'a'), Nanos(1)).empty());
  const auto frames = assembler.Feed("b", Nanos(2));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].overflow);
  EXPECT_EQ(frames[0].bytes.size(), 513u);
  const auto after = assembler.Feed(kWorkedRequest, Nanos(3));
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].bytes, kWorkedRequest);
}

// --- replies ---

TEST(SimReplyBuilder, BuildsTheWorkedExample) {
  EXPECT_EQ(ReplyFrame(5, "23.45"), "!5;23.45;36887\r");
  const Reply reply = BuildReply(5, Faults{}, "23.45");
  EXPECT_EQ(reply.answer, Answer::kReply);
  EXPECT_EQ(reply.bytes, "!5;23.45;36887\r");
  EXPECT_FALSE(reply.bytewise);
  EXPECT_EQ(reply.delay, Nanos(0));
}

TEST(SimReplyBuilder, Silent) {
  const Reply reply = BuildReply(5, With(&Faults::silent), "23.45");
  EXPECT_EQ(reply.answer, Answer::kSilent);
  EXPECT_TRUE(reply.bytes.empty());
}

TEST(SimReplyBuilder, PartialLeavesOutTheCr) {
  EXPECT_EQ(BuildReply(5, With(&Faults::partial), "23.45").bytes, "!5;23.45;36887");
}

TEST(SimReplyBuilder, NoiseComesFirstWithoutBangOrCr) {
  const std::string bytes = BuildReply(5, With(&Faults::noise), "23.45").bytes;
  ASSERT_TRUE(bytes.ends_with("!5;23.45;36887\r"));
  const std::string noise = bytes.substr(0, bytes.size() - 15);
  EXPECT_FALSE(noise.empty());
  EXPECT_EQ(noise.find_first_of("!\r"), std::string::npos);
}

TEST(SimReplyBuilder, NoiseOnly) {
  const std::string bytes = BuildReply(5, With(&Faults::noise_only), "23.45").bytes;
  EXPECT_EQ(bytes.size(), 200u);
  EXPECT_EQ(bytes.find_first_of("!\r"), std::string::npos);
}

TEST(SimReplyBuilder, OverlongHasExactlyTheLengthAsked) {
  for (std::size_t length : {20, 21, 100, 250, 255, 256, 260, 1000}) {
    Faults faults;
    faults.overlong = length;
    const std::string bytes = BuildReply(5, faults, "23.45").bytes;
    EXPECT_EQ(bytes.size(), length);
    EXPECT_TRUE(bytes.starts_with("!5;111"));
    EXPECT_TRUE(ChecksumValid(bytes)) << bytes;
  }
  Faults faults;
  faults.overlong = 250;
  faults.bad_addr = true;
  faults.extra_field = true;
  const std::string bytes = BuildReply(254, faults, "1").bytes;
  EXPECT_EQ(bytes.size(), 250u);
  EXPECT_TRUE(bytes.starts_with("!0;111"));
  EXPECT_NE(bytes.find(";0;"), std::string::npos);
  EXPECT_TRUE(ChecksumValid(bytes));
}

TEST(SimReplyBuilder, BadCrcIsOffByOne) {
  EXPECT_EQ(BuildReply(5, With(&Faults::bad_crc), "23.45").bytes, "!5;23.45;36888\r");
}

TEST(SimReplyBuilder, BadAddrCarriesTheNextAddress) {
  const std::string bytes = BuildReply(5, With(&Faults::bad_addr), "23.45").bytes;
  EXPECT_EQ(bytes, ReplyFrame(6, "23.45"));
  EXPECT_TRUE(ChecksumValid(bytes));
  EXPECT_TRUE(BuildReply(254, With(&Faults::bad_addr), "1").bytes.starts_with("!0;1;"));
}

TEST(SimReplyBuilder, ExtraField) {
  const std::string bytes = BuildReply(5, With(&Faults::extra_field), "23.45").bytes;
  EXPECT_EQ(bytes, "!5;23.45;0;" + std::to_string(bus::Crc16("5;23.45;0;")) + "\r");
  EXPECT_TRUE(ChecksumValid(bytes));
}

TEST(SimReplyBuilder, TrailingFollowsTheCr) {
  EXPECT_EQ(BuildReply(5, With(&Faults::trailing), "23.45").bytes, "!5;23.45;36887\r!9;77;1\r");
}

TEST(SimReplyBuilder, BytewiseAndDelayOnlyChangeTheSending) {
  Faults faults;
  faults.bytewise = true;
  faults.delay = milliseconds(250);
  const Reply reply = BuildReply(5, faults, "23.45");
  EXPECT_EQ(reply.bytes, "!5;23.45;36887\r");
  EXPECT_TRUE(reply.bytewise);
  EXPECT_EQ(reply.delay, milliseconds(250));
}

TEST(SimChannelValue, Kinds) {
  EXPECT_EQ(ChannelValue(Fixed("$-1.5"), 7, 3.0), "$-1.5");
  EXPECT_EQ(ChannelValue(Count(), 0, 3.0), "0");
  EXPECT_EQ(ChannelValue(Count(), 12, 3.0), "12");
  const ChannelSource wave = Wave(20, 5, 4);
  EXPECT_EQ(ChannelValue(wave, 0, 0.0), "20.00");
  EXPECT_EQ(ChannelValue(wave, 0, 1.0), "25.00");
  EXPECT_EQ(ChannelValue(wave, 0, 3.0), "15.00");
  EXPECT_EQ(FormatTwoDecimals(-1.049), "-1.05");
  EXPECT_EQ(FormatTwoDecimals(-0.001), "0.00");
}

TEST(SimDevice, AnswersReadingsOfItsChannelsOnly) {
  DeviceConfig config;
  config.address = 5;
  config.channels[3] = Fixed("23.45");
  config.channels[4] = Count();
  SimDevice device(config);
  EXPECT_EQ(device.Respond("1;3;", 0).bytes, "!5;23.45;36887\r");
  EXPECT_EQ(device.Respond("1;9;", 0).answer, Answer::kNoChannel);
  EXPECT_EQ(device.Respond("2;3;", 0).answer, Answer::kNotAReading);
  EXPECT_EQ(device.Respond("1;4;", 0).bytes, ReplyFrame(5, "0"));
  EXPECT_EQ(device.Respond("1;4;", 0).bytes, ReplyFrame(5, "1"));
  EXPECT_EQ(device.Respond("1;4;", 0).bytes, ReplyFrame(5, "2"));
}

TEST(SimDevice, SilentForItsFirstSecondsThenAnswers) {
  DeviceConfig config;
  config.address = 5;
  config.channels[3] = Fixed("23.45");
  config.channels[4] = Count();
  config.faults.silent_for = milliseconds(2500);
  SimDevice device(config);
  for (const double seconds : {0.0, 1.0, 2.499}) {
    const Reply reply = device.Respond("1;3;", seconds);
    EXPECT_EQ(reply.answer, Answer::kSilent) << seconds;
    EXPECT_TRUE(reply.bytes.empty()) << seconds;
  }
  EXPECT_EQ(device.Respond("1;4;", 1).answer, Answer::kSilent);
  EXPECT_EQ(device.Respond("1;3;", 2.5).bytes, "!5;23.45;36887\r");
  EXPECT_EQ(device.Respond("1;3;", 3600).bytes, "!5;23.45;36887\r");
  // The request left unanswered was counted all the same.
  EXPECT_EQ(device.Respond("1;4;", 2.5).bytes, ReplyFrame(5, "1"));
}

// --- sending ---

TEST(SimOutputSchedule, UnpacedReplyIsOneWrite) {
  OutputSchedule schedule(0);
  schedule.Add("!5;23.45;36887\r", false, Nanos(100), Nanos(0));
  ASSERT_EQ(schedule.writes().size(), 1u);
  EXPECT_EQ(schedule.front().at, Nanos(100));
  EXPECT_EQ(schedule.front().bytes, "!5;23.45;36887\r");
  EXPECT_FALSE(schedule.front().after_consumed);
}

TEST(SimOutputSchedule, BytewiseWaitsForEachByteToBeRead) {
  OutputSchedule schedule(0);
  schedule.Add("abc", true, Nanos(100), Nanos(0));
  ASSERT_EQ(schedule.writes().size(), 3u);
  for (const TimedWrite& write : schedule.writes()) {
    EXPECT_EQ(write.bytes.size(), 1u);
    EXPECT_TRUE(write.after_consumed);
  }
}

TEST(SimOutputSchedule, PacedBytesHaveTheirOwnSlots) {
  EXPECT_EQ(LineTime(9600, 15), Nanos(15'625'000));
  EXPECT_EQ(LineTime(0, 15), Nanos(0));
  OutputSchedule schedule(9600);
  schedule.Add("!5;23.45;36887\r", false, Nanos(1'000'000), Nanos(0));
  ASSERT_EQ(schedule.writes().size(), 15u);
  for (std::size_t k = 0; k < 15; ++k) {
    EXPECT_EQ(schedule.writes()[k].at, Nanos(1'000'000) + LineTime(9600, k + 1));
  }
}

TEST(SimOutputSchedule, PacedRepliesTakeTurns) {
  OutputSchedule schedule(10'000);  // 1 ms a byte
  schedule.Add("abcd", false, Nanos(0), Nanos(0));
  schedule.Add("xy", false, milliseconds(2), Nanos(0));  // would overlap "cd"
  schedule.Add("z", false, milliseconds(1), Nanos(0));   // fits nowhere before
  std::string order;
  for (const TimedWrite& write : schedule.writes()) order += write.bytes;
  EXPECT_EQ(order, "abcdxyz");
  EXPECT_EQ(schedule.writes()[4].at, milliseconds(5));  // "x" ends 1 ms after "d"
  EXPECT_EQ(schedule.writes()[6].at, milliseconds(7));
}

TEST(SimOutputSchedule, TheLogLineGoesWithTheLastByte) {
  for (const std::uint32_t baud : {0u, 9600u}) {
    for (const bool bytewise : {false, true}) {
      OutputSchedule schedule(baud);
      schedule.Add("!5;0;1\r", bytewise, Nanos(0), Nanos(0), "T COM3 answer=reply");
      schedule.Add("!6;0;1\r", bytewise, Nanos(0), Nanos(0));
      const auto& writes = schedule.writes();
      std::string sent;
      for (std::size_t i = 0; i < writes.size(); ++i) {
        sent += writes[i].bytes;
        const bool last_of_first = sent == "!5;0;1\r";
        EXPECT_EQ(writes[i].log_line, last_of_first ? "T COM3 answer=reply" : "")
            << "baud " << baud << ", bytewise " << bytewise << ", write " << i;
      }
      EXPECT_EQ(sent, "!5;0;1\r!6;0;1\r");
    }
  }
}

TEST(SimOutputSchedule, AnEarlierUnpacedReplyGoesFirst) {
  OutputSchedule schedule(0);
  schedule.Add("late", false, milliseconds(500), Nanos(0));
  schedule.Add("soon", false, milliseconds(10), Nanos(0));
  EXPECT_EQ(schedule.front().bytes, "soon");
}

// --- log ---

TEST(SimLogLine, Format) {
  const Request ok = ParseRequest(kWorkedRequest);
  EXPECT_EQ(FormatLogLine(Nanos(12'345'678'901), "COM3", ok, Answer::kReply, 19200),
            "12.345678 COM3 check=ok addr=5 cmd=1;3; answer=reply line=19200");
  const Request bad = ParseRequest("#\xFF:5;1;3;27082\r");
  EXPECT_EQ(FormatLogLine(Nanos(1'000), "COM3", bad, Answer::kNone, std::nullopt),
            "0.000001 COM3 check=bad-start addr=- cmd=#\\xFF:5;1;3;27082 answer=none line=-");
  EXPECT_EQ(EscapeBytes("a b\\\x01"), "a\\x20b\\x5C\\x01");
}

TEST(SimLogLine, SentField) {
  EXPECT_EQ(SentField(Nanos(1'765'291'234'123'456'789)), " sent=1765291234.123456");
  EXPECT_EQ(SentField(Nanos(7'000'001'000)), " sent=7.000001");
  EXPECT_EQ(SentField(std::nullopt), " sent=-");
  const Request ok = ParseRequest(kWorkedRequest);
  EXPECT_EQ(
      FormatLogLine(Nanos(12'345'678'901), "COM3", ok, Answer::kReply, 9600) +
          SentField(Nanos(1'765'291'234'000'000'000)),
      "12.345678 COM3 check=ok addr=5 cmd=1;3; answer=reply line=9600 sent=1765291234.000000");
}

// The codes stand for their rates only through the table; B0 is no rate.
TEST(SimLogLine, BitsPerSecondOfTheTermiosCodes) {
  for (const auto& [code, rate] : std::vector<std::pair<speed_t, std::uint32_t>>{
           {B300, 300},
           {B600, 600},
           {B1200, 1200},
           {B2400, 2400},
           {B4800, 4800},
           {B9600, 9600},
           {B19200, 19200},
           {B115200, 115200},
       }) {
    EXPECT_EQ(BitsPerSecond(code), std::optional<std::uint32_t>(rate)) << rate;
  }
  EXPECT_EQ(BitsPerSecond(B0), std::nullopt);
  EXPECT_EQ(BitsPerSecond(static_cast<speed_t>(0xFFFF)), std::nullopt);
}

// --- command line ---

std::optional<SimConfig> Parse(const std::vector<std::string>& args, std::string* error) {
  return ParseCommandLine(args, error);
}

TEST(SimConfigParser, ReadsAGoodCommandLine) {
  std::string error;
  const auto config = Parse({"--log",     "/tmp/sim.log",
                             "--ready",   "/tmp/ready",
                             "--seconds", "2.5",  //
                             "--port",    "/tmp/x/COM3",
                             "--baud",    "9600",  //
                             "--outage",  "12:3.5",
                             "--device",  "5",
                             "--channel", "3=23.45",
                             "--channel", "0=wave:20:1.5:10",
                             "--fault",   "delay=20",
                             "--fault",   "overlong",
                             "--fault",   "bytewise",  //
                             "--device",  "6",
                             "--channel", "1=count",
                             "--fault",   "silent-for=2.5",  //
                             "--port",    "/tmp/x/COM4",
                             "--device",  "0",
                             "--fault",   "overlong=300"},
                            &error);
  ASSERT_TRUE(config) << error;
  EXPECT_FALSE(config->show_help);
  EXPECT_EQ(config->log_path, "/tmp/sim.log");
  EXPECT_EQ(config->ready_path, "/tmp/ready");
  EXPECT_EQ(config->run_for, milliseconds(2500));
  ASSERT_EQ(config->ports.size(), 2u);
  const PortConfig& com3 = config->ports[0];
  EXPECT_EQ(com3.link, "/tmp/x/COM3");
  EXPECT_EQ(com3.baud, 9600u);
  ASSERT_TRUE(com3.outage);
  EXPECT_EQ(com3.outage->from, milliseconds(12000));
  EXPECT_EQ(com3.outage->until, milliseconds(15500));
  EXPECT_FALSE(config->ports[1].outage);
  ASSERT_EQ(com3.devices.size(), 2u);
  const DeviceConfig& five = com3.devices[0];
  EXPECT_EQ(five.address, 5);
  EXPECT_EQ(five.channels.at(3).fixed, "23.45");
  EXPECT_EQ(five.channels.at(0).kind, ChannelSource::Kind::kWave);
  EXPECT_EQ(five.channels.at(0).amp, 1.5);
  EXPECT_EQ(five.faults.delay, milliseconds(20));
  EXPECT_EQ(five.faults.overlong, 260u);
  EXPECT_TRUE(five.faults.bytewise);
  EXPECT_FALSE(five.faults.silent);
  EXPECT_EQ(com3.devices[1].channels.at(1).kind, ChannelSource::Kind::kCount);
  EXPECT_EQ(five.faults.silent_for, Nanos(0));
  EXPECT_EQ(com3.devices[1].faults.silent_for, milliseconds(2500));
  EXPECT_EQ(config->ports[1].baud, 0u);
  EXPECT_EQ(config->ports[1].devices[0].faults.overlong, 300u);
}

TEST(SimConfigParser, Help) {
  std::string error;
  const auto config = Parse({"--help"}, &error);
  ASSERT_TRUE(config);
  EXPECT_TRUE(config->show_help);
  EXPECT_NE(UsageText().find("--port LINK"), std::string_view::npos);
}

TEST(SimConfigParser, RefusesBadCommandLines) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no --port given"},
      {{"--port", "COM3"}, "--port 'COM3' has no --device"},
      {{"--bogus"}, "unknown argument '--bogus'"},
      {{"--port", "COM3", "--device"}, "missing value after --device"},
      {{"--log", "--port", "COM3"}, "missing value after --log"},
      {{"--port", "COM3", "--baud", "96OO", "--device", "1"},
       "bad --baud '96OO': expected a whole number of bit/s from 0 to 10000000"},
      {{"--port", "COM3", "--device", "255"},
       "bad --device '255': expected an address from 0 to 254"},
      {{"--device", "5"}, "bad --device '5': --device must follow a --port"},
      {{"--port", "COM3", "--channel", "1=2"},
       "bad --channel '1=2': --channel must follow a --device"},
      {{"--port", "COM3", "--device", "1", "--device", "1"},
       "bad --device '1': this address is already used on port COM3"},
      {{"--port", "COM3", "--device", "1", "--channel", "1=2;3"},
       "bad --channel '1=2;3': a value may only use the characters $-.0123456789"},
      {{"--port", "COM3", "--device", "1", "--channel", "x=2"},
       "bad --channel 'x=2': CH must be a whole number from 0 to 999999999"},
      {{"--port", "COM3", "--device", "1", "--channel", "1=wave:1:2:0"},
       "bad --channel '1=wave:1:2:0': PERIOD must be above 0"},
      {{"--port", "COM3", "--device", "1", "--channel", "1=wave:1:2"},
       "bad --channel '1=wave:1:2': expected wave:BASE:AMP:PERIOD"},
      {{"--port", "COM3", "--device", "1", "--fault", "loud"}, "bad --fault 'loud': unknown mode"},
      {{"--port", "COM3", "--device", "1", "--fault", "overlong=19"},
       "bad --fault 'overlong=19': L must be a whole number from 20 to 65535"},
      {{"--port", "COM3", "--device", "1", "--fault", "delay"},
       "bad --fault 'delay': expected delay=MS, MS a whole number of milliseconds up to 3600000"},
      {{"--port", "COM3", "--device", "1", "--fault", "silent-for=0"},
       "bad --fault 'silent-for=0': expected silent-for=SECONDS, a number of seconds above 0"},
      {{"--seconds", "0", "--port", "COM3", "--device", "1"},
       "bad --seconds '0': expected a number of seconds above 0"},
      {{"--port", "COM3", "--outage", "5", "--device", "1"},
       "bad --outage '5': expected AFTER:FOR, seconds, FOR above 0"},
      {{"--port", "COM3", "--outage", "5:0", "--device", "1"},
       "bad --outage '5:0': expected AFTER:FOR, seconds, FOR above 0"},
      {{"--outage", "1:1"}, "bad --outage '1:1': --outage must follow a --port"},
      {{"--port", "COM3", "--device", "1", "--port", "COM3"},
       "bad --port 'COM3': this LINK is already used by another --port"},
  };
  for (const auto& [args, message] : cases) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << message;
    EXPECT_EQ(error, message);
  }
}

}  // namespace
}  // namespace quorvel::sim
