// Status codes of the bus link, kept per port, and the messages the user sees.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel::bus {

enum StatusCode : std::int32_t {
  kStatusOk = 0,
  kStatusCannotOpen = 5,      // CreateFile failed
  kStatusBadSettings = 6,     // the port refused a line setting
  kStatusBadReply = 7,        // time-out after '!' without the CR
  kStatusEepromWrite = 8,     // not set by this program
  kStatusNoReply = 9,         // time-out before any '!'
  kStatusUnknownDevice = 10,  // not set by this program
  kStatusBadLength = 15,      // the reply reached 250 characters
  kStatusWriteFailed = 16,    // write failed or was short
  kStatusAborted = 17,        // not set by this program
  kStatusReadFailed = 18,     // a read failed
  kStatusBadArgument = 19,    // command over 230 bytes or address outside 0..254
  kStatusEepromRead = 20,     // not set by this program
  kStatusNotCharDevice = 21,  // opened, but not a character device
};

// The message of a status code, in Windows-1251. Codes without a message of
// their own give "Неизвестная ошибка  " followed by the code in decimal.
std::string StatusText(std::int32_t Code);

}  // namespace quorvel::bus
