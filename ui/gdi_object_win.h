// Owners of GDI objects (fonts, bitmaps, brushes): DeleteObject at the end.
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

}  // namespace quorvel::ui
