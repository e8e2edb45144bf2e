#include "config/integer_text.h"

#include <gtest/gtest.h>

namespace quorvel::config {
namespace {

TEST(ParseIntegerText, SpellingsOfOneValue) {
  for (const char* text : {"26", "026", "  26", "+26", "$1A", "$1a", "x1A", "X1a", "0x1A", "0X1a",
                           " +$1A", "0x0000001A"}) {
    EXPECT_EQ(ParseIntegerText(text), 26) << '"' << text << '"';
  }
}

TEST(ParseIntegerText, Negatives) {
  EXPECT_EQ(ParseIntegerText("-5"), -5);
  EXPECT_EQ(ParseIntegerText("-0"), 0);
  EXPECT_EQ(ParseIntegerText("-$10"), -16);
  EXPECT_EQ(ParseIntegerText("$FFFFFFFF"), -1);  // 32-bit two's complement
  EXPECT_EQ(ParseIntegerText("$80000000"), INT32_MIN);
  EXPECT_EQ(ParseIntegerText("-$80000000"), INT32_MIN);
  EXPECT_EQ(ParseIntegerText("-$FFFFFFFF"), 1);
}

TEST(ParseIntegerText, DecimalRange) {
  EXPECT_EQ(ParseIntegerText("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseIntegerText("-2147483648"), INT32_MIN);
  EXPECT_FALSE(ParseIntegerText("2147483648"));
  EXPECT_FALSE(ParseIntegerText("-2147483649"));
  EXPECT_FALSE(ParseIntegerText("99999999999999999999999"));
  EXPECT_FALSE(ParseIntegerText("$100000000"));     // needs 33 bits
  EXPECT_EQ(ParseIntegerText("$000000000001"), 1);  // leading zeros are no bits
}

TEST(ParseIntegerText, Invalid) {
  for (const char* text :
       {"",     " ",   "+",  "-",    "$",   "x",   "0x",  "-$",   "26 ", "2.5", "1e3",
        "\t26", "26a", "$G", "0x1G", "--1", "+-1", "- 1", "0xx1", "$$1", "\xB9"}) {
    EXPECT_FALSE(ParseIntegerText(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace quorvel::config
