#include "tools/art/bmp_file.h"

namespace quorvel::art {

Bytes EncodeBmp(const Image& image) {
  constexpr std::uint32_t kHeadersSize = 14 + 40;
  const auto data_size = static_cast<std::uint32_t>(image.rgba.size());
  Bytes out;
  out.reserve(kHeadersSize + data_size);
  out.push_back('B');
  out.push_back('M');
  AppendLe32(out, kHeadersSize + data_size);
  AppendLe16(out, 0);
  AppendLe16(out, 0);
  AppendLe32(out, kHeadersSize);
  AppendInfoHeader(out, image.width, image.height, data_size);
  AppendBgraRows(out, image);
  return out;
}

}  // namespace quorvel::art
