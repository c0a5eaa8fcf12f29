#include "mime/date_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace mime {
namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::int64_t kMsPerDay = 86400000;
// Days from 1970-01-01 to the variant epoch 1899-12-30.
constexpr std::int64_t kVariantEpochDays = -25569;

// Howard Hinnant's civil-date algorithms, days counted from 1970-01-01.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

platform::SystemTime FromEpochMs(std::int64_t ms) {
  std::int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  std::int64_t in_day = ms - days * kMsPerDay;
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  platform::SystemTime t;
  t.year = static_cast<std::uint16_t>(std::clamp<std::int64_t>(y, 0, 9999));
  t.month = static_cast<std::uint16_t>(m);
  t.day = static_cast<std::uint16_t>(d);
  t.day_of_week = static_cast<std::uint16_t>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  t.hour = static_cast<std::uint16_t>(in_day / 3600000);
  t.minute = static_cast<std::uint16_t>(in_day / 60000 % 60);
  t.second = static_cast<std::uint16_t>(in_day / 1000 % 60);
  t.milliseconds = static_cast<std::uint16_t>(in_day % 1000);
  return t;
}

std::int64_t EpochMsFromVariant(VariantDate date) {
  return kVariantEpochDays * kMsPerDay + static_cast<std::int64_t>(std::llround(date * kMsPerDay));
}

std::string Format(const platform::SystemTime& t, const std::string& zone) {
  // The weekday follows from the date; a clock's own day-of-week field is not trusted.
  std::int64_t days = DaysFromCivil(t.year, t.month, t.day);
  unsigned weekday = static_cast<unsigned>(((days % 7) + 7 + 4) % 7);
  unsigned month = t.month <= 12 ? t.month : 0;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s, %u %s %04u %02u:%02u:%02u %s", kWeekdays[weekday], unsigned{t.day},
                kMonths[month], unsigned{t.year}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second},
                zone.c_str());
  return buf;
}

std::int32_t CurrentBias(const platform::TimeZoneInfo& zone) {
  return zone.bias + (zone.daylight_in_effect ? zone.daylight_bias : 0);
}

}  // namespace

std::string ZoneText(const platform::TimeZoneInfo& zone) {
  if (!zone.known) return "+0000";
  std::int32_t bias = CurrentBias(zone);
  unsigned magnitude = static_cast<unsigned>(std::abs(bias));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%02u%02u", bias < 0 ? '+' : '-', magnitude / 60 % 100, magnitude % 60);
  return buf;
}

std::string FormatDateText(std::optional<VariantDate> date, const platform::TimeZoneInfo& zone,
                           const platform::SystemTime& now_local, const platform::SystemTime& now_utc) {
  std::string zone_text = ZoneText(zone);
  if (date) {
    std::int32_t bias = zone.known ? CurrentBias(zone) : 0;
    std::int64_t ms = EpochMsFromVariant(*date) - static_cast<std::int64_t>(bias) * 60000;
    return Format(FromEpochMs(ms), zone_text);
  }
  return Format(zone.known ? now_local : now_utc, zone_text);
}

std::string FormatDateText(std::optional<VariantDate> date) {
  platform::TimeZoneInfo zone = platform::GetTimeZoneInformation();
  return FormatDateText(date, zone, platform::GetLocalTime(), platform::GetSystemTime());
}

platform::SystemTime SystemTimeFromVariantDate(VariantDate date) { return FromEpochMs(EpochMsFromVariant(date)); }

VariantDate VariantDateFromSystemTime(const platform::SystemTime& t) {
  std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kVariantEpochDays;
  std::int64_t ms = ((t.hour * 60 + t.minute) * 60 + t.second) * 1000LL + t.milliseconds;
  return static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay;
}

}  // namespace mime
