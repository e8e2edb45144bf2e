// A .bmp file of 32 bits a pixel with straight alpha, as image lists load
// with ILC_COLOR32:
//   BITMAPFILEHEADER, 14 bytes: "BM", the file's size (32 bits), two
//     reserved 16-bit zeros, the offset of the pixels (54)
//   BITMAPINFOHEADER, 40 bytes, rows bottom-up (see dib.h)
//   the pixels, B G R A, bottom row first
#pragma once

#include "tools/art/dib.h"
#include "tools/art/image.h"

namespace quorvel::art {

Bytes EncodeBmp(const Image& image);

}  // namespace quorvel::art
