#include "base/civil_time.h"

#include <cstdio>

namespace quorvel {

std::string CivilTimeText(const CivilTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

}  // namespace quorvel
