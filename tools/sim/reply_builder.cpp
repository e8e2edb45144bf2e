#include "tools/sim/reply_builder.h"

#include <cstdint>

#include "bus/crc16.h"

namespace quorvel::sim {

namespace {

struct FrameShape {
  int address = 0;
  bool bad_crc = false;
  bool extra_field = false;
};

// '!' ADDRESS ';' VALUE ';' [ "0;" ] CHECKSUM CR, the CR included.
std::string Frame(const FrameShape& shape, std::string_view value) {
  std::string body = std::to_string(shape.address);
  body += ';';
  body += value;
  body += ';';
  if (shape.extra_field) body += "0;";
  std::uint16_t checksum = bus::Crc16(body);
  if (shape.bad_crc) checksum = static_cast<std::uint16_t>(checksum + 1);
  return "!" + body + std::to_string(checksum) + "\r";
}

// A frame of exactly `length` characters whose value is a run of '1's. The
// checksum's digit count depends on the value, so the run lengths that could
// fit are each tried; should none fit, the run's last digit is varied.
std::string OverlongFrame(const FrameShape& shape, std::size_t length) {
  // '!', the address, ';' after it and after the value, the extra field, CR.
  const std::size_t fixed =
      1 + std::to_string(shape.address).size() + 2 + (shape.extra_field ? 2 : 0) + 1;
  for (char last : std::string_view("1234567890")) {
    for (std::size_t sum_digits = 5; sum_digits >= 1; --sum_digits) {
      if (fixed + sum_digits >= length) continue;
      std::string value(length - fixed - sum_digits, '1');
      value.back() = last;
      std::string frame = Frame(shape, value);
      if (frame.size() == length) return frame;
    }
  }
  return Frame(shape, std::string(length - fixed - 5, '1'));
}

std::string NoiseRun(std::size_t length) {
  std::string noise;
  for (std::size_t i = 0; i < length; ++i) noise += kNoise[i % kNoise.size()];
  return noise;
}

}  // namespace

std::string_view AnswerName(Answer answer) {
  switch (answer) {
    case Answer::kReply:
      return "reply";
    case Answer::kSilent:
      return "silent";
    case Answer::kNoDevice:
      return "no-device";
    case Answer::kNoChannel:
      return "no-channel";
    case Answer::kNotAReading:
      return "not-a-reading";
    case Answer::kNone:
      return "none";
  }
  return "?";
}

std::string ReplyFrame(int address, std::string_view value) {
  return Frame(FrameShape{.address = address}, value);
}

Reply BuildReply(int address, const Faults& faults, std::string_view value) {
  Reply reply;
  if (faults.silent) {
    reply.answer = Answer::kSilent;
    return reply;
  }
  reply.answer = Answer::kReply;
  reply.bytewise = faults.bytewise;
  reply.delay = faults.delay;
  if (faults.noise_only) {
    reply.bytes = NoiseRun(kNoiseOnlyLength);
    return reply;
  }

  const FrameShape shape{
      .address = faults.bad_addr ? (address + 1) % 255 : address,
      .bad_crc = faults.bad_crc,
      .extra_field = faults.extra_field,
  };
  std::string frame =
      faults.overlong ? OverlongFrame(shape, *faults.overlong) : Frame(shape, value);
  if (faults.partial) frame.pop_back();
  if (faults.noise) reply.bytes = kNoise;
  reply.bytes += frame;
  if (faults.trailing) reply.bytes += kTrailing;
  return reply;
}

}  // namespace quorvel::sim
