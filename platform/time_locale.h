#pragma once
// Clock, time zone and the user's date and time formats.

#include <cstdint>
#include <string>

namespace platform {

struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;        // 1-12
  std::uint16_t day_of_week = 0;  // 0 = Sunday
  std::uint16_t day = 0;          // 1-31
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

SystemTime GetSystemTime();  // now, UTC
SystemTime GetLocalTime();   // now, in the user's time zone

// Milliseconds since the system started; wraps after 49.7 days like its model.
std::uint32_t GetTickCount();

// The zone in the handheld's convention: UTC = local time + bias, in minutes.
struct TimeZoneInfo {
  bool known = false;              // false: the zone could not be determined
  std::int32_t bias = 0;           // standard-time bias, e.g. -60 for UTC+1
  std::int32_t daylight_bias = 0;  // added while daylight time is in force, e.g. -60
  bool daylight_in_effect = false;
};
TimeZoneInfo GetTimeZoneInformation();

// The current bias in minutes including the daylight bias when it is in force;
// 0 when the zone is unknown.
std::int32_t CurrentBiasMinutes();

// The user's short date format (LC_TIME) applied to a time, e.g. "12/08/2026".
std::u16string FormatShortDate(const SystemTime& t);
// The user's time format (LC_TIME) without seconds, e.g. "14:05" or "02:05 PM".
std::u16string FormatTimeWithoutSeconds(const SystemTime& t);

}  // namespace platform
