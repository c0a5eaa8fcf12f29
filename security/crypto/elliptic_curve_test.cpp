#include "security/crypto/elliptic_curve.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "security/crypto/big_number.h"
#include "security/crypto/digest.h"
#include "security/crypto/hash_test_support.h"
#include "security/crypto/random_generator.h"

namespace security {
namespace {

using testing_hex::FromHex;
using testing_hex::ToHex;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kP256Prime = "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff";
constexpr const char* kP256Order = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
constexpr const char* kP256B = "5ac635d8aa3a93e7b3ebbd55769886bc651d06b0cc53b0f63bce3c3e27d2604b";
constexpr const char* kP256G =
    "046b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296"
    "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5";
constexpr const char* kP384Order =
    "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf581a0db248b0a77aecec196accc52973";

constexpr const char* kRfcP256Key = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721";
constexpr const char* kRfcP256Point =
    "0460fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6"
    "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299";
constexpr const char* kRfcP384Key =
    "6b9d3dad2e1b8c1c05b19875b6659f4de23c3b667bf297ba9aa47740787137d896d5724e4c70a825f872c9ea60d2edf5";
constexpr const char* kRfcP384Point =
    "04ec3a4e415b4e19a4568618029f427fa5da9a8bc4ae92e02e06aae5286b300c64def8f0ea9055866064a254515480bc13"
    "8015d9b72d7d57244ea8ef9ac0c621896708a59367f9dfb9f54ca84b3f1c9db1288b231c3ae0d4fe7344fd2533264720";

// Signatures that verify: RFC 6979, A.2.5 (P-256) and A.2.6 (P-384),
// deterministic signatures of "sample" and "test" (with SHA-512 on P-256 for
// a digest longer than the order), and records of the NIST CAVP ECDSA
// SigVer/SigGen files. Messages in hex.
constexpr const char* kSample = "73616d706c65";
constexpr const char* kTest = "74657374";

struct KnownSignature {
  NamedCurve curve;
  const char* point;
  const char* message;
  DigestKind digest;
  const char* r;
  const char* s;
};

const KnownSignature kKnownSignatures[] = {
    {NamedCurve::kP256, kRfcP256Point, kSample, DigestKind::kSha256,
     "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716",
     "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8"},
    {NamedCurve::kP256, kRfcP256Point, kTest, DigestKind::kSha256,
     "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367",
     "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083"},
    {NamedCurve::kP256, kRfcP256Point, kSample, DigestKind::kSha512,
     "8496a60b5e9b47c825488827e0495b0e3fa109ec4568fd3f8d1097678eb97f00",
     "2362ab1adbe2b8adf9cb9edab740ea6049c028114f2460f96554f61fae3302fe"},
    {NamedCurve::kP384, kRfcP384Point, kSample, DigestKind::kSha384,
     "94edbb92a5ecb8aad4736e56c691916b3f88140666ce9fa73d64c4ea95ad133c81a648152e44acf96e36dd1e80fabe46",
     "99ef4aeb15f178cea1fe40db2603138f130e740a19624526203b6351d0a3a94fa329c145786e679e7b82c71a38628ac8"},
    {NamedCurve::kP384, kRfcP384Point, kTest, DigestKind::kSha384,
     "8203b63d3c853e8d77227fb377bcf7b7b772e97892a80f36ab775d509d7a5feb0542a7f0812998da8f1dd3ca3cf023db",
     "ddd0760448d42d8a43af45af836fce4de8be06b485e9b61b827c2f13173923e06a739f040649a667bf3b828246baa5a5"},
    {NamedCurve::kP256,
     "04e424dc61d4bb3cb7ef4344a7f8957a0c5134e16f7a67c074f82e6e12f49abf3c"
     "970eed7aa2bc48651545949de1dddaf0127e5965ac85d1243d6f60e7dfaee927",
     "e1130af6a38ccb412a9c8d13e15dbfc9e69a16385af3c3f1e5da954fd5e7c45fd75e2b8c36699228e92840c0562fbf3772f07e17f1add5"
     "6588dd45f7450e1217ad239922dd9c32695dc71ff2424ca0dec1321aa47064a044b7fe3c2b97d03ce470a592304c5ef21eed9f93da56bb"
     "232d1eeb0035f9bf0dfafdcc4606272b20a3",
     DigestKind::kSha256, "bf96b99aa49c705c910be33142017c642ff540c76349b9dab72f981fd9347f4f",
     "17c55095819089c2e03b9cd415abdf12444e323075d98f31920b9e0f57ec871c"},
    {NamedCurve::kP256,
     "041ccbe91c075fc7f4f033bfa248db8fccd3565de94bbfb12f3c59ff46c271bf83"
     "ce4014c68811f9a21a1fdb2c0e6113e06db7ca93b7404e78dc7ccd5ca89a4ca9",
     "5905238877c77421f73e43ee3da6f2d9e2ccad5fc942dcec0cbd25482935faaf416983fe165b1a045ee2bcd2e6dca3bdf46c4310a7461f"
     "9a37960ca672d3feb5473e253605fb1ddfd28065b53cb5858a8ad28175bf9bd386a5e471ea7a65c17cc934a9d791e91491eb3754d03799"
     "790fe2d308d16146d5c9b0d0debd97d79ce8",
     DigestKind::kSha256, "f3ac8061b514795b8843e3d6629527ed2afd6b1f6a555a7acabb5e6f79c8c2ac",
     "8bf77819ca05a6b2786c76262bf7371cef97b218e96f175a3ccdda2acc058903"},
    {NamedCurve::kP384,
     "04a370cdbef95d1df5bf68ec487122514a107db87df3f8852068fd4694abcadb9b14302c72491a76a64442fc07bd99f02c"
     "d397c25dc1a5781573d039f2520cf329bf65120fdbe964b6b80101160e533d5570e62125b9f3276c49244b8d0f3e44ec",
     "93e7e75cfaf3fa4e71df80f7f8c0ef6672a630d2dbeba1d61349acbaaa476f5f0e34dccbd85b9a815d908203313a22fe3e919504cb222d"
     "623ad95662ea4a90099742c048341fe3a7a51110d30ad3a48a777c6347ea8b71749316e0dd1902facb304a76324b71f3882e6e70319e13"
     "fc2bb9f3f5dbb9bd2cc7265f52dfc0a3bb91",
     DigestKind::kSha384,
     "c6c7bb516cc3f37a304328d136b2f44bb89d3dac78f1f5bcd36b412a8b4d879f6cdb75175292c696b58bfa9c91fe6391",
     "6b711425e1b14f7224cd4b96717a84d65a60ec9951a30152ea1dd3b6ea66a0088d1fd3e9a1ef069804b7d969148c37a0"},
};

// DER of SEQUENCE { INTEGER r, INTEGER s } from unsigned big-endian values.
Bytes Der(const Bytes& r, const Bytes& s) {
  auto integer = [](Bytes v) {
    while (v.size() > 1 && v[0] == 0 && !(v[1] & 0x80)) v.erase(v.begin());
    if (v[0] & 0x80) v.insert(v.begin(), 0);
    Bytes out = {0x02, static_cast<std::uint8_t>(v.size())};
    out.insert(out.end(), v.begin(), v.end());
    return out;
  };
  Bytes body = integer(r);
  const Bytes second = integer(s);
  body.insert(body.end(), second.begin(), second.end());
  Bytes out = {0x30, static_cast<std::uint8_t>(body.size())};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

TEST(EllipticCurveTest, PublicKeysOfKnownPrivateKeys) {
  EXPECT_EQ(ToHex(EcPublicKey(NamedCurve::kP256, FromHex(kRfcP256Key))), kRfcP256Point);
  EXPECT_EQ(ToHex(EcPublicKey(NamedCurve::kP384, FromHex(kRfcP384Key))), kRfcP384Point);
  // 1 gives the generator, n - 1 its negative (same X, Y = p - Gy).
  Bytes one(32, 0);
  one[31] = 1;
  EXPECT_EQ(ToHex(EcPublicKey(NamedCurve::kP256, one)), kP256G);
  Bytes n_minus_1 = FromHex(kP256Order);
  n_minus_1[31] -= 1;
  const Bytes negative = EcPublicKey(NamedCurve::kP256, n_minus_1);
  const Bytes g = FromHex(kP256G);
  EXPECT_EQ(Bytes(negative.begin(), negative.begin() + 33), Bytes(g.begin(), g.begin() + 33));
  const BigNumber p = BigNumber::FromHex(kP256Prime);
  const BigNumber gy = BigNumber::FromBytes(std::span(g).subspan(33));
  EXPECT_EQ(BigNumber::FromBytes(std::span(negative).subspan(33)), p - gy);
}

TEST(EllipticCurveTest, PrivateKeyRange) {
  const Bytes n = FromHex(kP256Order);
  Bytes n_minus_1 = n, n_plus_1 = n;
  n_minus_1[31] -= 1;
  n_plus_1[31] += 1;
  EXPECT_TRUE(EcIsValidPrivateKey(NamedCurve::kP256, n_minus_1));
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP256, n));
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP256, n_plus_1));
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP256, Bytes(32, 0)));
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP256, Bytes(32, 0xff)));
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP256, Bytes(31, 1)));   // short
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP384, Bytes(32, 1)));   // a P-256 size
  EXPECT_FALSE(EcIsValidPrivateKey(NamedCurve::kP384, FromHex(kP384Order)));
  EXPECT_THROW(EcPublicKey(NamedCurve::kP256, n), std::invalid_argument);
  const Bytes g = FromHex(kP256G);
  EXPECT_FALSE(EcdhSharedSecret(NamedCurve::kP256, n, g).has_value());
  EXPECT_FALSE(EcdhSharedSecret(NamedCurve::kP256, Bytes(32, 0), g).has_value());

  RandomGenerator random;
  random.SeedForTesting(7);
  for (NamedCurve curve : {NamedCurve::kP256, NamedCurve::kP384}) {
    const Bytes key = EcGeneratePrivateKey(curve, random);
    EXPECT_EQ(key.size(), EcFieldSize(curve));
    EXPECT_TRUE(EcIsValidPrivateKey(curve, key));
  }
}

TEST(EllipticCurveTest, DiffieHellmanAgreesBothWays) {
  RandomGenerator random;
  random.SeedForTesting(8);
  for (NamedCurve curve : {NamedCurve::kP256, NamedCurve::kP384}) {
    const Bytes a = EcGeneratePrivateKey(curve, random);
    const Bytes b = EcGeneratePrivateKey(curve, random);
    const auto ab = EcdhSharedSecret(curve, a, EcPublicKey(curve, b));
    const auto ba = EcdhSharedSecret(curve, b, EcPublicKey(curve, a));
    ASSERT_TRUE(ab.has_value());
    ASSERT_TRUE(ba.has_value());
    EXPECT_EQ(*ab, *ba);
    EXPECT_EQ(ab->size(), EcFieldSize(curve));
  }
}

// The square root of a modulo the P-256 prime (p = 3 mod 4), if there is one.
std::optional<BigNumber> SquareRoot(const BigNumber& a, const BigNumber& p) {
  const BigNumber root = BigNumber::ModExp(a, (p + BigNumber(1)).ShiftedRight(2), p);
  if (BigNumber::ModMultiply(root, root, p) == BigNumber::Mod(a, p)) return root;
  return std::nullopt;
}

Bytes Point(const BigNumber& x, const BigNumber& y, std::size_t size = 32) {
  Bytes out = {0x04};
  const Bytes xb = x.ToBytes(size), yb = y.ToBytes(size);
  out.insert(out.end(), xb.begin(), xb.end());
  out.insert(out.end(), yb.begin(), yb.end());
  return out;
}

// Peer points: the form, the length, coordinates at or above p, points off
// the curve, and the point at infinity are all refused, by ECDH and ECDSA alike.
TEST(EllipticCurveTest, PeerPointValidation) {
  const NamedCurve curve = NamedCurve::kP256;
  const BigNumber p = BigNumber::FromHex(kP256Prime);
  const Bytes g = FromHex(kP256G);
  const BigNumber gx = BigNumber::FromBytes(std::span(g).subspan(1, 32));
  const BigNumber gy = BigNumber::FromBytes(std::span(g).subspan(33));
  EXPECT_TRUE(EcIsValidPoint(curve, g));
  EXPECT_TRUE(EcIsValidPoint(curve, Point(gx, p - gy)));

  std::vector<std::pair<std::string, Bytes>> bad = {
      {"empty", {}},
      {"infinity", {0x00}},
      {"compressed", [&] { Bytes c(g.begin(), g.begin() + 33); c[0] = 0x02 | (g[64] & 1); return c; }()},
      {"hybrid prefix", [&] { Bytes h = g; h[0] = 0x06 | (g[64] & 1); return h; }()},
      {"one byte short", Bytes(g.begin(), g.end() - 1)},
      {"one byte long", [&] { Bytes l = g; l.push_back(0); return l; }()},
      {"off the curve", Point(gx, gy + BigNumber(1))},
      {"zero coordinates", Point(BigNumber(0), BigNumber(0))},
      {"y equal to p", Point(gx, p)},
      {"x equal to p", Point(p, gy)},
      {"a P-384 sized point", Point(gx, gy, 48)},
  };
  // A point with a small x, so that x + p still fits and names the same x
  // modulo p: only the canonical form may be accepted.
  const BigNumber b = BigNumber::FromHex(kP256B);
  for (std::uint64_t x0 = 0;; ++x0) {
    const BigNumber x(x0);
    const BigNumber rhs = BigNumber::Mod(x * x * x - BigNumber(3) * x + b, p);
    if (const auto y = SquareRoot(rhs, p)) {
      EXPECT_TRUE(EcIsValidPoint(curve, Point(x, *y))) << x0;
      bad.push_back({"x + p for x = " + std::to_string(x0), Point(x + p, *y)});
      break;
    }
  }
  Bytes key(32, 0);
  key[31] = 5;
  for (const auto& [name, point] : bad) {
    EXPECT_FALSE(EcIsValidPoint(curve, point)) << name;
    EXPECT_FALSE(EcdhSharedSecret(curve, key, point).has_value()) << name;
    EXPECT_FALSE(EcdsaVerifyRaw(curve, point, Bytes(32, 1), Bytes{1}, Bytes{1})) << name;
  }
}

TEST(EllipticCurveTest, KnownSignaturesVerify) {
  for (const KnownSignature& v : kKnownSignatures) {
    SCOPED_TRACE(v.r);
    const Bytes message = FromHex(v.message);
    const Bytes digest = ComputeDigest(v.digest, message);
    const Bytes point = FromHex(v.point);
    const Bytes r = FromHex(v.r), s = FromHex(v.s);
    EXPECT_TRUE(EcdsaVerifyRaw(v.curve, point, digest, r, s));
    EXPECT_TRUE(EcdsaVerify(v.curve, point, digest, Der(r, s)));
    // The other message, a swapped r and s, and the other curve fail.
    Bytes changed = message;
    changed.push_back('!');
    const Bytes other = ComputeDigest(v.digest, changed);
    EXPECT_FALSE(EcdsaVerify(v.curve, point, other, Der(r, s)));
    EXPECT_FALSE(EcdsaVerify(v.curve, point, digest, Der(s, r)));
    const NamedCurve wrong = v.curve == NamedCurve::kP256 ? NamedCurve::kP384 : NamedCurve::kP256;
    EXPECT_FALSE(EcdsaVerify(wrong, point, digest, Der(r, s)));
  }
}

// r and s outside [1, n - 1] are refused, including r + n and s + n, which
// a verifier reducing modulo n would take for the valid values.
TEST(EllipticCurveTest, SignatureValuesOutOfRange) {
  const KnownSignature& v = kKnownSignatures[0];
  const Bytes digest = ComputeDigest(v.digest, FromHex(v.message));
  const Bytes point = FromHex(v.point);
  const BigNumber n = BigNumber::FromHex(kP256Order);
  const BigNumber r = BigNumber::FromHex(v.r), s = BigNumber::FromHex(v.s);
  const Bytes zero = {0};
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, zero, s.ToMinimalBytes()));
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, r.ToMinimalBytes(), zero));
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, n.ToMinimalBytes(), s.ToMinimalBytes()));
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, r.ToMinimalBytes(), n.ToMinimalBytes()));
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, (r + n).ToMinimalBytes(), s.ToMinimalBytes()));
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, r.ToMinimalBytes(), (s + n).ToMinimalBytes()));
  EXPECT_FALSE(EcdsaVerify(v.curve, point, digest, Der((r + n).ToMinimalBytes(), s.ToMinimalBytes())));
  // Inputs of any length are answered, not thrown at: a long digest counts by
  // its leftmost bytes, long r and s are refused unless the excess is zeros.
  Bytes long_digest = digest;
  long_digest.resize(5000, 0xab);
  EXPECT_TRUE(EcdsaVerifyRaw(v.curve, point, long_digest, r.ToMinimalBytes(), s.ToMinimalBytes()));
  Bytes padded_r(3000, 0);
  const Bytes r_bytes = r.ToMinimalBytes();
  padded_r.insert(padded_r.end(), r_bytes.begin(), r_bytes.end());
  EXPECT_TRUE(EcdsaVerifyRaw(v.curve, point, digest, padded_r, s.ToMinimalBytes()));
  Bytes huge_r(3000, 0x01);
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, huge_r, s.ToMinimalBytes()));
  EXPECT_FALSE(EcdsaVerifyRaw(v.curve, point, digest, r.ToMinimalBytes(), huge_r));
  // n - s is the other valid s for the same r (ECDSA signatures are malleable); it must verify.
  EXPECT_TRUE(EcdsaVerifyRaw(v.curve, point, digest, r.ToMinimalBytes(), (n - s).ToMinimalBytes()));
}

TEST(EllipticCurveTest, StrictDerSignatures) {
  const KnownSignature& v = kKnownSignatures[0];  // r and s both have the top bit set
  const Bytes digest = ComputeDigest(v.digest, FromHex(v.message));
  const Bytes point = FromHex(v.point);
  const Bytes good = Der(FromHex(v.r), FromHex(v.s));
  ASSERT_EQ(good.size(), 2u + 2 * 35);
  ASSERT_TRUE(EcdsaVerify(v.curve, point, digest, good));
  const auto parsed = ParseDerEcdsaSignature(good);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(ToHex(parsed->r), std::string("00") + v.r);

  auto edit = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const std::vector<std::pair<std::string, Bytes>> bad = {
      {"empty", {}},
      {"not a sequence", edit([](Bytes& b) { b[0] = 0x31; })},
      {"sequence length too long", edit([](Bytes& b) { b[1] += 1; })},
      {"sequence length too short", edit([](Bytes& b) { b[1] -= 1; })},
      {"byte after the sequence", edit([](Bytes& b) { b.push_back(0); })},
      {"trailing byte inside", edit([](Bytes& b) { b.push_back(0); b[1] += 1; })},
      {"long-form length", edit([](Bytes& b) { b.insert(b.begin() + 1, 0x81); })},
      {"r not an integer", edit([](Bytes& b) { b[2] = 0x04; })},
      {"r negative (leading zero dropped)",
       edit([](Bytes& b) { b.erase(b.begin() + 4); b[3] = 32; b[1] -= 1; })},
      {"r with a needless leading zero",
       edit([](Bytes& b) { b.insert(b.begin() + 4, 0); b[3] = 34; b[1] += 1; })},
      {"s cut short", Bytes(good.begin(), good.end() - 1)},
      {"only r", [&] { Bytes b(good.begin(), good.begin() + 2 + 35); b[1] = 35; return b; }()},
      {"empty integer", Bytes{0x30, 0x04, 0x02, 0x00, 0x02, 0x00}},
  };
  for (const auto& [name, der] : bad) {
    EXPECT_FALSE(ParseDerEcdsaSignature(der).has_value()) << name;
    EXPECT_FALSE(EcdsaVerify(v.curve, point, digest, der)) << name;
  }
  // A small valid integer needs no padding: r = 1 parses to the single byte 01.
  const auto small = ParseDerEcdsaSignature(Bytes{0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x7f});
  ASSERT_TRUE(small.has_value());
  EXPECT_EQ(small->r, Bytes{1});
  EXPECT_EQ(small->s, Bytes{0x7f});
}

}  // namespace
}  // namespace security
