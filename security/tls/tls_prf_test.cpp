#include "security/tls/tls_prf.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>

#include <random>
#include <string>
#include <vector>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::ToHex;
using Bytes = std::vector<std::uint8_t>;

// P_hash written directly on OpenSSL's HMAC, as the oracle for our expansion.
Bytes OpenSslPHash(const EVP_MD* md, const Bytes& secret, const Bytes& seed, std::size_t length) {
  Bytes out;
  Bytes a = seed;
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_length = 0;
  while (out.size() < length) {
    HMAC(md, secret.data(), static_cast<int>(secret.size()), a.data(), a.size(), mac, &mac_length);
    a.assign(mac, mac + mac_length);
    Bytes a_seed = a;
    a_seed.insert(a_seed.end(), seed.begin(), seed.end());
    HMAC(md, secret.data(), static_cast<int>(secret.size()), a_seed.data(), a_seed.size(), mac, &mac_length);
    out.insert(out.end(), mac, mac + mac_length);
  }
  out.resize(length);
  return out;
}

// The TLS 1.0 PRF with the halves given explicitly by the caller.
Bytes OpenSslPrf(const Bytes& s1, const Bytes& s2, const std::string& label, const Bytes& seed, std::size_t length) {
  Bytes label_seed(label.begin(), label.end());
  label_seed.insert(label_seed.end(), seed.begin(), seed.end());
  Bytes md5_part = OpenSslPHash(EVP_md5(), s1, label_seed, length);
  Bytes sha1_part = OpenSslPHash(EVP_sha1(), s2, label_seed, length);
  for (std::size_t k = 0; k < length; ++k) md5_part[k] ^= sha1_part[k];
  return md5_part;
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// The vector posted for TLS 1.0 implementations: secret 48 x 0xab, seed 64 x 0xcd.
TEST(TlsPrfTest, PublishedTls10Vector) {
  const Bytes secret(48, 0xab);
  const Bytes seed(64, 0xcd);
  EXPECT_EQ(ToHex(Prf(secret, "PRF Testvector", seed, 104)),
            "d3d4d1e349b5d515044666d51de32bab258cb521b6b053463e354832fd976754443bcf9a296519bc289abcbc1187e4eb"
            "d31e602353776c408aafb74cbc85eff69255f9788faa184cbb957a9819d84a5d7eb006eb459d3ae8de9810454b8b2d8f"
            "1afbc655a8c9a013");
}

// P_MD5 and P_SHA-1 alone, at lengths around their block sizes.
TEST(TlsPrfTest, PHashMatchesOpenSslHmac) {
  std::mt19937 rng(1);
  const Bytes secret = RandomBytes(rng, 24);
  const Bytes seed = RandomBytes(rng, 77);
  for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 20u, 21u, 48u, 104u}) {
    Bytes md5_out(length), sha1_out(length);
    PMd5(secret, seed, md5_out);
    PSha1(secret, seed, sha1_out);
    EXPECT_EQ(md5_out, OpenSslPHash(EVP_md5(), secret, seed, length)) << length;
    EXPECT_EQ(sha1_out, OpenSslPHash(EVP_sha1(), secret, seed, length)) << length;
  }
}

// A 48-byte secret gives halves 0..23 and 24..47; a 47-byte one 0..23 and 23..46 (byte 23 shared).
TEST(TlsPrfTest, SecretSplitForEvenAndOddLengths) {
  std::mt19937 rng(2);
  const Bytes seed = RandomBytes(rng, 64);
  const Bytes even = RandomBytes(rng, 48);
  EXPECT_EQ(Prf(even, "master secret", seed, 48),
            OpenSslPrf(Bytes(even.begin(), even.begin() + 24), Bytes(even.begin() + 24, even.end()), "master secret",
                       seed, 48));
  const Bytes odd = RandomBytes(rng, 47);
  EXPECT_EQ(Prf(odd, "key expansion", seed, 104),
            OpenSslPrf(Bytes(odd.begin(), odd.begin() + 24), Bytes(odd.begin() + 23, odd.end()), "key expansion",
                       seed, 104));
  // The export IV derivation runs the PRF over an empty secret.
  EXPECT_EQ(Prf(Bytes{}, "IV block", seed, 16), OpenSslPrf(Bytes{}, Bytes{}, "IV block", seed, 16));
}

// OpenSSL's own TLS1-PRF (MD5-SHA1) on random secrets of every length from 1 to 70.
TEST(TlsPrfTest, MatchesOpenSslTls1PrfKdf) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr);
  if (kdf == nullptr) GTEST_SKIP() << "OpenSSL has no TLS1-PRF";
  std::mt19937 rng(3);
  for (std::size_t secret_length = 1; secret_length <= 70; ++secret_length) {
    Bytes secret = RandomBytes(rng, secret_length);
    Bytes seed = RandomBytes(rng, 13 + secret_length);
    const std::string label = "client finished";
    Bytes label_seed(label.begin(), label.end());
    label_seed.insert(label_seed.end(), seed.begin(), seed.end());
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("MD5-SHA1"), 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, secret.data(), secret.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED, label_seed.data(), label_seed.size()),
        OSSL_PARAM_construct_end(),
    };
    Bytes expected(12 + secret_length);
    // A fresh context each time: OpenSSL appends seeds given to one context.
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    ASSERT_EQ(EVP_KDF_derive(ctx, expected.data(), expected.size(), params), 1);
    EVP_KDF_CTX_free(ctx);
    EXPECT_EQ(Prf(secret, label, seed, expected.size()), expected) << "secret length " << secret_length;
  }
  EVP_KDF_free(kdf);
}

// The published TLS 1.2 PRF test vectors (P_SHA256 and P_SHA384, label
// "test label"); a wrong hash, seed order or label handling changes every byte.
TEST(Tls12PrfTest, KnownAnswers) {
  struct Case {
    PrfKind kind;
    const char* secret;
    const char* seed;
    const char* expected;
  } cases[] = {
      {PrfKind::kSha256, "9bbe436ba940f017b17652849a71db35", "a0ba9f936cda311827a6f796ffd5198c",
       "e3f229ba727be17b8d122620557cd453c2aab21d07c3d495329b52d4e61edb5a6b301791e90d35c9c9a46b4e14baf9af0fa0"
       "22f7077def17abfd3797c0564bab4fbc91666e9def9b97fce34f796789baa48082d122ee42c5a72e5a5110fff70187347b66"},
      {PrfKind::kSha384, "b80b733d6ceefcdc71566ea48e5567df", "cd665cf6a8447dd6ff8b27555edb7465",
       "7b0c18e9ced410ed1804f2cfa34a336a1c14dffb4900bb5fd7942107e81c83cde9ca0faa60be9fe34f82b1233c9146a0e534cb"
       "400fed2700884f9dc236f80edd8bfa961144c9e8d792eca722a7b32fc3d416d473ebc2c5fd4abfdad05d9184259b5bf8cd4d"
       "90fa0d31e2dec479e4f1a26066f2eea9a69236a3e52655c9e9aee691c8f3a26854308d5eaa3be85e0990703d73e56f"},
  };
  for (const auto& c : cases) {
    const auto out = PrfOf(c.kind, testing_hex::FromHex(c.secret), "test label", testing_hex::FromHex(c.seed),
                           std::string(c.expected).size() / 2);
    EXPECT_EQ(ToHex(out), c.expected);
  }
  // The TLS 1.0 kind is the MD5/SHA-1 PRF, not a third expansion.
  const Bytes secret(48, 0x0b);
  const Bytes seed(64, 0x5a);
  EXPECT_EQ(PrfOf(PrfKind::kTls10, secret, "master secret", seed, 48), Prf(secret, "master secret", seed, 48));
}

}  // namespace
}  // namespace security
