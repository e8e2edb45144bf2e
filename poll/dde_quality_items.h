// The quality and time items as a sink: at every reading of a sensor its
// quality item gets the word of the outcome and its time item the local time
// of the sensor's last good reading; both are advised each time, right after
// the value item. A demotion makes the quality item read DEMOTED.
#pragma once

#include <string_view>

#include "base/civil_time.h"
#include "poll/dde_components.h"
#include "poll/reading.h"

namespace quorvel::poll {

inline constexpr std::string_view kDemotedWord = "DEMOTED";

// OK, NO_REPLY, PARTIAL, OVERLONG, WRITE, READ, PARAM, BAD_REPLY or PORT.
std::string_view QualityWord(Outcome outcome);

class DdeQualityItems final : public ReadingSink {
 public:
  DdeQualityItems(DdeComponents& items, LocalTimeZone& zone) : items_(items), zone_(zone) {}
  void Take(const Reading& reading) override;
  void Demoted(int item) override;

 private:
  DdeComponents& items_;
  LocalTimeZone& zone_;
};

}  // namespace quorvel::poll
