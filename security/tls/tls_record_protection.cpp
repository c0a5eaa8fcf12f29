#include "security/tls/tls_record_protection.h"

#include <cstring>
#include <stdexcept>

#include "security/crypto/aes.h"
#include "security/crypto/des.h"
#include "security/crypto/hmac.h"
#include "security/crypto/idea.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc2.h"
#include "security/crypto/rc4.h"
#include "security/crypto/sha1.h"

namespace security {
namespace {

class StreamCipher final : public TlsBulkCipher {
 public:
  explicit StreamCipher(std::span<const std::uint8_t> key) : rc4_(key) {}
  std::size_t BlockSize() const override { return 0; }
  void Crypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override { rc4_.Crypt(in, out, length); }

 private:
  Rc4 rc4_;
};

class BlockCipher final : public TlsBulkCipher {
 public:
  BlockCipher(std::unique_ptr<BlockCipherCbc> cbc, std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv,
              bool encrypt)
      : cbc_(std::move(cbc)), encrypt_(encrypt) {
    if (encrypt) {
      cbc_->InitEncrypt(key, iv);
    } else {
      cbc_->InitDecrypt(key, iv);
    }
  }
  std::size_t BlockSize() const override { return cbc_->BlockSize(); }
  void Crypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override {
    std::size_t produced = length;
    const bool ok = encrypt_ ? cbc_->Encrypt(in, length, out, &produced) : cbc_->Decrypt(in, length, out, &produced);
    if (!ok || produced != length) throw std::logic_error("Partial cipher block");
  }

 private:
  std::unique_ptr<BlockCipherCbc> cbc_;
  bool encrypt_;
};

template <typename Hash>
void Ssl3Mac(std::span<const std::uint8_t> secret, std::size_t pad_length, const std::uint8_t* header,
             std::size_t header_length, std::span<const std::uint8_t> content, std::uint8_t* out) {
  std::uint8_t pad[48];
  std::memset(pad, 0x36, sizeof(pad));
  Hash inner;
  inner.Update(secret);
  inner.Update(pad, pad_length);
  inner.Update(header, header_length);
  inner.Update(content);
  const auto inner_digest = inner.Final();
  std::memset(pad, 0x5c, sizeof(pad));
  Hash outer;
  outer.Update(secret);
  outer.Update(pad, pad_length);
  outer.Update(inner_digest.data(), inner_digest.size());
  const auto digest = outer.Final();
  std::memcpy(out, digest.data(), digest.size());
}

template <typename Hash>
void TlsMac(std::span<const std::uint8_t> secret, const std::uint8_t* header, std::size_t header_length,
            std::span<const std::uint8_t> content, std::uint8_t* out) {
  Hmac<Hash> mac(secret);
  mac.Update(header, header_length);
  mac.Update(content);
  const auto digest = mac.Final();
  std::memcpy(out, digest.data(), digest.size());
}

// Constant-time comparison: a MAC check should not tell how many bytes matched.
bool SameBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::uint8_t diff = 0;
  for (std::size_t k = 0; k < n; ++k) diff |= a[k] ^ b[k];
  return diff == 0;
}

}  // namespace

std::unique_ptr<TlsBulkCipher> TlsBulkCipher::Create(CipherKind kind, std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> iv, bool encrypt) {
  switch (kind) {
    case CipherKind::kRc4: return std::make_unique<StreamCipher>(key);
    case CipherKind::kRc2Cbc: return std::make_unique<BlockCipher>(std::make_unique<Rc2Cbc>(), key, iv, encrypt);
    case CipherKind::kDesCbc: return std::make_unique<BlockCipher>(std::make_unique<DesCbc>(), key, iv, encrypt);
    case CipherKind::kTripleDesCbc:
      return std::make_unique<BlockCipher>(std::make_unique<TripleDesCbc>(), key, iv, encrypt);
    case CipherKind::kIdeaCbc: return std::make_unique<BlockCipher>(std::make_unique<IdeaCbc>(), key, iv, encrypt);
    case CipherKind::kAes128Cbc:
    case CipherKind::kAes256Cbc: return std::make_unique<BlockCipher>(std::make_unique<AesCbc>(), key, iv, encrypt);
  }
  throw std::invalid_argument("Unknown cipher");
}

void ComputeRecordMac(bool ssl3, MacKind mac, std::span<const std::uint8_t> secret, std::uint64_t sequence,
                      std::uint8_t type, std::uint16_t version, std::span<const std::uint8_t> content,
                      std::uint8_t* out) {
  std::uint8_t header[13];
  for (int k = 0; k < 8; ++k) header[k] = static_cast<std::uint8_t>(sequence >> (56 - 8 * k));
  header[8] = type;
  std::size_t at = 9;
  if (!ssl3) {
    header[at++] = static_cast<std::uint8_t>(version >> 8);
    header[at++] = static_cast<std::uint8_t>(version);
  }
  header[at++] = static_cast<std::uint8_t>(content.size() >> 8);
  header[at++] = static_cast<std::uint8_t>(content.size());
  if (ssl3) {
    if (mac == MacKind::kMd5) {
      Ssl3Mac<Md5>(secret, 48, header, at, content, out);
    } else {
      Ssl3Mac<Sha1>(secret, 40, header, at, content, out);
    }
  } else if (mac == MacKind::kMd5) {
    TlsMac<Md5>(secret, header, at, content, out);
  } else {
    TlsMac<Sha1>(secret, header, at, content, out);
  }
}

TlsRecordProtection::TlsRecordProtection(bool ssl3, const SuiteParams& suite, std::vector<std::uint8_t> mac_secret,
                                         std::unique_ptr<TlsBulkCipher> cipher)
    : ssl3_(ssl3),
      mac_kind_(suite.mac),
      mac_size_(suite.mac_size),
      mac_secret_(std::move(mac_secret)),
      cipher_(std::move(cipher)) {}

std::size_t TlsRecordProtection::ProtectedSize(std::size_t content_length) const {
  const std::size_t block = cipher_->BlockSize();
  const std::size_t length = content_length + mac_size_;
  if (block == 0) return length;
  return length + (block - length % block);
}

std::size_t TlsRecordProtection::Protect(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                                         std::span<const std::uint8_t> content, std::uint8_t* out) {
  std::memcpy(out, content.data(), content.size());
  ComputeRecordMac(ssl3_, mac_kind_, mac_secret_, sequence, type, version, content, out + content.size());
  std::size_t length = content.size() + mac_size_;
  const std::size_t block = cipher_->BlockSize();
  if (block != 0) {
    const std::size_t padding = block - length % block;  // 1 to block bytes, the length byte included
    std::memset(out + length, static_cast<int>(padding - 1), padding);
    length += padding;
  }
  cipher_->Crypt(out, out, length);
  return length;
}

UnprotectResult TlsRecordProtection::Unprotect(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                                               std::span<std::uint8_t> fragment, std::size_t* content_length) {
  const std::size_t block = cipher_->BlockSize();
  if (fragment.size() < mac_size_ || (block != 0 && (fragment.empty() || fragment.size() % block != 0))) {
    return UnprotectResult::kBadRecordMac;
  }
  cipher_->Crypt(fragment.data(), fragment.data(), fragment.size());
  std::size_t padding = 0;  // padding bytes including the length byte
  bool padding_ok = true;
  if (block != 0) {
    padding = static_cast<std::size_t>(fragment.back()) + 1;
    // A padding length that would put the MAC before the fragment: refuse
    // before computing anything from it.
    if (padding + mac_size_ > fragment.size()) return UnprotectResult::kBadRecordMac;
    if (!ssl3_) {
      std::uint8_t diff = 0;
      for (std::size_t k = fragment.size() - padding; k < fragment.size(); ++k) diff |= fragment[k] ^ fragment.back();
      padding_ok = diff == 0;
    }
  }
  const std::size_t length = fragment.size() - padding - mac_size_;
  std::uint8_t expected[20];
  ComputeRecordMac(ssl3_, mac_kind_, mac_secret_, sequence, type, version, fragment.first(length), expected);
  const bool mac_ok = SameBytes(expected, fragment.data() + length, mac_size_);
  if (!mac_ok || !padding_ok) return UnprotectResult::kBadRecordMac;
  if (ssl3_ && block != 0 && padding > block) return UnprotectResult::kBadSsl3Padding;
  *content_length = length;
  return UnprotectResult::kOk;
}

}  // namespace security
