#include "ui/tray/about_logo_win.h"

#include <algorithm>
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
  const std::vector<std::uint8_t> table = ColourTable(image);
  const std::vector<std::uint8_t> rows = PaddedRows(image, kLogoWidth);
  if (rows.size() != RowStride8(kLogoWidth) * kLogoHeight) return {};

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
  // RGBQUAD is the table's entry; at most 256 of them.
  std::memcpy(info.colours, table.data(), std::min(table.size(), sizeof info.colours));
  void* bits = nullptr;
  UniqueBitmap logo(::CreateDIBSection(/*hdc=*/nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, /*hSection=*/nullptr, 0));
  if (!logo) return {};
  std::memcpy(bits, rows.data(), rows.size());
  return logo;
}

}  // namespace quorvel::ui
