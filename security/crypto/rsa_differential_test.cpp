// RSA against OpenSSL's libcrypto: PKCS #1 v1.5 signatures made by OpenSSL
// verify with ours (and fail when anything is changed), and our private
// operation, with and without the primes, matches OpenSSL's raw private
// operation.

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <random>
#include <vector>

#include "security/crypto/random_generator.h"
#include "security/crypto/rsa.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

BigNumber Param(EVP_PKEY* pkey, const char* name) {
  BIGNUM* bn = nullptr;
  EVP_PKEY_get_bn_param(pkey, name, &bn);
  Bytes bytes(BN_num_bytes(bn));
  BN_bn2bin(bn, bytes.data());
  BN_free(bn);
  return BigNumber::FromBytes(bytes);
}

RsaPrivateKey OursFrom(EVP_PKEY* pkey) {
  RsaPrivateKey key;
  key.modulus = Param(pkey, OSSL_PKEY_PARAM_RSA_N);
  key.public_exponent = Param(pkey, OSSL_PKEY_PARAM_RSA_E);
  key.private_exponent = Param(pkey, OSSL_PKEY_PARAM_RSA_D);
  key.prime1 = Param(pkey, OSSL_PKEY_PARAM_RSA_FACTOR1);
  key.prime2 = Param(pkey, OSSL_PKEY_PARAM_RSA_FACTOR2);
  key.exponent1 = Param(pkey, OSSL_PKEY_PARAM_RSA_EXPONENT1);
  key.exponent2 = Param(pkey, OSSL_PKEY_PARAM_RSA_EXPONENT2);
  key.coefficient = Param(pkey, OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
  return key;
}

Bytes OpenSslSign(EVP_PKEY* pkey, const char* digest, const Bytes& message) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestSignInit_ex(ctx, nullptr, digest, nullptr, nullptr, pkey, nullptr);
  std::size_t length = 0;
  EVP_DigestSign(ctx, nullptr, &length, message.data(), message.size());
  Bytes signature(length);
  EVP_DigestSign(ctx, signature.data(), &length, message.data(), message.size());
  EVP_MD_CTX_free(ctx);
  signature.resize(length);
  return signature;
}

struct DigestCase {
  const char* openssl_name;
  DigestKind kind;
};

constexpr DigestCase kDigests[] = {{"MD5", DigestKind::kMd5},       {"SHA1", DigestKind::kSha1},
                                   {"SHA256", DigestKind::kSha256}, {"SHA384", DigestKind::kSha384},
                                   {"SHA512", DigestKind::kSha512}};

TEST(RsaDifferentialTest, VerifiesOpenSslSignatures) {
  std::mt19937 rng(11);
  for (unsigned bits : {1024u, 2048u, 4096u}) {
    Pkey pkey(EVP_RSA_gen(bits), EVP_PKEY_free);
    const RsaPrivateKey key = OursFrom(pkey.get());
    const RsaPublicKey pub{key.modulus, key.public_exponent};
    for (const auto& d : kDigests) {
      SCOPED_TRACE(std::to_string(bits) + " " + d.openssl_name);
      Bytes message(rng() % 300);
      for (auto& b : message) b = static_cast<std::uint8_t>(rng());
      const Bytes signature = OpenSslSign(pkey.get(), d.openssl_name, message);
      const Bytes digest = ComputeDigest(d.kind, message);
      EXPECT_TRUE(RsaVerifyDigest(pub, signature, d.kind, digest));
      Bytes other_digest = digest;
      other_digest[0] ^= 1;
      EXPECT_FALSE(RsaVerifyDigest(pub, signature, d.kind, other_digest));
      Bytes other_signature = signature;
      other_signature[rng() % other_signature.size()] ^= 0x40;
      EXPECT_FALSE(RsaVerifyDigest(pub, other_signature, d.kind, digest));
      // The same digest bytes announced as another algorithm do not verify.
      const DigestKind wrong = d.kind == DigestKind::kSha1 ? DigestKind::kMd5 : DigestKind::kSha1;
      EXPECT_FALSE(RsaVerifyDigest(pub, signature, wrong, ComputeDigest(wrong, message)));

      // Our type 1 block through our private operation is OpenSSL's signature.
      const auto prefix = DigestInfoPrefix(d.kind);
      Bytes payload(prefix.begin(), prefix.end());
      payload.insert(payload.end(), digest.begin(), digest.end());
      const BigNumber block = BigNumber::FromBytes(Pkcs1Type1Block(payload, key.modulus.ByteLength()));
      EXPECT_EQ(RsaPrivateOperation(key, block).ToBytes(signature.size()), signature);
    }
  }
}

TEST(RsaDifferentialTest, PrivateOperationWithAndWithoutPrimes) {
  Pkey pkey(EVP_RSA_gen(2048), EVP_PKEY_free);
  const RsaPrivateKey key = OursFrom(pkey.get());
  RsaPrivateKey plain = key;
  plain.prime1 = plain.prime2 = BigNumber();
  ASSERT_TRUE(key.HasCrt());
  ASSERT_FALSE(plain.HasCrt());
  std::mt19937 rng(5);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(pkey.get(), nullptr);
  EVP_PKEY_decrypt_init(ctx);
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
  for (int round = 0; round < 10; ++round) {
    Bytes input(256);
    for (auto& b : input) b = static_cast<std::uint8_t>(rng());
    input[0] &= 0x3f;
    Bytes expected(256);
    std::size_t length = expected.size();
    ASSERT_EQ(EVP_PKEY_decrypt(ctx, expected.data(), &length, input.data(), input.size()), 1);
    const BigNumber block = BigNumber::FromBytes(input);
    EXPECT_EQ(RsaPrivateOperation(key, block).ToBytes(256), expected);
    EXPECT_EQ(RsaPrivateOperation(plain, block).ToBytes(256), expected);
    // And back with the public operation.
    EXPECT_EQ(RsaPublicOperation({key.modulus, key.public_exponent}, BigNumber::FromBytes(expected)), block);
  }
  EVP_PKEY_CTX_free(ctx);
  EXPECT_THROW(RsaPublicOperation({key.modulus, key.public_exponent}, key.modulus), std::invalid_argument);

  const auto decoded = DecodeRsaPrivateKeyBlob(EncodeRsaPrivateKeyBlob(key));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->coefficient, key.coefficient);
  EXPECT_EQ(decoded->private_exponent, key.private_exponent);
  Bytes truncated = EncodeRsaPrivateKeyBlob(key);
  truncated.pop_back();
  EXPECT_FALSE(DecodeRsaPrivateKeyBlob(truncated));
}

TEST(RsaDifferentialTest, CheckedSignatureMatchesOpenSslAndRefusesAFaultyKey) {
  Pkey pkey(EVP_RSA_gen(1024), EVP_PKEY_free);
  const RsaPrivateKey key = OursFrom(pkey.get());
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(pkey.get(), nullptr);
  EVP_PKEY_decrypt_init(ctx);
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
  std::mt19937 rng(9);
  RandomGenerator random;
  random.SeedForTesting(3);
  for (int round = 0; round < 5; ++round) {
    Bytes input(128);
    for (auto& b : input) b = static_cast<std::uint8_t>(rng());
    input[0] &= 0x3f;
    Bytes expected(128);
    std::size_t length = expected.size();
    ASSERT_EQ(EVP_PKEY_decrypt(ctx, expected.data(), &length, input.data(), input.size()), 1);
    // The blinding factor differs each time; the signature may not.
    const auto signature = RsaSignChecked(key, BigNumber::FromBytes(input), random);
    ASSERT_TRUE(signature.has_value());
    EXPECT_EQ(signature->ToBytes(128), expected);
  }
  EVP_PKEY_CTX_free(ctx);

  // A wrong CRT value yields a wrong signature, which with a right one would
  // factor the modulus: the checked operation gives none.
  const BigNumber block = BigNumber::FromBytes(Bytes(100, 0x5a));
  RsaPrivateKey faulty = key;
  faulty.exponent1 = faulty.exponent1 + BigNumber(2);
  ASSERT_FALSE(RsaPrivateOperation(faulty, block) == RsaPrivateOperation(key, block));
  EXPECT_FALSE(RsaSignChecked(faulty, block, random).has_value());
  RsaPrivateKey wrong_exponent = key;
  wrong_exponent.prime1 = wrong_exponent.prime2 = BigNumber();
  wrong_exponent.private_exponent = wrong_exponent.private_exponent + BigNumber(1);
  EXPECT_FALSE(RsaSignChecked(wrong_exponent, block, random).has_value());
}

TEST(RsaTest, Pkcs1Blocks) {
  const Bytes secret = {9, 8, 7};
  const Bytes type1 = Pkcs1Type1Block(secret, 16);
  EXPECT_EQ(type1, (Bytes{0, 1, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 9, 8, 7}));
  EXPECT_EQ(ParsePkcs1Type1Block(type1), secret);
  Bytes short_padding = type1;
  short_padding[9] = 0;  // only 7 0xFF bytes before the separator
  EXPECT_FALSE(ParsePkcs1Type1Block(short_padding));
  EXPECT_THROW(Pkcs1Type1Block(secret, 13), std::length_error);

  RandomGenerator random;
  random.SeedForTesting(3);
  const Bytes type2 = Pkcs1Type2Block(secret, 64, random);
  ASSERT_EQ(type2.size(), 64u);
  EXPECT_EQ(type2[0], 0);
  EXPECT_EQ(type2[1], 2);
  for (std::size_t k = 2; k < 60; ++k) EXPECT_NE(type2[k], 0) << k;
  EXPECT_EQ(type2[60], 0);
  EXPECT_EQ(Bytes(type2.end() - 3, type2.end()), secret);
}

}  // namespace
}  // namespace security
