#include "tools/sim/request_parser.h"

#include <charconv>

#include "bus/crc16.h"

namespace quorvel::sim {

namespace {

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::optional<std::uint32_t> ReadNumber(std::string_view digits) {
  std::uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// True when `body` splits at `split` into text and a checksum of it: 1 to 5
// digits without leading zeros whose value is the CRC of the text.
bool ChecksumSplitsAt(std::string_view body, std::size_t split) {
  const std::string_view sum = body.substr(split);
  if (sum.size() > 5 || !IsDigits(sum)) return false;
  if (sum.size() > 1 && sum[0] == '0') return false;
  const auto value = ReadNumber(sum);
  return value && *value == bus::Crc16(body.substr(0, split));
}

}  // namespace

Request ParseRequest(std::string_view frame) {
  if (!frame.empty() && frame.back() == '\r') frame.remove_suffix(1);
  Request request;
  request.command = std::string(frame);
  if (frame.empty() || frame[0] != '\xFF') {
    request.check = RequestCheck::kBadStart;
    return request;
  }
  if (frame.size() < 2 || frame[1] != ':') {
    request.check = RequestCheck::kBadColon;
    return request;
  }

  // The checksum covers the body: the address, its ';' and the command.
  const std::string_view body = frame.substr(2);
  const std::size_t semicolon = body.find(';');
  const std::string_view address = body.substr(0, semicolon);
  if (IsDigits(address) && address.size() <= 9) request.address_text = std::string(address);
  const bool readable = semicolon != std::string_view::npos && IsDigits(address) &&
                        address.size() <= 3 && (address.size() == 1 || address[0] != '0');
  const std::uint32_t number = readable ? ReadNumber(address).value_or(255) : 255;
  if (number > 254) {
    request.check = RequestCheck::kBadAddress;
    request.command = std::string(body);
    return request;
  }
  request.address = static_cast<int>(number);

  // A command may end in digits itself, so the checksum's start is found by
  // trying where it usually begins, after the last ';', then every other
  // place that leaves 1 to 5 digits.
  const std::size_t command_start = semicolon + 1;
  const std::size_t usual = body.rfind(';') + 1;
  std::optional<std::size_t> split;
  if (ChecksumSplitsAt(body, usual)) split = usual;
  for (std::size_t digits = 1; !split && digits <= 5 && digits <= body.size() - command_start;
       ++digits) {
    const std::size_t at = body.size() - digits;
    if (at != usual && ChecksumSplitsAt(body, at)) split = at;
  }
  if (!split) {
    request.check = RequestCheck::kBadCrc;
    request.command = std::string(body.substr(command_start));
    return request;
  }
  request.check = RequestCheck::kOk;
  request.command = std::string(body.substr(command_start, *split - command_start));
  return request;
}

std::optional<std::uint32_t> ReadingChannel(std::string_view command) {
  if (!command.starts_with("1;") || !command.ends_with(";") || command.size() < 4) {
    return std::nullopt;
  }
  const std::string_view channel = command.substr(2, command.size() - 3);
  if (!IsDigits(channel) || channel.size() > 9) return std::nullopt;
  return ReadNumber(channel);
}

std::string_view CheckName(RequestCheck check) {
  switch (check) {
    case RequestCheck::kOk:
      return "ok";
    case RequestCheck::kBadStart:
      return "bad-start";
    case RequestCheck::kBadColon:
      return "bad-colon";
    case RequestCheck::kBadAddress:
      return "bad-address";
    case RequestCheck::kBadCrc:
      return "bad-crc";
  }
  return "?";
}

}  // namespace quorvel::sim
