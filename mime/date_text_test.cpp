#include "mime/date_text.h"

#include <gtest/gtest.h>

namespace mime {
namespace {

platform::SystemTime At(int y, int mo, int d, int h, int mi, int s) {
  platform::SystemTime t;
  t.year = y, t.month = mo, t.day = d, t.hour = h, t.minute = mi, t.second = s;
  return t;
}

platform::TimeZoneInfo Zone(int bias, int daylight_bias = 0, bool daylight = false) {
  platform::TimeZoneInfo z;
  z.known = true, z.bias = bias, z.daylight_bias = daylight_bias, z.daylight_in_effect = daylight;
  return z;
}

TEST(DateText, ZoneTexts) {
  struct Case {
    platform::TimeZoneInfo zone;
    const char* text;
  };
  const Case cases[] = {
      {Zone(-60), "+0100"},          {Zone(0), "-0000"},           {platform::TimeZoneInfo{}, "+0000"},
      {Zone(-60, -60, true), "+0200"}, {Zone(-60, -60, false), "+0100"}, {Zone(300), "-0500"},
      {Zone(-330), "+0530"},         {Zone(480, -60, true), "-0700"},
  };
  for (const auto& c : cases) EXPECT_EQ(ZoneText(c.zone), c.text);
}

TEST(DateText, CurrentTimeUsesLocalTimeOrUtcForAnUnknownZone) {
  auto local = At(2026, 12, 7, 9, 5, 3);
  auto utc = At(2026, 12, 7, 8, 5, 3);
  EXPECT_EQ(FormatDateText(std::nullopt, Zone(-60), local, utc), "Mon, 7 Dec 2026 09:05:03 +0100");
  EXPECT_EQ(FormatDateText(std::nullopt, platform::TimeZoneInfo{}, local, utc), "Mon, 7 Dec 2026 08:05:03 +0000");
  EXPECT_EQ(FormatDateText(std::nullopt, Zone(0), At(2000, 2, 29, 23, 59, 59), utc), "Tue, 29 Feb 2000 23:59:59 -0000");
}

TEST(DateText, AStoredDateIsShiftedIntoTheZone) {
  VariantDate utc = VariantDateFromSystemTime(At(2026, 12, 7, 8, 5, 3));
  EXPECT_EQ(FormatDateText(utc, Zone(-60), {}, {}), "Mon, 7 Dec 2026 09:05:03 +0100");
  // Across midnight and a month end, westwards.
  VariantDate early = VariantDateFromSystemTime(At(2027, 1, 1, 2, 0, 0));
  EXPECT_EQ(FormatDateText(early, Zone(300), {}, {}), "Thu, 31 Dec 2026 21:00:00 -0500");
  EXPECT_EQ(FormatDateText(25569.5, platform::TimeZoneInfo{}, {}, {}), "Thu, 1 Jan 1970 12:00:00 +0000");
  auto back = SystemTimeFromVariantDate(utc);
  EXPECT_EQ(back.year, 2026);
  EXPECT_EQ(back.day_of_week, 1);
  EXPECT_EQ(back.second, 3);
}

}  // namespace
}  // namespace mime
