#include "bus/line_settings.h"

namespace quorvel::bus {

LineSettings BusLineSettings(std::int32_t baud_rate) {
  LineSettings settings;
  settings.baud_rate = static_cast<std::uint32_t>(baud_rate);
  return settings;
}

std::string PortDisplayName(int index) {
  return "COM" + std::to_string(index + 1);
}

std::string PortDeviceName(int index) {
  return "\\\\.\\" + PortDisplayName(index);
}

}  // namespace quorvel::bus
