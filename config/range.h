// The range a numeric setting is held in.
#pragma once

namespace quorvel::config {

struct Range {
  int min;
  int max;
  int Clamp(int value) const { return value < min ? min : value > max ? max : value; }
  bool Holds(int value) const { return value >= min && value <= max; }
};

}  // namespace quorvel::config
