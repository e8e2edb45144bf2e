#include "log/csv_line.h"

#include <cstdio>

#include "base/cp1251.h"

namespace quorvel::log {

namespace {

constexpr std::string_view kFilePrefix = "Quorvel-";
constexpr std::string_view kFileSuffix = ".csv";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The field as a number with `decimal` for its point, when it is one.
std::optional<std::string> DecimalNumber(std::string_view field, char decimal) {
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  std::string number(field);
  std::size_t pos = !field.empty() && (field[0] == '-' || field[0] == '+') ? 1 : 0;
  bool digits = false;
  bool point = false;
  for (; pos < number.size(); ++pos) {
    if (IsDigit(number[pos])) {
      digits = true;
    } else if (number[pos] == '.' && !point) {
      point = true;
      number[pos] = decimal;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  return number;
}

void AppendField(std::string& out, std::string_view utf8) {
  out.push_back(';');
  if (utf8.find_first_of(";\"\r\n") == std::string_view::npos) {
    out.append(utf8);
    return;
  }
  out.push_back('"');
  for (const char c : utf8) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The number of `count` digits at `text`, or -1.
int DigitsAt(std::string_view text, std::size_t pos, std::size_t count) {
  int number = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(text[i])) return -1;
    number = number * 10 + (text[i] - '0');
  }
  return number;
}

}  // namespace

std::string CsvHeader() {
  return "Дата и время;Элемент;Устройство;Канал;Текст;Значение;Качество;Ответ, мс\r\n";
}

std::string CsvLine(const LogLine& line, char decimal) {
  const CivilTime& t = line.local;
  char time[64];
  std::snprintf(time, sizeof time, "%02d.%02d.%04d %02d:%02d:%02d%c%03d", t.day, t.month, t.year,
                t.hour, t.minute, t.second, decimal, t.millisecond);
  const std::uint64_t us = line.response_us < 0 ? 0 - static_cast<std::uint64_t>(line.response_us)
                                                : static_cast<std::uint64_t>(line.response_us);
  char response[32];
  std::snprintf(response, sizeof response, "%s%llu%c%03llu", line.response_us < 0 ? "-" : "",
                static_cast<unsigned long long>(us / 1000), decimal,
                static_cast<unsigned long long>(us % 1000));

  std::string out = time;
  AppendField(out, cp1251::ToUtf8(line.item));
  AppendField(out, std::to_string(line.device));
  AppendField(out, std::to_string(line.channel));
  AppendField(out, cp1251::ToUtf8(line.text));
  const std::optional<std::string> number = DecimalNumber(line.value, decimal);
  AppendField(out, number ? *number : cp1251::ToUtf8(line.value));
  AppendField(out, cp1251::ToUtf8(line.quality));
  AppendField(out, response);
  out.append("\r\n");
  return out;
}

std::string LogFileName(const CivilTime& day) {
  char name[40];
  std::snprintf(name, sizeof name, "Quorvel-%04d-%02d-%02d.csv", day.year, day.month, day.day);
  return name;
}

std::optional<CivilTime> DayOfLogFileName(std::string_view name) {
  // "yyyy-mm-dd" between the prefix and the suffix.
  if (name.size() != kFilePrefix.size() + 10 + kFileSuffix.size() ||
      !name.starts_with(kFilePrefix) || !name.ends_with(kFileSuffix)) {
    return std::nullopt;
  }
  const std::size_t at = kFilePrefix.size();
  if (name[at + 4] != '-' || name[at + 7] != '-') return std::nullopt;
  CivilTime day;
  day.year = DigitsAt(name, at, 4);
  day.month = DigitsAt(name, at + 5, 2);
  day.day = DigitsAt(name, at + 8, 2);
  if (day.year < 0 || day.month < 1 || day.month > 12 || day.day < 1 ||
      day.day > DaysInMonth(day.year, day.month)) {
    return std::nullopt;
  }
  return day;
}

}  // namespace quorvel::log
