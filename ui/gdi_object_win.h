// Owners of GDI objects (fonts, bitmaps: DeleteObject at the end), of
// memory device contexts, of the screen's and a window's device context and
// of icons; and the 32-bit top-down bitmap that the program draws into and
// reads back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/unique_handle.h"

namespace quorvel::ui {

using UniqueFont = UniqueHandle<ClosedBy<HFONT, ::DeleteObject>>;
using UniqueBitmap = UniqueHandle<ClosedBy<HBITMAP, ::DeleteObject>>;

// A memory device context from CreateCompatibleDC: DeleteDC at the end.
using UniqueMemoryDc = UniqueHandle<ClosedBy<HDC, ::DeleteDC>>;

// An icon that was made (not loaded shared): DestroyIcon at the end.
using UniqueIcon = UniqueHandle<ClosedBy<HICON, ::DestroyIcon>>;

// The screen's device context from GetDC(nullptr): ReleaseDC at the end.
struct ScreenDcTraits {
  using pointer = HDC;
  static pointer Invalid() { return nullptr; }
  static void Close(pointer dc) { ::ReleaseDC(/*hWnd=*/nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

// A window's device context from GetDC(window), released to that window.
struct WindowDcTraits {
  struct pointer {
    HWND window = nullptr;
    HDC dc = nullptr;
    bool operator==(const pointer&) const = default;
  };
  static pointer Invalid() { return {}; }
  static void Close(pointer got) { ::ReleaseDC(got.window, got.dc); }
};
using UniqueWindowDc = UniqueHandle<WindowDcTraits>;

inline UniqueWindowDc GetWindowDc(HWND window) {
  const HDC dc = ::GetDC(window);
  return dc != nullptr ? UniqueWindowDc({window, dc}) : UniqueWindowDc();
}

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
