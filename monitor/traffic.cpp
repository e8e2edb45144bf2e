#include "monitor/traffic.h"

#include <array>
#include <cstdio>
#include <utility>

#include "bus/frame.h"
#include "monitor/counters.h"
#include "poll/dde_quality_items.h"
#include "poll/poll_run.h"

namespace quorvel::monitor {

namespace {

constexpr std::array<std::string_view, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& text, unsigned char byte) {
  text += kHexDigits[byte >> 4];
  text += kHexDigits[byte & 0x0F];
}

}  // namespace

TrafficRing::TrafficRing(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {
  lines_.reserve(capacity_);
}

void TrafficRing::Add(TrafficLine line) {
  ++added_;
  if (lines_.size() < capacity_) {
    lines_.push_back(std::move(line));
    return;
  }
  // Full: the oldest is written over and the next one becomes the oldest.
  lines_[oldest_] = std::move(line);
  oldest_ = (oldest_ + 1) % capacity_;
}

void TrafficRing::AddExchange(const poll::Reading& reading) {
  const bool sent = RequestSent(reading.outcome);
  if (sent) {
    Add({reading.request_utc_ns, Direction::kRequest, reading.address,
         bus::BuildRequest(poll::ReadingCommand(reading.channel), reading.address),
         reading.outcome});
  }
  Add({reading.end_utc_ns, Direction::kReply, reading.address, sent ? reading.reply : "",
       reading.outcome});
}

const TrafficLine& TrafficRing::operator[](std::size_t i) const {
  return lines_[(oldest_ + i) % lines_.size()];
}

void TrafficRing::Clear() {
  // A vector keeps its storage when cleared: the ring fills it again.
  lines_.clear();
  oldest_ = 0;
}

std::string EscapedBytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '<') {
      text += "<LT>";
    } else if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else if (byte < 0x20) {
      text += '<';
      text += kControlNames[byte];
      text += '>';
    } else if (byte == 0x7F) {
      text += "<DEL>";
    } else {
      text += "<x";
      AppendHex(text, byte);
      text += '>';
    }
  }
  return text;
}

std::string HexBytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    if (!text.empty()) text += ' ';
    AppendHex(text, static_cast<unsigned char>(c));
  }
  return text;
}

std::string TrafficText(const TrafficLine& line, const CivilTime& local, bool hex) {
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", local.hour, local.minute, local.second,
                local.millisecond);
  const bool reply = line.direction == Direction::kReply;
  std::string text = time;
  text += reply ? "\t<\t" : "\t>\t";
  text += std::to_string(line.address);
  text += '\t';
  text += hex ? HexBytes(line.bytes) : EscapedBytes(line.bytes);
  text += '\t';
  if (reply) text += poll::QualityWord(line.outcome);
  return text;
}

bool MatchesDevice(const TrafficLine& line, std::optional<std::int32_t> device) {
  return !device || line.address == *device;
}

}  // namespace quorvel::monitor
