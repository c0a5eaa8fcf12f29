#include "security/crypto/sha512.h"

#include <gtest/gtest.h>

#include <string>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

struct Sha2Vector {
  const char* message;
  const char* sha384;
  const char* sha512;
};

// FIPS 180 examples; the 112-byte message needs a second block for its length field.
constexpr Sha2Vector kVectors[] = {
    {"",
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a5"
     "38327af927da3e"},
    {"abc",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a"
     "9ac94fa54ca49f"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039",
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd2654"
     "5e96e55b874be909"},
};

TEST(Sha512Test, PublishedVectorsForEveryFeeding) {
  for (const auto& v : kVectors) {
    SCOPED_TRACE(v.message);
    testing_hex::ExpectDigestForEveryFeeding<Sha384>(testing_hex::Bytes(v.message), v.sha384);
    testing_hex::ExpectDigestForEveryFeeding<Sha512>(testing_hex::Bytes(v.message), v.sha512);
  }
}

TEST(Sha512Test, MillionA) {
  Sha384 sha384;
  Sha512 sha512;
  const std::string chunk(1000, 'a');
  for (int k = 0; k < 1000; ++k) {
    sha384.Update(chunk.data(), chunk.size());
    sha512.Update(chunk.data(), chunk.size());
  }
  EXPECT_EQ(testing_hex::ToHex(sha384.Final()),
            "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985");
  EXPECT_EQ(testing_hex::ToHex(sha512.Final()),
            "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa"
            "2e4eadb217ad8cc09b");
}

}  // namespace
}  // namespace security
