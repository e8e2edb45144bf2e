// The local time zone of the Windows user, with its summer-time rules.
#pragma once

#include "base/civil_time.h"

namespace quorvel {

class Win32LocalTimeZone final : public LocalTimeZone {
 public:
  CivilTime LocalOf(std::int64_t utc_ns) override;
};

}  // namespace quorvel
