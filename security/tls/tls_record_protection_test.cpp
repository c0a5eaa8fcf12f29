// Record protection: the record MAC against OpenSSL's HMAC and digests, and
// the check of CBC records, whose cost must not depend on what the padding
// says (a forger who can time it learns plaintext bytes).

#include "security/tls/tls_record_protection.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <optional>
#include <set>
#include <string>

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sequence(int first, std::size_t count) {
  Bytes out;
  for (std::size_t k = 0; k < count; ++k) out.push_back(static_cast<std::uint8_t>(first + static_cast<int>(k)));
  return out;
}

Bytes MacHeader(bool ssl3, std::uint64_t sequence, std::uint8_t type, std::size_t length) {
  Bytes h;
  for (int k = 0; k < 8; ++k) h.push_back(static_cast<std::uint8_t>(sequence >> (56 - 8 * k)));
  h.push_back(type);
  if (!ssl3) h.insert(h.end(), {3, 1});
  h.push_back(static_cast<std::uint8_t>(length >> 8));
  h.push_back(static_cast<std::uint8_t>(length));
  return h;
}

Bytes Digest(const EVP_MD* md, const Bytes& data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr), 1);
  out.resize(n);
  return out;
}

// The SSL 3.0 MAC written out from its definition with OpenSSL's digests.
Bytes Ssl3MacOracle(const EVP_MD* md, const Bytes& secret, const Bytes& header, const Bytes& content) {
  const std::size_t pad = EVP_MD_get_size(md) == 16 ? 48 : 40;
  Bytes inner = secret;
  inner.insert(inner.end(), pad, 0x36);
  inner.insert(inner.end(), header.begin(), header.end());
  inner.insert(inner.end(), content.begin(), content.end());
  Bytes outer = secret;
  outer.insert(outer.end(), pad, 0x5c);
  const Bytes inner_digest = Digest(md, inner);
  outer.insert(outer.end(), inner_digest.begin(), inner_digest.end());
  return Digest(md, outer);
}

TEST(TlsRecordProtectionTest, RecordMacMatchesOpenSsl) {
  for (bool ssl3 : {false, true}) {
    for (MacKind kind : {MacKind::kMd5, MacKind::kSha1}) {
      const EVP_MD* md = kind == MacKind::kMd5 ? EVP_md5() : EVP_sha1();
      const Bytes secret = Sequence(0x40, kind == MacKind::kMd5 ? 16 : 20);
      for (std::size_t length : {0, 1, 39, 40, 55, 56, 119, 4096}) {
        SCOPED_TRACE(::testing::Message() << ssl3 << " " << static_cast<int>(kind) << " " << length);
        const Bytes content = Sequence(7, length);
        const Bytes header = MacHeader(ssl3, 0x0102030405060708ull, 23, length);
        Bytes ours(kind == MacKind::kMd5 ? 16 : 20);
        ComputeRecordMac(ssl3, kind, secret, 0x0102030405060708ull, 23, 0x0301, content, ours.data());
        Bytes expected;
        if (ssl3) {
          expected = Ssl3MacOracle(md, secret, header, content);
        } else {
          Bytes data = header;
          data.insert(data.end(), content.begin(), content.end());
          expected.resize(EVP_MAX_MD_SIZE);
          unsigned int n = 0;
          HMAC(md, secret.data(), static_cast<int>(secret.size()), data.data(), data.size(), expected.data(), &n);
          expected.resize(n);
        }
        EXPECT_EQ(ours, expected);
      }
    }
  }
}

struct CbcSuite {
  bool ssl3;
  std::uint16_t code;
};

// A fragment of `size` bytes whose last byte says `pad`: content, a MAC that
// is right for that content (when the content fits), padding bytes equal to
// `pad` unless `spoil_padding`, encrypted as the peer would.
Bytes Fragment(const CbcSuite& c, const SuiteParams& suite, const Bytes& key, const Bytes& iv, const Bytes& mac_secret,
               std::size_t size, std::size_t pad, bool spoil_padding) {
  Bytes plain = Sequence(0x21, size);
  if (pad + 1 + suite.mac_size <= size) {
    const std::size_t length = size - pad - 1 - suite.mac_size;
    ComputeRecordMac(c.ssl3, suite.mac, mac_secret, 5, 23, 0x0301, {plain.data(), length}, plain.data() + length);
    for (std::size_t k = size - pad - 1; k < size; ++k) plain[k] = static_cast<std::uint8_t>(pad);
    if (spoil_padding && pad > 0) plain[size - 2] ^= 0x10;
  }
  plain.back() = static_cast<std::uint8_t>(pad);
  TlsBulkCipher::Create(suite.cipher, key, iv, true)->Crypt(plain.data(), plain.data(), size);
  return plain;
}

TEST(TlsRecordProtectionTest, CbcCheckWorkDoesNotDependOnThePadding) {
  // SHA-256 and SHA-384 MACs too: SHA-384 runs 128-byte blocks.
  const CbcSuite suites[] = {{false, 0x002F}, {false, 0x000A}, {true, 0x000A}, {false, 0x0006},
                             {false, 0x003C}, {false, 0xC028}};
  for (const auto& c : suites) {
    const SuiteParams& suite = *FindSuite(c.ssl3 ? Ssl3SuiteTable() : TlsSuiteTable(), c.code);
    const std::size_t block = suite.BlockSize();
    const Bytes key = Sequence(1, suite.cipher == CipherKind::kRc2Cbc ? 16 : (block == 16 ? 16 : 24));
    const Bytes iv = Sequence(0x70, block);
    const Bytes mac_secret = Sequence(0x50, suite.mac_size);
    const std::size_t size = block * 16;
    struct Case {
      std::size_t pad;
      bool spoil;
      UnprotectResult expected;
    };
    std::vector<Case> cases = {
        {0, false, UnprotectResult::kOk},
        {block - 1, false, UnprotectResult::kOk},
        {block - 1, true, c.ssl3 ? UnprotectResult::kOk : UnprotectResult::kBadRecordMac},
        {255, false, UnprotectResult::kBadRecordMac},  // longer than the fragment holds besides the MAC
    };
    if (!c.ssl3) {
      cases.push_back({100, false, UnprotectResult::kOk});
      cases.push_back({100, true, UnprotectResult::kBadRecordMac});
      cases.push_back({size - suite.mac_size - 1, false, UnprotectResult::kOk});  // no content at all
    } else {
      cases.push_back({100, false, UnprotectResult::kBadSsl3Padding});
    }
    std::set<std::size_t> work;
    for (const auto& k : cases) {
      SCOPED_TRACE(::testing::Message() << "suite " << c.code << (c.ssl3 ? " SSL 3.0" : " TLS") << " pad " << k.pad
                                        << (k.spoil ? " spoilt" : ""));
      TlsRecordProtection reader(c.ssl3, suite, mac_secret, TlsBulkCipher::Create(suite.cipher, key, iv, false));
      Bytes fragment = Fragment(c, suite, key, iv, mac_secret, size, k.pad, k.spoil);
      std::size_t length = 0;
      EXPECT_EQ(reader.Unprotect(23, 0x0301, 5, fragment, &length), k.expected);
      if (k.expected == UnprotectResult::kOk) EXPECT_EQ(length, size - k.pad - 1 - suite.mac_size);
      work.insert(reader.LastMacBlocks());
    }
    EXPECT_EQ(work.size(), 1u) << "hash blocks differ with the padding";
    EXPECT_GE(*work.begin(), (size + 64) / 64) << "the MAC covers the longest content";
  }
}

// The TLS 1.2 MACs: HMAC-SHA256 and HMAC-SHA384 over seq | type | version | length | content.
TEST(TlsRecordProtectionTest, Sha2RecordMacsMatchOpenSsl) {
  for (MacKind kind : {MacKind::kSha256, MacKind::kSha384}) {
    const EVP_MD* md = kind == MacKind::kSha256 ? EVP_sha256() : EVP_sha384();
    const std::size_t size = kind == MacKind::kSha256 ? 32 : 48;
    const Bytes secret = Sequence(0x40, size);
    for (std::size_t length : {0, 1, 51, 52, 115, 116, 4096}) {
      SCOPED_TRACE(::testing::Message() << static_cast<int>(kind) << " " << length);
      const Bytes content = Sequence(7, length);
      Bytes data = MacHeader(false, 0x0102030405060708ull, 23, length);
      data[9] = 3;
      data[10] = 3;
      data.insert(data.end(), content.begin(), content.end());
      Bytes ours(size);
      ComputeRecordMac(false, kind, secret, 0x0102030405060708ull, 23, 0x0303, content, ours.data());
      Bytes expected(EVP_MAX_MD_SIZE);
      unsigned int n = 0;
      HMAC(md, secret.data(), static_cast<int>(secret.size()), data.data(), data.size(), expected.data(), &n);
      expected.resize(n);
      EXPECT_EQ(ours, expected);
    }
  }
}

TEST(TlsRecordProtectionTest, ProtectedRecordsComeBackWhole) {
  for (const CbcSuite& c : {CbcSuite{false, 0x002F}, CbcSuite{true, 0x000A}, CbcSuite{false, 0x0005}}) {
    const SuiteParams& suite = *FindSuite(c.ssl3 ? Ssl3SuiteTable() : TlsSuiteTable(), c.code);
    const Bytes key = Sequence(1, suite.key_size);
    const Bytes iv = Sequence(0x70, suite.iv_size);
    const Bytes mac_secret = Sequence(0x50, suite.mac_size);
    TlsRecordProtection writer(c.ssl3, suite, mac_secret, TlsBulkCipher::Create(suite.cipher, key, iv, true));
    TlsRecordProtection reader(c.ssl3, suite, mac_secret, TlsBulkCipher::Create(suite.cipher, key, iv, false));
    for (std::size_t length : {0, 1, 15, 16, 17, 1000, 4096}) {
      SCOPED_TRACE(::testing::Message() << c.code << " " << length);
      const Bytes content = Sequence(3, length);
      Bytes out(writer.ProtectedSize(length));
      const std::size_t n = writer.Protect(23, 0x0301, length, content, out.data());
      ASSERT_EQ(n, out.size());
      std::size_t got = 0;
      ASSERT_EQ(reader.Unprotect(23, 0x0301, length, out, &got), UnprotectResult::kOk);
      EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got)), content);
    }
  }
}

Bytes Aad(std::uint64_t sequence, std::uint8_t type, std::uint16_t version, std::size_t length) {
  Bytes h;
  for (int k = 0; k < 8; ++k) h.push_back(static_cast<std::uint8_t>(sequence >> (56 - 8 * k)));
  h.insert(h.end(), {type, static_cast<std::uint8_t>(version >> 8), static_cast<std::uint8_t>(version),
                     static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
  return h;
}

// OpenSSL's AEAD open of `sealed` (ciphertext | tag); nothing when the tag fails.
std::optional<Bytes> OpenSslAeadOpen(const EVP_CIPHER* cipher, const Bytes& key, const Bytes& nonce, const Bytes& aad,
                                     const Bytes& sealed) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(sealed.size());
  int n = 0;
  int total = 0;
  bool ok = EVP_DecryptInit_ex(ctx, cipher, nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) == 1 &&
            EVP_DecryptInit_ex(ctx, nullptr, nullptr, key.data(), nonce.data()) == 1 &&
            EVP_DecryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) == 1 &&
            EVP_DecryptUpdate(ctx, out.data(), &n, sealed.data(), static_cast<int>(sealed.size() - 16)) == 1;
  total = n;
  Bytes tag(sealed.end() - 16, sealed.end());
  ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, tag.data()) == 1 &&
       EVP_DecryptFinal_ex(ctx, out.data() + total, &n) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) return std::nullopt;
  out.resize(sealed.size() - 16);
  return out;
}

// AEAD records as another implementation reads them: GCM with the 4 implicit
// nonce bytes and the 8 sent ones, ChaCha20-Poly1305 with the sequence XORed
// into the 12 implicit bytes; seq | type | version | length authenticated.
TEST(TlsRecordProtectionTest, AeadRecordsOpenWithOpenSslAndRefuseAnyChange) {
  struct Case {
    std::uint16_t code;
    const EVP_CIPHER* cipher;
  } cases[] = {{0x009C, EVP_aes_128_gcm()}, {0x009D, EVP_aes_256_gcm()}};
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const auto& row : TlsSuiteTable()) {
    if (row.cipher == CipherKind::kChaCha20Poly1305) {
      all.push_back({row.code, EVP_chacha20_poly1305()});
      break;
    }
  }
  for (const Case& c : all) {
    const SuiteParams& suite = *FindSuite(TlsSuiteTable(), c.code);
    ASSERT_TRUE(suite.IsAead());
    const Bytes key = Sequence(9, suite.key_size);
    const Bytes fixed = Sequence(0xA0, suite.iv_size);
    TlsRecordProtection writer(suite, key, fixed);
    TlsRecordProtection reader(suite, key, fixed);
    const std::uint64_t sequence = 0x0102030405060708;
    for (std::size_t length : {0, 1, 17, 4096}) {
      SCOPED_TRACE(::testing::Message() << c.code << " " << length);
      const Bytes content = Sequence(3, length);
      Bytes record(writer.ProtectedSize(length));
      ASSERT_EQ(writer.Protect(23, 0x0303, sequence, content, record.data()), record.size());
      const std::size_t explicit_size = c.cipher == EVP_chacha20_poly1305() ? 0 : 8;
      ASSERT_EQ(record.size(), explicit_size + length + 16);
      Bytes nonce = fixed;
      if (explicit_size == 0) {
        for (int k = 0; k < 8; ++k) nonce[4 + k] ^= static_cast<std::uint8_t>(sequence >> (56 - 8 * k));
      } else {
        nonce.insert(nonce.end(), record.begin(), record.begin() + 8);
      }
      const auto opened = OpenSslAeadOpen(c.cipher, key, nonce, Aad(sequence, 23, 0x0303, length),
                                          Bytes(record.begin() + static_cast<std::ptrdiff_t>(explicit_size), record.end()));
      ASSERT_TRUE(opened.has_value());
      EXPECT_EQ(*opened, content);

      Bytes copy = record;
      std::size_t got = 0;
      ASSERT_EQ(reader.Unprotect(23, 0x0303, sequence, copy, &got), UnprotectResult::kOk);
      EXPECT_EQ(Bytes(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(got)), content);
      // Another sequence number, type or version, or any flipped byte, is refused.
      copy = record;
      EXPECT_EQ(reader.Unprotect(23, 0x0303, sequence + 1, copy, &got), UnprotectResult::kBadRecordMac);
      copy = record;
      EXPECT_EQ(reader.Unprotect(22, 0x0303, sequence, copy, &got), UnprotectResult::kBadRecordMac);
      copy = record;
      EXPECT_EQ(reader.Unprotect(23, 0x0302, sequence, copy, &got), UnprotectResult::kBadRecordMac);
      copy = record;
      copy[copy.size() / 2] ^= 1;
      EXPECT_EQ(reader.Unprotect(23, 0x0303, sequence, copy, &got), UnprotectResult::kBadRecordMac);
      Bytes short_record(explicit_size + 15, 0);
      EXPECT_EQ(reader.Unprotect(23, 0x0303, sequence, short_record, &got), UnprotectResult::kBadRecordMac);
    }
  }
}

// TLS 1.1+ CBC: each record is IV | E(content | MAC | padding) under that IV,
// so another implementation decrypts it alone, and a record sealed under any
// IV opens here whatever came before it.
TEST(TlsRecordProtectionTest, ExplicitIvRecordsStandAlone) {
  for (std::uint16_t code : {0x003C, 0x002F}) {
    const SuiteParams& suite = *FindSuite(TlsSuiteTable(), code);
    const EVP_MD* md = suite.mac == MacKind::kSha256 ? EVP_sha256() : EVP_sha1();
    const Bytes key = Sequence(1, suite.key_size);
    const Bytes chain_iv = Sequence(0x70, suite.iv_size);
    const Bytes mac_secret = Sequence(0x50, suite.mac_size);
    RandomGenerator random;
    ASSERT_TRUE(random.Seed());
    TlsRecordProtection writer(false, suite, mac_secret, TlsBulkCipher::Create(suite.cipher, key, chain_iv, true));
    TlsRecordProtection reader(false, suite, mac_secret, TlsBulkCipher::Create(suite.cipher, key, chain_iv, false));
    writer.UseExplicitIv(&random);
    reader.UseExplicitIv(&random);
    Bytes first_ivs;
    for (std::uint64_t sequence : {0u, 1u, 2u}) {
      SCOPED_TRACE(::testing::Message() << code << " " << sequence);
      const Bytes content = Sequence(static_cast<int>(sequence), 33);
      Bytes record(writer.ProtectedSize(content.size()));
      ASSERT_EQ(writer.Protect(23, 0x0302, sequence, content, record.data()), record.size());
      // Decrypted by OpenSSL with the record's first block as the IV.
      EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
      Bytes plain(record.size());
      int n = 0;
      ASSERT_EQ(EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), record.data()), 1);
      EVP_CIPHER_CTX_set_padding(ctx, 0);
      ASSERT_EQ(EVP_DecryptUpdate(ctx, plain.data(), &n, record.data() + 16, static_cast<int>(record.size() - 16)), 1);
      EVP_CIPHER_CTX_free(ctx);
      plain.resize(static_cast<std::size_t>(n));
      EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 33), content);
      Bytes mac_input = MacHeader(false, sequence, 23, content.size());
      mac_input[9] = 3;
      mac_input[10] = 2;
      mac_input.insert(mac_input.end(), content.begin(), content.end());
      Bytes mac(EVP_MAX_MD_SIZE);
      unsigned int mac_length = 0;
      HMAC(md, mac_secret.data(), static_cast<int>(mac_secret.size()), mac_input.data(), mac_input.size(), mac.data(),
           &mac_length);
      mac.resize(mac_length);
      EXPECT_EQ(Bytes(plain.begin() + 33, plain.begin() + 33 + static_cast<std::ptrdiff_t>(mac_length)), mac);
      first_ivs.insert(first_ivs.end(), record.begin(), record.begin() + 16);

      std::size_t got = 0;
      ASSERT_EQ(reader.Unprotect(23, 0x0302, sequence, record, &got), UnprotectResult::kOk);
      EXPECT_EQ(Bytes(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(got)), content);
    }
    // Each record's IV is fresh, not the last block of the one before.
    EXPECT_NE(Bytes(first_ivs.begin(), first_ivs.begin() + 16), Bytes(first_ivs.begin() + 16, first_ivs.begin() + 32));

    // A record made elsewhere under its own IV opens on a reader whose chain is elsewhere.
    const Bytes content = Sequence(40, 20);
    Bytes mac_input = MacHeader(false, 9, 23, content.size());
    mac_input[9] = 3;
    mac_input[10] = 3;
    mac_input.insert(mac_input.end(), content.begin(), content.end());
    Bytes plain = content;
    Bytes mac(EVP_MAX_MD_SIZE);
    unsigned int mac_length = 0;
    HMAC(md, mac_secret.data(), static_cast<int>(mac_secret.size()), mac_input.data(), mac_input.size(), mac.data(),
         &mac_length);
    plain.insert(plain.end(), mac.begin(), mac.begin() + mac_length);
    const std::size_t padding = 16 - plain.size() % 16;
    plain.insert(plain.end(), padding, static_cast<std::uint8_t>(padding - 1));
    const Bytes own_iv = Sequence(0xC0, 16);
    Bytes record = own_iv;
    record.resize(16 + plain.size());
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    ASSERT_EQ(EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), own_iv.data()), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    ASSERT_EQ(EVP_EncryptUpdate(ctx, record.data() + 16, &n, plain.data(), static_cast<int>(plain.size())), 1);
    EVP_CIPHER_CTX_free(ctx);
    std::size_t got = 0;
    ASSERT_EQ(reader.Unprotect(23, 0x0303, 9, record, &got), UnprotectResult::kOk);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(got)), content);
    // An IV alone, with no room for MAC and padding, is refused.
    Bytes iv_only(16, 0);
    EXPECT_EQ(reader.Unprotect(23, 0x0303, 10, iv_only, &got), UnprotectResult::kBadRecordMac);
  }
}

}  // namespace
}  // namespace security
