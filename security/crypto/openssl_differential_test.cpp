// Differential tests: our primitives against OpenSSL's libcrypto on random
// keys, IVs and inputs. Algorithms that OpenSSL 3 keeps in its legacy
// provider (MD4, RC4, DES, RC2, IDEA) are skipped when that provider is missing.

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "security/crypto/aes.h"
#include "security/crypto/aes_gcm.h"
#include "security/crypto/chacha20_poly1305.h"
#include "security/crypto/des.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/hmac.h"
#include "security/crypto/idea.h"
#include "security/crypto/md4.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc2.h"
#include "security/crypto/rc4.h"
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

}  // namespace
}  // namespace security
