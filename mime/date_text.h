#pragma once
// The text of the Date and Resent-Date headers, e.g. "Mon, 7 Dec 2026 09:05:03 +0100".

#include <optional>
#include <string>

#include "platform/time_locale.h"

namespace mime {

// A stored message date: days since 30 December 1899 with the time of day as the
// fraction, taken as UTC.
using VariantDate = double;

// The zone text of a zone: "+0000" when unknown; otherwise the current bias (standard
// bias plus the daylight bias while daylight time is in force) as "+hhmm" for a
// negative bias and "-hhmm" otherwise, so that a bias of 0 gives "-0000".
std::string ZoneText(const platform::TimeZoneInfo& zone);

// With a date: the date shifted into the zone. Without: `now_local`, or `now_utc`
// when the zone is unknown. Pure, for callers that already hold the clock's values.
std::string FormatDateText(std::optional<VariantDate> date, const platform::TimeZoneInfo& zone,
                           const platform::SystemTime& now_local, const platform::SystemTime& now_utc);

// The same with the platform's zone and clock.
std::string FormatDateText(std::optional<VariantDate> date = std::nullopt);

// Calendar helpers shared with the message model.
platform::SystemTime SystemTimeFromVariantDate(VariantDate date);
VariantDate VariantDateFromSystemTime(const platform::SystemTime& t);

}  // namespace mime
