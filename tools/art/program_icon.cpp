#include "tools/art/program_icon.h"

#include <algorithm>
#include <vector>

#include "tools/art/canvas.h"
#include "tools/art/geometry.h"

namespace quorvel::art {

namespace {

// The scale runs clockwise from the lower left (135 degrees) over the top to
// the lower right (405 degrees); the last fifth is the red zone.
constexpr double kScaleStart = 135;
constexpr double kScaleEnd = 405;
constexpr double kRedFrom = 351;
constexpr double kNeedle = 315;

}  // namespace

Image DrawProgramIcon(int size) {
  Canvas canvas(size, size);
  const double s = size;
  const bool small = size < 32;
  const Point centre = {s / 2, s / 2};
  const double unit = s / 48;  // the design is drawn at 48 pixels
  const double edge = std::max(1.0, unit);
  const double radius = s / 2 - 0.2;

  // Bezel and face.
  canvas.FillOutlined(
      Circle(centre, radius), Rgb(0x2A313A),
      Paint::Linear({s * 0.2, s * 0.1}, Rgb(0xF3F6F9), {s * 0.8, s * 0.9}, Rgb(0x6E7986)), edge);
  const double face = small ? radius - 1.8 : radius - 5 * unit;
  canvas.FillOutlined(
      Circle(centre, face), Rgb(small ? 0x56606C : 0x3A4450),
      Paint::Linear({s * 0.3, s * 0.2}, Rgb(0xFFFFFF), {s * 0.7, s * 0.9}, Rgb(0xD9E3EE)),
      small ? 0.7 : edge);

  // The scale: a red band at its end, tick marks across it.
  const double scale_outer = small ? face - 0.6 : face - 2.5 * unit;
  const double band = small ? 1.4 : 2.5 * unit;
  canvas.Fill(Intersect(Annulus(centre, scale_outer - band, scale_outer),
                        Wedge(centre, kRedFrom, kScaleEnd)),
              Rgb(0xE0281C));
  if (!small) {
    const int ticks = 10;
    for (int i = 0; i <= ticks; ++i) {
      const double angle = kScaleStart + (kScaleEnd - kScaleStart) * i / ticks;
      const double length = (i % 2 == 0 ? 5 : 3) * unit;
      canvas.Fill(Capsule(Polar(centre, scale_outer - length, angle),
                          Polar(centre, scale_outer - 0.5 * unit, angle), 0.8 * unit),
                  Rgb(0x27303A));
    }

    // A signal under the hub: the readings the program passes on.
    std::vector<Point> wave;
    const double half_width = face * 0.34;
    const double base = centre.y + face * 0.5;
    const int steps = 24;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const double dy = Polar({0, 0}, face * 0.1, 360 * t).y;
      wave.push_back({centre.x - half_width + 2 * half_width * t, base - dy});
    }
    canvas.Fill(Polyline(wave, 1.3 * unit), Rgb(0x1F6FD0));
  }

  // Needle and hub.
  const double needle_length = small ? scale_outer - 0.3 : scale_outer - 1.5 * unit;
  const double needle_half = small ? 0.9 : 1.8 * unit;
  const double line = small ? 0.7 : 0.8 * unit;
  const Shape needle = Polygon(
      {Polar(centre, needle_length, kNeedle), Polar(centre, needle_half, kNeedle + 90),
       Polar(centre, needle_half * 1.6, kNeedle + 180), Polar(centre, needle_half, kNeedle - 90)});
  canvas.FillOutlined(
      Grow(needle, line / 2), Rgb(0x7A0E08),
      Paint::Linear(centre, Rgb(0xFF5A3C), Polar(centre, needle_length, kNeedle), Rgb(0xC81A10)),
      line);
  const double hub = small ? 1.7 : 3.8 * unit;
  canvas.FillOutlined(Circle(centre, hub), Rgb(0x1E242B),
                      Paint::Linear({centre.x - hub, centre.y - hub}, Rgb(0x9AA5B1),
                                    {centre.x + hub, centre.y + hub}, Rgb(0x2F3740)),
                      line);
  return canvas.ToImage();
}

}  // namespace quorvel::art
