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

// The palette as a bitmap's colour table holds it: four bytes an entry,
// blue, green, red and zero.
std::vector<std::uint8_t> ColourTable(const IndexedImage& image);

// The bytes between the rows of an 8-bit device-independent bitmap `width`
// pixels wide: its rows are padded to whole 32-bit words.
constexpr std::size_t RowStride8(std::size_t width) {
  return (width + 3) / 4 * 4;
}

// The indices as such a bitmap holds them: `width` a row in the pixels'
// order, each row padded with zeros to RowStride8(width). Empty when they do
// not make whole rows of that width.
std::vector<std::uint8_t> PaddedRows(const IndexedImage& image, std::size_t width);

}  // namespace quorvel::ui
