#include "config/window_place.h"

#include <optional>
#include <string>

#include "config/integer_text.h"

namespace quorvel::config {

void ReadWindowPlace(Profile& profile, std::string_view section, WindowPlace& place) {
  const auto read = [&](std::string_view key) {
    return ParseIntegerText(profile.Read(section, key, ""));
  };
  const std::optional<std::int32_t> left = read("Left"), top = read("Top"), width = read("Width"),
                                    height = read("Height");
  if (!left || !top || !width || !height || *width <= 0 || *height <= 0) return;
  place = {*left, *top, *width, *height};
}

bool WriteWindowPlace(Profile& profile, std::string_view section, const WindowPlace& place) {
  return profile.Write(section, "Left", std::to_string(place.left)) &&
         profile.Write(section, "Top", std::to_string(place.top)) &&
         profile.Write(section, "Width", std::to_string(place.width)) &&
         profile.Write(section, "Height", std::to_string(place.height));
}

}  // namespace quorvel::config
