#include "security/crypto/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

struct HashVector {
  const char* message;
  const char* digest;
};

// FIPS 180 examples (one block, two blocks, empty).
constexpr HashVector kSha256Vectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
};

TEST(Sha256Test, PublishedVectorsForEveryFeeding) {
  for (const auto& v : kSha256Vectors) {
    SCOPED_TRACE(v.message);
    testing_hex::ExpectDigestForEveryFeeding<Sha256>(testing_hex::Bytes(v.message), v.digest);
  }
}

TEST(Sha256Test, MillionA) {
  Sha256 sha;
  const std::string chunk(1000, 'a');
  for (int k = 0; k < 1000; ++k) sha.Update(chunk.data(), chunk.size());
  EXPECT_EQ(testing_hex::ToHex(sha.Final()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace security
