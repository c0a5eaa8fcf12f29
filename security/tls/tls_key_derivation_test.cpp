// Key derivation: SSL 2.0 key material and MAC, SSL 3.0 master secret, key
// block, export keys and Finished against values computed independently
// (Python's hashlib), TLS 1.0 against OpenSSL's TLS1-PRF.

#include "security/tls/tls_key_derivation.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <string>

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  return out;
}

Bytes Sequence(int first, int count) {
  Bytes out;
  for (int k = 0; k < count; ++k) out.push_back(static_cast<std::uint8_t>(first + k));
  return out;
}

TEST(TlsKeyDerivationTest, Ssl2KeyMaterialKnownAnswers) {
  struct Case {
    CipherKind cipher;
    std::size_t master_length;
    const char* read;
    const char* write;
  } cases[] = {
      {CipherKind::kRc4, 16, "7ba14949c08bee35d8720881d007b532", "4c1cb2234ceff36455818841bee23b67"},
      {CipherKind::kDesCbc, 8, "b6d4a83c83df8a56", "91aebe255e446aa0"},
      {CipherKind::kTripleDesCbc, 24, "cc35f9b76ad05d39cb266800f5bdb502f95dd146894d210b",
       "589966559078c1dd7286cc213b56003278042eb650c51d09"},
  };
  for (const auto& c : cases) {
    const Bytes master = Sequence(0x81, static_cast<int>(c.master_length));
    const auto keys = Ssl2KeyMaterial(master, Sequence(0x10, 16), Sequence(0x40, 16), c.cipher);
    EXPECT_EQ(keys.client_read_key, Hex(c.read));
    EXPECT_EQ(keys.client_write_key, Hex(c.write));
  }
  const std::string data = "hello ssl2 data!";
  const auto mac = Ssl2Mac(Sequence(0, 16), Bytes(data.begin(), data.end()), 7);
  EXPECT_EQ(Bytes(mac.begin(), mac.end()), Hex("bb5164bed3e26f4bf7c0d4d66af555d7"));
}

TEST(TlsKeyDerivationTest, Ssl3KnownAnswers) {
  Bytes pre = {3, 0};
  const Bytes tail = Sequence(0, 46);
  pre.insert(pre.end(), tail.begin(), tail.end());
  const Bytes client_random = Sequence(0, 32);
  const Bytes server_random = Sequence(32, 32);
  const auto master = Ssl3MasterSecret(pre, client_random, server_random);
  EXPECT_EQ(Bytes(master.begin(), master.end()),
            Hex("66d052772677d476f7b93d264ba5b3948b144d3cc22b0b328a3511811935c02d5737f5801fcaf4c145afeed58c81fa8c"));

  const auto keys = Ssl3KeyBlock(master, client_random, server_random, *FindSuite(Ssl3SuiteTable(), 0x000A));
  const Bytes block = Hex(
      "8efdc093f286dcc4de84394f40d0979e995f13a7693f6b47c2a1894bf157e99314550449a9bd2e71e631aa5469ea82d58d3a92c9833cc2c5"
      "6efc0a033ebf6f00b113c5bdc30e24686576a96aac3414967b17b91ce210421cd7b8ed917cee00ad4447d2150f1d2631");
  Bytes joined;
  for (const auto* part : {&keys.client_mac, &keys.server_mac, &keys.client_key, &keys.server_key, &keys.client_iv,
                           &keys.server_iv}) {
    joined.insert(joined.end(), part->begin(), part->end());
  }
  EXPECT_EQ(joined, block);
  EXPECT_EQ(keys.client_key.size(), 24u);
  EXPECT_EQ(keys.server_iv.size(), 8u);

  const auto exported = Ssl3KeyBlock(master, client_random, server_random, *FindSuite(Ssl3SuiteTable(), 0x0003));
  EXPECT_EQ(exported.client_key, Hex("759ac075d35fe9a280f0ba6a372611a7"));
  EXPECT_EQ(exported.server_key, Hex("def96c3a4fba7a577fbccd6a5bee1e0c"));
  EXPECT_TRUE(exported.client_iv.empty());

  const std::string transcript = "transcript bytes";
  const auto finished = Ssl3HandshakeHash(Bytes(transcript.begin(), transcript.end()), "CLNT", master);
  EXPECT_EQ(Bytes(finished.begin(), finished.end()),
            Hex("85a66a6cfbdc00ed67c4f9fef5982a784ba4bfb5a83422ac3eed32700bc5a511557bacc5"));
}

// OpenSSL's TLS 1.0 PRF (MD5 and SHA-1) as the oracle.
Bytes OpenSslPrf(const Bytes& secret, const std::string& label, const Bytes& seed, std::size_t length) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  Bytes full_seed(label.begin(), label.end());
  full_seed.insert(full_seed.end(), seed.begin(), seed.end());
  char digest[] = "MD5-SHA1";
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, const_cast<std::uint8_t*>(secret.data()), secret.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED, full_seed.data(), full_seed.size()),
      OSSL_PARAM_construct_end(),
  };
  Bytes out(length);
  EXPECT_EQ(EVP_KDF_derive(ctx, out.data(), out.size(), params), 1);
  EVP_KDF_CTX_free(ctx);
  EVP_KDF_free(kdf);
  return out;
}

// P_hash(secret, seed) = HMAC(secret, A(1) | seed) | HMAC(secret, A(2) | seed) | ...
// with A(0) = seed, A(i) = HMAC(secret, A(i-1)), on OpenSSL's HMAC.
Bytes OpenSslPHash(const EVP_MD* md, const Bytes& secret, const Bytes& seed, std::size_t length) {
  auto hmac = [&](const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    static const std::uint8_t kNoKey = 0;
    HMAC(md, secret.empty() ? &kNoKey : secret.data(), static_cast<int>(secret.size()), data.data(), data.size(),
         out.data(), &n);
    out.resize(n);
    return out;
  };
  Bytes result;
  Bytes a = seed;
  while (result.size() < length) {
    a = hmac(a);
    Bytes input = a;
    input.insert(input.end(), seed.begin(), seed.end());
    const Bytes block = hmac(input);
    result.insert(result.end(), block.begin(), block.end());
  }
  result.resize(length);
  return result;
}

// The TLS 1.0 PRF from its definition: P_MD5 over the first half of the
// secret XOR P_SHA-1 over the second (halves of ceil(n/2) bytes).
Bytes PrfFromDefinition(const Bytes& secret, const std::string& label, const Bytes& seed, std::size_t length) {
  Bytes full_seed(label.begin(), label.end());
  full_seed.insert(full_seed.end(), seed.begin(), seed.end());
  const std::size_t half = (secret.size() + 1) / 2;
  const Bytes s1(secret.begin(), secret.begin() + static_cast<std::ptrdiff_t>(half));
  const Bytes s2(secret.end() - static_cast<std::ptrdiff_t>(half), secret.end());
  Bytes out = OpenSslPHash(EVP_md5(), s1, full_seed, length);
  const Bytes sha = OpenSslPHash(EVP_sha1(), s2, full_seed, length);
  for (std::size_t k = 0; k < length; ++k) out[k] ^= sha[k];
  return out;
}

Bytes EmptySecretPrf(const std::string& label, const Bytes& seed, std::size_t length) {
  return PrfFromDefinition({}, label, seed, length);
}

TEST(TlsKeyDerivationTest, PrfFromItsDefinitionAgreesWithOpenSsl) {
  // The oracle of the export IV block, checked where OpenSSL can answer too.
  for (std::size_t n : {1, 2, 47, 48}) {
    const Bytes secret = Sequence(3, static_cast<int>(n));
    EXPECT_EQ(PrfFromDefinition(secret, "IV block", Sequence(9, 64), 40), OpenSslPrf(secret, "IV block", Sequence(9, 64), 40));
  }
}

TEST(TlsKeyDerivationTest, Tls10AgreesWithOpenSslIncludingExportKeys) {
  Bytes pre = {3, 1};
  const Bytes tail = Sequence(9, 46);
  pre.insert(pre.end(), tail.begin(), tail.end());
  const Bytes cr = Sequence(100, 32);
  const Bytes sr = Sequence(200, 32);
  Bytes crsr = cr, srcr = sr;
  crsr.insert(crsr.end(), sr.begin(), sr.end());
  srcr.insert(srcr.end(), cr.begin(), cr.end());
  const auto master = TlsMasterSecret(pre, cr, sr);
  const Bytes master_bytes(master.begin(), master.end());
  EXPECT_EQ(master_bytes, OpenSslPrf(pre, "master secret", crsr, 48));

  for (std::uint16_t code : {0x0035, 0x0008, 0x0003}) {
    SCOPED_TRACE(code);
    const SuiteParams& suite = *FindSuite(TlsSuiteTable(), code);
    const auto keys = TlsKeyBlock(master, cr, sr, suite);
    const std::size_t n = 2 * (suite.mac_size + suite.key_size + suite.iv_size);
    const Bytes block = OpenSslPrf(master_bytes, "key expansion", srcr, n);
    EXPECT_EQ(keys.client_mac, Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(suite.mac_size)));
    const std::size_t key_at = 2 * suite.mac_size;
    const Bytes client_key(block.begin() + static_cast<std::ptrdiff_t>(key_at),
                           block.begin() + static_cast<std::ptrdiff_t>(key_at + suite.key_size));
    const Bytes server_key(block.begin() + static_cast<std::ptrdiff_t>(key_at + suite.key_size),
                           block.begin() + static_cast<std::ptrdiff_t>(key_at + 2 * suite.key_size));
    if (!suite.exportable) {
      EXPECT_EQ(keys.client_key, client_key);
      EXPECT_EQ(keys.server_key, server_key);
      continue;
    }
    const std::size_t final_size = suite.cipher == CipherKind::kDesCbc ? 8 : 16;
    EXPECT_EQ(keys.client_key, OpenSslPrf(client_key, "client write key", crsr, final_size));
    EXPECT_EQ(keys.server_key, OpenSslPrf(server_key, "server write key", crsr, final_size));
    if (suite.iv_size != 0) {
      // OpenSSL's PRF refuses an empty secret: the IV block is built here
      // from its definition with OpenSSL's HMAC and an empty key.
      const Bytes ivs = EmptySecretPrf("IV block", crsr, 2 * suite.iv_size);
      EXPECT_EQ(keys.client_iv, Bytes(ivs.begin(), ivs.begin() + 8));
      EXPECT_EQ(keys.server_iv, Bytes(ivs.begin() + 8, ivs.end()));
    }
  }
  const Bytes transcript = Sequence(1, 200);
  const auto finished = TlsFinished(master, "server finished", transcript);
  const auto hashes = TlsHandshakeHash(transcript);
  EXPECT_EQ(Bytes(finished.begin(), finished.end()),
            OpenSslPrf(master_bytes, "server finished", Bytes(hashes.begin(), hashes.end()), 12));
}

}  // namespace
}  // namespace security
