// A picture reduced to at most 256 colours, for an 8-bit device-independent
// bitmap: a palette and one palette index per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel::ui {

// A colour as 0x00RRGGBB.
using Rgb = std::uint32_t;

struct IndexedImage {
  std::vector<Rgb> palette;           // at most `max_colours` entries
  std::vector<std::uint8_t> indices;  // one per pixel, in the pixels' order
};

// A picture of at most `max_colours` (1..256) distinct colours keeps them
// exactly. A richer one is reduced by median cut, each pixel taking the
// nearest colour of the palette.
IndexedImage ReduceColours(const std::vector<Rgb>& pixels, std::size_t max_colours = 256);

}  // namespace quorvel::ui
