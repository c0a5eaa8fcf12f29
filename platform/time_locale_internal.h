#pragma once
// Internal to the clock and locale module, open to its tests.

#include <ctime>
#include <string>
#include <string_view>

#include "platform/time_locale.h"

namespace platform::time_internal {

// The zone at a given moment instead of now.
TimeZoneInfo TimeZoneAt(std::time_t when);

// A strftime time format without its seconds: %T, %r and %X are expanded first
// (%r to ampm_format, %X to time_format), then the seconds conversion goes with
// the separator before it ("%H:%M:%S" -> "%H:%M", "%I:%M:%S %p" -> "%I:%M %p"),
// or, where the text before it is a unit word rather than punctuation, with the
// unit word after it ("%H時%M分%S秒" -> "%H時%M分").
std::string TimeFormatWithoutSeconds(std::string_view format, std::string_view ampm_format,
                                     std::string_view time_format);

}  // namespace platform::time_internal
