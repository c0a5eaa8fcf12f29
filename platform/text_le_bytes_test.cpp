#include <gtest/gtest.h>

#include "platform/text.h"

namespace platform {
namespace {

TEST(TextLeBytesTest, LittleEndianBothWaysWithSurrogatesAndAnOddByte) {
  const std::u16string text = u"A\u00e9\u20ac\U0001F600";
  const std::vector<std::uint8_t> bytes = Utf16ToLeBytes(text);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x41, 0x00, 0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(Utf16FromLeBytes(bytes), text);
  std::vector<std::uint8_t> odd = bytes;
  odd.push_back(0x41);
  EXPECT_EQ(Utf16FromLeBytes(odd), text) << "a trailing odd byte is no unit";
  EXPECT_TRUE(Utf16ToLeBytes(u"").empty());
  EXPECT_EQ(Utf16FromLeBytes(std::vector<std::uint8_t>{0x00, 0x00}), std::u16string(1, u'\0'));
}

}  // namespace
}  // namespace platform
