#include "monitor/monitor_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "base/cp1251.h"
#include "poll/dde_quality_items.h"

namespace quorvel::monitor {

namespace {

constexpr std::string_view kNeverRead = "NONE";

std::string CountText(std::uint64_t n) {
  return std::to_string(n);
}

std::string LastGoodText(std::int64_t utc_ns, LocalTimeZone& zone) {
  return utc_ns == 0 ? std::string() : CivilTimeText(zone.LocalOf(utc_ns));
}

// The columns every row has, from its counters.
void FillCounters(TableRow& row, const SensorCounters& c, LocalTimeZone& zone, char decimal) {
  row.cells[kLastGoodColumn] = LastGoodText(c.last_good_utc_ns, zone);
  row.cells[kAskedColumn] = CountText(c.asked);
  row.cells[kGoodColumn] = CountText(c.good);
  for (int kind = 0; kind < 8; ++kind) {
    row.cells[kFirstFailureColumn + kind] = CountText(c.failures[kind + 1]);
  }
  row.cells[kInRowColumn] = CountText(c.failures_in_row);
  row.cells[kLastMsColumn] = MillisecondsText(c.last_us, decimal);
  row.cells[kMinMsColumn] = MillisecondsText(c.min_us, decimal);
  row.cells[kMeanMsColumn] =
      c.timed == 0 ? std::string() : MillisecondsText(std::llround(c.MeanUs()), decimal);
  row.cells[kMaxMsColumn] = MillisecondsText(c.max_us, decimal);
  row.cells[kDemotedColumn] = c.demoted ? std::string(cp1251::Text("да").view()) : std::string();
  row.cells[kDemotionsColumn] = CountText(c.demotions);
  row.failing = c.demoted || c.failures_in_row > 0;
}

std::optional<double> NumberOf(std::string_view cell, char decimal) {
  std::string text(cell);
  std::replace(text.begin(), text.end(), decimal, '.');
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string ColumnTitle(int column) {
  if (column >= kFirstFailureColumn && column < kInRowColumn) {
    return std::string(
        poll::QualityWord(static_cast<poll::Outcome>(column - kFirstFailureColumn + 1)));
  }
  switch (column) {
    case kItemColumn:
      return std::string(cp1251::Text("Элемент").view());
    case kDeviceColumn:
      return std::string(cp1251::Text("Устройство").view());
    case kChannelColumn:
      return std::string(cp1251::Text("Канал").view());
    case kTextColumn:
      return std::string(cp1251::Text("Текст").view());
    case kQualityColumn:
      return std::string(cp1251::Text("Качество").view());
    case kLastGoodColumn:
      return std::string(cp1251::Text("Последнее успешное").view());
    case kAskedColumn:
      return std::string(cp1251::Text("Запросов").view());
    case kGoodColumn:
      return std::string(cp1251::Text("Успешно").view());
    case kInRowColumn:
      return std::string(cp1251::Text("Ошибок подряд").view());
    case kLastMsColumn:
      return std::string(cp1251::Text("Ответ, мс").view());
    case kMinMsColumn:
      return std::string(cp1251::Text("Мин., мс").view());
    case kMeanMsColumn:
      return std::string(cp1251::Text("Средн., мс").view());
    case kMaxMsColumn:
      return std::string(cp1251::Text("Макс., мс").view());
    case kDemotedColumn:
      return std::string(cp1251::Text("Отключено").view());
    case kDemotionsColumn:
      return std::string(cp1251::Text("Отключений").view());
  }
  return {};
}

std::string MillisecondsText(std::int64_t us, char decimal) {
  if (us < 0) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%lld%c%03lld", static_cast<long long>(us / 1000), decimal,
                static_cast<long long>(us % 1000));
  return text;
}

std::vector<TableRow> TableRows(const MonitorSink& sink, const std::vector<SensorNames>& sensors,
                                LocalTimeZone& zone, char decimal) {
  std::vector<TableRow> rows;
  rows.reserve(sensors.size() + 32);
  for (std::size_t i = 0; i < sensors.size(); ++i) {
    const int item = static_cast<int>(i);
    const SensorCounters& c = sink.counters().Sensor(item);
    const MonitorSink::Last& last = sink.LastOf(item);
    TableRow row;
    row.key = item;
    row.cells[kItemColumn] = sensors[i].item;
    row.cells[kTextColumn] = sensors[i].text;
    if (last.outcome) {
      row.cells[kDeviceColumn] = std::to_string(last.address);
      row.cells[kChannelColumn] = std::to_string(last.channel);
    }
    row.cells[kQualityColumn] = std::string(c.demoted      ? poll::kDemotedWord
                                            : last.outcome ? poll::QualityWord(*last.outcome)
                                                           : kNeverRead);
    FillCounters(row, c, zone, decimal);
    rows.push_back(std::move(row));
  }
  for (const auto& [address, c] : sink.counters().Devices()) {
    TableRow row;
    row.device = true;
    row.key = address;
    row.cells[kItemColumn] =
        std::string(cp1251::Text("Устройство ").view()) + std::to_string(address);
    row.cells[kDeviceColumn] = std::to_string(address);
    FillCounters(row, c, zone, decimal);
    rows.push_back(std::move(row));
  }
  return rows;
}

void SortRows(std::vector<TableRow>& rows, int column, bool descending, char decimal) {
  if (column < 0 || column >= kColumnCount) return;
  std::stable_sort(rows.begin(), rows.end(), [&](const TableRow& a, const TableRow& b) {
    if (a.device != b.device) return !a.device;
    const std::string& x = a.cells[column];
    const std::string& y = b.cells[column];
    if (x.empty() != y.empty()) return y.empty();
    if (x.empty()) return false;
    const std::optional<double> nx = NumberOf(x, decimal);
    const std::optional<double> ny = NumberOf(y, decimal);
    if (nx && ny) return descending ? *nx > *ny : *nx < *ny;
    if (nx.has_value() != ny.has_value()) return nx.has_value();  // numbers before words
    return descending ? x > y : x < y;
  });
}

}  // namespace quorvel::monitor
