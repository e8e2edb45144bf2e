#include "log/log_readings.h"

#include <string>

#include "poll/dde_quality_items.h"

namespace quorvel::log {

void LogReadings::Take(const poll::Reading& reading) {
  if (!writer_.Enabled()) return;
  LogLine line;
  line.local = zone_.LocalOf(reading.end_utc_ns);
  line.item = reading.row < table_.RowCount() ? table_.Cell(0, reading.row) : std::string();
  line.device = reading.address;
  line.channel = reading.channel;
  line.text = reading.text;
  line.value = reading.value;
  line.quality = std::string(poll::QualityWord(reading.outcome));
  line.response_us = reading.ResponseNs() / 1000;
  writer_.Add(std::move(line));
}

}  // namespace quorvel::log
