#include "mqtt/reading_payload.h"

#include <cstdio>

#include "base/cp1251.h"

namespace quorvel::mqtt {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Days since 1970-01-01 to a date of the proleptic Gregorian calendar.
void CivilOfDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719'468;
  const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const std::int64_t of_era = days - era * 146'097;
  const std::int64_t year_of_era =
      (of_era - of_era / 1460 + of_era / 36'524 - of_era / 146'096) / 365;
  const std::int64_t day_of_year =
      of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

void AppendJsonString(std::string& out, std::string_view utf8) {
  out.push_back('"');
  for (const char c : utf8) {
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out.append(escaped);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

}  // namespace

std::optional<std::string> JsonNumber(std::string_view field) {
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  std::string number;
  if (!field.empty() && (field.front() == '-' || field.front() == '+')) {
    if (field.front() == '-') number.push_back('-');
    field.remove_prefix(1);
  }
  const std::size_t point = field.find('.');
  const std::string_view whole = field.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : field.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  for (const std::string_view part : {whole, fraction}) {
    for (const char c : part) {
      if (!IsDigit(c)) return std::nullopt;
    }
  }
  // JSON has no leading zeros and no bare point.
  const std::size_t first = whole.find_first_not_of('0');
  number.append(first == std::string_view::npos ? std::string_view("0") : whole.substr(first));
  if (!fraction.empty()) number.append(".").append(fraction);
  return number;
}

std::string UtcTimeText(std::int64_t utc_ns) {
  constexpr std::int64_t kMsPerDay = 86'400'000;
  const std::int64_t ms = utc_ns >= 0 ? utc_ns / 1'000'000 : (utc_ns - 999'999) / 1'000'000;
  const std::int64_t days = ms >= 0 ? ms / kMsPerDay : (ms - kMsPerDay + 1) / kMsPerDay;
  const std::int64_t of_day = ms - days * kMsPerDay;
  int year = 1970;
  int month = 1;
  int day = 1;
  CivilOfDays(days, year, month, day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year, month, day,
                static_cast<int>(of_day / 3'600'000), static_cast<int>(of_day / 60'000 % 60),
                static_cast<int>(of_day / 1000 % 60), static_cast<int>(of_day % 1000));
  return text;
}

std::string ItemTopic(std::string_view root, std::string_view name) {
  std::string topic(root);
  if (!topic.empty() && topic.back() != '/') topic.push_back('/');
  topic.append(name);
  return topic;
}

std::string ReadingPayload(const poll::Reading& reading, std::string_view quality) {
  std::string out = "{\"value\":";
  const std::optional<std::string> value =
      reading.outcome == poll::Outcome::kGood ? JsonNumber(reading.value) : std::nullopt;
  out.append(value ? *value : "null");
  out.append(",\"text\":");
  AppendJsonString(out, cp1251::ToUtf8(reading.text));
  out.append(",\"quality\":");
  AppendJsonString(out, quality);
  out.append(",\"time\":\"").append(UtcTimeText(reading.end_utc_ns));
  out.append("\",\"device\":").append(std::to_string(reading.address));
  out.append(",\"channel\":").append(std::to_string(reading.channel)).append("}");
  return out;
}

}  // namespace quorvel::mqtt
