// Plane geometry of the pictures. Coordinates are in pixels, x to the right
// and y downwards; pixel (i, j) covers [i, i + 1) x [j, j + 1), so an edge on
// a whole number falls between two pixels and comes out crisp.
#pragma once

#include <functional>
#include <vector>

namespace quorvel::art {

struct Point {
  double x = 0;
  double y = 0;
};

// The point at `radius` from `centre` in the direction `degrees`, counted
// clockwise on screen from the positive x axis (0 is right, 90 is down).
//
// Computed with correctly rounded arithmetic only, not with the C library's
// sin and cos, whose last bits differ between libraries: the committed
// pictures must come out byte for byte the same on every build machine.
Point Polar(Point centre, double radius, double degrees);

// A region of the plane by its signed distance to its edge: negative inside,
// positive outside. Filling needs only the sign; the distance lets a shape
// grow or shrink, which is how outlines are drawn. Union, Subtract and
// Intersect give the right sign but only a bound on the distance away from
// the edge, enough for growing by a pixel or two.
using Shape = std::function<double(Point)>;

Shape Circle(Point centre, double radius);
// The points within `radius` of the segment from a to b: a line with round ends.
Shape Capsule(Point a, Point b, double radius);
// Round-ended lines through the points in turn, joined without gaps.
Shape Polyline(const std::vector<Point>& points, double radius);
// Corners in order, either way round; need not be convex but must not cross itself.
Shape Polygon(std::vector<Point> corners);
Shape Rect(double left, double top, double right, double bottom);
Shape RoundRect(double left, double top, double right, double bottom, double radius);
// The ring between two circles round `centre`.
Shape Annulus(Point centre, double inner_radius, double outer_radius);
// The part of the plane between the directions `from_degrees` and
// `to_degrees` (clockwise, less than a half turn apart) seen from `centre`.
Shape Wedge(Point centre, double from_degrees, double to_degrees);

Shape Union(Shape a, Shape b);
Shape Subtract(Shape from, Shape cut);
Shape Intersect(Shape a, Shape b);
// Moves the edge outwards by `amount`, inwards when it is negative.
Shape Grow(Shape shape, double amount);
// Moves the whole shape by (dx, dy).
Shape Shift(Shape shape, double dx, double dy);

}  // namespace quorvel::art
