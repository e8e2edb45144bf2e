// The state of the link to the broker as the settings page tells it: off,
// connecting, connected, or refused with the reason in words a plant
// engineer can act on, and how many messages wait and were dropped.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel::mqtt {

enum class LinkPhase { kOff, kConnecting, kConnected, kRefused };

enum class Refusal {
  kNone,
  kBadCredentials,  // the broker refused the user name or password
  kNotAuthorised,   // the broker refused this client
  kUnknownHost,     // the host name does not resolve
  kNoBroker,        // nothing accepts connections at that address and port
  kCertificate,     // the broker's certificate is not trusted or not for this host
  kCaFile,          // the authority's file cannot be read
  kTls,             // another failure of the secure connection
  kLost,            // the connection broke
  kOther,           // any other refusal; `code` tells
};

struct LinkStatus {
  LinkPhase phase = LinkPhase::kOff;
  Refusal refusal = Refusal::kNone;
  int code = 0;  // the library's or the broker's code of an kOther refusal
  std::uint64_t queued = 0;
  std::uint64_t dropped = 0;

  bool operator==(const LinkStatus&) const = default;
};

// A Windows-1251 text: the phase (and reason), then the queue's counts
// while the link is on.
std::string LinkStatusText(const LinkStatus& status);

}  // namespace quorvel::mqtt
