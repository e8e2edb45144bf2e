#include "runs/soak/soak_figures.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace quorvel::tools::soak {

namespace {

constexpr double kMinute = 60;

}  // namespace

Growth GrowthAfterFirstMinute(const std::vector<Sample>& samples, double end_seconds) {
  Growth growth;
  bool first = false;
  bool last = false;
  for (const Sample& sample : samples) {
    if (sample.value < 0) continue;
    if (sample.seconds <= kMinute) {
      growth.first_minute_max =
          first ? std::max(growth.first_minute_max, sample.value) : sample.value;
      first = true;
    }
    if (sample.seconds >= end_seconds - kMinute && sample.seconds > kMinute) {
      growth.last_minute_min = last ? std::min(growth.last_minute_min, sample.value) : sample.value;
      last = true;
    }
  }
  growth.known = first && last;
  growth.grew = growth.known && growth.last_minute_min > growth.first_minute_max;
  return growth;
}

std::optional<double> GrowthPerThousand(const std::vector<Sample>& values,
                                        const std::vector<Sample>& events) {
  std::vector<std::pair<double, double>> points;  // (events, value)
  for (std::size_t i = 0; i < values.size() && i < events.size(); ++i) {
    if (values[i].seconds <= kMinute || values[i].value < 0 || events[i].value < 0) continue;
    points.emplace_back(static_cast<double>(events[i].value), static_cast<double>(values[i].value));
  }
  if (points.size() < 2) return std::nullopt;
  double mean_x = 0, mean_y = 0;
  for (const auto& [x, y] : points) {
    mean_x += x;
    mean_y += y;
  }
  mean_x /= static_cast<double>(points.size());
  mean_y /= static_cast<double>(points.size());
  // Centred sums: megabytes times thousands would cancel badly uncentred.
  double xx = 0, xy = 0;
  for (const auto& [x, y] : points) {
    xx += (x - mean_x) * (x - mean_x);
    xy += (x - mean_x) * (y - mean_y);
  }
  if (xx <= 0) return std::nullopt;
  return 1000 * xy / xx;
}

std::int64_t Missed(const ClientTally& client, std::int64_t published, std::int64_t slack) {
  const std::int64_t lacking = std::max<std::int64_t>(0, published - client.updates);
  return (lacking <= slack ? 0 : lacking) + client.without_data;
}

std::string Megabytes(std::int64_t bytes) {
  if (bytes < 0) return "?";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

std::string Count(std::int64_t value) {
  return value < 0 ? "?" : std::to_string(value);
}

}  // namespace quorvel::tools::soak
