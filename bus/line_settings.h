// The line settings every bus port gets when it is opened, as plain values.
// The Win32 layer copies them field by field into DCB and COMMTIMEOUTS.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel::bus {

// Device control block. `flags` is the DCB's bit-field word:
//   bit 0 fBinary 1, bit 1 fParity 0, bits 2-3 CTS/DSR flow 0,
//   bits 4-5 fDtrControl 1 (enable), bit 6 fDsrSensitivity 0,
//   bit 7 fTXContinueOnXoff 0, bits 8-9 XON/XOFF 0, bit 10 fErrorChar 0,
//   bit 11 fNull 0, bits 12-13 fRtsControl 1 (enable), bit 14 fAbortOnError 0.
// That is 8N1, no flow control, DTR and RTS raised. XonLim/XoffLim are set
// although XON/XOFF is off; devices have always seen these values.
struct LineSettings {
  std::uint32_t dcb_length = 28;
  std::uint32_t baud_rate = 9600;
  std::uint32_t flags = 0x1011;
  std::uint16_t xon_lim = 0;
  std::uint16_t xoff_lim = 1299;
  std::uint8_t byte_size = 8;
  std::uint8_t parity = 0;     // NOPARITY
  std::uint8_t stop_bits = 0;  // ONESTOPBIT
  char xon_char = 0;
  char xoff_char = 0;
  char error_char = 0;
  char eof_char = 0;
  char evt_char = 0;
};

// Reads return at once with whatever has arrived; a write of n bytes may take
// 100 + 50 * n milliseconds before it fails.
struct LineTimeouts {
  std::uint32_t read_interval = 0xFFFFFFFF;
  std::uint32_t read_total_multiplier = 0;
  std::uint32_t read_total_constant = 0;
  std::uint32_t write_total_multiplier = 50;
  std::uint32_t write_total_constant = 100;
};

inline constexpr std::uint32_t kInputQueueSize = 300;
inline constexpr std::uint32_t kOutputQueueSize = 300;

LineSettings BusLineSettings(std::int32_t baud_rate);

// "COM" and the number (1-based), as the user sees it.
std::string PortDisplayName(int index);  // index 0..31
// The name handed to CreateFile: the device namespace form "\\.\COMn", the
// only form that opens COM10 and above.
std::string PortDeviceName(int index);  // index 0..31

}  // namespace quorvel::bus
