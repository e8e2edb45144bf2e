// Where a window of its own stood and how big it was, kept in a section of
// the settings file: the line monitor opens where the user left it.
#pragma once

#include <string_view>

#include "config/profile.h"

namespace quorvel::config {

inline constexpr std::string_view kMonitorSection = "Monitor";

struct WindowPlace {
  int left = 0;
  int top = 0;
  int width = 0;  // 0: never placed, the window's own size and place
  int height = 0;

  bool operator==(const WindowPlace&) const = default;
};

// Reads the section's Left, Top, Width and Height over `place`; a size that
// is missing, not integer text or not positive leaves the whole place as it
// was, so a broken section never makes a window of no size.
void ReadWindowPlace(Profile& profile, std::string_view section, WindowPlace& place);
// False when the profile refused a key.
bool WriteWindowPlace(Profile& profile, std::string_view section, const WindowPlace& place);

}  // namespace quorvel::config
