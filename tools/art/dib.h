// The parts that .bmp and .ico files share: the device-independent bitmap's
// info header and its pixel rows. Every number is little-endian.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/art/image.h"

namespace quorvel::art {

using Bytes = std::vector<std::uint8_t>;

void AppendLe16(Bytes& out, std::uint16_t value);
void AppendLe32(Bytes& out, std::uint32_t value);

// BITMAPINFOHEADER, 40 bytes, for 32 bits a pixel, BI_RGB:
//   0 size (40)   4 width   8 height (positive: rows bottom-up)
//  12 planes (1) 14 bits per pixel (32)   16 compression (0, BI_RGB)
//  20 size of the pixel data   24, 28 pixels per metre (0: unstated)
//  32 colours used (0)   36 colours important (0)
void AppendInfoHeader(Bytes& out, int width, int height, std::uint32_t data_size);

// The image's pixels as B, G, R, A (straight alpha), rows bottom to top; at
// 4 bytes a pixel every row is already a multiple of 4 bytes long.
void AppendBgraRows(Bytes& out, const Image& image);

}  // namespace quorvel::art
