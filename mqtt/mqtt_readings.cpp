#include "mqtt/mqtt_readings.h"

#include "mqtt/reading_payload.h"
#include "poll/dde_quality_items.h"

namespace quorvel::mqtt {

void MqttReadings::Take(const poll::Reading& reading) {
  // The items are released as the program closes; a run has ended then.
  if (!outlet_.Open() || reading.item >= items_.ItemCount()) return;
  const auto item = static_cast<std::size_t>(reading.item);
  if (last_.size() <= item) last_.resize(item + 1);
  last_[item] = reading;
  Post(reading, poll::QualityWord(reading.outcome));
}

void MqttReadings::Demoted(int item) {
  const auto index = static_cast<std::size_t>(item);
  if (!outlet_.Open() || item >= items_.ItemCount() || index >= last_.size() || !last_[index]) {
    return;
  }
  Post(*last_[index], poll::kDemotedWord);
}

void MqttReadings::Post(const poll::Reading& reading, std::string_view quality) {
  outlet_.Post(
      {ItemTopic(root_, items_.Item(reading.item).Name()), ReadingPayload(reading, quality)});
}

}  // namespace quorvel::mqtt
