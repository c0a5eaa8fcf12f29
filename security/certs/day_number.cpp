#include "security/certs/day_number.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace security {
namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr long long kDaysFrom1899To1970 = 25569;

bool Digits(std::string_view text, std::size_t pos, std::size_t count, int* value) {
  if (pos + count > text.size()) return false;
  int v = 0;
  for (std::size_t k = pos; k < pos + count; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    v = v * 10 + (text[k] - '0');
  }
  *value = v;
  return true;
}

bool ValidFields(int month, int day, int hour, int minute, int second) {
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 && second <= 60;
}

// The zone part at `pos`: "Z", "+hhmm", "-hhmm" or (when allowed) nothing.
// Stores the offset east of UTC in minutes.
bool ParseZone(std::string_view text, std::size_t pos, bool allow_missing, int* offset_minutes) {
  *offset_minutes = 0;
  if (pos == text.size()) return allow_missing;
  if (text[pos] == 'Z') return pos + 1 == text.size();
  if (text[pos] != '+' && text[pos] != '-') return false;
  int hh = 0;
  int mm = 0;
  if (pos + 5 != text.size() || !Digits(text, pos + 1, 2, &hh) || !Digits(text, pos + 3, 2, &mm) || hh > 23 ||
      mm > 59) {
    return false;
  }
  *offset_minutes = (text[pos] == '+' ? 1 : -1) * (hh * 60 + mm);
  return true;
}

}  // namespace

double DayNumberFromCivil(int year, int month, int day, int hour, int minute, int second) {
  const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                         kDaysFrom1899To1970;
  return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

double CurrentDayNumber() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const double seconds = std::chrono::duration<double>(since_epoch).count();
  return kDaysFrom1899To1970 + seconds / 86400.0;
}

std::optional<double> ParseUtcTime(std::string_view text) {
  int yy = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 2, &yy) || !Digits(text, 2, 2, &month) || !Digits(text, 4, 2, &day) ||
      !Digits(text, 6, 2, &hour) || !Digits(text, 8, 2, &minute)) {
    return std::nullopt;
  }
  std::size_t pos = 10;
  if (Digits(text, 10, 2, &second)) pos = 12;
  int offset = 0;
  if (!ValidFields(month, day, hour, minute, second) || !ParseZone(text, pos, false, &offset)) return std::nullopt;
  const int year = yy < 50 ? 2000 + yy : 1900 + yy;
  return DayNumberFromCivil(year, month, day, hour, minute, second) - offset / 1440.0;
}

std::optional<double> ParseGeneralizedTime(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 4, &year) || !Digits(text, 4, 2, &month) || !Digits(text, 6, 2, &day) ||
      !Digits(text, 8, 2, &hour)) {
    return std::nullopt;
  }
  std::size_t pos = 10;
  if (Digits(text, pos, 2, &minute)) {
    pos += 2;
    if (Digits(text, pos, 2, &second)) pos += 2;
  }
  double fraction = 0;
  if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
    std::size_t k = pos + 1;
    double scale = 0.1;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9') {
      fraction += (text[k] - '0') * scale;
      scale /= 10;
      ++k;
    }
    if (k == pos + 1) return std::nullopt;
    pos = k;
  }
  int offset = 0;
  if (!ValidFields(month, day, hour, minute, second) || !ParseZone(text, pos, true, &offset)) return std::nullopt;
  return DayNumberFromCivil(year, month, day, hour, minute, second) + fraction / 86400.0 - offset / 1440.0;
}

std::string DayNumberToText(double day_number) {
  const long long total_seconds = std::llround((day_number - kDaysFrom1899To1970) * 86400.0);
  long long days = total_seconds >= 0 ? total_seconds / 86400 : -((-total_seconds + 86399) / 86400);
  long long rest = total_seconds - days * 86400;
  // Civil date from days since 1970 (inverse of DaysFromCivil).
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%04lld-%02u-%02u %02lld:%02lld:%02lld UTC", y, m, d, rest / 3600,
                (rest / 60) % 60, rest % 60);
  return buffer;
}

}  // namespace security
