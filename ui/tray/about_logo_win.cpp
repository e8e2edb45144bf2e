#include "ui/tray/about_logo_win.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/gdi_object_win.h"
#include "ui/tray/indexed_image.h"

namespace quorvel::ui {

namespace {

constexpr Rgb kBackground = 0xFFFFFF;
constexpr int kIconSize = 64;

// The icon drawn in true colour, as 0x00RRGGBB pixels from the top row down.
std::vector<Rgb> DrawIcon(HICON icon) {
  const TopDownBitmap canvas = MakeTopDownBitmap(kLogoWidth, kLogoHeight);
  const UniqueMemoryDc dc(::CreateCompatibleDC(/*hdc=*/nullptr));
  if (!canvas.bitmap || !dc) return {};
  std::vector<Rgb> pixels(static_cast<std::size_t>(kLogoWidth) * kLogoHeight, kBackground);
  std::memcpy(canvas.pixels, pixels.data(), pixels.size() * sizeof(Rgb));
  const HGDIOBJ old = ::SelectObject(dc.get(), canvas.bitmap.get());
  ::DrawIconEx(dc.get(), (kLogoWidth - kIconSize) / 2, (kLogoHeight - kIconSize) / 2, icon,
               kIconSize, kIconSize, 0, /*hbrFlickerFreeDraw=*/nullptr, DI_NORMAL);
  ::GdiFlush();
  ::SelectObject(dc.get(), old);
  std::memcpy(pixels.data(), canvas.pixels, pixels.size() * sizeof(Rgb));
  return pixels;
}

}  // namespace

UniqueBitmap MakeAboutLogo(HICON icon) {
  const std::vector<Rgb> pixels = DrawIcon(icon);
  if (pixels.empty()) return {};
  const IndexedImage image = ReduceColours(pixels);

  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = kLogoWidth;
  info.header.biHeight = -kLogoHeight;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = static_cast<DWORD>(image.palette.size());
  for (std::size_t i = 0; i < image.palette.size(); ++i) {
    const Rgb colour = image.palette[i];
    info.colours[i] = RGBQUAD{static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8),
                              static_cast<BYTE>(colour >> 16), 0};
  }
  void* bits = nullptr;
  UniqueBitmap logo(::CreateDIBSection(/*hdc=*/nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, /*hSection=*/nullptr, 0));
  if (!logo) return {};
  // Rows of an 8-bit DIB are padded to whole 32-bit words.
  constexpr int kStride = (kLogoWidth + 3) / 4 * 4;
  auto* rows = static_cast<std::uint8_t*>(bits);
  for (int y = 0; y < kLogoHeight; ++y) {
    std::memcpy(rows + static_cast<std::size_t>(y) * kStride,
                image.indices.data() + static_cast<std::size_t>(y) * kLogoWidth, kLogoWidth);
  }
  return logo;
}

}  // namespace quorvel::ui
