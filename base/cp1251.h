// Windows-1251, the 8-bit code page of every text Quorvel keeps: bus frames,
// DDE items (CF_TEXT), both files and the status messages. The user interface
// converts to UTF-16 at the edge; tools and logs convert to UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::cp1251 {

// Unicode code points of the bytes 0x80..0xFF; 0x00..0x7F are ASCII. Byte
// 0x98 has no character of its own and maps to U+0098, as Windows maps it.
inline constexpr std::array<char16_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  //
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  //
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  //
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  //
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  //
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  //
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  //
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  //
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  //
};

inline constexpr char kReplacement = '?';

// The lower-case form of a letter (Latin or Cyrillic) in Windows-1251; any
// other byte as it is. Names and captions compare through it.
constexpr char ToLower(char c) {
  const auto b = static_cast<std::uint8_t>(c);
  if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF)) return static_cast<char>(b + 0x20);
  switch (b) {
    case 0x80:
      return '\x90';  // Ђ ђ
    case 0x81:
      return '\x83';  // Ѓ ѓ
    case 0x8A:
      return '\x9A';  // Љ љ
    case 0x8C:
      return '\x9C';  // Њ њ
    case 0x8D:
      return '\x9D';  // Ќ ќ
    case 0x8E:
      return '\x9E';  // Ћ ћ
    case 0x8F:
      return '\x9F';  // Џ џ
    case 0xA1:
      return '\xA2';  // Ў ў
    case 0xA3:
      return '\xBC';  // Ј ј
    case 0xA5:
      return '\xB4';  // Ґ ґ
    case 0xA8:
      return '\xB8';  // Ё ё
    case 0xAA:
      return '\xBA';  // Є є
    case 0xAF:
      return '\xBF';  // Ї ї
    case 0xB2:
      return '\xB3';  // І і
    case 0xBD:
      return '\xBE';  // Ѕ ѕ
    default:
      return c;
  }
}

constexpr char32_t ToUnicode(std::uint8_t byte) {
  return byte < 0x80 ? char32_t{byte} : char32_t{kHighHalf[byte - 0x80]};
}

// The byte for a code point; '?' for one that Windows-1251 cannot show.
constexpr char FromUnicode(char32_t code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == code_point) return static_cast<char>(0x80 + i);
  }
  return kReplacement;
}

// Decodes one UTF-8 sequence at text[pos], advancing pos. A malformed or
// truncated sequence yields U+FFFD and consumes one byte.
constexpr char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<std::uint8_t>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4 || pos + extra > text.size()) return 0xFFFD;
  char32_t cp = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    const auto b = static_cast<std::uint8_t>(text[pos + k]);
    if ((b & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (b & 0x3F);
  }
  pos += extra;
  return cp;
}

std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(std::u16string_view text);
std::string ToUtf8(std::string_view text);
std::string FromUtf8(std::string_view text);

// A Windows-1251 string made at compile time from a UTF-8 literal, so that
// the program's Russian texts stay readable in the source.
template <std::size_t N>
struct Literal {
  char data[N]{};
  std::size_t size = 0;
  constexpr std::string_view view() const { return {data, size}; }
  constexpr operator std::string_view() const { return view(); }
};

template <std::size_t N>
consteval Literal<N> Text(const char (&utf8)[N]) {
  Literal<N> out;
  const std::string_view in(utf8, N - 1);
  for (std::size_t pos = 0; pos < in.size();) out.data[out.size++] = FromUnicode(NextUtf8(in, pos));
  return out;
}

}  // namespace quorvel::cp1251
