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

std::string FormatLogLine(Nanos time, std::string_view port, const Request& request,
                          Answer answer) {
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
  return line;
}

std::string SentField(std::optional<Nanos> sent) {
  return " sent=" + (sent ? FormatSeconds(*sent) : std::string("-"));
}

}  // namespace quorvel::sim
