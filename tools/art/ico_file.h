// An .ico file of 32-bit images:
//   ICONDIR, 6 bytes: reserved 0, type 1 (icon), number of images (16 bits each)
//   ICONDIRENTRY, 16 bytes an image: width, height (bytes; 0 means 256),
//     colours 0, reserved 0, planes 1 and bits per pixel 32 (16 bits each),
//     the image's size and its offset from the start of the file (32 bits each)
//   each image: a BITMAPINFOHEADER whose height counts the colour rows and the
//     mask rows, the B G R A rows bottom-up, then the AND mask, 1 bit a pixel
//     (set where the pixel is fully transparent), rows bottom-up, each padded
//     to 32 bits. Windows draws with the alpha; the mask serves older readers.
#pragma once

#include <vector>

#include "tools/art/dib.h"
#include "tools/art/image.h"

namespace quorvel::art {

// Square images of at most 256 pixels a side, in the order given.
Bytes EncodeIco(const std::vector<Image>& images);

}  // namespace quorvel::art
