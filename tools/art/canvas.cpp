#include "tools/art/canvas.h"

#include <algorithm>
#include <cmath>

namespace quorvel::art {

namespace {

constexpr int kSamplesPerSide = 8;

double Mix(double a, double b, double t) {
  return a + (b - a) * t;
}

std::uint8_t ToByte(double value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

}  // namespace

Color Rgb(std::uint32_t rgb, double alpha) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

Paint Paint::Linear(Point from, Color from_color, Point to, Color to_color) {
  Paint paint;
  paint.from_ = from;
  paint.to_ = to;
  paint.from_color_ = from_color;
  paint.to_color_ = to_color;
  return paint;
}

Color Paint::At(Point p) const {
  const double dx = to_.x - from_.x;
  const double dy = to_.y - from_.y;
  const double length_squared = dx * dx + dy * dy;
  if (length_squared == 0) return from_color_;
  const double t =
      std::clamp(((p.x - from_.x) * dx + (p.y - from_.y) * dy) / length_squared, 0.0, 1.0);
  return {Mix(from_color_.r, to_color_.r, t), Mix(from_color_.g, to_color_.g, t),
          Mix(from_color_.b, to_color_.b, t), Mix(from_color_.a, to_color_.a, t)};
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4, 0.0) {}

void Canvas::Fill(const Shape& shape, const Paint& paint) {
  Fill(shape, paint, 0, 0, width_, height_);
}

void Canvas::Fill(const Shape& shape, const Paint& paint, int left, int top, int right,
                  int bottom) {
  constexpr double kStep = 1.0 / kSamplesPerSide;
  for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
    for (int x = std::max(left, 0); x < std::min(right, width_); ++x) {
      int inside = 0;
      for (int sy = 0; sy < kSamplesPerSide; ++sy) {
        for (int sx = 0; sx < kSamplesPerSide; ++sx) {
          if (shape({x + (sx + 0.5) * kStep, y + (sy + 0.5) * kStep}) < 0) ++inside;
        }
      }
      if (inside == 0) continue;
      const Color color = paint.At({x + 0.5, y + 0.5});
      const double cover = color.a * inside / (kSamplesPerSide * kSamplesPerSide);
      double* pixel = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
      pixel[0] = color.r * cover + pixel[0] * (1 - cover);
      pixel[1] = color.g * cover + pixel[1] * (1 - cover);
      pixel[2] = color.b * cover + pixel[2] * (1 - cover);
      pixel[3] = cover + pixel[3] * (1 - cover);
    }
  }
}

void Canvas::Draw(const Image& image, int left, int top) {
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (x + left < 0 || x + left >= width_ || y + top < 0 || y + top >= height_) continue;
      const std::uint8_t* source = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
      const double cover = source[3] / 255.0;
      double* pixel = &pixels_[(static_cast<std::size_t>(y + top) * width_ + x + left) * 4];
      for (int c = 0; c < 3; ++c) pixel[c] = source[c] / 255.0 * cover + pixel[c] * (1 - cover);
      pixel[3] = cover + pixel[3] * (1 - cover);
    }
  }
}

void Canvas::FillOutlined(const Shape& shape, Color edge, const Paint& body, double width) {
  Fill(shape, edge);
  Fill(Grow(shape, -width), body);
}

Image Canvas::ToImage() const {
  Image image;
  image.width = width_;
  image.height = height_;
  image.rgba.assign(pixels_.size(), 0);
  for (std::size_t i = 0; i < pixels_.size(); i += 4) {
    const std::uint8_t alpha = ToByte(pixels_[i + 3]);
    if (alpha == 0) continue;
    for (int c = 0; c < 3; ++c) image.rgba[i + c] = ToByte(pixels_[i + c] / pixels_[i + 3]);
    image.rgba[i + 3] = alpha;
  }
  return image;
}

}  // namespace quorvel::art
