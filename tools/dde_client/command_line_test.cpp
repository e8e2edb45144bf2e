#include "tools/dde_client/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::tools::dde {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

TEST(DdeClientEscape, ShowsEveryByteOnce) {
  EXPECT_EQ(Escape(" --.-\r\n\0"s), R"( --.-\r\n\0)");
  EXPECT_EQ(Escape("a\\b\"c"), R"(a\\b"c)");
  EXPECT_EQ(Escape("\t\x7F\xC0\xFF"), R"(\x09\x7F\xC0\xFF)");
  EXPECT_EQ(Escape(""), "");
}

TEST(DdeClientEscape, UnescapeIsTheInverse) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string back, error;
  ASSERT_TRUE(Unescape(Escape(all), back, error)) << error;
  EXPECT_EQ(back, all);
}

TEST(DdeClientEscape, UnescapeRejectsWhatItDoesNotKnow) {
  std::string out, error;
  EXPECT_TRUE(Unescape(R"(12.5\r\n\xc0\xC1\\)", out, error));
  EXPECT_EQ(out, "12.5\r\n\xC0\xC1\\");
  EXPECT_FALSE(Unescape(R"(a\t)", out, error));
  EXPECT_FALSE(Unescape(R"(a\)", out, error));
  EXPECT_FALSE(Unescape(R"(\x4)", out, error));
  EXPECT_FALSE(Unescape(R"(\xg0)", out, error));
}

TEST(DdeClientEscape, TrailingNulsShowAsOne) {
  EXPECT_EQ(TrimNulPadding("ab\0\0\0"sv), "ab\0"sv);
  EXPECT_EQ(TrimNulPadding("ab\0"sv), "ab\0"sv);
  EXPECT_EQ(TrimNulPadding("ab"sv), "ab"sv);
  EXPECT_EQ(TrimNulPadding("\0\0"sv), "\0"sv);
  EXPECT_EQ(TrimNulPadding("a\0\0b"sv), "a\0\0b"sv);
}

TEST(DdeClientCommandLine, Request) {
  const Parsed p =
      ParseCommandLine({"--timeout", "200", "request", "--repeat", "3", "Srv", "T", "S1"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.command, Command::kRequest);
  EXPECT_EQ(p.options.timeout_ms, 200u);
  EXPECT_EQ(p.options.repeat, 3);
  EXPECT_EQ(p.options.format, 1u);
  EXPECT_EQ(p.options.service, "Srv");
  EXPECT_EQ(p.options.topic, "T");
  EXPECT_EQ(p.options.items, std::vector<std::string>{"S1"});
}

TEST(DdeClientCommandLine, AdviseTakesSeveralItems) {
  const Parsed p = ParseCommandLine(
      {"advise", "--seconds", "2.5", "--count", "4", "--raw", "Srv", "T", "S1", "S2"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.seconds, 2.5);
  EXPECT_EQ(p.options.count, 4);
  EXPECT_TRUE(p.options.raw);
  EXPECT_EQ(p.options.items, (std::vector<std::string>{"S1", "S2"}));
}

TEST(DdeClientCommandLine, PokeTextMayLookLikeAnOption) {
  const Parsed p = ParseCommandLine({"poke", "--no-nul", "Srv", "T", "S1", R"(--.-\r\n)"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_FALSE(p.options.nul);
  EXPECT_EQ(p.options.data, "--.-\r\n");
  const Parsed q = ParseCommandLine({"execute", "--", "Srv", "T", R"([Reset(\x31)])"});
  ASSERT_TRUE(q.ok) << q.error;
  EXPECT_TRUE(q.options.nul);
  EXPECT_EQ(q.options.data, "[Reset(1)]");
}

TEST(DdeClientCommandLine, ConnectCycles) {
  const Parsed p = ParseCommandLine({"connect-cycles", "100", "Srv", "T"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.cycles, 100);
  EXPECT_TRUE(p.options.items.empty());
}

TEST(DdeClientCommandLine, Help) {
  EXPECT_EQ(ParseCommandLine({"--help"}).options.command, Command::kHelp);
  EXPECT_TRUE(ParseCommandLine({"request", "-h"}).ok);
}

TEST(DdeClientCommandLine, MistakesAreOneLine) {
  const std::vector<std::vector<std::string_view>> bad = {
      {},
      {"fetch", "Srv", "T", "S1"},
      {"request", "Srv", "T"},
      {"request", "Srv", "T", "S1", "S2"},
      {"request", "--count", "2", "Srv", "T", "S1"},
      {"advise", "--repeat", "2", "Srv", "T", "S1"},
      {"request", "--no-nul", "Srv", "T", "S1"},
      {"--timeout", "5s", "request", "Srv", "T", "S1"},
      {"--timeout", "0", "request", "Srv", "T", "S1"},
      {"--timeout", "4294967295", "request", "Srv", "T", "S1"},
      {"--format", "0", "request", "Srv", "T", "S1"},
      {"--format", "65536", "request", "Srv", "T", "S1"},
      {"--timeout"},
      {"advise", "--seconds", "0", "Srv", "T", "S1"},
      {"advise", "--seconds", "inf", "Srv", "T", "S1"},
      {"advise", "--count", "0", "Srv", "T", "S1"},
      {"poke", "Srv", "T", "S1", R"(bad\q)"},
      {"connect-cycles", "0", "Srv", "T"},
      {"connect-cycles", "x", "Srv", "T"},
      {"request", "", "T", "S1"},
      {"request", "--bogus", "Srv", "T", "S1"},
  };
  for (const auto& args : bad) {
    const Parsed p = ParseCommandLine(args);
    EXPECT_FALSE(p.ok) << (args.empty() ? "(nothing)" : args[0]);
    EXPECT_NE(p.error.find("DdeClient: "), std::string::npos);
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace quorvel::tools::dde
