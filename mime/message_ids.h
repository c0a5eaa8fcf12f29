#pragma once
// Message-ID and boundary texts, made from the local time and the C library's rand().
//
// The process seeds rand() once (time and process id) before the first draw, so
// two processes started in the same millisecond still differ.

#include <string>

#include "platform/time_locale.h"

namespace mime {

// One rand() value in 0..32767.
unsigned DrawRandom();

// "%04u%02u%02u%02u%02u%02u%04u@%04u%04u" of the time and r2, r1 (the second
// number drawn comes first after "@"). No angle brackets.
std::string FormatMessageIdText(const platform::SystemTime& local, unsigned r1, unsigned r2);
// "----------=_" + "%04u%02u%02u%02u%02u%02u%04u%04u" of the time and r.
std::string FormatBoundary(const platform::SystemTime& local, unsigned r);

// The same from the platform's local time, drawing r1 then r2 (or r).
std::string NewMessageIdText();
std::string NewBoundary();

}  // namespace mime
