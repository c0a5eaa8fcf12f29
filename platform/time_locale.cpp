#include "platform/time_locale.h"

#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "platform/time_locale_internal.h"

namespace platform {
namespace {

SystemTime FromTm(const std::tm& tm, long nanoseconds) {
  SystemTime t;
  t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
  t.day_of_week = static_cast<std::uint16_t>(tm.tm_wday);
  t.day = static_cast<std::uint16_t>(tm.tm_mday);
  t.hour = static_cast<std::uint16_t>(tm.tm_hour);
  t.minute = static_cast<std::uint16_t>(tm.tm_min);
  t.second = static_cast<std::uint16_t>(tm.tm_sec);
  t.milliseconds = static_cast<std::uint16_t>(nanoseconds / 1000000);
  return t;
}

std::tm ToTm(const SystemTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  // Fills in the day of the week and of the year for the formats that print them.
  std::tm normalised = tm;
  if (timegm(&normalised) != static_cast<std::time_t>(-1)) {
    tm.tm_wday = normalised.tm_wday;
    tm.tm_yday = normalised.tm_yday;
  }
  tm.tm_isdst = -1;
  return tm;
}

// A POSIX zone rule such as "CET-1CEST,M3.5.0,M10.5.0/3" or "<+03>-3": a name of
// at least three letters (or one in angle brackets) followed by an offset.
bool IsPosixZoneRule(std::string_view rule) {
  std::size_t i = 0;
  if (!rule.empty() && rule[0] == '<') {
    i = rule.find('>');
    if (i == std::string_view::npos) return false;
    ++i;
  } else {
    while (i < rule.size() && std::isalpha(static_cast<unsigned char>(rule[i]))) ++i;
    if (i < 3) return false;
  }
  if (i < rule.size() && (rule[i] == '+' || rule[i] == '-')) ++i;
  return i < rule.size() && std::isdigit(static_cast<unsigned char>(rule[i]));
}

// Whether the C library knows the zone, rather than quietly using UTC because
// it could not find it.
bool ZoneKnown() {
  const char* tz = std::getenv("TZ");
  if (!tz) return ::access("/etc/localtime", R_OK) == 0;
  std::string_view name = tz;
  if (!name.empty() && name[0] == ':') name.remove_prefix(1);
  if (name.empty()) return true;  // an empty TZ is UTC by definition
  if (name[0] == '/') return ::access(std::string(name).c_str(), R_OK) == 0;
  if (name.find("..") == std::string_view::npos) {
    const char* dir = std::getenv("TZDIR");
    std::string path = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + std::string(name);
    if (::access(path.c_str(), R_OK) == 0) return true;
  }
  return IsPosixZoneRule(name);
}

// Minutes west of UTC, the handheld's sign.
std::int32_t BiasOf(long gmtoff_seconds) { return static_cast<std::int32_t>(-gmtoff_seconds / 60); }

// The user's LC_TIME, or "C" when that locale is not installed. Never touches
// the process's global locale. The loaded locale is kept while the variables
// that choose it stay the same: loading is slow, and the C library loses a
// little memory on every load when LOCPATH is set.
class TimeLocale {
 public:
  TimeLocale() : lock_(mutex_) {
    std::string key;
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG", "LOCPATH"}) {
      const char* value = std::getenv(name);
      key += value ? value : "";
      key.push_back('\0');
    }
    if (!cached_ || key != cached_key_) {
      locale_t fresh = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
      if (!fresh) fresh = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
      if (cached_) ::freelocale(cached_);
      cached_ = fresh;
      cached_key_ = key;
    }
  }
  TimeLocale(const TimeLocale&) = delete;
  TimeLocale& operator=(const TimeLocale&) = delete;

  std::string Info(nl_item item) const { return cached_ ? ::nl_langinfo_l(item, cached_) : ""; }

  std::u16string Format(const std::string& format, const SystemTime& t) const {
    if (!cached_ || format.empty()) return {};
    std::tm tm = ToTm(t);
    char buf[1024];
    std::size_t n = ::strftime_l(buf, sizeof buf, format.c_str(), &tm, cached_);
    std::string out(buf, n);
    // Locale data comes in the locale's own charset: UTF-8 today, Latin-1 in
    // older installations.
    if (Utf16ToUtf8(Utf8ToUtf16(out)) == out) return Utf8ToUtf16(out);
    return Latin1ToUtf16(out);
  }

 private:
  static inline std::mutex mutex_;
  static inline locale_t cached_ = nullptr;
  static inline std::string cached_key_;
  std::lock_guard<std::mutex> lock_;
};

struct Token {
  bool conversion = false;
  char letter = 0;  // the conversion character
  std::string text;
};

std::vector<Token> Tokenize(std::string_view format) {
  std::vector<Token> tokens;
  auto literal = [&](std::string_view s) {
    if (tokens.empty() || tokens.back().conversion) tokens.push_back({});
    tokens.back().text.append(s);
  };
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      literal(format.substr(i, 1));
      ++i;
      continue;
    }
    if (format[i + 1] == '%') {
      literal("%%");
      i += 2;
      continue;
    }
    std::size_t j = i + 1;
    while (j < format.size() && std::strchr("_-0^#", format[j]) && format[j]) ++j;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
    if (j < format.size() && (format[j] == 'E' || format[j] == 'O')) ++j;
    if (j >= format.size()) {
      literal(format.substr(i));
      break;
    }
    tokens.push_back({true, format[j], std::string(format.substr(i, j - i + 1))});
    i = j + 1;
  }
  return tokens;
}

std::string Join(const std::vector<Token>& tokens) {
  std::string out;
  for (const auto& t : tokens) out += t.text;
  return out;
}

bool IsPunctuation(std::string_view s) {
  for (char c : s) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || std::isalnum(b)) return false;
  }
  return true;
}

std::string TrimBlanks(std::string s) {
  std::size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return s.substr(start, s.find_last_not_of(" \t") - start + 1);
}

}  // namespace

namespace time_internal {

TimeZoneInfo TimeZoneAt(std::time_t when) {
  ::tzset();
  TimeZoneInfo info;
  if (!ZoneKnown()) return info;
  std::tm now{};
  if (!::localtime_r(&when, &now)) return info;
  info.known = true;
  info.daylight_in_effect = now.tm_isdst > 0;
  // The other half of the year: probe the middle of every month of this year
  // for an offset of the other kind.
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  bool other_found = false;
  long other_offset = 0;
  for (int month = 0; month < 12 && !other_found; ++month) {
    std::tm probe{};
    probe.tm_year = utc.tm_year;
    probe.tm_mon = month;
    probe.tm_mday = 15;
    probe.tm_hour = 12;
    std::time_t t = timegm(&probe);
    std::tm local{};
    if (!::localtime_r(&t, &local)) continue;
    if ((local.tm_isdst > 0) != info.daylight_in_effect) {
      other_found = true;
      other_offset = local.tm_gmtoff;
    }
  }
  if (info.daylight_in_effect) {
    // Daylight time now: the standard offset comes from the probe; without one
    // (a zone on permanent "daylight" time) it is taken to be the current offset.
    long standard = other_found ? other_offset : now.tm_gmtoff;
    info.bias = BiasOf(standard);
    info.daylight_bias = BiasOf(now.tm_gmtoff) - info.bias;
  } else {
    info.bias = BiasOf(now.tm_gmtoff);
    info.daylight_bias = other_found ? BiasOf(other_offset) - info.bias : 0;
  }
  return info;
}

std::string TimeFormatWithoutSeconds(std::string_view format, std::string_view ampm_format,
                                     std::string_view time_format) {
  std::string expanded(format);
  // A locale's %X may itself say %r or %T; three rounds cover any real table.
  for (int round = 0; round < 3; ++round) {
    bool changed = false;
    std::string next;
    for (const Token& t : Tokenize(expanded)) {
      if (t.conversion && t.letter == 'T') {
        next += "%H:%M:%S";
      } else if (t.conversion && t.letter == 'r') {
        next += ampm_format.empty() ? std::string_view("%I:%M:%S %p") : ampm_format;
      } else if (t.conversion && t.letter == 'X' && round < 2) {
        next += time_format;
      } else {
        next += t.text;
        continue;
      }
      changed = true;
    }
    expanded = std::move(next);
    if (!changed) break;
  }

  std::vector<Token> tokens = Tokenize(expanded);
  for (std::size_t k = 0; k < tokens.size();) {
    if (!tokens[k].conversion || tokens[k].letter != 'S') {
      ++k;
      continue;
    }
    bool literal_before = k > 0 && !tokens[k - 1].conversion;
    bool literal_after = k + 1 < tokens.size() && !tokens[k + 1].conversion;
    if (literal_before && IsPunctuation(tokens[k - 1].text)) {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(k - 1), tokens.begin() + static_cast<std::ptrdiff_t>(k + 1));
      --k;
    } else if (literal_before && literal_after) {
      // "%M分%S秒": the word after the seconds is their unit.
      std::string& after = tokens[k + 1].text;
      std::size_t word = after.find_first_not_of(" \t");
      std::size_t end = word == std::string::npos ? after.size() : after.find_first_of(" \t", word);
      after.erase(0, end == std::string::npos ? after.size() : end);
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(k));
    } else if (k == 0 && literal_after && IsPunctuation(tokens[1].text)) {
      tokens.erase(tokens.begin(), tokens.begin() + 2);
    } else {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }
  return TrimBlanks(Join(tokens));
}

}  // namespace time_internal

SystemTime GetSystemTime() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  ::gmtime_r(&ts.tv_sec, &tm);
  return FromTm(tm, ts.tv_nsec);
}

SystemTime GetLocalTime() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  ::tzset();  // pick up a changed TZ, as localtime_r alone may not
  std::tm tm{};
  ::localtime_r(&ts.tv_sec, &tm);
  return FromTm(tm, ts.tv_nsec);
}

std::uint32_t GetTickCount() {
  timespec ts{};
  ::clock_gettime(CLOCK_BOOTTIME, &ts);
  std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);  // wraps like its model
}

TimeZoneInfo GetTimeZoneInformation() { return time_internal::TimeZoneAt(std::time(nullptr)); }

std::int32_t CurrentBiasMinutes() {
  TimeZoneInfo info = GetTimeZoneInformation();
  if (!info.known) return 0;
  return info.bias + (info.daylight_in_effect ? info.daylight_bias : 0);
}

std::u16string FormatShortDate(const SystemTime& t) {
  TimeLocale locale;
  return locale.Format(locale.Info(D_FMT), t);
}

std::u16string FormatTimeWithoutSeconds(const SystemTime& t) {
  TimeLocale locale;
  std::string time_format = locale.Info(T_FMT);
  std::string format = time_internal::TimeFormatWithoutSeconds(time_format, locale.Info(T_FMT_AMPM), time_format);
  return locale.Format(format, t);
}

}  // namespace platform
