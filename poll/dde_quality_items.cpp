#include "poll/dde_quality_items.h"

#include <string>

namespace quorvel::poll {

std::string_view QualityWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::kGood:
      return "OK";
    case Outcome::kNoReply:
      return "NO_REPLY";
    case Outcome::kCutOff:
      return "PARTIAL";
    case Outcome::kTooLong:
      return "OVERLONG";
    case Outcome::kWriteFailed:
      return "WRITE";
    case Outcome::kReadFailed:
      return "READ";
    case Outcome::kArgumentsRefused:
      return "PARAM";
    case Outcome::kBadReply:
      return "BAD_REPLY";
    case Outcome::kPortUnavailable:
      return "PORT";
  }
  return "BAD_REPLY";
}

void DdeQualityItems::Take(const Reading& reading) {
  // The items are released as the program closes; a run has ended then.
  if (reading.item >= items_.ItemCount()) return;
  items_.QualityItem(reading.item).SetText(QualityWord(reading.outcome));
  TDdeServerItem& time = items_.TimeItem(reading.item);
  // Advised at every reading, the text moving only with a good one.
  time.SetText(reading.outcome == Outcome::kGood ? CivilTimeText(zone_.LocalOf(reading.end_utc_ns))
                                                 : time.Text());
}

void DdeQualityItems::Demoted(int item) {
  if (item < items_.ItemCount()) items_.QualityItem(item).SetText(kDemotedWord);
}

}  // namespace quorvel::poll
