#include "bus/frame.h"
#include "bus/reply_end.h"

#include <gtest/gtest.h>

#include <string>

#include "bus/crc16.h"

namespace quorvel::bus {
namespace {

// A reply with a correct checksum over everything after '!'.
std::string Reply(const std::string& body) {
  return "!" + body + std::to_string(Crc16(body)) + "\r";
}

TEST(Crc16, MatchesPublishedCheckValue) {
  EXPECT_EQ(Crc16("123456789"), 0x4B37);
}

TEST(Crc16, StepsFromInitialValue) {
  std::uint16_t crc = kCrc16Initial;
  for (char c : std::string("5;1;3;")) Crc16Step(crc, static_cast<std::uint8_t>(c));
  EXPECT_EQ(crc, 27082);
  EXPECT_EQ(Crc16("5;23.45;"), 36887);
  EXPECT_EQ(Crc16(""), 0xFFFF);
}

TEST(BuildRequest, WorkedExampleBytes) {
  const std::string frame = BuildRequest("1;3;", 5);
  const std::string expected("\xFF\x3A\x35\x3B\x31\x3B\x33\x3B\x32\x37\x30\x38\x32\x0D", 14);
  EXPECT_EQ(frame, expected);
}

TEST(BuildRequest, LongestFrameAndEdgeAddresses) {
  const std::string cmd(230, 'x');
  const std::string frame = BuildRequest(cmd, 254);
  EXPECT_LE(frame.size(), 242u);
  EXPECT_EQ(frame.substr(0, 6), std::string("\xFF:254;", 6));
  EXPECT_EQ(frame.back(), '\r');
  EXPECT_EQ(BuildRequest("", 0), std::string("\xFF:0;") + std::to_string(Crc16("0;")) + "\r");
}

TEST(ParseReply, WorkedExample) {
  ValueFields values;
  EXPECT_TRUE(ParseReply("!5;23.45;36887\r", 5, values, 1));
  EXPECT_EQ(values[0], "23.45");
}

TEST(ParseReply, NoiseBeforeStartAndBytesAfterEnd) {
  ValueFields values;
  EXPECT_TRUE(ParseReply("#@x" + Reply("5;23.45;") + "junk", 5, values, 1));
  EXPECT_EQ(values[0], "23.45");
}

TEST(ParseReply, AddressSpellings) {
  ValueFields values;
  EXPECT_TRUE(ParseReply("!05;1;" + std::to_string(Crc16("05;1;")) + "\r", 5, values, 1));
  EXPECT_TRUE(ParseReply("!-0;1;" + std::to_string(Crc16("-0;1;")) + "\r", 0, values, 1));
  for (const char* bad : {"5.0;1;", ";1;", "--5;1;", "5-;1;", "6;1;"}) {
    const std::string body = bad;
    EXPECT_FALSE(ParseReply("!" + body + std::to_string(Crc16(body)) + "\r", 5, values, 1)) << bad;
  }
}

TEST(ParseReply, ValueFieldClasses) {
  ValueFields values;
  EXPECT_TRUE(ParseReply(Reply("5;$12;"), 5, values, 1));
  EXPECT_EQ(values[0], "$12");
  EXPECT_TRUE(ParseReply(Reply("5;-1.5;"), 5, values, 1));
  EXPECT_EQ(values[0], "-1.5");
  EXPECT_TRUE(ParseReply(Reply("5;;"), 5, values, 1));
  EXPECT_EQ(values[0], "");
  for (const char* bad : {"5;1A;", "5;1,5;", "5;1 5;", "5;+1;", "5;1!;"}) {
    EXPECT_FALSE(ParseReply(Reply(bad), 5, values, 1)) << bad;
  }
}

TEST(ParseReply, FieldCountMustMatch) {
  ValueFields values;
  EXPECT_FALSE(ParseReply(Reply("5;1;2;"), 5, values, 1));  // one field too many
  EXPECT_FALSE(ParseReply(Reply("5;"), 5, values, 1));      // one too few
  EXPECT_TRUE(ParseReply(Reply("5;1;2;"), 5, values, 2));
  EXPECT_EQ(values[1], "2");
  EXPECT_TRUE(ParseReply(Reply("5;"), 5, values, 0));
  EXPECT_TRUE(ParseReply(Reply("5;"), 5, values, -3));
}

TEST(ParseReply, CountAboveSixtyRefusedUntouched) {
  ValueFields values;
  values[0] = "kept";
  std::string body = "5;";
  for (int i = 0; i < 61; ++i) body += "1;";
  EXPECT_FALSE(ParseReply(Reply(body), 5, values, 61));
  EXPECT_EQ(values[0], "kept");
  body = "5;";
  for (int i = 0; i < 60; ++i) body += std::to_string(i) + ";";
  EXPECT_TRUE(ParseReply(Reply(body), 5, values, 60));
  EXPECT_EQ(values[59], "59");
}

TEST(ParseReply, ChecksumSpellings) {
  ValueFields values;
  const std::string body = "5;23.45;";
  EXPECT_TRUE(ParseReply("!" + body + "0036887\r", 5, values, 1));
  EXPECT_FALSE(ParseReply("!" + body + "36888\r", 5, values, 1));
  EXPECT_FALSE(ParseReply("!" + body + "36887 \r", 5, values, 1));
  EXPECT_FALSE(ParseReply("!" + body + "36887", 5, values, 1));  // no CR
  EXPECT_FALSE(ParseReply("!" + body + "\r", 5, values, 1));     // no digits
  EXPECT_FALSE(ParseReply("!" + body + "3.6\r", 5, values, 1));
  // Only the low 32 bits take part: 2^32 + 36887 matches.
  EXPECT_TRUE(ParseReply("!" + body + "4295004183\r", 5, values, 1));
  EXPECT_FALSE(ParseReply("!" + body + "99999999999999999999\r", 5, values, 1));
}

// The checksum is read as a 64-bit number and compared in its low 32 bits:
// 36887 - 2^32 matches, while 2^16 + 36887 agrees with the CRC only in the
// 16 bits that the CRC has.
TEST(ParseReply, ChecksumComparedInItsLow32Bits) {
  ValueFields values;
  const std::string body = "5;23.45;";
  EXPECT_TRUE(ParseReply("!" + body + "-4294930409\r", 5, values, 1));
  EXPECT_EQ(values[0], "23.45");
  EXPECT_FALSE(ParseReply("!" + body + "102423\r", 5, values, 1));
  EXPECT_FALSE(ParseReply("!" + body + "4295069719\r", 5, values, 1));  // 2^32 + 102423
  EXPECT_FALSE(ParseReply("!" + body + "-36887\r", 5, values, 1));      // the sign counts
}

// The address is a 32-bit signed number: one outside that range is
// unreadable, even when its low 32 bits give the address asked.
TEST(ParseReply, AddressOutsideThe32BitRange) {
  ValueFields values;
  auto with_address = [](const std::string& address) { return Reply(address + ";1;"); };
  EXPECT_TRUE(ParseReply(with_address("2147483647"), INT32_MAX, values, 1));
  EXPECT_TRUE(ParseReply(with_address("-2147483648"), INT32_MIN, values, 1));
  EXPECT_FALSE(ParseReply(with_address("2147483648"), INT32_MIN, values, 1));
  EXPECT_FALSE(ParseReply(with_address("-2147483649"), INT32_MAX, values, 1));
  EXPECT_FALSE(ParseReply(with_address("4294967301"), 5, values, 1));  // 2^32 + 5
  EXPECT_FALSE(ParseReply(with_address("-4294967291"), 5, values, 1));
}

TEST(ParseReply, MissingStart) {
  ValueFields values;
  EXPECT_FALSE(ParseReply("5;23.45;36887\r", 5, values, 1));
  EXPECT_FALSE(ParseReply("noise!", 5, values, 1));
  EXPECT_FALSE(ParseReply("", 5, values, 1));
  EXPECT_FALSE(ParseReply("! 5;23.45;36887\r", 5, values, 1));
}

TEST(ParseReply, SecondStartEndsTheField) {
  ValueFields values;
  EXPECT_FALSE(ParseReply(Reply("5;1!2;"), 5, values, 1));
  EXPECT_EQ(values[0], "1");  // the partial field stays
}

TEST(ParseReply, EveryTruncationIsRejected) {
  const std::string full = Reply("5;23.45;-1;");
  ValueFields values;
  ASSERT_TRUE(ParseReply(full, 5, values, 2));
  for (std::size_t n = 0; n < full.size(); ++n) {
    EXPECT_FALSE(ParseReply(full.substr(0, n), 5, values, 2)) << n;
  }
}

TEST(ParseReply, PartialFieldsStayAfterFailure) {
  ValueFields values;
  values[2] = "untouched";
  EXPECT_FALSE(ParseReply("!5;11;2x", 5, values, 2));
  EXPECT_EQ(values[0], "11");
  EXPECT_EQ(values[1], "2");
  EXPECT_EQ(values[2], "untouched");
}

TEST(ReadDecimal, Spellings) {
  EXPECT_EQ(ReadDecimal("0", 0, 10), 0);
  EXPECT_EQ(ReadDecimal("-0", -5, 10), 0);
  EXPECT_EQ(ReadDecimal("007", 0, 10), 7);
  EXPECT_EQ(ReadDecimal("-9223372036854775808", INT64_MIN, INT64_MAX), INT64_MIN);
  EXPECT_EQ(ReadDecimal("9223372036854775807", INT64_MIN, INT64_MAX), INT64_MAX);
  for (const char* bad : {"", "-", "--1", "1-", "1.0", " 1", "+1", "9223372036854775808", "11"}) {
    EXPECT_FALSE(ReadDecimal(bad, INT64_MIN, 10).has_value()) << bad;
  }
}

// The wait for a reply sleeps until BytesStillToCome more bytes have come:
// for every prefix of a reply it may never ask past the CR (the reply would
// be taken late or the next one read into it), and once the last ';' is in
// it knows the exact rest.
TEST(BytesStillToCome, NeverPastTheEndAndExactOnceTheChecksumIsDue) {
  for (const std::string body : {"5;23.45;", "254;-1.5;", "12;1;2;", "5;$1;"}) {
    const std::string reply = "!" + body + std::to_string(Crc16(body)) + "\r";
    const auto address = static_cast<std::int32_t>(std::stoi(body));
    for (std::size_t n = 0; n < reply.size(); ++n) {
      const std::size_t more = BytesStillToCome(std::string_view(reply).substr(0, n), address);
      ASSERT_GE(more, 1u) << reply << " " << n;
      ASSERT_LE(n + more, reply.size()) << reply << " " << n;
      if (n > body.size()) EXPECT_EQ(n + more, reply.size()) << reply << " " << n;
    }
  }
  EXPECT_EQ(BytesStillToCome("", 5), 7u);  // "!5;" and "v;c" CR
  // Out of the usual form: byte by byte.
  EXPECT_EQ(BytesStillToCome("!6;", 5), 1u);
  EXPECT_EQ(BytesStillToCome("!5;1;999", 5), 1u);
  EXPECT_EQ(BytesStillToCome("#", 5), 1u);
}

}  // namespace
}  // namespace quorvel::bus
