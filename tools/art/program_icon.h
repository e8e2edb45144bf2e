// The program's icon: a dial gauge, its needle high on the scale, with a
// wave below the hub for the readings it passes on.
#pragma once

#include <array>

#include "tools/art/image.h"

namespace quorvel::art {

// `size` by `size` pixels. The smaller sizes leave out what would only blur.
Image DrawProgramIcon(int size);

// The sizes the icon file holds, smallest first.
constexpr std::array<int, 3> kProgramIconSizes = {16, 32, 48};

}  // namespace quorvel::art
