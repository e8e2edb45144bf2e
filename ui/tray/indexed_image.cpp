#include "ui/tray/indexed_image.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <utility>

namespace quorvel::ui {

namespace {

int Channel(Rgb colour, int channel) {
  return static_cast<int>((colour >> (16 - 8 * channel)) & 0xFF);
}

int Distance(Rgb a, Rgb b) {
  int sum = 0;
  for (int c = 0; c < 3; ++c) {
    const int d = Channel(a, c) - Channel(b, c);
    sum += d * d;
  }
  return sum;
}

std::uint8_t Nearest(const std::vector<Rgb>& palette, Rgb colour) {
  std::size_t best = 0;
  int best_distance = std::numeric_limits<int>::max();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int d = Distance(palette[i], colour);
    if (d < best_distance) {
      best = i;
      best_distance = d;
    }
  }
  return static_cast<std::uint8_t>(best);
}

// Distinct colours with how often each occurs.
using Counted = std::vector<std::pair<Rgb, std::size_t>>;

// A box of the median cut: a range of the colour list.
struct Box {
  std::size_t begin, end;
};

// The channel over which the box's colours spread most, and that spread.
std::pair<int, int> Widest(const Counted& colours, Box box) {
  std::pair<int, int> widest{0, -1};
  for (int c = 0; c < 3; ++c) {
    int low = 255;
    int high = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) {
      low = std::min(low, Channel(colours[i].first, c));
      high = std::max(high, Channel(colours[i].first, c));
    }
    if (high - low > widest.second) widest = {c, high - low};
  }
  return widest;
}

Rgb Mean(const Counted& colours, Box box) {
  std::array<std::size_t, 3> sums{};
  std::size_t count = 0;
  for (std::size_t i = box.begin; i < box.end; ++i) {
    for (int c = 0; c < 3; ++c)
      sums[c] += static_cast<std::size_t>(Channel(colours[i].first, c)) * colours[i].second;
    count += colours[i].second;
  }
  Rgb mean = 0;
  for (int c = 0; c < 3; ++c) mean = (mean << 8) | static_cast<Rgb>((sums[c] + count / 2) / count);
  return mean;
}

}  // namespace

IndexedImage ReduceColours(const std::vector<Rgb>& pixels, std::size_t max_colours) {
  max_colours = std::clamp<std::size_t>(max_colours, 1, 256);
  std::map<Rgb, std::size_t> histogram;
  for (const Rgb pixel : pixels) ++histogram[pixel & 0xFFFFFF];
  Counted colours(histogram.begin(), histogram.end());

  IndexedImage image;
  if (colours.size() <= max_colours) {
    for (const auto& entry : colours) image.palette.push_back(entry.first);
  } else {
    // Median cut: split the box of the widest spread at the median pixel of
    // that channel until there are enough boxes; each gives its mean colour.
    std::vector<Box> boxes{{0, colours.size()}};
    while (boxes.size() < max_colours) {
      std::size_t chosen = boxes.size();
      std::pair<int, int> chosen_spread{0, 0};
      for (std::size_t b = 0; b < boxes.size(); ++b) {
        if (boxes[b].end - boxes[b].begin < 2) continue;
        const auto spread = Widest(colours, boxes[b]);
        if (spread.second > chosen_spread.second) {
          chosen = b;
          chosen_spread = spread;
        }
      }
      if (chosen == boxes.size()) break;  // nothing left to split
      const Box box = boxes[chosen];
      const int c = chosen_spread.first;
      std::sort(
          colours.begin() + static_cast<std::ptrdiff_t>(box.begin),
          colours.begin() + static_cast<std::ptrdiff_t>(box.end),
          [c](const auto& a, const auto& b) { return Channel(a.first, c) < Channel(b.first, c); });
      std::size_t total = 0;
      for (std::size_t i = box.begin; i < box.end; ++i) total += colours[i].second;
      std::size_t middle = box.begin + 1;
      for (std::size_t seen = colours[box.begin].second; middle + 1 < box.end && seen * 2 < total;
           ++middle) {
        seen += colours[middle].second;
      }
      boxes[chosen] = {box.begin, middle};
      boxes.push_back({middle, box.end});
    }
    for (const Box& box : boxes) image.palette.push_back(Mean(colours, box));
  }
  image.indices.reserve(pixels.size());
  for (const Rgb pixel : pixels) image.indices.push_back(Nearest(image.palette, pixel & 0xFFFFFF));
  return image;
}

std::vector<std::uint8_t> ColourTable(const IndexedImage& image) {
  std::vector<std::uint8_t> table;
  table.reserve(image.palette.size() * 4);
  for (const Rgb colour : image.palette) {
    table.insert(table.end(),
                 {static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8),
                  static_cast<std::uint8_t>(colour >> 16), 0});
  }
  return table;
}

std::vector<std::uint8_t> PaddedRows(const IndexedImage& image, std::size_t width) {
  if (width == 0 || image.indices.size() % width != 0) return {};
  const std::size_t stride = RowStride8(width);
  std::vector<std::uint8_t> rows(image.indices.size() / width * stride, 0);
  for (std::size_t y = 0; y * width < image.indices.size(); ++y) {
    std::copy_n(image.indices.begin() + static_cast<std::ptrdiff_t>(y * width), width,
                rows.begin() + static_cast<std::ptrdiff_t>(y * stride));
  }
  return rows;
}

}  // namespace quorvel::ui
