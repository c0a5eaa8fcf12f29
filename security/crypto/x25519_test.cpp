#include "security/crypto/x25519.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::FromHex;
using testing_hex::ToHex;
using Key = std::array<std::uint8_t, 32>;

Key K(const char* hex) {
  Key k{};
  const auto bytes = FromHex(hex);
  std::memcpy(k.data(), bytes.data(), 32);
  return k;
}

std::string Mult(const Key& scalar, const Key& point) {
  Key out{};
  EXPECT_TRUE(X25519(scalar.data(), point.data(), out.data()));
  return ToHex(out);
}

// RFC 7748, 5.2: two single products, one with the top bit of u set.
TEST(X25519Test, RfcVectors) {
  EXPECT_EQ(Mult(K("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4"),
                 K("e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c")),
            "c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552");
  EXPECT_EQ(Mult(K("4b66e9d4d1b4673c5ad22691957d6af5c11b6421e0ea01d42ca4169e7918ba0d"),
                 K("e5210f12786811d3f4b7959d0538ae2c31dbe7106fc03c3efc4cd549c715a493")),
            "95cbde9476e8907d7aade45cb4b873f88b595a68799fa152e6f8f7647aac7957");
}

// RFC 7748, 5.2: k = u = 9, then (k, u) = (X25519(k, u), k), after 1 and 1000 rounds.
TEST(X25519Test, RfcIteratedVector) {
  Key k{9}, u{9};
  for (int round = 1; round <= 1000; ++round) {
    Key next{};
    ASSERT_TRUE(X25519(k.data(), u.data(), next.data()));
    u = k;
    k = next;
    if (round == 1) {
      EXPECT_EQ(ToHex(k), "422c8e7a6227d7bca1350b3e2bb7279f7897b87bb6854b783c60e80311ae3079");
    }
  }
  EXPECT_EQ(ToHex(k), "684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51");
}

// RFC 7748, 6.1.
TEST(X25519Test, RfcDiffieHellman) {
  const Key alice = K("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const Key bob = K("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
  Key alice_public{}, bob_public{};
  X25519PublicKey(alice.data(), alice_public.data());
  X25519PublicKey(bob.data(), bob_public.data());
  EXPECT_EQ(ToHex(alice_public), "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  EXPECT_EQ(ToHex(bob_public), "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
  EXPECT_EQ(Mult(alice, bob_public), "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
  EXPECT_EQ(Mult(bob, alice_public), "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
}

// Points of small order give the all-zero secret, which is reported.
TEST(X25519Test, SmallOrderPointsAreReported) {
  const Key scalar = K("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const Key small_order[] = {
      Key{0},  // order 1 (the point at infinity's u) and 2
      Key{1},  // order 4
      K("e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800"),  // order 8
      K("ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"),  // p - 1, order 2
      K("edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"),  // p, i.e. 0
  };
  for (const Key& point : small_order) {
    Key out;
    out.fill(0xaa);
    EXPECT_FALSE(X25519(scalar.data(), point.data(), out.data())) << ToHex(point);
    EXPECT_EQ(out, Key{}) << ToHex(point);
  }
}

// The top bit of u is ignored, and u >= p is taken modulo p.
TEST(X25519Test, NonCanonicalCoordinates) {
  const Key scalar = K("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4");
  Key nine{9};
  Key nine_plus_p = K("f6ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f");  // p + 9
  Key nine_high_bit = nine;
  nine_high_bit[31] |= 0x80;
  const std::string expected = Mult(scalar, nine);
  EXPECT_EQ(Mult(scalar, nine_plus_p), expected);
  EXPECT_EQ(Mult(scalar, nine_high_bit), expected);
  Key public_key{};
  X25519PublicKey(scalar.data(), public_key.data());
  EXPECT_EQ(ToHex(public_key), expected);
}

}  // namespace
}  // namespace security
