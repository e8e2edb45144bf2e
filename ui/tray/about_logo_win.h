// The maker's logo of the About box: the program's icon on a plain
// background, as a 256-colour (8 bits per pixel) DIB section.
#pragma once

#include <windows.h>

#include "ui/gdi_object_win.h"

namespace quorvel::ui {

inline constexpr int kLogoWidth = 90;
inline constexpr int kLogoHeight = 70;

// Null when a GDI call failed.
UniqueBitmap MakeAboutLogo(HICON icon);

}  // namespace quorvel::ui
