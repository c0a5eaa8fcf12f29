// The desktop texts and the names of the status window's button bitmaps: every
// bitmap the status window names has its picture in the icon theme, and a disabled
// button looks different from an enabled one.

#include "resources/desktop_resources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/text.h"
#include "tests/support/test_environment.h"

namespace resources {
namespace {

std::filesystem::path ActionIcon(std::u16string_view name) {
  return testing_support::SourceDir() / "resources" / "share" / "icons" / "hicolor" / "scalable" / "actions" /
         (platform::Utf16ToUtf8(name) + ".svg");
}

TEST(DesktopResourcesTest, EveryButtonBitmapHasAPictureAndDisabledOnesDiffer) {
  struct Button {
    UINT enabled, enabled_high, disabled, disabled_high;
  } buttons[] = {
      {kStopSendBitmap, kStopSendBitmapHigh, kStopSendDisabledBitmap, kStopSendDisabledBitmapHigh},
      {kStopSaveBitmap, kStopSaveBitmapHigh, kStopSaveDisabledBitmap, kStopSaveDisabledBitmapHigh},
      {kCancelBitmap, kCancelBitmapHigh, kCancelDisabledBitmap, kCancelDisabledBitmapHigh},
  };
  std::set<std::u16string_view> names;
  for (const Button& b : buttons) {
    SCOPED_TRACE(b.enabled);
    EXPECT_EQ(BitmapIconName(b.enabled), BitmapIconName(b.enabled_high));
    EXPECT_EQ(BitmapIconName(b.disabled), BitmapIconName(b.disabled_high));
    EXPECT_NE(BitmapIconName(b.enabled), BitmapIconName(b.disabled));
    for (UINT id : {b.enabled, b.disabled}) {
      ASSERT_FALSE(BitmapIconName(id).empty()) << id;
      EXPECT_TRUE(std::filesystem::is_regular_file(ActionIcon(BitmapIconName(id)))) << ActionIcon(BitmapIconName(id));
      names.insert(BitmapIconName(id));
    }
  }
  EXPECT_EQ(names.size(), 6u) << "each button and state has its own picture";
  // Neighbours of the range are no bitmaps of the status window.
  for (UINT id : {4000u, 4001u, 4029u, 4042u}) EXPECT_TRUE(BitmapIconName(id).empty()) << id;
}

}  // namespace
}  // namespace resources
