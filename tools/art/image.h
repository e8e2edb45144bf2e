// A finished picture, as the file writers take it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel::art {

struct Image {
  int width = 0;
  int height = 0;
  // Rows top to bottom, each pixel R, G, B, A with straight (not
  // premultiplied) alpha; a fully transparent pixel is all zeros.
  std::vector<std::uint8_t> rgba;

  std::uint8_t Alpha(int x, int y) const {
    return rgba[(static_cast<std::size_t>(y) * width + x) * 4 + 3];
  }
};

}  // namespace quorvel::art
