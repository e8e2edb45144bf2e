// The program's small pictures: 16 x 16 each, side by side in one strip that
// an image list splits into its images. Their places in the strip are fixed:
// the program refers to them by these numbers.
#pragma once

#include "tools/art/image.h"

namespace quorvel::art {

enum class Picture {
  kStart = 0,        // round blue button, white triangle pointing right
  kStop = 1,         // round blue button, red dot
  kTick = 2,         // green tick
  kCross = 3,        // red cross
  kChartSheet = 4,   // sheet of paper with a bar chart
  kPlug = 5,         // mains plug
  kTickedSheet = 6,  // sheet of paper with a tick
  kWindowTools = 7,  // window with a spanner
  kMagnifier = 8,    // magnifying glass
};

constexpr int kPictureCount = 9;
constexpr int kPictureSize = 16;

Image DrawPicture(Picture picture);

// All pictures in order, left to right: kPictureCount * 16 by 16 pixels.
Image DrawPictureStrip();

}  // namespace quorvel::art
