#include "tools/art/geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorvel::art {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Dot(Point a, Point b) {
  return a.x * b.x + a.y * b.y;
}

Point Minus(Point a, Point b) {
  return {a.x - b.x, a.y - b.y};
}

// Squared distance from p to the segment a-b.
double SegmentDistanceSquared(Point p, Point a, Point b) {
  const Point edge = Minus(b, a);
  const Point to_p = Minus(p, a);
  const double length_squared = Dot(edge, edge);
  const double t =
      length_squared > 0 ? std::clamp(Dot(to_p, edge) / length_squared, 0.0, 1.0) : 0.0;
  const Point off = {to_p.x - edge.x * t, to_p.y - edge.y * t};
  return Dot(off, off);
}

// Taylor series about 0, for |x| <= pi: the terms past x^27 are below the
// last bit of a double.
void SinCos(double x, double* sine, double* cosine) {
  double s = 0;
  double c = 0;
  double term = 1;  // x^n / n!
  for (int n = 0; n <= 27; ++n) {
    switch (n % 4) {
      case 0:
        c += term;
        break;
      case 1:
        s += term;
        break;
      case 2:
        c -= term;
        break;
      case 3:
        s -= term;
        break;
    }
    term = term * x / (n + 1);
  }
  *sine = s;
  *cosine = c;
}

}  // namespace

Point Polar(Point centre, double radius, double degrees) {
  // fmod is exact, so the reduction adds no error of its own.
  double turn = std::fmod(degrees, 360.0);
  if (turn > 180) turn -= 360;
  if (turn < -180) turn += 360;
  double sine = 0;
  double cosine = 0;
  SinCos(turn * (kPi / 180), &sine, &cosine);
  return {centre.x + radius * cosine, centre.y + radius * sine};
}

Shape Circle(Point centre, double radius) {
  return [=](Point p) {
    const Point d = Minus(p, centre);
    return std::sqrt(Dot(d, d)) - radius;
  };
}

Shape Capsule(Point a, Point b, double radius) {
  return [=](Point p) { return std::sqrt(SegmentDistanceSquared(p, a, b)) - radius; };
}

Shape Polyline(const std::vector<Point>& points, double radius) {
  return [=](Point p) {
    double nearest = SegmentDistanceSquared(p, points.front(), points.front());
    for (std::size_t i = 1; i < points.size(); ++i) {
      nearest = std::min(nearest, SegmentDistanceSquared(p, points[i - 1], points[i]));
    }
    return std::sqrt(nearest) - radius;
  };
}

Shape Polygon(std::vector<Point> corners) {
  return [corners = std::move(corners)](Point p) {
    double nearest = SegmentDistanceSquared(p, corners.back(), corners.front());
    bool inside = false;
    for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
      const Point a = corners[j];
      const Point b = corners[i];
      if (i > 0) nearest = std::min(nearest, SegmentDistanceSquared(p, a, b));
      // Even-odd count of the edges crossed by a ray from p to the right.
      if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) {
        inside = !inside;
      }
    }
    const double distance = std::sqrt(nearest);
    return inside ? -distance : distance;
  };
}

Shape Rect(double left, double top, double right, double bottom) {
  return RoundRect(left, top, right, bottom, 0);
}

Shape RoundRect(double left, double top, double right, double bottom, double radius) {
  const Point centre = {(left + right) / 2, (top + bottom) / 2};
  const Point half = {(right - left) / 2 - radius, (bottom - top) / 2 - radius};
  return [=](Point p) {
    const double qx = std::abs(p.x - centre.x) - half.x;
    const double qy = std::abs(p.y - centre.y) - half.y;
    const double ox = std::max(qx, 0.0);
    const double oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
  };
}

Shape Annulus(Point centre, double inner_radius, double outer_radius) {
  const double middle = (inner_radius + outer_radius) / 2;
  const double half_width = (outer_radius - inner_radius) / 2;
  return [=](Point p) {
    const Point d = Minus(p, centre);
    return std::abs(std::sqrt(Dot(d, d)) - middle) - half_width;
  };
}

Shape Wedge(Point centre, double from_degrees, double to_degrees) {
  // Two half-planes through the centre; each side's normal points out of the wedge.
  const Point from = Minus(Polar(centre, 1, from_degrees), centre);
  const Point to = Minus(Polar(centre, 1, to_degrees), centre);
  const Point from_out = {from.y, -from.x};
  const Point to_out = {-to.y, to.x};
  return [=](Point p) {
    const Point d = Minus(p, centre);
    return std::max(Dot(d, from_out), Dot(d, to_out));
  };
}

Shape Union(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](Point p) { return std::min(a(p), b(p)); };
}

Shape Subtract(Shape from, Shape cut) {
  return [from = std::move(from), cut = std::move(cut)](Point p) {
    return std::max(from(p), -cut(p));
  };
}

Shape Intersect(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](Point p) { return std::max(a(p), b(p)); };
}

Shape Grow(Shape shape, double amount) {
  return [shape = std::move(shape), amount](Point p) { return shape(p) - amount; };
}

Shape Shift(Shape shape, double dx, double dy) {
  return [shape = std::move(shape), dx, dy](Point p) { return shape({p.x - dx, p.y - dy}); };
}

}  // namespace quorvel::art
