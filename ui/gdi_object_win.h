// Owners of GDI objects (fonts, bitmaps: DeleteObject at the end), of
// memory device contexts and of icons.
#pragma once

#include <windows.h>

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

}  // namespace quorvel::ui
