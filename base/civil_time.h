// A moment as people read it on a wall clock, and where the program gets it:
// the conversion from UTC to the local time is the platform's, so that its
// rules for summer time and time zones hold.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

struct CivilTime {
  int year = 1970;
  int month = 1;  // 1 .. 12
  int day = 1;    // 1 .. 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class LocalTimeZone {
 public:
  virtual ~LocalTimeZone() = default;
  // The local time of `utc_ns`, nanoseconds of UTC since 1970.
  virtual CivilTime LocalOf(std::int64_t utc_ns) = 0;
};

// "yyyy-mm-dd hh:nn:ss.zzz": 24-hour clock, milliseconds.
std::string CivilTimeText(const CivilTime& time);

// The number of the day of `date` (its year, month and day; the proleptic
// Gregorian calendar) counted from 1970-01-01, so dates subtract to days.
std::int64_t DayNumber(const CivilTime& date);

}  // namespace quorvel
