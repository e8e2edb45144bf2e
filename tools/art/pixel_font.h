// Text for the pictures, in a small built-in pixel font: each glyph a grid of
// cells 7 high above the baseline and 2 below it, drawn at any scale as
// square cells or as round dots (the look of a dot-matrix display).
#pragma once

#include <string_view>

#include "tools/art/geometry.h"

namespace quorvel::art {

// The font's cell rows: above the baseline, and in all.
inline constexpr int kFontAscent = 7;
inline constexpr int kFontRows = 9;

// The text's width in pixels at `scale` pixels a cell. A character the font
// does not have is drawn as a blank of the width of "o".
double TextWidth(std::u32string_view text, double scale);

// The text as a shape, its first cell's top left corner at `origin`.
// `dot` is how much of a cell its mark covers: 1 fills the cell, less than
// 1 makes a round dot of that diameter. The shape's value is only a sign
// (inside or out), not a distance: it fills, but does not grow.
Shape TextShape(std::u32string_view text, Point origin, double scale, double dot = 1.0);

}  // namespace quorvel::art
