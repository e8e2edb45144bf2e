#include "base/local_time_zone_win.h"

#include <windows.h>

namespace quorvel {

namespace {

// 100-ns intervals from 1601 to 1970.
constexpr std::int64_t kFileTimeOf1970 = 116'444'736'000'000'000;

}  // namespace

CivilTime Win32LocalTimeZone::LocalOf(std::int64_t utc_ns) {
  const auto ticks = static_cast<std::uint64_t>(utc_ns / 100 + kFileTimeOf1970);
  const FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  // Out of the calendar's range, or no zone: the time is shown as UTC.
  if (!::FileTimeToSystemTime(&file, &utc)) return {};
  if (!::SystemTimeToTzSpecificLocalTime(/*lpTimeZoneInformation=*/nullptr, &utc, &local)) {
    local = utc;
  }
  return {local.wYear,   local.wMonth,  local.wDay,         local.wHour,
          local.wMinute, local.wSecond, local.wMilliseconds};
}

}  // namespace quorvel
