#include "opcua/opcua_readings.h"

#include "base/cp1251.h"
#include "opcua/value_status.h"

namespace quorvel::opcua {

void OpcUaReadings::Take(const poll::Reading& reading) {
  if (reading.item < 0) return;
  NodeUpdate update;
  update.item = reading.item;
  update.text = cp1251::ToUtf8(reading.text);
  if (reading.outcome == poll::Outcome::kGood) update.value = DecimalValue(reading.value);
  // A good reply whose field is no number has no Value to give.
  update.status = ValueStatus(reading.outcome);
  if (reading.outcome == poll::Outcome::kGood && !update.value)
    update.status = kBadDataEncodingInvalid;
  update.source_utc_ns = reading.end_utc_ns;
  update.device = reading.address;
  update.channel = reading.channel;
  const auto index = static_cast<std::size_t>(reading.item);
  if (index >= last_.size()) last_.resize(index + 1);
  last_[index].update = update;
  if (update.status == kGood) last_[index].good_value = update.value;
  if (!on_) return;
  queue_.Push(std::move(update));
  pending_ = true;
}

void OpcUaReadings::Demoted(int item) {
  if (item < 0 || static_cast<std::size_t>(item) >= last_.size()) return;
  const Last& last = last_[static_cast<std::size_t>(item)];
  if (!last.update) return;
  NodeUpdate update = *last.update;
  update.value = last.good_value;
  update.status = last.good_value ? kDemotedStatus : kBadCommunicationError;
  if (!on_) return;
  queue_.Push(std::move(update));
  pending_ = true;
}

void OpcUaReadings::Announce() {
  if (!pending_) return;
  pending_ = false;
  if (queued_) queued_();
}

}  // namespace quorvel::opcua
