// The reading log as a sink of the poll cycle: each reading becomes a line
// (its local time, item, device, channel, text, value, quality word and
// response time) handed to the log's thread; nothing is done while the log
// is off.
#pragma once

#include "base/civil_time.h"
#include "config/sensor_table.h"
#include "log/log_writer.h"
#include "poll/reading.h"

namespace quorvel::log {

class LogReadings final : public poll::ReadingSink {
 public:
  LogReadings(LogWriter& writer, const config::SensorTable& table, LocalTimeZone& zone)
      : writer_(writer), table_(table), zone_(zone) {}
  void Take(const poll::Reading& reading) override;

 private:
  LogWriter& writer_;
  const config::SensorTable& table_;
  LocalTimeZone& zone_;
};

}  // namespace quorvel::log
