#include "poll/reading.h"

#include "bus/status_text.h"

namespace quorvel::poll {

Outcome OutcomeOfStatus(std::int32_t status) {
  switch (status) {
    case bus::kStatusNoReply:
      return Outcome::kNoReply;
    case bus::kStatusBadReply:
      return Outcome::kCutOff;
    case bus::kStatusBadLength:
      return Outcome::kTooLong;
    case bus::kStatusWriteFailed:
      return Outcome::kWriteFailed;
    case bus::kStatusReadFailed:
      return Outcome::kReadFailed;
    case bus::kStatusBadArgument:
      return Outcome::kArgumentsRefused;
    case bus::kStatusCannotOpen:
    case bus::kStatusBadSettings:
    case bus::kStatusNotCharDevice:
      return Outcome::kPortUnavailable;
    default:
      return Outcome::kBadReply;
  }
}

}  // namespace quorvel::poll
