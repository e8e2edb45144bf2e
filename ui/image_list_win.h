// The main window's image list: nine 16 x 16 images, of which the button,
// the menu and the settings pages show some.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "base/unique_handle.h"

namespace quorvel::ui {

enum ImageIndex : int {
  kImageStart = 0,
  kImageStop = 1,
  kImageTick = 2,
  kImageCross = 3,
  kImageChart = 4,
  kImagePlug = 5,
  kImageSheetTick = 6,
  kImageTools = 7,
  kImageMagnifier = 8,
};

inline constexpr int kImageSize = 16;

// Owns the image list made from the images resource.
class ImageList {
 public:
  // Loads the images, their soft edges blended over `background`, with a
  // mask where they are transparent. False when the resource is missing.
  bool Load(HINSTANCE instance, COLORREF background);
  HIMAGELIST get() const { return list_.get(); }

 private:
  UniqueHandle<ClosedBy<HIMAGELIST, ::ImageList_Destroy>> list_;
};

}  // namespace quorvel::ui
