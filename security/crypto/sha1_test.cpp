#include "security/crypto/sha1.h"

#include <gtest/gtest.h>

#include <string>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::Bytes;
using testing_hex::ToHex;

struct HashVector {
  const char* message;
  const char* digest;
};

// FIPS 180 examples plus the empty message and a message of exactly one block.
constexpr HashVector kSha1Vectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"The quick brown fox jumps over the lazy dog", "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
};

TEST(Sha1Test, PublishedVectorsForEveryFeeding) {
  for (const auto& v : kSha1Vectors) {
    SCOPED_TRACE(v.message);
    testing_hex::ExpectDigestForEveryFeeding<Sha1>(Bytes(v.message), v.digest);
  }
}

// The million-'a' vector crosses many blocks and a bit count above 2^23.
TEST(Sha1Test, MillionA) {
  Sha1 sha1;
  const std::string chunk(1000, 'a');
  for (int k = 0; k < 1000; ++k) sha1.Update(chunk.data(), chunk.size());
  EXPECT_EQ(ToHex(sha1.Final()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

}  // namespace
}  // namespace security
