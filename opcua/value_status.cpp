#include "opcua/value_status.h"

#include <charconv>

namespace quorvel::opcua {

std::uint32_t ValueStatus(poll::Outcome outcome) {
  switch (outcome) {
    case poll::Outcome::kGood:
      return kGood;
    case poll::Outcome::kNoReply:
      return kBadTimeout;
    case poll::Outcome::kTooLong:
      return kBadEncodingLimitsExceeded;
    case poll::Outcome::kBadReply:
      return kBadDataEncodingInvalid;
    case poll::Outcome::kArgumentsRefused:
      return kBadConfigurationError;
    case poll::Outcome::kCutOff:
    case poll::Outcome::kWriteFailed:
    case poll::Outcome::kReadFailed:
    case poll::Outcome::kPortUnavailable:
      return kBadCommunicationError;
  }
  return kBadCommunicationError;
}

std::optional<double> DecimalValue(std::string_view field) {
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  bool negative = false;
  if (!field.empty() && (field.front() == '-' || field.front() == '+')) {
    negative = field.front() == '-';
    field.remove_prefix(1);
  }
  // Digits and one point only: no exponent, no "inf" or "nan".
  bool digits = false;
  bool point = false;
  for (const char c : field) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  double value = 0;
  const auto [end, error] =
      std::from_chars(field.data(), field.data() + field.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace quorvel::opcua
