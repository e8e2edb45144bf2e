// The About box's logo: the colour reduction it is made with, and the bitmap
// the box shows (256 colours, 90 x 70, the program's icon on its background).
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "ui/tray/about_form_ids.h"
#include "ui/tray/about_form_win.h"
#include "ui/tray/about_logo_win.h"
#include "ui/tray/indexed_image.h"

namespace quorvel::ui {
namespace {

std::vector<Rgb> Expand(const IndexedImage& image) {
  std::vector<Rgb> pixels;
  for (const std::uint8_t index : image.indices) {
    EXPECT_LT(index, image.palette.size());
    pixels.push_back(index < image.palette.size() ? image.palette[index] : 0);
  }
  return pixels;
}

TEST(ReduceColoursTest, FewColoursAreKeptExactly) {
  for (const std::size_t count : {1u, 2u, 255u, 256u}) {
    std::vector<Rgb> pixels;
    for (std::size_t i = 0; i < count * 3; ++i) {
      pixels.push_back(static_cast<Rgb>((i % count) * 0x010203) & 0xFFFFFF);
    }
    const IndexedImage image = ReduceColours(pixels);
    EXPECT_EQ(image.palette.size(), count);
    EXPECT_EQ(Expand(image), pixels) << count;
  }
}

TEST(ReduceColoursTest, TheUnusedTopByteIsIgnored) {
  const IndexedImage image = ReduceColours({0xFF123456, 0x00123456});
  ASSERT_EQ(image.palette.size(), 1u);
  EXPECT_EQ(image.palette[0], 0x123456u);
}

TEST(ReduceColoursTest, ManyColoursGiveAtMost256NearOnes) {
  // 4096 colours evenly spread: 16 to a palette entry, each pixel stays near
  // its own colour in every channel.
  std::vector<Rgb> pixels;
  for (Rgb r = 0; r < 16; ++r) {
    for (Rgb g = 0; g < 16; ++g) {
      for (Rgb b = 0; b < 16; ++b) pixels.push_back((r * 17 << 16) | (g * 17 << 8) | (b * 17));
    }
  }
  const IndexedImage image = ReduceColours(pixels);
  EXPECT_EQ(image.palette.size(), 256u);
  const std::vector<Rgb> reduced = Expand(image);
  ASSERT_EQ(reduced.size(), pixels.size());
  int worst = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    for (const int shift : {0, 8, 16}) {
      const int d = static_cast<int>((pixels[i] >> shift) & 0xFF) -
                    static_cast<int>((reduced[i] >> shift) & 0xFF);
      worst = std::max(worst, d < 0 ? -d : d);
    }
  }
  EXPECT_LE(worst, 40);
}

TEST(AboutLogoTest, TheBoxShowsTheIconIn256Colours) {
  TAboutForm form(::GetModuleHandleW(nullptr), /*owner=*/nullptr);
  ASSERT_TRUE(form.Create());
  const auto bitmap = reinterpret_cast<HBITMAP>(
      ::SendMessageW(::GetDlgItem(form.Handle(), kAboutImage1Id), STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(bitmap, nullptr);
  DIBSECTION dib{};
  ASSERT_EQ(::GetObjectW(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
  EXPECT_EQ(dib.dsBm.bmWidth, kLogoWidth);
  EXPECT_EQ(dib.dsBm.bmHeight, kLogoHeight);
  EXPECT_EQ(dib.dsBm.bmBitsPixel, 8);

  // The corners are the plain background; the middle is the icon, in more
  // than one colour.
  const auto* bits = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
  const int stride = dib.dsBm.bmWidthBytes;
  const auto at = [&](int x, int y) { return bits[y * stride + x]; };
  const std::uint8_t background = at(0, 0);
  EXPECT_EQ(at(kLogoWidth - 1, 0), background);
  EXPECT_EQ(at(0, kLogoHeight - 1), background);
  EXPECT_EQ(at(kLogoWidth - 1, kLogoHeight - 1), background);
  std::set<std::uint8_t> middle;
  for (int y = 20; y < 50; ++y) {
    for (int x = 30; x < 60; ++x) middle.insert(at(x, y));
  }
  EXPECT_GT(middle.size(), 2u);
}

}  // namespace
}  // namespace quorvel::ui
