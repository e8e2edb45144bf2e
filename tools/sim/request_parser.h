// Reading a request frame as a device on the bus would.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::sim {

enum class RequestCheck { kOk, kBadStart, kBadColon, kBadAddress, kBadCrc };

struct Request {
  RequestCheck check = RequestCheck::kBadStart;
  // The address digits as they were read, empty when there were none to read.
  std::string address_text;
  int address = -1;  // 0..254 when check is ok or bad-crc
  // Ok: the command. Otherwise the part of the frame that could not be read
  // further, so that the log shows what arrived.
  std::string command;
};

// Reads one frame, with or without its final CR.
Request ParseRequest(std::string_view frame);

// The channel of a reading command, "1;" CHANNEL ";", or nothing for any
// other command.
std::optional<std::uint32_t> ReadingChannel(std::string_view command);

std::string_view CheckName(RequestCheck check);

}  // namespace quorvel::sim
