#pragma once
// Dates as day numbers: days since 30 December 1899, 00:00 UTC, plus the
// fraction of the day (the form certificate validity is kept and compared in).

#include <optional>
#include <string>
#include <string_view>

namespace security {

double DayNumberFromCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The current UTC time as a day number.
double CurrentDayNumber();

// ASN.1 UTCTime text "YYMMDDhhmm[ss]" followed by "Z" or a "+hhmm"/"-hhmm"
// offset; YY 00-49 is 20YY, 50-99 is 19YY. Nothing for malformed text.
std::optional<double> ParseUtcTime(std::string_view text);

// ASN.1 GeneralizedTime "YYYYMMDDhh[mm[ss[.fff]]]" with "Z", an offset or
// neither (then read as UTC).
std::optional<double> ParseGeneralizedTime(std::string_view text);

// "YYYY-MM-DD hh:mm:ss UTC", for messages.
std::string DayNumberToText(double day_number);

}  // namespace security
