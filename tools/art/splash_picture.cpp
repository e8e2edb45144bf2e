#include "tools/art/splash_picture.h"

#include <cmath>
#include <string_view>
#include <vector>

#include "tools/art/canvas.h"
#include "tools/art/geometry.h"
#include "tools/art/pixel_font.h"
#include "tools/art/program_icon.h"

namespace quorvel::art {

namespace {

constexpr double kWidth = kSplashWidth;
constexpr double kHeight = kSplashHeight;

// The gauge's scale, as on the program's icon: clockwise from the lower
// left over the top to the lower right, the last fifth the red zone.
constexpr double kScaleStart = 135;
constexpr double kScaleEnd = 405;
constexpr double kRedFrom = 351;
constexpr double kNeedle = 300;

// Fills only the pixels of the square round a circle's bounds.
void FillAround(Canvas& canvas, const Shape& shape, const Paint& paint, Point centre,
                double radius) {
  canvas.Fill(shape, paint, static_cast<int>(std::floor(centre.x - radius - 1)),
              static_cast<int>(std::floor(centre.y - radius - 1)),
              static_cast<int>(std::ceil(centre.x + radius + 1)),
              static_cast<int>(std::ceil(centre.y + radius + 1)));
}

// Text centred on `centre_x`.
void DrawText(Canvas& canvas, std::u32string_view text, double centre_x, double top, double scale,
              double dot, const Paint& paint) {
  const double width = TextWidth(text, scale);
  const double left = std::round((centre_x - width / 2) * 2) / 2;
  canvas.Fill(TextShape(text, {left, top}, scale, dot), paint, static_cast<int>(left) - 1,
              static_cast<int>(top) - 1, static_cast<int>(std::ceil(left + width)) + 1,
              static_cast<int>(std::ceil(top + kFontRows * scale)) + 1);
}

void DrawGauge(Canvas& canvas, Point centre, double radius) {
  const double r = radius;
  FillAround(canvas, Circle(centre, r + 3), Rgb(0x000000, 0.35), {centre.x, centre.y + 3}, r + 1);
  canvas.FillOutlined(Circle(centre, r), Rgb(0x0E1319),
                      Paint::Linear({centre.x - r, centre.y - r}, Rgb(0xD2DAE3),
                                    {centre.x + r, centre.y + r}, Rgb(0x46515E)),
                      1.5);
  const double face = r - 8;
  canvas.FillOutlined(Circle(centre, face), Rgb(0x2A313A),
                      Paint::Linear({centre.x - face, centre.y - face}, Rgb(0xFFFFFF),
                                    {centre.x + face, centre.y + face}, Rgb(0xD3DDE8)),
                      1.2);

  // The scale: a thin arc, the red band at its end, ticks across it.
  const double outer = face - 5;
  const Shape arc = Annulus(centre, outer - 1.2, outer);
  canvas.Fill(Intersect(arc, Union(Wedge(centre, kScaleStart, kScaleStart + 108),
                                   Wedge(centre, kScaleStart + 108, kRedFrom))),
              Rgb(0x27303A));
  canvas.Fill(Intersect(Annulus(centre, outer - 6, outer), Wedge(centre, kRedFrom, kScaleEnd)),
              Rgb(0xE0281C));
  const int ticks = 50;
  for (int i = 0; i <= ticks; ++i) {
    const double angle = kScaleStart + (kScaleEnd - kScaleStart) * i / ticks;
    const bool major = i % 5 == 0;
    const Point from = Polar(centre, outer - (major ? 10 : 5), angle);
    const Point to = Polar(centre, outer - 0.5, angle);
    const Shape tick = Capsule(from, to, major ? 1.1 : 0.55);
    canvas.Fill(tick, Rgb(0x27303A), static_cast<int>(std::min(from.x, to.x)) - 2,
                static_cast<int>(std::min(from.y, to.y)) - 2,
                static_cast<int>(std::max(from.x, to.x)) + 3,
                static_cast<int>(std::max(from.y, to.y)) + 3);
  }

  // The reading, as a dot-matrix display under the hub.
  const Shape window = RoundRect(centre.x - 22, centre.y + 22, centre.x + 22, centre.y + 36, 2);
  canvas.Fill(window, Rgb(0x10161C), static_cast<int>(centre.x) - 23,
              static_cast<int>(centre.y) + 21, static_cast<int>(centre.x) + 24,
              static_cast<int>(centre.y) + 38);
  DrawText(canvas, U"21.2", centre.x, centre.y + 24.5, 1.3, 0.8, Rgb(0x4CE08A));

  // Needle and hub.
  const double needle_length = outer - 4;
  const double half = 3.6;
  const Shape needle =
      Polygon({Polar(centre, needle_length, kNeedle), Polar(centre, half, kNeedle + 90),
               Polar(centre, half * 3, kNeedle + 180), Polar(centre, half, kNeedle - 90)});
  FillAround(canvas, Grow(needle, 0.6), Rgb(0x7A0E08), centre, needle_length + 1);
  FillAround(
      canvas, needle,
      Paint::Linear(centre, Rgb(0xFF5A3C), Polar(centre, needle_length, kNeedle), Rgb(0xC81A10)),
      centre, needle_length + 1);
  const double hub = 7;
  canvas.FillOutlined(Circle(centre, hub), Rgb(0x1E242B),
                      Paint::Linear({centre.x - hub, centre.y - hub}, Rgb(0x9AA5B1),
                                    {centre.x + hub, centre.y + hub}, Rgb(0x2F3740)),
                      1.2);
}

// A sensor's readings on a small scope screen: a grid and a trace that
// settles after a step.
void DrawTrace(Canvas& canvas, double left, double top, double right, double bottom) {
  const int l = static_cast<int>(left) - 1;
  const int t = static_cast<int>(top) - 1;
  const int r = static_cast<int>(right) + 1;
  const int b = static_cast<int>(bottom) + 1;
  canvas.Fill(RoundRect(left, top, right, bottom, 4), Rgb(0x0A0F14), l, t, r, b);
  const Paint grid = Rgb(0x2C6A4A, 0.55);
  for (double x = left + 15; x < right - 1; x += 15) {
    canvas.Fill(Rect(x, top + 3, x + 1, bottom - 3), grid, l, t, r, b);
  }
  for (double y = top + 10; y < bottom - 1; y += 10) {
    canvas.Fill(Rect(left + 3, y, right - 3, y + 1), grid, l, t, r, b);
  }

  std::vector<Point> points;
  const double base = top + (bottom - top) * 0.72;
  const double high = top + (bottom - top) * 0.3;
  const int steps = 120;
  for (int i = 0; i <= steps; ++i) {
    const double u = static_cast<double>(i) / steps;
    const double x = left + 6 + (right - left - 12) * u;
    double y = base;
    if (u > 0.22) {
      // A damped swing round the new level, then a little noise-like ripple.
      const double s = (u - 0.22) / 0.78;
      const double swing = Polar({0, 0}, 1, s * 1440).y;
      const double damping = 1 / (1 + 14 * s);
      const double ripple = Polar({0, 0}, 1.2, s * 5000).y;
      y = high + (base - high) * 0.45 * swing * damping + ripple;
    }
    points.push_back({x, y});
  }
  canvas.Fill(Polyline(points, 2.2), Rgb(0x4CE08A, 0.25), l, t, r, b);
  canvas.Fill(Polyline(points, 0.8), Rgb(0x7CF5AE), l, t, r, b);
}

}  // namespace

Image DrawSplashPicture() {
  Canvas canvas(kSplashWidth, kSplashHeight);
  canvas.Fill(Rect(0, 0, kWidth, kHeight),
              Paint::Linear({0, 0}, Rgb(0x16202C), {0, kHeight}, Rgb(0x2B3A4D)));
  canvas.Fill(Subtract(RoundRect(3, 3, kWidth - 3, kHeight - 3, 8),
                       RoundRect(4, 4, kWidth - 4, kHeight - 4, 7)),
              Rgb(0x5A6B80));

  // The name beside the program's icon, the version below it.
  canvas.Draw(DrawProgramIcon(48), 14, 16);
  const Paint title =
      Paint::Linear({0, 26}, Rgb(0xF4F8FC), {0, 26 + kFontAscent * 4}, Rgb(0x9FC3E8));
  canvas.Fill(TextShape(U"Quorvel", {72, 26}, 4, 0.86), title, 70, 24, 230, 64);
  const double version_width = TextWidth(U"v.2.1", 2);
  canvas.Fill(TextShape(U"v.2.1", {224 - version_width, 62}, 2), Rgb(0xF0B040), 150, 60, 230, 82);
  canvas.Fill(Rect(14, 88, kWidth - 14, 89), Rgb(0x5A6B80, 0.7));

  DrawGauge(canvas, {kWidth / 2, 172}, 72);
  DrawTrace(canvas, 16, 258, kWidth - 16, 314);

  const Paint subtitle = Rgb(0xC8D4E2);
  DrawText(canvas, U"DDE-сервер", kWidth / 2, 321, 1.5, 1.0, subtitle);
  DrawText(canvas, U"измерительных приборов", kWidth / 2, 337, 1.5, 1.0, subtitle);
  return canvas.ToImage();
}

}  // namespace quorvel::art
