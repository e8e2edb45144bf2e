// Push buttons drawn by their owner with an image of the main window's
// image list left of the caption, as the Start-Stop and OK buttons show.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

namespace quorvel::ui {

// Draws the button of `item` (WM_DRAWITEM) with `image`, or with
// `disabled_image` while the button is disabled.
void DrawGlyphButton(const DRAWITEMSTRUCT& item, HFONT font, HIMAGELIST images, int image,
                     int disabled_image);

}  // namespace quorvel::ui
