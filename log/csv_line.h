// One reading as a line of the reading log: a CSV file of one local day in
// UTF-8 with a byte order mark, fields separated by ';', dates, times and
// numbers as a Russian Excel reads them when it opens the file as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/civil_time.h"

namespace quorvel::log {

struct LogLine {
  CivilTime local;   // when the exchange ended, local time; its date names the file
  std::string item;  // Windows-1251, as every text the program keeps
  int device = 0;
  int channel = 0;
  std::string text;              // Windows-1251: what the value item shows
  std::string value;             // Windows-1251: the reply's value field, as it came
  std::string quality;           // the quality item's word
  std::int64_t response_us = 0;  // from the request written to the exchange's end
};

// Without it Excel takes the file for the ANSI code page.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The column names, in UTF-8, ending "\r\n"; no byte order mark.
std::string CsvHeader();

// "dd.mm.yyyy hh:nn:ss,zzz;item;device;channel;text;value;quality;ms\r\n"
// in UTF-8, `decimal` before the milliseconds of the time and of the
// response. A value that is a decimal number (an optional sign, digits
// with an optional point; blanks around it dropped) gets `decimal` for its
// point; any other value stays as it came. A field holding ';', '"', CR or
// LF is quoted, its quotes doubled.
std::string CsvLine(const LogLine& line, char decimal);

// "Quorvel-yyyy-mm-dd.csv" of the date of `day`.
std::string LogFileName(const CivilTime& day);
// The date a name of LogFileName's stands for (the time of day zero);
// nothing for any other name, a date that does not exist among them.
std::optional<CivilTime> DayOfLogFileName(std::string_view name);

}  // namespace quorvel::log
