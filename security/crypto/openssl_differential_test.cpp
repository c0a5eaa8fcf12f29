// Differential tests: our primitives against OpenSSL's libcrypto on random
// keys, IVs and inputs. Algorithms that OpenSSL 3 keeps in its legacy
// provider (MD4, RC4, DES, RC2, IDEA) are skipped when that provider is missing.

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "security/crypto/aes.h"
#include "security/crypto/aes_gcm.h"
#include "security/crypto/chacha20.h"
#include "security/crypto/chacha20_poly1305.h"
#include "security/crypto/poly1305.h"
#include "security/crypto/des.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/hmac.h"
#include "security/crypto/idea.h"
#include "security/crypto/md4.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc2.h"
#include "security/crypto/rc4.h"
#include "security/crypto/random_generator.h"
#include "security/crypto/rsa_pss.h"
#include "security/crypto/sha1.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"
#include "security/crypto/x25519.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Loading one provider explicitly stops the implicit default, so both are
// loaded; they are unloaded at exit (before OpenSSL's own clean-up, which was
// registered first) so that leak checkers stay quiet.
class Providers {
 public:
  Providers() : default_(OSSL_PROVIDER_load(nullptr, "default")), legacy_(OSSL_PROVIDER_load(nullptr, "legacy")) {}
  ~Providers() {
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
  }

 private:
  OSSL_PROVIDER* default_;
  OSSL_PROVIDER* legacy_;
};

void LoadProviders() { static const Providers providers; }

Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

std::optional<Bytes> OpenSslDigest(const char* name, const Bytes& data) {
  LoadProviders();
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (md == nullptr) return std::nullopt;
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), out.data(), &length, md, nullptr);
  EVP_MD_free(md);
  out.resize(length);
  return out;
}

// Our hash fed in random pieces.
template <typename Hash>
Bytes OursChunked(const Bytes& data, std::mt19937& rng) {
  Hash hash;
  std::size_t pos = 0;
  while (pos < data.size()) {
    const std::size_t piece = std::min<std::size_t>(data.size() - pos, rng() % 200);
    hash.Update(data.data() + pos, piece);
    pos += piece;
  }
  const auto digest = hash.Final();
  return Bytes(digest.begin(), digest.end());
}

template <typename Hash>
void CompareDigests(const char* openssl_name) {
  std::mt19937 rng(11);
  if (!OpenSslDigest(openssl_name, Bytes{})) GTEST_SKIP() << openssl_name << " not available in OpenSSL";
  for (int round = 0; round < 60; ++round) {
    const Bytes data = Random(rng, rng() % 3000);
    EXPECT_EQ(OursChunked<Hash>(data, rng), *OpenSslDigest(openssl_name, data)) << "length " << data.size();
  }
}

TEST(OpenSslDifferentialTest, Md5) { CompareDigests<Md5>("MD5"); }
TEST(OpenSslDifferentialTest, Sha1) { CompareDigests<Sha1>("SHA1"); }
TEST(OpenSslDifferentialTest, Sha256) { CompareDigests<Sha256>("SHA256"); }
TEST(OpenSslDifferentialTest, Sha384) { CompareDigests<Sha384>("SHA384"); }
TEST(OpenSslDifferentialTest, Sha512) { CompareDigests<Sha512>("SHA512"); }
TEST(OpenSslDifferentialTest, Md4) { CompareDigests<Md4>("MD4"); }

// Keys from empty to well past one block, 64 and 65 bytes included.
TEST(OpenSslDifferentialTest, Hmac) {
  std::mt19937 rng(12);
  for (std::size_t key_length = 0; key_length <= 140; ++key_length) {
    const Bytes key = Random(rng, key_length);
    const Bytes data = Random(rng, rng() % 500);
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int mac_length = 0;
    HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), mac, &mac_length);
    const auto md5 = HmacMd5(data, key);
    EXPECT_EQ(Bytes(md5.begin(), md5.end()), Bytes(mac, mac + mac_length)) << key_length;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), mac, &mac_length);
    const auto sha1 = HmacSha1(data, key);
    EXPECT_EQ(Bytes(sha1.begin(), sha1.end()), Bytes(mac, mac + mac_length)) << key_length;
    HMAC(EVP_sha384(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), mac, &mac_length);
    const auto sha384 = Hmac<Sha384>::Compute(key, data);
    EXPECT_EQ(Bytes(sha384.begin(), sha384.end()), Bytes(mac, mac + mac_length)) << key_length;
    HMAC(EVP_sha512(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), mac, &mac_length);
    const auto sha512 = Hmac<Sha512>::Compute(key, data);
    EXPECT_EQ(Bytes(sha512.begin(), sha512.end()), Bytes(mac, mac + mac_length)) << key_length;
  }
}

struct OpenSslCipherRequest {
  const char* name;
  const Bytes& key;
  const Bytes& iv;
  const Bytes& data;
  bool encrypt;
  int rc2_effective_bits = 0;
};

// One-shot OpenSSL encryption or decryption without padding; nullopt if the cipher is missing.
std::optional<Bytes> OpenSslCipher(const OpenSslCipherRequest& request) {
  LoadProviders();
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, request.name, nullptr);
  if (cipher == nullptr) return std::nullopt;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  bool ok = EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, request.encrypt ? 1 : 0, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(request.key.size())) == 1;
  if (ok && request.rc2_effective_bits != 0) {
    ok = EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, request.rc2_effective_bits, nullptr) == 1;
  }
  ok = ok && EVP_CipherInit_ex2(ctx, nullptr, request.key.data(), request.iv.empty() ? nullptr : request.iv.data(),
                                -1, nullptr) == 1;
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(request.data.size() + 32);
  int length = 0;
  int final_length = 0;
  ok = ok && EVP_CipherUpdate(ctx, out.data(), &length, request.data.data(), static_cast<int>(request.data.size())) == 1;
  ok = ok && EVP_CipherFinal_ex(ctx, out.data() + length, &final_length) == 1;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  if (!ok) return std::nullopt;
  out.resize(static_cast<std::size_t>(length + final_length));
  return out;
}

// Our CBC cipher, streaming the data in random pieces.
Bytes OursStreamed(BlockCipherCbc& cipher, const Bytes& key, const Bytes& iv, const Bytes& data, bool encrypt,
                   std::mt19937& rng) {
  if (encrypt) {
    cipher.InitEncrypt(key, iv);
  } else {
    cipher.InitDecrypt(key, iv);
  }
  Bytes out(data.size());
  std::size_t in_pos = 0;
  std::size_t out_pos = 0;
  while (in_pos < data.size()) {
    const std::size_t piece = std::min<std::size_t>(data.size() - in_pos, rng() % 100);
    std::size_t room = out.size() - out_pos;
    const bool ok = encrypt ? cipher.Encrypt(data.data() + in_pos, piece, out.data() + out_pos, &room)
                            : cipher.Decrypt(data.data() + in_pos, piece, out.data() + out_pos, &room);
    EXPECT_TRUE(ok);
    in_pos += piece;
    out_pos += room;
  }
  EXPECT_EQ(out_pos, out.size());
  return out;
}

struct CbcCase {
  const char* openssl_name;
  std::size_t key_size;
  std::function<std::unique_ptr<BlockCipherCbc>()> make;
  bool rc2 = false;
};

void CompareCbc(const CbcCase& c) {
  std::mt19937 rng(13);
  auto ours = c.make();
  const std::size_t block = ours->BlockSize();
  {
    const Bytes probe_key(c.key_size, 1), probe_iv(block, 0), probe(block, 0);
    if (!OpenSslCipher({c.openssl_name, probe_key, probe_iv, probe, true, c.rc2 ? int(8 * c.key_size) : 0})) {
      GTEST_SKIP() << c.openssl_name << " not available in OpenSSL";
    }
  }
  for (int round = 0; round < 40; ++round) {
    const Bytes key = Random(rng, c.key_size);
    const Bytes iv = Random(rng, block);
    const Bytes plain = Random(rng, block * (rng() % 300));
    const int bits = c.rc2 ? static_cast<int>(8 * key.size()) : 0;
    const auto expected = OpenSslCipher({c.openssl_name, key, iv, plain, true, bits});
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(OursStreamed(*ours, key, iv, plain, true, rng), *expected) << c.openssl_name << " round " << round;
    EXPECT_EQ(OursStreamed(*ours, key, iv, *expected, false, rng), plain) << c.openssl_name << " round " << round;
  }
}

TEST(OpenSslDifferentialTest, DesCbc) { CompareCbc({"DES-CBC", 8, [] { return std::make_unique<DesCbc>(); }}); }
TEST(OpenSslDifferentialTest, TripleDesCbc) {
  CompareCbc({"DES-EDE3-CBC", 24, [] { return std::make_unique<TripleDesCbc>(); }});
}
TEST(OpenSslDifferentialTest, Aes128Cbc) { CompareCbc({"AES-128-CBC", 16, [] { return std::make_unique<AesCbc>(); }}); }
TEST(OpenSslDifferentialTest, Aes256Cbc) { CompareCbc({"AES-256-CBC", 32, [] { return std::make_unique<AesCbc>(); }}); }
TEST(OpenSslDifferentialTest, AesCbcPortable) {
  CompareCbc({"AES-128-CBC", 16, [] { return std::make_unique<AesCbc>(false); }});
  CompareCbc({"AES-192-CBC", 24, [] { return std::make_unique<AesCbc>(false); }});
  CompareCbc({"AES-256-CBC", 32, [] { return std::make_unique<AesCbc>(false); }});
}
TEST(OpenSslDifferentialTest, IdeaCbc) { CompareCbc({"IDEA-CBC", 16, [] { return std::make_unique<IdeaCbc>(); }}); }
// The export suites' 5-byte RC2 key (40 effective bits) and the full 16-byte key.
TEST(OpenSslDifferentialTest, Rc2Cbc) {
  CompareCbc({"RC2-CBC", 16, [] { return std::make_unique<Rc2Cbc>(); }, true});
  CompareCbc({"RC2-CBC", 5, [] { return std::make_unique<Rc2Cbc>(); }, true});
}

TEST(OpenSslDifferentialTest, Rc4) {
  std::mt19937 rng(14);
  const Bytes probe_key(16, 1), no_iv, probe(1, 0);
  if (!OpenSslCipher({"RC4", probe_key, no_iv, probe, true})) GTEST_SKIP() << "RC4 not available in OpenSSL";
  for (std::size_t key_length : {1u, 5u, 7u, 16u, 32u, 100u, 256u}) {
    const Bytes key = Random(rng, key_length);
    const Bytes data = Random(rng, rng() % 5000);
    const auto expected = OpenSslCipher({"RC4", key, no_iv, data, true});
    ASSERT_TRUE(expected.has_value());
    Rc4 rc4(key);
    Bytes out(data.size());
    std::size_t pos = 0;
    while (pos < data.size()) {
      const std::size_t piece = std::min<std::size_t>(data.size() - pos, rng() % 300);
      rc4.Crypt(data.data() + pos, out.data() + pos, piece);
      pos += piece;
    }
    EXPECT_EQ(out, *expected) << "key length " << key_length;
  }
}

// OpenSSL's AEAD sealing: ciphertext followed by the 16-byte tag.
Bytes OpenSslSeal(const char* name, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain) {
  LoadProviders();
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(plain.size() + 16);
  int length = 0;
  bool ok = cipher != nullptr && EVP_EncryptInit_ex2(ctx, cipher, nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) == 1 &&
            EVP_EncryptInit_ex2(ctx, nullptr, key.data(), nonce.data(), nullptr) == 1;
  ok = ok && (aad.empty() || EVP_EncryptUpdate(ctx, nullptr, &length, aad.data(), static_cast<int>(aad.size())) == 1);
  ok = ok && EVP_EncryptUpdate(ctx, out.data(), &length, plain.data(), static_cast<int>(plain.size())) == 1;
  int final_length = 0;
  ok = ok && EVP_EncryptFinal_ex(ctx, out.data() + length, &final_length) == 1;
  ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, out.data() + plain.size()) == 1;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  EXPECT_TRUE(ok) << name;
  return out;
}

// Random keys, nonces, associated data and messages; our output must match
// OpenSSL's, open again, and OpenSSL's own output must open with ours.
void CompareAead(const char* name, std::size_t key_size, bool any_nonce_length,
                 const std::function<std::unique_ptr<AeadCipher>(const Bytes&)>& make) {
  std::mt19937 rng(15);
  for (int round = 0; round < 200; ++round) {
    const Bytes key = Random(rng, key_size);
    const Bytes nonce = Random(rng, any_nonce_length && round % 4 == 3 ? 1 + rng() % 64 : 12);
    const Bytes aad = Random(rng, rng() % 3 == 0 ? 13 : rng() % 100);
    const Bytes plain = Random(rng, rng() % 2 == 0 ? rng() % 64 : rng() % 3000);
    const auto ours = make(key);
    Bytes sealed(plain.size() + 16);
    ours->Seal(nonce, aad, plain, sealed.data());
    ASSERT_EQ(sealed, OpenSslSeal(name, key, nonce, aad, plain))
        << name << " round " << round << ", nonce " << nonce.size() << ", aad " << aad.size() << ", text "
        << plain.size();
    Bytes opened(plain.size());
    ASSERT_TRUE(ours->Open(nonce, aad, sealed, opened.data()));
    EXPECT_EQ(opened, plain);
  }
}

TEST(OpenSslDifferentialTest, AesGcm) {
  for (bool hardware : {true, false}) {
    SCOPED_TRACE(hardware ? "hardware allowed" : "portable");
    CompareAead("AES-128-GCM", 16, true, [&](const Bytes& key) { return std::make_unique<AesGcm>(key, hardware); });
    CompareAead("AES-256-GCM", 32, true, [&](const Bytes& key) { return std::make_unique<AesGcm>(key, hardware); });
  }
}

TEST(OpenSslDifferentialTest, ChaCha20Poly1305) {
  CompareAead("ChaCha20-Poly1305", 32, false, [](const Bytes& key) { return std::make_unique<ChaCha20Poly1305>(key); });
}

// ChaCha20 alone from random counters (OpenSSL takes the counter as the first
// four little-endian bytes of its 16-byte IV), and Poly1305 alone fed in pieces.
TEST(OpenSslDifferentialTest, ChaCha20AndPoly1305) {
  std::mt19937 rng(20);
  for (int round = 0; round < 60; ++round) {
    const Bytes key = Random(rng, 32);
    const Bytes nonce = Random(rng, 12);
    const std::uint32_t counter = static_cast<std::uint32_t>(rng() % 1000);
    const Bytes data = Random(rng, rng() % 2000);
    Bytes iv = {static_cast<std::uint8_t>(counter), static_cast<std::uint8_t>(counter >> 8),
                static_cast<std::uint8_t>(counter >> 16), static_cast<std::uint8_t>(counter >> 24)};
    iv.insert(iv.end(), nonce.begin(), nonce.end());
    const auto expected = OpenSslCipher({"ChaCha20", key, iv, data, true});
    ASSERT_TRUE(expected.has_value());
    Bytes ours(data.size());
    ChaCha20Xor(key.data(), nonce.data(), counter, data.data(), ours.data(), data.size());
    EXPECT_EQ(ours, *expected) << "round " << round;

    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "POLY1305", nullptr);
    ASSERT_NE(mac, nullptr);
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    unsigned char tag[16];
    std::size_t tag_length = 0;
    ASSERT_EQ(EVP_MAC_init(ctx, key.data(), key.size(), nullptr), 1);
    ASSERT_EQ(EVP_MAC_update(ctx, data.data(), data.size()), 1);
    ASSERT_EQ(EVP_MAC_final(ctx, tag, &tag_length, sizeof(tag)), 1);
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    Poly1305 poly(key.data());
    std::size_t pos = 0;
    while (pos < data.size()) {
      const std::size_t piece = std::min<std::size_t>(data.size() - pos, rng() % 40);
      poly.Update(data.data() + pos, piece);
      pos += piece;
    }
    const auto ours_tag = poly.Final();
    EXPECT_EQ(Bytes(ours_tag.begin(), ours_tag.end()), Bytes(tag, tag + tag_length)) << "round " << round;
  }
}

// Random private keys on both sides: the public keys and the shared secret
// match OpenSSL's.
TEST(OpenSslDifferentialTest, X25519) {
  std::mt19937 rng(16);
  for (int round = 0; round < 50; ++round) {
    const Bytes mine = Random(rng, 32);
    const Bytes theirs = Random(rng, 32);
    EVP_PKEY* my_key = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, mine.data(), mine.size());
    EVP_PKEY* their_key = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, theirs.data(), theirs.size());
    ASSERT_NE(my_key, nullptr);
    ASSERT_NE(their_key, nullptr);
    Bytes their_public(32);
    std::size_t length = their_public.size();
    ASSERT_EQ(EVP_PKEY_get_raw_public_key(their_key, their_public.data(), &length), 1);
    Bytes expected(32);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(my_key, nullptr);
    length = expected.size();
    ASSERT_EQ(EVP_PKEY_derive_init(ctx), 1);
    ASSERT_EQ(EVP_PKEY_derive_set_peer(ctx, their_key), 1);
    ASSERT_EQ(EVP_PKEY_derive(ctx, expected.data(), &length), 1);
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(my_key);
    EVP_PKEY_free(their_key);

    Bytes ours_public(32), shared(32);
    X25519PublicKey(theirs.data(), ours_public.data());
    EXPECT_EQ(ours_public, their_public) << round;
    EXPECT_TRUE(X25519(mine.data(), their_public.data(), shared.data()));
    EXPECT_EQ(shared, expected) << round;
  }
}

// An OpenSSL key pair on a named curve with its private scalar (field size
// bytes) and uncompressed public point.
struct OpenSslEcKey {
  std::shared_ptr<EVP_PKEY> key;
  Bytes private_key;
  Bytes public_point;
};

OpenSslEcKey GenerateOpenSslEcKey(const char* group, std::size_t field_size) {
  LoadProviders();
  OpenSslEcKey out;
  out.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", group), EVP_PKEY_free);
  EXPECT_NE(out.key, nullptr);
  BIGNUM* priv = nullptr;
  EXPECT_EQ(EVP_PKEY_get_bn_param(out.key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &priv), 1);
  out.private_key.resize(field_size);
  BN_bn2binpad(priv, out.private_key.data(), static_cast<int>(field_size));
  BN_clear_free(priv);
  out.public_point.resize(1 + 2 * field_size);
  std::size_t length = 0;
  EXPECT_EQ(EVP_PKEY_get_octet_string_param(out.key.get(), OSSL_PKEY_PARAM_PUB_KEY, out.public_point.data(),
                                            out.public_point.size(), &length),
            1);
  EXPECT_EQ(length, out.public_point.size());
  return out;
}

Bytes OpenSslDerive(EVP_PKEY* mine, EVP_PKEY* theirs) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(mine, nullptr);
  Bytes secret(128);
  std::size_t length = secret.size();
  const bool ok = EVP_PKEY_derive_init(ctx) == 1 && EVP_PKEY_derive_set_peer(ctx, theirs) == 1 &&
                  EVP_PKEY_derive(ctx, secret.data(), &length) == 1;
  EVP_PKEY_CTX_free(ctx);
  EXPECT_TRUE(ok);
  secret.resize(length);
  return secret;
}

Bytes OpenSslSignDigest(EVP_PKEY* key, const Bytes& digest) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  Bytes signature(256);
  std::size_t length = signature.size();
  const bool ok = EVP_PKEY_sign_init(ctx) == 1 &&
                  EVP_PKEY_sign(ctx, signature.data(), &length, digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  EXPECT_TRUE(ok);
  signature.resize(length);
  return signature;
}

void CompareCurve(NamedCurve curve, const char* group) {
  std::mt19937 rng(17);
  const std::size_t size = EcFieldSize(curve);
  for (int round = 0; round < 12; ++round) {
    const OpenSslEcKey a = GenerateOpenSslEcKey(group, size);
    const OpenSslEcKey b = GenerateOpenSslEcKey(group, size);
    EXPECT_EQ(EcPublicKey(curve, a.private_key), a.public_point) << group << " round " << round;
    const auto shared = EcdhSharedSecret(curve, a.private_key, b.public_point);
    ASSERT_TRUE(shared.has_value());
    EXPECT_EQ(*shared, OpenSslDerive(a.key.get(), b.key.get())) << group << " round " << round;

    // Digests shorter than, equal to and longer than the order.
    for (std::size_t digest_size : {20u, 32u, 48u, 64u}) {
      Bytes digest = Random(rng, digest_size);
      const Bytes signature = OpenSslSignDigest(a.key.get(), digest);
      EXPECT_TRUE(EcdsaVerify(curve, a.public_point, digest, signature))
          << group << " round " << round << " digest " << digest_size;
      EXPECT_FALSE(EcdsaVerify(curve, b.public_point, digest, signature));
      // Only the leftmost bits that the order covers take part.
      digest[rng() % std::min(digest.size(), size)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      EXPECT_FALSE(EcdsaVerify(curve, a.public_point, digest, signature));
    }
  }
}

TEST(OpenSslDifferentialTest, P256) { CompareCurve(NamedCurve::kP256, "P-256"); }
TEST(OpenSslDifferentialTest, P384) { CompareCurve(NamedCurve::kP384, "P-384"); }

bool OpenSslVerifyDigest(EVP_PKEY* key, const Bytes& digest, const Bytes& signature) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  const bool ok = EVP_PKEY_verify_init(ctx) == 1 &&
                  EVP_PKEY_verify(ctx, signature.data(), signature.size(), digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  return ok;
}

// Our signatures with OpenSSL's keys, checked by OpenSSL: digests shorter
// than, equal to and longer than the order, both nonce hashes.
void CompareEcdsaSigning(NamedCurve curve, const char* group) {
  std::mt19937 rng(23);
  const std::size_t size = EcFieldSize(curve);
  for (int round = 0; round < 10; ++round) {
    const OpenSslEcKey key = GenerateOpenSslEcKey(group, size);
    const OpenSslEcKey other = GenerateOpenSslEcKey(group, size);
    for (std::size_t digest_size : {20u, 32u, 48u, 64u}) {
      SCOPED_TRACE(std::string(group) + " round " + std::to_string(round) + " digest " + std::to_string(digest_size));
      Bytes digest = Random(rng, digest_size);
      const DigestKind nonce_hash = digest_size > 32 ? DigestKind::kSha384 : DigestKind::kSha256;
      const Bytes signature = EcdsaSign(curve, key.private_key, digest, nonce_hash);
      EXPECT_TRUE(OpenSslVerifyDigest(key.key.get(), digest, signature));
      EXPECT_FALSE(OpenSslVerifyDigest(other.key.get(), digest, signature));
      // Deterministic: the same input signs the same.
      EXPECT_EQ(EcdsaSign(curve, key.private_key, digest, nonce_hash), signature);
      digest[rng() % std::min(digest.size(), size)] ^= 0x01;
      EXPECT_FALSE(OpenSslVerifyDigest(key.key.get(), digest, signature));
    }
  }
}

TEST(OpenSslDifferentialTest, EcdsaSignP256) { CompareEcdsaSigning(NamedCurve::kP256, "P-256"); }
TEST(OpenSslDifferentialTest, EcdsaSignP384) { CompareEcdsaSigning(NamedCurve::kP384, "P-384"); }

// An OpenSSL RSA key and the same key in our types (without CRT values).
struct OpenSslRsaKey {
  std::shared_ptr<EVP_PKEY> key;
  RsaPrivateKey ours;
  RsaPublicKey public_key() const { return {ours.modulus, ours.public_exponent}; }
};

BigNumber BigNumberParam(EVP_PKEY* key, const char* name) {
  BIGNUM* bn = nullptr;
  EXPECT_EQ(EVP_PKEY_get_bn_param(key, name, &bn), 1) << name;
  Bytes bytes(static_cast<std::size_t>(BN_num_bytes(bn)));
  BN_bn2bin(bn, bytes.data());
  BN_clear_free(bn);
  return BigNumber::FromBytes(bytes);
}

OpenSslRsaKey GenerateOpenSslRsaKey(unsigned bits) {
  LoadProviders();
  OpenSslRsaKey out;
  out.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits)), EVP_PKEY_free);
  EXPECT_NE(out.key, nullptr);
  out.ours.modulus = BigNumberParam(out.key.get(), OSSL_PKEY_PARAM_RSA_N);
  out.ours.public_exponent = BigNumberParam(out.key.get(), OSSL_PKEY_PARAM_RSA_E);
  out.ours.private_exponent = BigNumberParam(out.key.get(), OSSL_PKEY_PARAM_RSA_D);
  return out;
}

const EVP_MD* EvpHash(DigestKind kind) {
  switch (kind) {
    case DigestKind::kSha256: return EVP_sha256();
    case DigestKind::kSha384: return EVP_sha384();
    default: return EVP_sha512();
  }
}

// A PSS signature by OpenSSL over a digest, with MGF1 on the same hash.
std::optional<Bytes> OpenSslPssSign(EVP_PKEY* key, DigestKind kind, const Bytes& digest, int salt_length) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  Bytes signature(1024);
  std::size_t length = signature.size();
  const bool ok = EVP_PKEY_sign_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) == 1 &&
                  EVP_PKEY_CTX_set_signature_md(ctx, EvpHash(kind)) == 1 &&
                  EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EvpHash(kind)) == 1 &&
                  EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, salt_length) == 1 &&
                  EVP_PKEY_sign(ctx, signature.data(), &length, digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  if (!ok) return std::nullopt;
  signature.resize(length);
  return signature;
}

bool OpenSslPssVerify(EVP_PKEY* key, DigestKind kind, const Bytes& digest, const Bytes& signature) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  const bool ok = EVP_PKEY_verify_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) == 1 &&
                  EVP_PKEY_CTX_set_signature_md(ctx, EvpHash(kind)) == 1 &&
                  EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EvpHash(kind)) == 1 &&
                  EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, static_cast<int>(digest.size())) == 1 &&
                  EVP_PKEY_verify(ctx, signature.data(), signature.size(), digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  return ok;
}

// Moduli of 1025 bits (the encoded message one byte shorter than the
// modulus), 1536 and 2048 bits; every hash that fits each.
TEST(OpenSslDifferentialTest, RsaPssVerify) {
  std::mt19937 rng(18);
  for (unsigned bits : {1025u, 1536u, 2048u}) {
    const OpenSslRsaKey key = GenerateOpenSslRsaKey(bits);
    for (DigestKind kind : {DigestKind::kSha256, DigestKind::kSha384, DigestKind::kSha512}) {
      const std::size_t h_len = ComputeDigest(kind, {}).size();
      if ((bits - 1 + 7) / 8 < 2 * h_len + 2) continue;
      for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(std::to_string(bits) + " bits, hash " + std::to_string(h_len) + ", round " +
                     std::to_string(round));
        Bytes digest = Random(rng, h_len);
        const auto signature = OpenSslPssSign(key.key.get(), kind, digest, static_cast<int>(h_len));
        ASSERT_TRUE(signature.has_value());
        EXPECT_TRUE(RsaPssVerify(key.public_key(), *signature, kind, digest));
        Bytes bad_signature = *signature;
        bad_signature[rng() % bad_signature.size()] ^= 0x10;
        EXPECT_FALSE(RsaPssVerify(key.public_key(), bad_signature, kind, digest));
        const DigestKind other = kind == DigestKind::kSha256 ? DigestKind::kSha384 : DigestKind::kSha256;
        EXPECT_FALSE(RsaPssVerify(key.public_key(), *signature, other, ComputeDigest(other, digest)));
        // Another salt length is refused by default and accepted when asked for.
        const auto short_salt = OpenSslPssSign(key.key.get(), kind, digest, 20);
        ASSERT_TRUE(short_salt.has_value());
        EXPECT_FALSE(RsaPssVerify(key.public_key(), *short_salt, kind, digest));
        EXPECT_TRUE(RsaPssVerifyWithSaltLength(key.public_key(), *short_salt, kind, digest, 20));
        digest[rng() % digest.size()] ^= 1;
        EXPECT_FALSE(RsaPssVerify(key.public_key(), *signature, kind, digest));
      }
    }
  }
}

// Our PSS signatures (salt as long as the hash) checked by OpenSSL, with a
// fresh salt each time; a modulus too short for hash and salt signs nothing.
TEST(OpenSslDifferentialTest, RsaPssSign) {
  std::mt19937 rng(24);
  RandomGenerator random;
  random.SeedForTesting(24);
  for (unsigned bits : {1024u, 1025u, 2048u}) {
    OpenSslRsaKey key = GenerateOpenSslRsaKey(bits);
    for (DigestKind kind : {DigestKind::kSha256, DigestKind::kSha384, DigestKind::kSha512}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, hash " + std::to_string(static_cast<int>(kind)));
      const std::size_t h_len = ComputeDigest(kind, {}).size();
      Bytes digest = Random(rng, h_len);
      const auto signature = RsaPssSign(key.ours, kind, digest, random);
      if ((bits - 1 + 7) / 8 < 2 * h_len + 2) {
        EXPECT_FALSE(signature.has_value());
        continue;
      }
      ASSERT_TRUE(signature.has_value());
      EXPECT_EQ(signature->size(), key.ours.modulus.ByteLength());
      EXPECT_TRUE(OpenSslPssVerify(key.key.get(), kind, digest, *signature));
      EXPECT_TRUE(RsaPssVerify(key.public_key(), *signature, kind, digest));
      const auto again = RsaPssSign(key.ours, kind, digest, random);
      ASSERT_TRUE(again.has_value());
      EXPECT_NE(*again, *signature);
      EXPECT_TRUE(OpenSslPssVerify(key.key.get(), kind, digest, *again));
      digest[0] ^= 1;
      EXPECT_FALSE(OpenSslPssVerify(key.key.get(), kind, digest, *signature));
    }
  }
}

// MGF1 of the test's own PSS encoder below.
Bytes Mgf1(DigestKind kind, const Bytes& seed, std::size_t length) {
  Bytes out;
  for (std::uint32_t counter = 0; out.size() < length; ++counter) {
    Bytes input = seed;
    for (int shift = 24; shift >= 0; shift -= 8) input.push_back(static_cast<std::uint8_t>(counter >> shift));
    const Bytes block = ComputeDigest(kind, input);
    out.insert(out.end(), block.begin(), block.end());
  }
  out.resize(length);
  return out;
}

enum class PssFault { kNone, kTrailer, kTopBit, kSeparator, kPadding, kHash };

// Encodes and signs with our private operation, with one deliberate fault;
// nothing when the faulty encoding is not below the modulus (a set top bit
// can push it there), as no signature can carry it then.
std::optional<Bytes> PssSignWithFault(const RsaPrivateKey& key, DigestKind kind, const Bytes& digest, const Bytes& salt,
                       PssFault fault) {
  const std::size_t em_bits = key.modulus.BitLength() - 1;
  const std::size_t em_len = (em_bits + 7) / 8;
  const std::size_t h_len = digest.size();
  Bytes m_prime(8, 0);
  m_prime.insert(m_prime.end(), digest.begin(), digest.end());
  m_prime.insert(m_prime.end(), salt.begin(), salt.end());
  Bytes h = ComputeDigest(kind, m_prime);
  Bytes db(em_len - salt.size() - h_len - 2, 0);
  db.push_back(fault == PssFault::kSeparator ? 0x02 : 0x01);
  db.insert(db.end(), salt.begin(), salt.end());
  if (fault == PssFault::kPadding) db[db.size() - salt.size() - 2] = 0x01;
  const Bytes mask = Mgf1(kind, h, db.size());
  for (std::size_t k = 0; k < db.size(); ++k) db[k] ^= mask[k];
  const std::uint8_t top_mask = static_cast<std::uint8_t>(0xff >> (8 * em_len - em_bits));
  db[0] &= top_mask;
  if (fault == PssFault::kTopBit) db[0] |= static_cast<std::uint8_t>(top_mask + 1);  // the lowest bit that must be 0
  if (fault == PssFault::kHash) h[0] ^= 1;
  Bytes em = db;
  em.insert(em.end(), h.begin(), h.end());
  em.push_back(fault == PssFault::kTrailer ? 0xbb : 0xbc);
  const std::size_t k = key.modulus.ByteLength();
  const BigNumber value = BigNumber::FromBytes(em);
  if (BigNumber::Compare(value, key.modulus) >= 0) return std::nullopt;
  return RsaPrivateOperation(key, value).ToBytes(k);
}

// Each fault of the encoding is refused by us, as by OpenSSL; the
// faultless encoding is accepted by both, which checks the encoder.
TEST(OpenSslDifferentialTest, RsaPssEncodingFaults) {
  std::mt19937 rng(19);
  for (unsigned bits : {1024u, 1031u}) {  // the top-bit mask matters for the odd size
    const OpenSslRsaKey key = GenerateOpenSslRsaKey(bits);
    const Bytes digest = Random(rng, 32);
    const Bytes good = *PssSignWithFault(key.ours, DigestKind::kSha256, digest, Random(rng, 32), PssFault::kNone);
    EXPECT_TRUE(OpenSslPssVerify(key.key.get(), DigestKind::kSha256, digest, good)) << bits;
    EXPECT_TRUE(RsaPssVerify(key.public_key(), good, DigestKind::kSha256, digest)) << bits;
    for (PssFault fault : {PssFault::kTrailer, PssFault::kTopBit, PssFault::kSeparator, PssFault::kPadding,
                           PssFault::kHash}) {
      std::optional<Bytes> signed_fault;
      for (int attempt = 0; attempt < 64 && !signed_fault; ++attempt) {
        signed_fault = PssSignWithFault(key.ours, DigestKind::kSha256, digest, Random(rng, 32), fault);
      }
      ASSERT_TRUE(signed_fault.has_value());
      const Bytes& bad = *signed_fault;
      EXPECT_FALSE(OpenSslPssVerify(key.key.get(), DigestKind::kSha256, digest, bad))
          << bits << " fault " << static_cast<int>(fault);
      EXPECT_FALSE(RsaPssVerify(key.public_key(), bad, DigestKind::kSha256, digest))
          << bits << " fault " << static_cast<int>(fault);
    }
    const Bytes short_signature = Bytes(good.begin() + 1, good.end());
    EXPECT_FALSE(RsaPssVerify(key.public_key(), short_signature, DigestKind::kSha256, digest));
    Bytes long_signature = good;
    long_signature.insert(long_signature.begin(), 0);
    EXPECT_FALSE(RsaPssVerify(key.public_key(), long_signature, DigestKind::kSha256, digest));
    // A signature value at or above the modulus.
    EXPECT_FALSE(
        RsaPssVerify(key.public_key(), key.ours.modulus.ToBytes(good.size()), DigestKind::kSha256, digest));
    EXPECT_FALSE(RsaPssVerify(key.public_key(), good, DigestKind::kSha1, ComputeDigest(DigestKind::kSha1, digest)));
  }
}

}  // namespace
}  // namespace security
