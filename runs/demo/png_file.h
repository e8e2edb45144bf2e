// PNG files of 8-bit RGB images, as the demo saves its screenshots. The
// image data is a zlib stream of "stored" (uncompressed) deflate blocks:
// bigger than a compressed file, but a few lines that any reader accepts.
//
// File layout: the 8-byte signature, then chunks, each
//   length (4 bytes, big-endian), type (4 ASCII bytes), data,
//   CRC-32 of type and data (4 bytes, big-endian)
// IHDR: width, height (4 bytes each), bit depth 8, colour type 2 (RGB),
//   compression 0, filter 0, interlace 0.
// IDAT: zlib header 0x78 0x01, stored blocks of at most 65535 bytes (a byte
//   1 on the last block, else 0; LEN and its complement NLEN, 2 bytes each,
//   little-endian; the bytes), then the Adler-32 of the raw data, big-endian.
//   The raw data is each row, top first, after its filter byte 0 (none).
// IEND: empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::tools {

// CRC-32 as PNG and zlib's gzip use it: reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF.
constexpr std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (char b : bytes) {
    c ^= static_cast<std::uint8_t>(b);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

// Adler-32 as zlib uses it.
constexpr std::uint32_t Adler32(std::string_view bytes) {
  constexpr std::uint32_t kModulus = 65521;
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (char c : bytes) {
    a = (a + static_cast<std::uint8_t>(c)) % kModulus;
    b = (b + a) % kModulus;
  }
  return (b << 16) | a;
}

// The published check values.
static_assert(Crc32("123456789") == 0xCBF43926u);
static_assert(Adler32("123456789") == 0x091E01DEu);
static_assert(Adler32("Wikipedia") == 0x11E60398u);

// The file's bytes for a `width` x `height` image whose pixels `rgb` holds
// row by row, top row first, 3 bytes (red, green, blue) a pixel. Empty when
// `rgb` does not hold exactly that many bytes or a side is 0.
std::string EncodePng(std::uint32_t width, std::uint32_t height, std::string_view rgb);

}  // namespace quorvel::tools
