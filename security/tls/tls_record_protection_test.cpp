// Record protection: the record MAC against OpenSSL's HMAC and digests, and
// the check of CBC records, whose cost must not depend on what the padding
// says (a forger who can time it learns plaintext bytes).

#include "security/tls/tls_record_protection.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

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
  const CbcSuite suites[] = {{false, 0x002F}, {false, 0x000A}, {true, 0x000A}, {false, 0x0006}};
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

}  // namespace
}  // namespace security
