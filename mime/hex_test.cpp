#include "mime/hex.h"

#include <gtest/gtest.h>

namespace mime {
namespace {

TEST(Hex, LowercaseTwoDigitsHighNibbleFirst) {
  EXPECT_EQ(ToLowerHex(std::string_view("")), "");
  EXPECT_EQ(ToLowerHex(std::string_view("\x00\x0f\xf0\xab\xff", 5)), "000ff0abff");
  EXPECT_EQ(ToLowerHex(std::string_view("Hi")), "4869");
}

}  // namespace
}  // namespace mime
