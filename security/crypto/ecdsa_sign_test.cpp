// ECDSA signing: the deterministic signatures of RFC 6979 (A.2.5, A.2.6),
// the DER form, and the EC key blob the TLS engine takes.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "security/crypto/digest.h"
#include "security/crypto/ec_private_key.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::FromHex;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kP256Key = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721";
constexpr const char* kP384Key =
    "6b9d3dad2e1b8c1c05b19875b6659f4de23c3b667bf297ba9aa47740787137d896d5724e4c70a825f872c9ea60d2edf5";

struct Vector {
  NamedCurve curve;
  const char* key;
  const char* message;
  DigestKind hash;
  const char* r;
  const char* s;
};

// The message hash is also the nonce's HMAC hash. The crossed pairs (P-256
// with SHA-384, P-384 with SHA-256) take the nonce from more, and fewer,
// HMAC bytes than the order has.
const Vector kVectors[] = {
    {NamedCurve::kP256, kP256Key, "sample", DigestKind::kSha256,
     "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716",
     "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8"},
    {NamedCurve::kP256, kP256Key, "test", DigestKind::kSha256,
     "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367",
     "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083"},
    {NamedCurve::kP256, kP256Key, "sample", DigestKind::kSha384,
     "0eafea039b20e9b42309fb1d89e213057cbf973dc0cfc8f129edddc800ef7719",
     "4861f0491e6998b9455193e34e7b0d284ddd7149a74b95b9261f13abde940954"},
    {NamedCurve::kP384, kP384Key, "sample", DigestKind::kSha384,
     "94edbb92a5ecb8aad4736e56c691916b3f88140666ce9fa73d64c4ea95ad133c81a648152e44acf96e36dd1e80fabe46",
     "99ef4aeb15f178cea1fe40db2603138f130e740a19624526203b6351d0a3a94fa329c145786e679e7b82c71a38628ac8"},
    {NamedCurve::kP384, kP384Key, "test", DigestKind::kSha384,
     "8203b63d3c853e8d77227fb377bcf7b7b772e97892a80f36ab775d509d7a5feb0542a7f0812998da8f1dd3ca3cf023db",
     "ddd0760448d42d8a43af45af836fce4de8be06b485e9b61b827c2f13173923e06a739f040649a667bf3b828246baa5a5"},
    {NamedCurve::kP384, kP384Key, "sample", DigestKind::kSha256,
     "21b13d1e013c7fa1392d03c5f99af8b30c570c6f98d4ea8e354b63a21d3daa33bde1e888e63355d92fa2b3c36d8fb2cd",
     "f3aa443fb107745bf4bd77cb3891674632068a10ca67e3d45db2266fa7d1feebefdc63eccd1ac42ec0cb8668a4fa0ab0"},
};

Bytes DerInteger(Bytes v) {
  while (v.size() > 1 && v[0] == 0) v.erase(v.begin());
  if (v[0] & 0x80) v.insert(v.begin(), 0);
  Bytes out = {0x02, static_cast<std::uint8_t>(v.size())};
  out.insert(out.end(), v.begin(), v.end());
  return out;
}

TEST(EcdsaSignTest, Rfc6979Signatures) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.r);
    const std::string text = v.message;
    const Bytes digest = ComputeDigest(v.hash, Bytes(text.begin(), text.end()));
    const Bytes signature = EcdsaSign(v.curve, FromHex(v.key), digest, v.hash);
    Bytes body = DerInteger(FromHex(v.r));
    const Bytes s = DerInteger(FromHex(v.s));
    body.insert(body.end(), s.begin(), s.end());
    Bytes expected = {0x30, static_cast<std::uint8_t>(body.size())};
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(signature, expected);
    const Bytes point = EcPublicKey(v.curve, FromHex(v.key));
    EXPECT_TRUE(EcdsaVerify(v.curve, point, digest, signature));
  }
}

TEST(EcdsaSignTest, DerFormAndRefusedInput) {
  // Many digests: r and s with their top bit set get a zero byte in front,
  // and every signature is strict DER that verifies.
  const Bytes key = FromHex(kP256Key);
  const Bytes point = EcPublicKey(NamedCurve::kP256, key);
  bool padded = false;
  for (int k = 0; k < 24; ++k) {
    const Bytes digest = ComputeDigest(DigestKind::kSha256, Bytes{static_cast<std::uint8_t>(k)});
    const Bytes signature = EcdsaSign(NamedCurve::kP256, key, digest, DigestKind::kSha256);
    const auto parsed = ParseDerEcdsaSignature(signature);
    ASSERT_TRUE(parsed.has_value()) << k;
    padded = padded || parsed->r.size() == 33 || parsed->s.size() == 33;
    EXPECT_TRUE(EcdsaVerify(NamedCurve::kP256, point, digest, signature)) << k;
  }
  EXPECT_TRUE(padded);
  const Bytes digest(32, 7);
  EXPECT_THROW(EcdsaSign(NamedCurve::kP256, Bytes(32, 0), digest, DigestKind::kSha256), std::invalid_argument);
  EXPECT_THROW(EcdsaSign(NamedCurve::kP256, FromHex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551"),
                         digest, DigestKind::kSha256),
               std::invalid_argument);
  EXPECT_THROW(EcdsaSign(NamedCurve::kP384, key, digest, DigestKind::kSha256), std::invalid_argument);
  EXPECT_THROW(EcdsaSign(NamedCurve::kP256, key, digest, DigestKind::kSha1), std::invalid_argument);
}

TEST(EcdsaSignTest, KeyBlobRoundTripAndRefusals) {
  const EcPrivateKey key(NamedCurve::kP384, FromHex(kP384Key));
  const Bytes blob = EncodeEcPrivateKeyBlob(key);
  ASSERT_EQ(blob.size(), 3u + 48u);
  EXPECT_EQ(blob[0], kEcKeyBlobTag);
  const auto decoded = DecodeEcPrivateKeyBlob(blob);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->curve, NamedCurve::kP384);
  EXPECT_EQ(decoded->scalar, key.scalar);

  Bytes wrong_tag = blob;
  wrong_tag[0] = 1;
  EXPECT_FALSE(DecodeEcPrivateKeyBlob(wrong_tag));
  Bytes wrong_curve = blob;
  wrong_curve[2] = 25;  // secp521r1, not known here
  EXPECT_FALSE(DecodeEcPrivateKeyBlob(wrong_curve));
  Bytes as_p256 = blob;
  as_p256[2] = 23;  // a P-384 scalar is too long for P-256
  EXPECT_FALSE(DecodeEcPrivateKeyBlob(as_p256));
  EXPECT_FALSE(DecodeEcPrivateKeyBlob(Bytes(blob.begin(), blob.end() - 1)));
  Bytes zero = blob;
  std::fill(zero.begin() + 3, zero.end(), 0);
  EXPECT_FALSE(DecodeEcPrivateKeyBlob(zero));
  EXPECT_FALSE(DecodeEcPrivateKeyBlob(Bytes{2, 0}));
}

}  // namespace
}  // namespace security
