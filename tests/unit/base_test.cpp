#include <gtest/gtest.h>

#include <string>

#include "base/cp1251.h"
#include "base/short_text.h"
#include "base/unique_handle.h"

namespace quorvel {
namespace {

TEST(Cp1251, PublishedCodePoints) {
  EXPECT_EQ(cp1251::ToUnicode(0xC0), U'\u0410');  // А
  EXPECT_EQ(cp1251::ToUnicode(0xFF), U'\u044F');  // я
  EXPECT_EQ(cp1251::ToUnicode(0xA8), U'\u0401');  // Ё
  EXPECT_EQ(cp1251::ToUnicode(0xB8), U'\u0451');  // ё
  EXPECT_EQ(cp1251::ToUnicode(0xB9), U'\u2116');  // №
  EXPECT_EQ(cp1251::ToUnicode(0x88), U'\u20AC');  // €
  EXPECT_EQ(cp1251::ToUnicode(0x41), U'A');
}

TEST(Cp1251, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(cp1251::FromUtf16(cp1251::ToUtf16(all)), all);
  EXPECT_EQ(cp1251::FromUtf8(cp1251::ToUtf8(all)), all);
}

TEST(Cp1251, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(cp1251::FromUtf8("日本 ü ok"), "?? ? ok");
  EXPECT_EQ(cp1251::FromUtf16(u"\U0001F600x"), "?x");  // a surrogate pair is one character
  EXPECT_EQ(cp1251::FromUtf8("\xD0"), "?");            // truncated sequence
}

TEST(Cp1251, CompileTimeLiteral) {
  constexpr auto text = cp1251::Text("Нет ответа");
  EXPECT_EQ(text.view(), "\xCD\xE5\xF2 \xEE\xF2\xE2\xE5\xF2\xE0");
  EXPECT_EQ(cp1251::ToUtf8(text), "Нет ответа");
}

TEST(ShortText, HoldsAtMost255) {
  ShortText t;
  for (int i = 0; i < 300; ++i) t.push_back('a');
  EXPECT_EQ(t.size(), 255u);
  EXPECT_FALSE(t.push_back('b'));
  t = std::string(1000, 'x');
  EXPECT_EQ(t.size(), 255u);
  t.clear();
  EXPECT_TRUE(t.empty());
}

struct CountingTraits {
  using pointer = int;
  static int Invalid() { return -1; }
  static void Close(int h) {
    ++closes;
    last_closed = h;
  }
  static inline int closes = 0;
  static inline int last_closed = 0;
};
using Owned = UniqueHandle<CountingTraits>;

TEST(UniqueHandle, ClosesExactlyOnce) {
  CountingTraits::closes = 0;
  {
    Owned a(7);
    Owned b(std::move(a));
    EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
    EXPECT_EQ(b.get(), 7);
    Owned c;
    c = std::move(b);  // move-assign into empty: nothing closed
    EXPECT_EQ(CountingTraits::closes, 0);
    Owned d(9);
    d = std::move(c);  // the 9 that d held is closed, not leaked
    EXPECT_EQ(CountingTraits::closes, 1);
    EXPECT_EQ(CountingTraits::last_closed, 9);
    Owned& self = d;
    d = std::move(self);  // self-move keeps the handle
    EXPECT_EQ(d.get(), 7);
  }
  EXPECT_EQ(CountingTraits::closes, 2);
  EXPECT_EQ(CountingTraits::last_closed, 7);
}

TEST(UniqueHandle, ReleaseAndReset) {
  CountingTraits::closes = 0;
  Owned a(3);
  EXPECT_EQ(a.release(), 3);
  EXPECT_FALSE(a);
  a.reset(4);
  a.reset();
  a.reset();
  EXPECT_EQ(CountingTraits::closes, 1);
}

}  // namespace
}  // namespace quorvel
