#include "security/crypto/md2.h"

#include <gtest/gtest.h>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::Bytes;
using testing_hex::ToHex;

struct HashVector {
  const char* message;
  const char* digest;
};

// RFC 1319, appendix A.5.
constexpr HashVector kRfc1319Vectors[] = {
    {"", "8350e5a3e24c153df2275c9f80692773"},
    {"a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
    {"abc", "da853b0d3f88d99b30283a69e6ded6bb"},
    {"message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
    {"abcdefghijklmnopqrstuvwxyz", "4e8ddff3650292ab5a4108c3aa47940b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "da33def2a42df13975352846c30338cd"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "d5976f79d83d3a0dc9806c3c66f3efd8"},
};

TEST(Md2Test, Rfc1319Vectors) {
  for (const auto& v : kRfc1319Vectors) {
    auto message = Bytes(v.message);
    EXPECT_EQ(ToHex(Md2::Hash(message.data(), message.size())), v.digest) << v.message;
  }
}

// A message of exactly one block gets a whole block of padding (16 bytes of 16).
TEST(Md2Test, BlockBoundaryDiffersFromNeighbours) {
  const auto fifteen = Bytes("0123456789abcde");
  const auto sixteen = Bytes("0123456789abcdef");
  const auto seventeen = Bytes("0123456789abcdefg");
  EXPECT_NE(Md2::Hash(fifteen), Md2::Hash(sixteen));
  EXPECT_NE(Md2::Hash(sixteen), Md2::Hash(seventeen));
}

}  // namespace
}  // namespace security
