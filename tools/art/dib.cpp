#include "tools/art/dib.h"

namespace quorvel::art {

void AppendLe16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendLe32(Bytes& out, std::uint32_t value) {
  AppendLe16(out, static_cast<std::uint16_t>(value));
  AppendLe16(out, static_cast<std::uint16_t>(value >> 16));
}

void AppendInfoHeader(Bytes& out, int width, int height, std::uint32_t data_size) {
  AppendLe32(out, 40);
  AppendLe32(out, static_cast<std::uint32_t>(width));
  AppendLe32(out, static_cast<std::uint32_t>(height));
  AppendLe16(out, 1);
  AppendLe16(out, 32);
  AppendLe32(out, 0);
  AppendLe32(out, data_size);
  AppendLe32(out, 0);
  AppendLe32(out, 0);
  AppendLe32(out, 0);
  AppendLe32(out, 0);
}

void AppendBgraRows(Bytes& out, const Image& image) {
  for (int y = image.height - 1; y >= 0; --y) {
    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * 4;
    const std::uint8_t* row = &image.rgba[y * row_bytes];
    for (const std::uint8_t* pixel = row; pixel != row + row_bytes; pixel += 4) {
      out.insert(out.end(), {pixel[2], pixel[1], pixel[0], pixel[3]});
    }
  }
}

}  // namespace quorvel::art
