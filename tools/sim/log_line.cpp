#include "tools/sim/log_line.h"

#include <cinttypes>
#include <cstdio>

namespace quorvel::sim {

std::string EscapeBytes(std::string_view bytes) {
  std::string text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F && byte != '\\') {
      text += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      text += hex;
    }
  }
  return text;
}

std::string FormatSeconds(Nanos time) {
  const std::int64_t us = time.count() / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, us / 1'000'000, us % 1'000'000);
  return text;
}

std::optional<std::uint32_t> BitsPerSecond(speed_t speed) {
  // The codes are not the rates themselves (B9600 is 015 on Linux).
  static constexpr struct {
    speed_t code;
    std::uint32_t rate;
  } kRates[] = {
      {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
      {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
      {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
      {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
  };
  for (const auto& entry : kRates) {
    if (entry.code == speed) return entry.rate;
  }
  return std::nullopt;
}

std::string FormatLogLine(Nanos time, std::string_view port, const Request& request, Answer answer,
                          std::optional<std::uint32_t> line_speed) {
  std::string line = FormatSeconds(time);
  line += ' ';
  line += port;
  line += " check=";
  line += CheckName(request.check);
  line += " addr=";
  line += request.address_text.empty() ? "-" : request.address_text;
  line += " cmd=";
  line += EscapeBytes(request.command);
  line += " answer=";
  line += AnswerName(answer);
  line += " line=";
  line += line_speed ? std::to_string(*line_speed) : std::string("-");
  return line;
}

std::string SentField(std::optional<Nanos> sent) {
  return " sent=" + (sent ? FormatSeconds(*sent) : std::string("-"));
}

}  // namespace quorvel::sim
