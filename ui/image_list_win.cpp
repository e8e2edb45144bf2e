#include "ui/image_list_win.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ui/gdi_object_win.h"
#include "ui/resource_ids.h"

namespace quorvel::ui {

namespace {

constexpr int kImageCount = 9;

}  // namespace

bool ImageList::Load(HINSTANCE instance, COLORREF background) {
  // The resource is a 32-bit DIB with straight alpha; the list is built
  // colour plus mask, which every version of the common controls draws.
  const HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(QUORVEL_IMAGES_ID), RT_BITMAP);
  if (found == nullptr) return false;
  const HGLOBAL loaded = ::LoadResource(instance, found);
  const auto* info = static_cast<const BITMAPINFOHEADER*>(::LockResource(loaded));
  const DWORD size = ::SizeofResource(instance, found);
  constexpr int kWidth = kImageSize * kImageCount;
  constexpr std::size_t kPixels = std::size_t{kWidth} * kImageSize;
  if (info == nullptr || size < sizeof(BITMAPINFOHEADER) + kPixels * 4 || info->biWidth != kWidth ||
      std::abs(info->biHeight) != kImageSize || info->biBitCount != 32)
    return false;
  const auto* pixels = reinterpret_cast<const std::uint8_t*>(info) + info->biSize;
  const bool bottom_up = info->biHeight > 0;

  std::vector<std::uint32_t> colour(kPixels);
  // A monochrome bitmap: rows of whole 16-bit words, 1 where transparent.
  constexpr std::size_t kMaskStride = std::size_t{(kWidth + 15) / 16} * 2;
  std::vector<std::uint8_t> mask(kMaskStride * kImageSize, 0);
  const int bg_r = GetRValue(background), bg_g = GetGValue(background),
            bg_b = GetBValue(background);
  for (int y = 0; y < kImageSize; ++y) {
    const std::uint8_t* row =
        pixels + std::size_t{4} * kWidth * (bottom_up ? kImageSize - 1 - y : y);
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t* p = row + std::size_t{4} * x;
      const int a = p[3];
      const int b = (p[0] * a + bg_b * (255 - a)) / 255;
      const int g = (p[1] * a + bg_g * (255 - a)) / 255;
      const int r = (p[2] * a + bg_r * (255 - a)) / 255;
      // Where the mask says transparent the colour must be black: the list
      // draws the mask's AND and then the colour's OR.
      if (a < 128) {
        mask[y * kMaskStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        continue;
      }
      colour[y * kWidth + x] = static_cast<std::uint32_t>(b | (g << 8) | (r << 16));
    }
  }

  const TopDownBitmap image = MakeTopDownBitmap(kWidth, kImageSize);
  if (!image.bitmap) return false;
  std::copy(colour.begin(), colour.end(), image.pixels);
  const UniqueBitmap transparent(::CreateBitmap(kWidth, kImageSize, 1, 1, mask.data()));
  if (!transparent) return false;

  list_.reset(::ImageList_Create(kImageSize, kImageSize, ILC_COLOR24 | ILC_MASK, kImageCount, 0));
  if (!list_) return false;
  return ::ImageList_Add(list_.get(), image.bitmap.get(), transparent.get()) == 0;
}

}  // namespace quorvel::ui
