// The local time of day as the console tools print it: "hh:mm:ss.mmm".
#pragma once

#include <string>

namespace quorvel::tools {

std::string ClockText();

}  // namespace quorvel::tools
