// What a device sends back, faults included. Pure: the I/O side only paces
// and writes the bytes.
#pragma once

#include <string>
#include <string_view>

#include "tools/sim/sim_config.h"
#include "tools/sim/sim_time.h"

namespace quorvel::sim {

// How a request was answered, as the log names it.
enum class Answer { kReply, kSilent, kNoDevice, kNoChannel, kNotAReading, kNone };

std::string_view AnswerName(Answer answer);

struct Reply {
  Answer answer = Answer::kNone;
  std::string bytes;      // empty unless answer is kReply
  bool bytewise = false;  // each byte once the previous one has been read
  Nanos delay{0};         // from the request's arrival to the reply's start
};

inline constexpr std::string_view kNoise = "#@x*";
inline constexpr std::size_t kNoiseOnlyLength = 200;
inline constexpr std::string_view kTrailing = "!9;77;1\r";

// The well-formed reply: '!' ADDRESS ';' VALUE ';' CHECKSUM CR.
std::string ReplyFrame(int address, std::string_view value);

// What a device at `address` with `faults` sends for a reading `value`.
Reply BuildReply(int address, const Faults& faults, std::string_view value);

}  // namespace quorvel::sim
