// The splash picture's decoder against the native JPEG library: the
// program's own picture, a progressive file of the picture generator's
// (tools/art), and the faults, each reported with the library's message code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jerror.h>

#include "tools/art/jpeg_file.h"
#include "ui/splash/jpeg_picture.h"

namespace quorvel::ui::splash {
namespace {

std::string ProgramPicture() {
  std::ifstream in(std::string(QUORVEL_SOURCE_DIR) + "/ui/res/splash.jpg", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ErrorOf(int code) {
  return "JPEG error #" + std::to_string(code);
}

// Where the marker first occurs, or npos.
std::size_t Find(const std::string& file, unsigned char marker) {
  return file.find(std::string{'\xFF', static_cast<char>(marker)});
}

// A B, G, R pixel of decoded rows.
struct Bgr {
  int b, g, r;
};

Bgr PixelAt(const JpegPixels& pixels, int x, int y) {
  const std::size_t at = (static_cast<std::size_t>(y) * pixels.width + x) * 3;
  return {pixels.bgr.at(at), pixels.bgr.at(at + 1), pixels.bgr.at(at + 2)};
}

// Fine grey stripes and checks (grey: the chroma's subsampling does not
// touch them), which a decoder that stopped after the first scans of a
// progressive file (the DC terms only) would smear to a flat grey.
art::Image Stripes(int width, int height) {
  art::Image image{width, height, std::vector<std::uint8_t>(std::size_t{4} * width * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t level = (x % 2 == 0) != (y % 4 < 2) ? 230 : 30;
      std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
      p[0] = p[1] = p[2] = level;
      p[3] = 255;
    }
  }
  return image;
}

TEST(SplashPicture, ProgramPictureDecodesToItsSize) {
  const std::string file = ProgramPicture();
  ASSERT_FALSE(file.empty()) << "ui/res/splash.jpg is missing";
  const JpegDecoding decoded = DecodeJpeg(file);
  ASSERT_EQ(decoded.error, "");
  EXPECT_EQ(decoded.pixels.width, 242);
  EXPECT_EQ(decoded.pixels.height, 360);
  ASSERT_EQ(decoded.pixels.bgr.size(), 242u * 360 * 3);
  // The gauge's red zone, right of its centre: blue first, red last.
  const Bgr red = PixelAt(decoded.pixels, 173, 191);
  EXPECT_GT(red.r, 170);
  EXPECT_LT(red.b, 90);
  EXPECT_LT(red.g, 90);
}

TEST(SplashPicture, ProgressiveFileDecodesWhole) {
  const art::Image image = Stripes(64, 40);
  const art::Bytes encoded = art::EncodeJpeg(image);
  const std::string file(encoded.begin(), encoded.end());
  ASSERT_NE(Find(file, 0xC2), std::string::npos) << "not progressive";

  const JpegDecoding decoded = DecodeJpeg(file);
  ASSERT_EQ(decoded.error, "");
  ASSERT_EQ(decoded.pixels.width, image.width);
  ASSERT_EQ(decoded.pixels.height, image.height);
  long total_error = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Bgr got = PixelAt(decoded.pixels, x, y);
      const int want = image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
      total_error += std::abs(got.r - want) + std::abs(got.g - want) + std::abs(got.b - want);
    }
  }
  EXPECT_LT(total_error / (static_cast<long>(image.width) * image.height * 3), 12);
}

TEST(SplashPicture, FaultsCarryTheLibrarysMessageCode) {
  const std::string file = ProgramPicture();
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(DecodeJpeg("GIF89a, not a JPEG file at all").error, ErrorOf(JERR_NO_SOI));
  EXPECT_EQ(DecodeJpeg("").error, ErrorOf(JERR_INPUT_EMPTY));
  EXPECT_EQ(DecodeJpeg(file.substr(0, 2)).error, ErrorOf(JERR_NO_IMAGE));

  // The frame header of a picture 0 pixels wide.
  std::string no_width = file;
  const std::size_t frame = Find(no_width, 0xC2);
  ASSERT_NE(frame, std::string::npos);
  no_width[frame + 7] = 0;  // FF C2, length, precision, height, width
  no_width[frame + 8] = 0;
  EXPECT_EQ(DecodeJpeg(no_width).error, ErrorOf(JERR_EMPTY_IMAGE));
  EXPECT_TRUE(DecodeJpeg(no_width).pixels.bgr.empty());
}

TEST(SplashPicture, EveryPrefixOfTheHeadersIsRejected) {
  const std::string file = ProgramPicture();
  const std::size_t scan = Find(file, 0xDA);
  ASSERT_NE(scan, std::string::npos);
  for (std::size_t size = 0; size < scan; ++size) {
    const std::string error = DecodeJpeg(file.substr(0, size)).error;
    EXPECT_EQ(error.rfind("JPEG error #", 0), 0u) << size << " bytes: " << error;
    EXPECT_GT(error.size(), std::string("JPEG error #").size()) << size << " bytes";
  }
}

TEST(SplashPicture, ScanCutShortIsAWarningOnly) {
  const std::string file = ProgramPicture();
  const JpegDecoding decoded = DecodeJpeg(file.substr(0, file.size() * 2 / 3));
  EXPECT_EQ(decoded.error, "");
  EXPECT_EQ(decoded.pixels.width, 242);
  EXPECT_EQ(decoded.pixels.height, 360);
}

}  // namespace
}  // namespace quorvel::ui::splash
