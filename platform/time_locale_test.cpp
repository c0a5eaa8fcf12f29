#include "platform/time_locale.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <ctime>
#include <fstream>

#include "platform/text.h"
#include "platform/time_locale_internal.h"
#include "tests/support/test_environment.h"

// The C library's newlocale() loses its copy of LOCPATH on every call; the
// locale test sets LOCPATH for locales it compiles itself.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\nleak:__argz_create_sep\n"; }

namespace platform {
namespace {

std::time_t Utc(int year, int month, int day, int hour = 12) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  return timegm(&tm);
}

std::time_t Seconds(const SystemTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  return timegm(&tm);
}

// Asks "locale -a" rather than the C library, which remembers a failed lookup
// for the rest of the process.
bool LocaleInstalled(std::string name) {
  auto normal = [](std::string n) {
    n = platform::AsciiLower(n);
    if (auto p = n.find("utf-8"); p != std::string::npos) n.replace(p, 5, "utf8");
    return n;
  };
  FILE* list = popen("locale -a 2>/dev/null", "r");
  if (!list) return false;
  char line[256];
  bool found = false;
  while (fgets(line, sizeof line, list)) {
    std::string entry(line);
    while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.pop_back();
    if (normal(entry) == normal(name)) found = true;
  }
  pclose(list);
  return found;
}

TEST(TimeLocaleTest, ClocksAgreeWithTheSystem) {
  setenv("TZ", "Asia/Kolkata", 1);
  std::time_t before = std::time(nullptr);
  SystemTime utc = GetSystemTime();
  SystemTime local = GetLocalTime();
  std::time_t after = std::time(nullptr);
  EXPECT_GE(Seconds(utc), before);
  EXPECT_LE(Seconds(utc), after);
  EXPECT_LT(utc.milliseconds, 1000);
  std::tm check{};
  std::time_t at = Seconds(utc);
  gmtime_r(&at, &check);
  EXPECT_EQ(utc.day_of_week, check.tm_wday);
  // India is 5:30 ahead, without daylight time.
  EXPECT_NEAR(static_cast<double>(Seconds(local) - Seconds(utc)), 330 * 60, 2);
  EXPECT_EQ(CurrentBiasMinutes(), -330);

  std::ifstream uptime("/proc/uptime");
  double seconds_up = 0;
  ASSERT_TRUE(uptime >> seconds_up);
  std::uint32_t expected = static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds_up * 1000));
  std::uint32_t ticks = GetTickCount();
  EXPECT_LT(static_cast<std::uint32_t>(ticks - expected), 2000u) << ticks << " vs " << expected;
}

struct ZoneCase {
  const char* tz;
  std::time_t when;
  bool known;
  std::int32_t bias;
  std::int32_t daylight_bias;
  bool daylight_in_effect;
};

TEST(TimeLocaleTest, ZonesInTheHandheldsConvention) {
  const ZoneCase cases[] = {
      {"UTC", Utc(2026, 7, 15), true, 0, 0, false},
      {"", Utc(2026, 7, 15), true, 0, 0, false},
      {"Europe/Berlin", Utc(2026, 7, 15), true, -60, -60, true},
      {"Europe/Berlin", Utc(2026, 1, 15), true, -60, -60, false},
      {":Europe/Berlin", Utc(2026, 1, 15), true, -60, -60, false},
      {"America/New_York", Utc(2026, 7, 15), true, 300, -60, true},
      {"America/New_York", Utc(2026, 12, 1), true, 300, -60, false},
      {"Australia/Sydney", Utc(2026, 1, 15), true, -600, -60, true},
      {"Australia/Sydney", Utc(2026, 7, 15), true, -600, -60, false},
      {"Asia/Kolkata", Utc(2026, 7, 15), true, -330, 0, false},
      {"<+03>-3", Utc(2026, 7, 15), true, -180, 0, false},
      {"CET-1CEST,M3.5.0,M10.5.0/3", Utc(2026, 7, 15), true, -60, -60, true},
      {"Nowhere/Atlantis", Utc(2026, 7, 15), false, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tz);
    setenv("TZ", c.tz, 1);
    TimeZoneInfo info = time_internal::TimeZoneAt(c.when);
    EXPECT_EQ(info.known, c.known);
    EXPECT_EQ(info.bias, c.bias);
    EXPECT_EQ(info.daylight_bias, c.daylight_bias);
    EXPECT_EQ(info.daylight_in_effect, c.daylight_in_effect);
  }
  setenv("TZ", "Nowhere/Atlantis", 1);
  EXPECT_FALSE(GetTimeZoneInformation().known);
  EXPECT_EQ(CurrentBiasMinutes(), 0);
  // Now, whatever the season: UTC = local + current bias.
  setenv("TZ", "America/New_York", 1);
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(CurrentBiasMinutes(), -local.tm_gmtoff / 60);
}

struct FormatCase {
  const char* format;
  const char* expected;
};

TEST(TimeLocaleTest, TimeFormatLosesItsSeconds) {
  const FormatCase cases[] = {
      {"%H:%M:%S", "%H:%M"},
      {"%T", "%H:%M"},
      {"%r", "%I:%M %p"},
      {"%X", "%H.%M"},
      {"%I:%M:%S %p", "%I:%M %p"},
      {"%p %I:%M:%S", "%p %I:%M"},
      {"%l:%M:%OS %p %Z", "%l:%M %p %Z"},
      {"%H:%M", "%H:%M"},
      {"%H:%M 100%%S", "%H:%M 100%%S"},
      {"%H\xe6\x99\x82%M\xe5\x88\x86%S\xe7\xa7\x92", "%H\xe6\x99\x82%M\xe5\x88\x86"},
      {"%H h %M min %S s", "%H h %M min"},
      {"%S:%M", "%M"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(time_internal::TimeFormatWithoutSeconds(c.format, "%I:%M:%S %p", "%H.%M.%S"), c.expected) << c.format;
}

SystemTime Afternoon() {
  SystemTime t;
  t.year = 2026;
  t.month = 8;
  t.day = 12;
  t.hour = 14;
  t.minute = 5;
  t.second = 33;
  return t;
}

TEST(TimeLocaleTest, CLocaleAndTheFallbackToIt) {
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(FormatShortDate(Afternoon()), u"08/12/26");
  EXPECT_EQ(FormatTimeWithoutSeconds(Afternoon()), u"14:05");
  // A locale that is not installed falls back to "C" rather than to nothing.
  setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  EXPECT_EQ(FormatShortDate(Afternoon()), u"08/12/26");
  EXPECT_EQ(FormatTimeWithoutSeconds(Afternoon()), u"14:05");
  // The process's own locale is left alone.
  EXPECT_STREQ(setlocale(LC_TIME, nullptr), "C");
}

struct LocaleCase {
  const char* name;
  const char16_t* date;
  const char16_t* time;
};

// Real locales: the installed one, or one compiled for this test from the
// system's locale sources when it is not installed.
TEST(TimeLocaleTest, UserLocales) {
  testing_support::ScopedTestHome home;
  const LocaleCase cases[] = {
      {"en_US.UTF-8", u"08/12/2026", u"02:05 PM"},
      {"de_DE.UTF-8", u"12.08.2026", u"14:05"},
      {"ja_JP.UTF-8", u"2026\u5e7408\u670812\u65e5", u"14\u664205\u5206"},
  };
  const auto private_locales = home.root() / "locale";
  int tried = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A private locale folder hides the installed ones, so it is only named
    // for the locales compiled here.
    unsetenv("LOCPATH");
    if (!LocaleInstalled(c.name)) {
      std::string language(c.name, std::string_view(c.name).find('.'));
      std::string command = "localedef -i " + language + " -f UTF-8 '" + (private_locales / c.name).string() +
                            "' >/dev/null 2>&1";
      std::filesystem::create_directories(private_locales);
      if (std::system(command.c_str()) != 0) continue;
      setenv("LOCPATH", private_locales.c_str(), 1);
    }
    ++tried;
    setenv("LC_ALL", c.name, 1);
    EXPECT_EQ(FormatShortDate(Afternoon()), c.date);
    EXPECT_EQ(FormatTimeWithoutSeconds(Afternoon()), c.time);
  }
  if (tried == 0) GTEST_SKIP() << "no locale installed and localedef unavailable";
}

}  // namespace
}  // namespace platform
