#include <windows.h>

#include <cstdio>

#include "tools/clock_text.h"

namespace quorvel::tools {

std::string ClockText() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond,
                t.wMilliseconds);
  return text;
}

}  // namespace quorvel::tools
