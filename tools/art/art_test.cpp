// The pictures: the committed copies against what the generator draws now,
// the file formats the program and Windows read them in, and the geometry
// under them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/art/art_files.h"
#include "tools/art/bmp_file.h"
#include "tools/art/geometry.h"
#include "tools/art/ico_file.h"
#include "tools/art/jpeg_file.h"
#include "tools/art/program_icon.h"
#include "tools/art/toolbar_images.h"

namespace quorvel::art {
namespace {

Bytes ReadCommitted(const std::string& name) {
  std::ifstream in(std::string(QUORVEL_SOURCE_DIR) + "/ui/res/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Le16(const Bytes& bytes, std::size_t at) {
  return bytes.at(at) | bytes.at(at + 1) << 8;
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
  return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}

// Counts of the fully transparent and the fully opaque pixels in a square of
// 32-bit bottom-up rows.
struct AlphaCounts {
  int transparent = 0;
  int opaque = 0;
};

AlphaCounts CountAlpha(const Bytes& bytes, std::size_t rows_at, std::size_t row_pixels,
                       std::size_t left, std::size_t size) {
  AlphaCounts counts;
  for (std::size_t y = 0; y < size; ++y) {
    for (std::size_t x = left; x < left + size; ++x) {
      const std::uint8_t alpha = bytes.at(rows_at + (y * row_pixels + x) * 4 + 3);
      if (alpha == 0) ++counts.transparent;
      if (alpha == 255) ++counts.opaque;
    }
  }
  return counts;
}

TEST(ArtFiles, CommittedCopiesAreWhatTheGeneratorDraws) {
  for (const ArtFile& file : MakeArtFiles()) {
    const Bytes committed = ReadCommitted(file.name);
    ASSERT_FALSE(committed.empty()) << "ui/res/" << file.name << " is missing";
    EXPECT_TRUE(committed == file.bytes)
        << "ui/res/" << file.name
        << " differs from what quorvel-art draws: run scripts/make-art.sh";
  }
}

TEST(ArtFiles, SameBytesEveryTime) {
  const std::vector<ArtFile> first = MakeArtFiles();
  const std::vector<ArtFile> second = MakeArtFiles();
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_TRUE(first[i].bytes == second[i].bytes);
}

TEST(ImageStrip, Headers) {
  const Bytes bmp = ReadCommitted("images.bmp");
  ASSERT_EQ(bmp.size(), 54u + 144 * 16 * 4);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(Le32(bmp, 6), 0u);
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(Le32(bmp, 14), 40u);
  EXPECT_EQ(Le32(bmp, 18), 144u);
  EXPECT_EQ(Le32(bmp, 22), 16u);  // positive: bottom-up
  EXPECT_EQ(Le16(bmp, 26), 1u);
  EXPECT_EQ(Le16(bmp, 28), 32u);
  EXPECT_EQ(Le32(bmp, 30), 0u);  // BI_RGB
  EXPECT_EQ(Le32(bmp, 34), 144u * 16 * 4);
}

TEST(ImageStrip, EveryPictureHasTransparentAndOpaquePixels) {
  const Bytes bmp = ReadCommitted("images.bmp");
  ASSERT_EQ(bmp.size(), 54u + 144 * 16 * 4);
  for (int i = 0; i < kPictureCount; ++i) {
    const AlphaCounts counts = CountAlpha(bmp, 54, 144, static_cast<std::size_t>(i) * 16, 16);
    EXPECT_GT(counts.transparent, 0) << "picture " << i;
    EXPECT_GT(counts.opaque, 0) << "picture " << i;
  }
}

TEST(ProgramIcon, DirectoryAndImages) {
  const Bytes ico = ReadCommitted("quorvel.ico");
  ASSERT_GE(ico.size(), 6u + 3 * 16);
  EXPECT_EQ(Le16(ico, 0), 0u);
  EXPECT_EQ(Le16(ico, 2), 1u);  // icon, not cursor
  ASSERT_EQ(Le16(ico, 4), 3u);

  std::size_t expected_offset = 6 + 3 * 16;
  const std::size_t sizes[] = {16, 32, 48};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(sizes[i]);
    const std::size_t entry = 6 + 16 * i;
    const std::size_t size = sizes[i];
    const std::size_t mask_row = (size + 31) / 32 * 4;
    const std::size_t image_size = 40 + size * size * 4 + mask_row * size;
    EXPECT_EQ(ico[entry], size);
    EXPECT_EQ(ico[entry + 1], size);
    EXPECT_EQ(ico[entry + 2], 0);  // no palette
    EXPECT_EQ(ico[entry + 3], 0);
    EXPECT_EQ(Le16(ico, entry + 4), 1u);
    EXPECT_EQ(Le16(ico, entry + 6), 32u);
    ASSERT_EQ(Le32(ico, entry + 8), image_size);
    ASSERT_EQ(Le32(ico, entry + 12), expected_offset);

    const std::size_t at = expected_offset;
    EXPECT_EQ(Le32(ico, at), 40u);
    EXPECT_EQ(Le32(ico, at + 4), size);
    EXPECT_EQ(Le32(ico, at + 8), size * 2);  // colour and mask rows
    EXPECT_EQ(Le16(ico, at + 12), 1u);
    EXPECT_EQ(Le16(ico, at + 14), 32u);
    EXPECT_EQ(Le32(ico, at + 16), 0u);

    const AlphaCounts counts = CountAlpha(ico, at + 40, size, 0, size);
    EXPECT_GT(counts.transparent, 0);
    EXPECT_GT(counts.opaque, 0);
    // The mask marks exactly the fully transparent pixels.
    const std::size_t mask_at = at + 40 + size * size * 4;
    for (std::size_t y = 0; y < size; ++y) {
      for (std::size_t x = 0; x < size; ++x) {
        const bool masked = ico.at(mask_at + y * mask_row + x / 8) & (0x80 >> (x % 8));
        const bool transparent = ico.at(at + 40 + (y * size + x) * 4 + 3) == 0;
        EXPECT_EQ(masked, transparent) << "at " << x << "," << y;
      }
    }
    expected_offset += image_size;
  }
  EXPECT_EQ(ico.size(), expected_offset);
}

std::uint32_t Be16(const Bytes& bytes, std::size_t at) {
  return bytes.at(at) << 8 | bytes.at(at + 1);
}

// The segments of a JPEG file up to its first scan: marker, then data.
std::vector<std::pair<int, Bytes>> Segments(const Bytes& jpeg) {
  std::vector<std::pair<int, Bytes>> segments;
  std::size_t at = 2;  // past SOI
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const int marker = jpeg[at + 1];
    const std::size_t length = Be16(jpeg, at + 2);
    segments.push_back({marker, Bytes(jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length)});
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return segments;
}

Bytes Prefix(const Bytes& bytes, std::size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + std::min(size, bytes.size()));
}

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(SplashPicture, ProgressiveWithItsMetadata) {
  const Bytes jpeg = ReadCommitted("splash.jpg");
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(Be16(jpeg, 0), 0xFFD8u);
  EXPECT_EQ(Be16(jpeg, jpeg.size() - 2), 0xFFD9u);
  const auto segments = Segments(jpeg);
  ASSERT_GE(segments.size(), 5u);
  EXPECT_EQ(segments[0].first, 0xEE);  // APP14
  EXPECT_EQ(Prefix(segments[0].second, 5), Text("Adobe"));
  EXPECT_EQ(segments[1].first, 0xE1);
  EXPECT_EQ(segments[1].second, ExifSegment());
  EXPECT_EQ(segments[2].first, 0xE1);
  EXPECT_EQ(segments[2].second, XmpSegment());
  EXPECT_EQ(segments[3].first, 0xE2);
  Bytes icc = Text(std::string_view("ICC_PROFILE\0\1\1", 14));
  const Bytes profile = IccProfile();
  icc.insert(icc.end(), profile.begin(), profile.end());
  EXPECT_EQ(segments[3].second, icc);

  int frames = 0;
  for (const auto& [marker, data] : segments) {
    EXPECT_NE(marker, 0xC0) << "baseline frame";
    if (marker != 0xC2) continue;
    ++frames;
    ASSERT_GE(data.size(), 6u);
    EXPECT_EQ(Be16(data, 1), 360u);  // height
    EXPECT_EQ(Be16(data, 3), 242u);  // width
    EXPECT_EQ(data[5], 3);           // components
  }
  EXPECT_EQ(frames, 1);
}

TEST(JpegFile, ExifByteLayout) {
  const Bytes expected = {
      'E',  'x',  'i', 'f', 0,   0,                         //
      'I',  'I',  42,  0,   8,   0,   0,   0,               // TIFF header, IFD0 at 8
      1,    0,                                              // one entry:
      0x31, 0x01, 2,   0,   8,   0,   0,   0, 26, 0, 0, 0,  // Software, ASCII, 8 at 26
      0,    0,    0,   0,                                   // no next IFD
      'Q',  'u',  'o', 'r', 'v', 'e', 'l', 0,
  };
  EXPECT_EQ(ExifSegment(), expected);
}

TEST(JpegFile, IccProfileHeaderAndTags) {
  const Bytes icc = IccProfile();
  ASSERT_GE(icc.size(), 132u);
  EXPECT_EQ(Be16(icc, 0) << 16 | Be16(icc, 2), icc.size());
  EXPECT_EQ(Prefix(Bytes(icc.begin() + 12, icc.end()), 12), Text("mntrRGB XYZ "));
  EXPECT_EQ(Prefix(Bytes(icc.begin() + 36, icc.end()), 4), Text("acsp"));
  const std::size_t count = Be16(icc, 128) << 16 | Be16(icc, 130);
  ASSERT_EQ(count, 9u);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = 132 + 12 * i;
    const std::size_t offset = Be16(icc, entry + 4) << 16 | Be16(icc, entry + 6);
    const std::size_t size = Be16(icc, entry + 8) << 16 | Be16(icc, entry + 10);
    EXPECT_EQ(offset % 4, 0u) << i;
    EXPECT_LE(offset + size, icc.size()) << i;
  }
}

// One pixel column, two rows: top (1, 2, 3, alpha 4), bottom (5, 6, 7, alpha 8).
Image TwoPixels() {
  return Image{1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
}

TEST(BmpFile, ByteLayout) {
  const Bytes expected = {
      'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                     // file header
      40,  0,   0,  0, 1, 0, 0, 0, 2, 0, 0,  0, 1, 0, 32, 0, 0, 0, 0, 0,  // info header
      8,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0,  //
      7,   6,   5,  8, 3, 2, 1, 4,                                        // bottom row first, BGRA
  };
  EXPECT_EQ(EncodeBmp(TwoPixels()), expected);
}

TEST(IcoFile, ByteLayout) {
  const Image image = {2, 2, {0, 0, 0, 0, 9, 9, 9, 255, 9, 9, 9, 255, 0, 0, 0, 0}};
  const Bytes expected = {
      0,    0, 1, 0,   1, 0,                                                  // directory
      2,    2, 0, 0,   1, 0, 32, 0,   64, 0, 0, 0, 22, 0, 0,  0,              // entry
      40,   0, 0, 0,   2, 0, 0,  0,   4,  0, 0, 0, 1,  0, 32, 0, 0, 0, 0, 0,  // info header
      24,   0, 0, 0,   0, 0, 0,  0,   0,  0, 0, 0, 0,  0, 0,  0, 0, 0, 0, 0,  //
      9,    9, 9, 255, 0, 0, 0,  0,                                           // bottom row
      0,    0, 0, 0,   9, 9, 9,  255,                                         // top row
      0x40, 0, 0, 0,                                                          // mask, bottom row
      0x80, 0, 0, 0,                                                          // mask, top row
  };
  EXPECT_EQ(EncodeIco({image}), expected);
}

TEST(Geometry, PolarAgreesWithTheCLibrary) {
  for (double degrees = -720; degrees <= 720; degrees += 7.5) {
    const Point p = Polar({10, 20}, 3, degrees);
    const double radians = degrees * 3.14159265358979323846 / 180;
    EXPECT_NEAR(p.x, 10 + 3 * std::cos(radians), 1e-12) << degrees;
    EXPECT_NEAR(p.y, 20 + 3 * std::sin(radians), 1e-12) << degrees;
  }
}

TEST(Geometry, SignOfTheDistance) {
  const Shape square = Polygon({{0, 0}, {4, 0}, {4, 4}, {0, 4}});
  EXPECT_LT(square({1, 1}), 0);
  EXPECT_GT(square({5, 1}), 0);
  EXPECT_DOUBLE_EQ(square({6, 2}), 2);
  EXPECT_DOUBLE_EQ(square({2, 1}), -1);
  EXPECT_DOUBLE_EQ(Circle({0, 0}, 2)({3, 4}), 3);
  EXPECT_DOUBLE_EQ(Capsule({0, 0}, {10, 0}, 1)({5, 3}), 2);
  EXPECT_DOUBLE_EQ(RoundRect(0, 0, 10, 10, 2)({5, -1}), 1);
  EXPECT_LT(Subtract(Circle({0, 0}, 3), Circle({0, 0}, 1))({2, 0}), 0);
  EXPECT_GT(Subtract(Circle({0, 0}, 3), Circle({0, 0}, 1))({0.5, 0}), 0);
  EXPECT_LT(Wedge({0, 0}, 0, 90)({1, 1}), 0);  // y grows downwards
  EXPECT_GT(Wedge({0, 0}, 0, 90)({1, -1}), 0);
}

}  // namespace
}  // namespace quorvel::art
