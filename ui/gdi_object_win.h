// Owners of GDI objects (fonts, bitmaps: DeleteObject at the end), of
// memory device contexts, of the screen's device context and of icons; and
// the 32-bit top-down bitmap that the program draws into and reads back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/unique_handle.h"

namespace quorvel::ui {

template <typename Handle>
struct GdiObjectTraits {
  using pointer = Handle;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer object) { ::DeleteObject(object); }
};

using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;

// A memory device context from CreateCompatibleDC: DeleteDC at the end.
struct MemoryDcTraits {
  using pointer = HDC;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer dc) { ::DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// An icon that was made (not loaded shared): DestroyIcon at the end.
struct IconTraits {
  using pointer = HICON;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer icon) { ::DestroyIcon(icon); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

// The screen's device context from GetDC(nullptr): ReleaseDC at the end.
struct ScreenDcTraits {
  using pointer = HDC;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer dc) { ::ReleaseDC(/*hWnd=*/nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

// A 32-bit DIB section whose `pixels` are width x height 0x00RRGGBB values
// from the top row down (rows of 32-bit pixels need no padding); empty when
// the system refused it.
struct TopDownBitmap {
  UniqueBitmap bitmap;
  std::uint32_t* pixels = nullptr;
};

inline TopDownBitmap MakeTopDownBitmap(int width, int height, HDC dc = nullptr) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // negative: the top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  TopDownBitmap made;
  made.bitmap.reset(
      ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, /*hSection=*/nullptr, /*offset=*/0));
  if (made.bitmap) made.pixels = static_cast<std::uint32_t*>(bits);
  return made;
}

}  // namespace quorvel::ui
