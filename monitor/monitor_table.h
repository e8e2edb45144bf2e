// The monitor's table of sensors and devices as texts: a row per sensor of
// the table, then a row per device address summing its sensors, and the
// order a click on a column asks for. The window only shows these cells.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/civil_time.h"
#include "monitor/monitor_sink.h"

namespace quorvel::monitor {

enum Column : int {
  kItemColumn,
  kDeviceColumn,
  kChannelColumn,
  kTextColumn,
  kQualityColumn,
  kLastGoodColumn,
  kAskedColumn,
  kGoodColumn,
  kFirstFailureColumn,  // one column per failure kind, in the order of poll::Outcome
  kInRowColumn = kFirstFailureColumn + 8,
  kLastMsColumn,
  kMinMsColumn,
  kMeanMsColumn,
  kMaxMsColumn,
  kDemotedColumn,
  kDemotionsColumn,
  kColumnCount
};

// Windows-1251: the failure kinds are titled by their quality words.
std::string ColumnTitle(int column);

struct TableRow {
  bool device = false;   // a device's sum, not a sensor
  int key = 0;           // the sensor's item, or the device's address
  bool failing = false;  // its last reading failed, or it is demoted
  std::array<std::string, kColumnCount> cells;
};

// What the window knows of each sensor row of the table: its item name and
// the text its DDE item shows now, both Windows-1251.
struct SensorNames {
  std::string item;
  std::string text;
};

// Response times in milliseconds with `decimal` as the separator; local
// times by `zone`.
std::vector<TableRow> TableRows(const MonitorSink& sink, const std::vector<SensorNames>& sensors,
                                LocalTimeZone& zone, char decimal);

// Sorted by `column`, numbers as numbers, empty cells last; the sensors
// stay above the devices. Stable, so a second click keeps ties in place.
void SortRows(std::vector<TableRow>& rows, int column, bool descending, char decimal);

// "12,345" for 12345 us with ',' as `decimal`; empty for a time not taken.
std::string MillisecondsText(std::int64_t us, char decimal);

}  // namespace quorvel::monitor
