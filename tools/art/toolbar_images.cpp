#include "tools/art/toolbar_images.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/art/canvas.h"
#include "tools/art/geometry.h"

namespace quorvel::art {

namespace {

// Light from the top left: every body is lighter there and darker at the
// bottom right, and has an edge of a darker shade of its own colour.
Paint Shaded(Point from, Point to, std::uint32_t light, std::uint32_t dark) {
  return Paint::Linear(from, Rgb(light), to, Rgb(dark));
}

void DrawButton(Canvas& canvas) {
  const Shape button = Circle({8, 8}, 7.6);
  canvas.FillOutlined(button, Rgb(0x1B4C8C), Shaded({5, 1}, {11, 15}, 0x8CC4F5, 0x2460B0));
  // A gloss on the upper half.
  canvas.Fill(Intersect(Grow(button, -1.6), Circle({8, -2.5}, 9.2)), Rgb(0xFFFFFF, 0.28));
}

void DrawStart(Canvas& canvas) {
  DrawButton(canvas);
  const Shape triangle = Polygon({{6, 4}, {12.2, 8}, {6, 12}});
  canvas.Fill(Grow(triangle, 0.7), Rgb(0x123B70, 0.45));
  canvas.Fill(triangle, Rgb(0xFFFFFF));
}

void DrawStop(Canvas& canvas) {
  DrawButton(canvas);
  canvas.Fill(Circle({8, 8}, 4.6), Rgb(0x102F5C, 0.5));
  canvas.FillOutlined(Circle({8, 8}, 4.0), Rgb(0x8A1008),
                      Shaded({6, 5}, {10, 11}, 0xFF8A72, 0xD8261A), 0.9);
}

void DrawTick(Canvas& canvas, const std::vector<Point>& points, double radius) {
  canvas.FillOutlined(Polyline(points, radius), Rgb(0x1D6A14),
                      Shaded({4, 3}, {12, 13}, 0x8EE06A, 0x2F9A1F));
}

void DrawCross(Canvas& canvas) {
  const Shape cross =
      Union(Capsule({3.5, 3.5}, {12.5, 12.5}, 2.1), Capsule({12.5, 3.5}, {3.5, 12.5}, 2.1));
  canvas.FillOutlined(cross, Rgb(0x8C1A10), Shaded({4, 3}, {12, 13}, 0xFF8370, 0xCC2414));
}

// A sheet with its top right corner folded over; the area free to draw on
// is x 3..13, y 5..15 (more to the left of the fold).
void DrawSheet(Canvas& canvas) {
  canvas.FillOutlined(Polygon({{2, 0}, {10, 0}, {14, 4}, {14, 16}, {2, 16}}), Rgb(0x6B7480),
                      Shaded({2, 0}, {14, 16}, 0xFFFFFF, 0xDDE3EA));
  canvas.FillOutlined(Polygon({{9.5, 0}, {9.5, 4.5}, {14, 4.5}}), Rgb(0x6B7480),
                      Shaded({10, 0}, {14, 4}, 0xF4F6F8, 0xBFC7D0));
}

void DrawChartSheet(Canvas& canvas) {
  DrawSheet(canvas);
  struct Bar {
    double left;
    double top;
    std::uint32_t light;
    std::uint32_t dark;
  };
  for (const Bar& bar : {Bar{4, 9, 0x6FA8F0, 0x1F5FB8}, Bar{7, 5, 0x7EDB63, 0x2A8A1C},
                         Bar{10, 7, 0xFFC163, 0xD07810}}) {
    canvas.Fill(Rect(bar.left, bar.top, bar.left + 2, 14),
                Shaded({bar.left, 0}, {bar.left + 2, 0}, bar.light, bar.dark));
  }
  canvas.Fill(Rect(3, 14, 13, 15), Rgb(0x6B7480));
}

void DrawPlug(Canvas& canvas) {
  for (const double left : {4.0, 9.0}) {
    canvas.FillOutlined(Rect(left, 0, left + 3, 6), Rgb(0x6A6F76),
                        Shaded({left, 0}, {left + 3, 0}, 0xF2F4F6, 0xA7ADB4));
  }
  const Shape body =
      Union(RoundRect(2, 5, 14, 11, 1.5),
            Union(Polygon({{4, 10}, {12, 10}, {10, 13.5}, {6, 13.5}}), Rect(6.5, 13, 9.5, 16)));
  canvas.FillOutlined(body, Rgb(0x22262B), Shaded({4, 5}, {12, 14}, 0x7C8590, 0x353B42));
  canvas.Fill(Rect(3, 6, 13, 7), Rgb(0xFFFFFF, 0.25));
}

void DrawTickedSheet(Canvas& canvas) {
  DrawSheet(canvas);
  DrawTick(canvas, {{4.2, 9.3}, {7, 12.2}, {12.8, 5.8}}, 1.75);
}

void DrawWindowTools(Canvas& canvas) {
  canvas.Fill(Rect(0, 0, 14, 13), Rgb(0x42526A));
  canvas.Fill(Rect(1, 1, 13, 4), Shaded({0, 1}, {0, 4}, 0x7FB3EE, 0x2D6AC0));
  canvas.Fill(Rect(1, 4, 13, 12), Shaded({1, 4}, {13, 12}, 0xFFFFFF, 0xDCE3EB));

  // A spanner from the bottom right corner up into the window, its open jaw
  // facing up and left.
  const Point head = {7.4, 7.4};
  const Point jaw_end = {3, 3};
  const Shape slot = Polygon({Polar(head, 1.35, 135), Polar(head, 1.35, 315),
                              Polar(jaw_end, 1.35, 315), Polar(jaw_end, 1.35, 135)});
  const Shape spanner = Subtract(Union(Circle(head, 3.6), Capsule(head, {14.4, 14.4}, 1.55)), slot);
  canvas.FillOutlined(spanner, Rgb(0x262B31), Shaded({5, 5}, {14, 14}, 0xDCE2E8, 0x6C7580));
}

void DrawMagnifier(Canvas& canvas) {
  const Point lens = {6.5, 6.5};
  canvas.FillOutlined(Capsule({10.5, 10.5}, {14.2, 14.2}, 1.9), Rgb(0x241A12),
                      Shaded({10, 10}, {15, 15}, 0x9A6A42, 0x4A2E18));
  canvas.FillOutlined(Circle(lens, 6.1), Rgb(0x2E3640),
                      Shaded({1, 1}, {12, 12}, 0xD8DEE5, 0x6D7783));
  canvas.FillOutlined(Circle(lens, 4.2), Rgb(0x4A5664),
                      Shaded({3, 3}, {10, 10}, 0xE6F4FF, 0x8EC0EE));
  canvas.Fill(Intersect(Annulus(lens, 2.0, 3.0), Wedge(lens, 190, 260)), Rgb(0xFFFFFF, 0.9));
}

}  // namespace

Image DrawPicture(Picture picture) {
  Canvas canvas(kPictureSize, kPictureSize);
  switch (picture) {
    case Picture::kStart:
      DrawStart(canvas);
      break;
    case Picture::kStop:
      DrawStop(canvas);
      break;
    case Picture::kTick:
      DrawTick(canvas, {{2.6, 8.4}, {6.2, 12}, {13.4, 4}}, 2.1);
      break;
    case Picture::kCross:
      DrawCross(canvas);
      break;
    case Picture::kChartSheet:
      DrawChartSheet(canvas);
      break;
    case Picture::kPlug:
      DrawPlug(canvas);
      break;
    case Picture::kTickedSheet:
      DrawTickedSheet(canvas);
      break;
    case Picture::kWindowTools:
      DrawWindowTools(canvas);
      break;
    case Picture::kMagnifier:
      DrawMagnifier(canvas);
      break;
  }
  return canvas.ToImage();
}

Image DrawPictureStrip() {
  Image strip;
  strip.width = kPictureCount * kPictureSize;
  strip.height = kPictureSize;
  strip.rgba.assign(static_cast<std::size_t>(strip.width) * strip.height * 4, 0);
  constexpr std::size_t kRowBytes = std::size_t{kPictureSize} * 4;
  for (int i = 0; i < kPictureCount; ++i) {
    const Image picture = DrawPicture(static_cast<Picture>(i));
    for (std::size_t y = 0; y < kPictureSize; ++y) {
      const std::uint8_t* from = &picture.rgba[y * kRowBytes];
      std::copy(from, from + kRowBytes, &strip.rgba[(y * kPictureCount + i) * kRowBytes]);
    }
  }
  return strip;
}

}  // namespace quorvel::art
