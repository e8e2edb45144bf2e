// What a reading is to an OPC UA client: the StatusCode of the Value
// variable for each outcome of an exchange, and the value field as a Double.
// The codes are the standard's numbers, so this layer needs no OPC UA
// library.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "poll/reading.h"

namespace quorvel::opcua {

inline constexpr std::uint32_t kGood = 0x00000000;
inline constexpr std::uint32_t kUncertainLastUsableValue = 0x40900000;
inline constexpr std::uint32_t kBadCommunicationError = 0x80050000;
inline constexpr std::uint32_t kBadTimeout = 0x800A0000;
inline constexpr std::uint32_t kBadWaitingForInitialData = 0x80320000;
inline constexpr std::uint32_t kBadDataEncodingInvalid = 0x80380000;
inline constexpr std::uint32_t kBadEncodingLimitsExceeded = 0x80080000;
inline constexpr std::uint32_t kBadConfigurationError = 0x80890000;

// A sensor never read (NONE).
inline constexpr std::uint32_t kNeverReadStatus = kBadWaitingForInitialData;
// A sensor whose device is left out of the poll for a while (DEMOTED): its
// last value stands, no longer renewed.
inline constexpr std::uint32_t kDemotedStatus = kUncertainLastUsableValue;

// OK Good; NO_REPLY BadTimeout; PARTIAL, WRITE, READ and PORT
// BadCommunicationError; OVERLONG BadEncodingLimitsExceeded; BAD_REPLY
// BadDataEncodingInvalid; PARAM BadConfigurationError.
std::uint32_t ValueStatus(poll::Outcome outcome);

// The reply's value field as a number, when it is a decimal one: an
// optional sign, digits with an optional point, blanks around it dropped.
std::optional<double> DecimalValue(std::string_view field);

}  // namespace quorvel::opcua
