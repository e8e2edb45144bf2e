// A small drawing surface: shapes filled with a colour or a linear gradient,
// anti-aliased by sampling each pixel 8 x 8 times.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/art/geometry.h"
#include "tools/art/image.h"

namespace quorvel::art {

// Components from 0 to 1, straight alpha.
struct Color {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 0;
};

// 0xRRGGBB.
Color Rgb(std::uint32_t rgb, double alpha = 1.0);

// What a shape is filled with: a colour, or a blend between two colours
// along the line from one point to another (constant across it, and the end
// colours beyond its ends).
class Paint {
 public:
  // Implicit: wherever a paint is wanted, a colour will do.
  Paint(Color color) : from_color_(color), to_color_(color) {}
  static Paint Linear(Point from, Color from_color, Point to, Color to_color);

  Color At(Point p) const;

 private:
  Paint() = default;

  Point from_;
  Point to_;
  Color from_color_;
  Color to_color_;
};

class Canvas {
 public:
  // Fully transparent.
  Canvas(int width, int height);

  // Lays the paint over what is there, covering each pixel in proportion to
  // its samples inside the shape. The paint is taken at the pixel's centre.
  void Fill(const Shape& shape, const Paint& paint);
  // The same within the pixels [left, right) x [top, bottom) only, where the
  // caller knows the shape lies: far quicker on a large canvas.
  void Fill(const Shape& shape, const Paint& paint, int left, int top, int right, int bottom);

  // Lays a finished picture over what is there, its top left corner at the
  // pixel (left, top).
  void Draw(const Image& image, int left, int top);

  // The shape with an edge of `edge` colour, `width` pixels wide inside it,
  // and `body` within that.
  void FillOutlined(const Shape& shape, Color edge, const Paint& body, double width = 1.0);

  // Rounded to 8 bits.
  Image ToImage() const;

 private:
  int width_;
  int height_;
  // Premultiplied R, G, B, A per pixel, rows top to bottom.
  std::vector<double> pixels_;
};

}  // namespace quorvel::art
