// CRC-16/MODBUS: polynomial 0x8005 taken least significant bit first (0xA001),
// initial value 0xFFFF, no final XOR. Check value over "123456789": 0x4B37.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorvel::bus {

inline constexpr std::uint16_t kCrc16Initial = 0xFFFF;

// Updates the running value with one byte.
constexpr void Crc16Step(std::uint16_t& crc, std::uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                    : static_cast<std::uint16_t>(crc >> 1);
  }
}

constexpr std::uint16_t Crc16(std::string_view bytes) {
  std::uint16_t crc = kCrc16Initial;
  for (char c : bytes) Crc16Step(crc, static_cast<std::uint8_t>(c));
  return crc;
}

}  // namespace quorvel::bus
