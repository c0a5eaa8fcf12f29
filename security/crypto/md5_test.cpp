#include "security/crypto/md5.h"

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

// RFC 1321, appendix A.5.
constexpr HashVector kRfc1321Vectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// Reproduces the RFC suite whether the message arrives whole, byte by byte or in two pieces.
TEST(Md5Test, Rfc1321VectorsForEveryFeeding) {
  for (const auto& v : kRfc1321Vectors) {
    SCOPED_TRACE(v.message);
    testing_hex::ExpectDigestForEveryFeeding<Md5>(Bytes(v.message), v.digest);
  }
}

// Init after Final starts a fresh digest instead of continuing the old state.
TEST(Md5Test, InitResetsAfterFinal) {
  Md5 md5;
  md5.Update("garbage", 7);
  md5.Final();
  md5.Init();
  md5.Update("abc", 3);
  EXPECT_EQ(ToHex(md5.Final()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace security
