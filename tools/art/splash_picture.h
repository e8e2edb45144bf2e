// The splash picture: the program's name and version over its gauge, a
// sensor's trace and what the program is, on a dark panel. Opaque.
#pragma once

#include "tools/art/image.h"

namespace quorvel::art {

inline constexpr int kSplashWidth = 242;
inline constexpr int kSplashHeight = 360;

Image DrawSplashPicture();

}  // namespace quorvel::art
