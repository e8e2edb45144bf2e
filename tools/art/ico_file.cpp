#include "tools/art/ico_file.h"

namespace quorvel::art {

namespace {

constexpr std::uint32_t kDirSize = 6;
constexpr std::uint32_t kEntrySize = 16;

std::size_t MaskRowBytes(int width) {
  return static_cast<std::size_t>((width + 31) / 32) * 4;
}

Bytes EncodeEntryImage(const Image& image) {
  const std::size_t mask_row = MaskRowBytes(image.width);
  const std::size_t data_size = image.rgba.size() + mask_row * image.height;
  Bytes out;
  AppendInfoHeader(out, image.width, image.height * 2, static_cast<std::uint32_t>(data_size));
  AppendBgraRows(out, image);
  for (int y = image.height - 1; y >= 0; --y) {
    Bytes row(mask_row, 0);
    for (int x = 0; x < image.width; ++x) {
      if (image.Alpha(x, y) == 0) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

Bytes EncodeIco(const std::vector<Image>& images) {
  std::vector<Bytes> bodies;
  bodies.reserve(images.size());
  for (const Image& image : images) bodies.push_back(EncodeEntryImage(image));

  Bytes out;
  AppendLe16(out, 0);
  AppendLe16(out, 1);
  AppendLe16(out, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = kDirSize + kEntrySize * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(images[i].width & 0xFF));
    out.push_back(static_cast<std::uint8_t>(images[i].height & 0xFF));
    out.push_back(0);
    out.push_back(0);
    AppendLe16(out, 1);
    AppendLe16(out, 32);
    AppendLe32(out, static_cast<std::uint32_t>(bodies[i].size()));
    AppendLe32(out, offset);
    offset += static_cast<std::uint32_t>(bodies[i].size());
  }
  for (const Bytes& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace quorvel::art
