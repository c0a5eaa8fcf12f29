#include "security/tls/tls_record_protection.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "security/crypto/aes.h"
#include "security/crypto/aes_gcm.h"
#include "security/crypto/chacha20_poly1305.h"
#include "security/crypto/des.h"
#include "security/crypto/hmac.h"
#include "security/crypto/idea.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc2.h"
#include "security/crypto/rc4.h"
#include "security/crypto/secure_wipe.h"
#include "security/crypto/sha1.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"

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

// The compression blocks hashing `bytes` runs: MD5, SHA-1 and SHA-256 take
// 64-byte blocks and at least 9 bytes of final padding, SHA-384 128-byte
// blocks and at least 17.
template <typename Hash>
std::size_t CompressionBlocks(std::size_t bytes) {
  constexpr std::size_t kLengthField = Hash::kBlockSize == 128 ? 16 : 8;
  return (bytes + kLengthField) / Hash::kBlockSize + 1;
}

// A hash that counts the compression blocks it runs.
template <typename Hash>
class CountedHash {
 public:
  void Update(const std::uint8_t* data, std::size_t length) {
    hash_.Update(data, length);
    bytes_ += length;
  }
  typename Hash::Digest Final(std::size_t* blocks) {
    *blocks += CompressionBlocks<Hash>(bytes_);
    return hash_.Final();
  }

 private:
  Hash hash_;
  std::size_t bytes_ = 0;
};

// The record MAC over `header` and `content`, with as many compression
// blocks as content of `fixed_length` bytes would take: the time it costs
// then tells nothing about where the padding ended.
template <typename Hash>
void RecordMac(bool ssl3, std::span<const std::uint8_t> secret, const std::uint8_t* header, std::size_t header_length,
               std::span<const std::uint8_t> content, std::size_t fixed_length, std::uint8_t* out,
               std::size_t* blocks) {
  constexpr std::size_t kBlock = Hash::kBlockSize;
  std::uint8_t pad[kBlock];
  std::size_t prefix = 0;
  CountedHash<Hash> inner;
  if (ssl3) {
    const std::size_t pad_length = Hash::kDigestSize == 16 ? 48 : 40;
    std::memset(pad, 0x36, pad_length);
    inner.Update(secret.data(), secret.size());
    inner.Update(pad, pad_length);
    prefix = secret.size() + pad_length;
  } else {
    // HMAC; record MAC secrets are never longer than a block.
    std::memset(pad, 0, sizeof(pad));
    std::memcpy(pad, secret.data(), std::min(secret.size(), kBlock));
    for (auto& b : pad) b ^= 0x36;
    inner.Update(pad, kBlock);
    prefix = kBlock;
  }
  inner.Update(header, header_length);
  inner.Update(content.data(), content.size());
  const auto inner_digest = inner.Final(blocks);
  prefix += header_length;
  if (fixed_length > content.size()) {
    const std::size_t extra =
        CompressionBlocks<Hash>(prefix + fixed_length) - CompressionBlocks<Hash>(prefix + content.size());
    if (extra > 0) {
      static const std::uint8_t kZeros[kBlock] = {};
      Hash dummy;
      for (std::size_t k = 0; k < extra; ++k) dummy.Update(kZeros, kBlock);
      *blocks += extra;
    }
  }
  CountedHash<Hash> outer;
  if (ssl3) {
    const std::size_t pad_length = Hash::kDigestSize == 16 ? 48 : 40;
    std::memset(pad, 0x5c, pad_length);
    outer.Update(secret.data(), secret.size());
    outer.Update(pad, pad_length);
  } else {
    std::memset(pad, 0, sizeof(pad));
    std::memcpy(pad, secret.data(), std::min(secret.size(), kBlock));
    for (auto& b : pad) b ^= 0x5c;
    outer.Update(pad, kBlock);
  }
  outer.Update(inner_digest.data(), inner_digest.size());
  const auto digest = outer.Final(blocks);
  std::memcpy(out, digest.data(), digest.size());
  SecureWipe(pad, sizeof(pad));
}

std::size_t MacHeader(bool ssl3, std::uint64_t sequence, std::uint8_t type, std::uint16_t version,
                      std::size_t length, std::uint8_t* header) {
  for (int k = 0; k < 8; ++k) header[k] = static_cast<std::uint8_t>(sequence >> (56 - 8 * k));
  header[8] = type;
  std::size_t at = 9;
  if (!ssl3) {
    header[at++] = static_cast<std::uint8_t>(version >> 8);
    header[at++] = static_cast<std::uint8_t>(version);
  }
  header[at++] = static_cast<std::uint8_t>(length >> 8);
  header[at++] = static_cast<std::uint8_t>(length);
  return at;
}

void MacWithFixedWork(bool ssl3, MacKind mac, std::span<const std::uint8_t> secret, std::uint64_t sequence,
                      std::uint8_t type, std::uint16_t version, std::span<const std::uint8_t> content,
                      std::size_t fixed_length, std::uint8_t* out, std::size_t* blocks) {
  std::uint8_t header[13];
  const std::size_t header_length = MacHeader(ssl3, sequence, type, version, content.size(), header);
  switch (mac) {
    case MacKind::kMd5: RecordMac<Md5>(ssl3, secret, header, header_length, content, fixed_length, out, blocks); break;
    case MacKind::kSha1: RecordMac<Sha1>(ssl3, secret, header, header_length, content, fixed_length, out, blocks); break;
    case MacKind::kSha256:
      RecordMac<Sha256>(ssl3, secret, header, header_length, content, fixed_length, out, blocks);
      break;
    case MacKind::kSha384:
      RecordMac<Sha384>(ssl3, secret, header, header_length, content, fixed_length, out, blocks);
      break;
    case MacKind::kAead: throw std::logic_error("No record MAC under an AEAD cipher");
  }
}

// All ones when a < b, else 0, without a branch (both far below 2^63).
std::size_t MaskBelow(std::size_t a, std::size_t b) {
  return static_cast<std::size_t>(0) - ((a - b) >> (sizeof(std::size_t) * 8 - 1));
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
    case CipherKind::kAes128Gcm:
    case CipherKind::kAes256Gcm:
    case CipherKind::kChaCha20Poly1305: break;
  }
  throw std::invalid_argument("Unknown cipher");
}

void ComputeRecordMac(bool ssl3, MacKind mac, std::span<const std::uint8_t> secret, std::uint64_t sequence,
                      std::uint8_t type, std::uint16_t version, std::span<const std::uint8_t> content,
                      std::uint8_t* out) {
  std::size_t blocks = 0;
  MacWithFixedWork(ssl3, mac, secret, sequence, type, version, content, 0, out, &blocks);
}

TlsRecordProtection::TlsRecordProtection(bool ssl3, const SuiteParams& suite, std::vector<std::uint8_t> mac_secret,
                                         std::unique_ptr<TlsBulkCipher> cipher)
    : ssl3_(ssl3),
      mac_kind_(suite.mac),
      mac_size_(suite.mac_size),
      mac_secret_(std::move(mac_secret)),
      cipher_(std::move(cipher)) {}

TlsRecordProtection::TlsRecordProtection(const SuiteParams& suite, std::span<const std::uint8_t> key,
                                         std::span<const std::uint8_t> fixed_iv)
    : ssl3_(false), mac_kind_(MacKind::kAead), mac_size_(0), aead_kind_(suite.cipher) {
  const std::size_t wanted = suite.cipher == CipherKind::kChaCha20Poly1305 ? 12 : 4;
  if (fixed_iv.size() != wanted) throw std::invalid_argument("Invalid nonce length");
  if (suite.cipher == CipherKind::kChaCha20Poly1305) {
    aead_ = std::make_unique<ChaCha20Poly1305>(key);
  } else if (suite.cipher == CipherKind::kAes128Gcm || suite.cipher == CipherKind::kAes256Gcm) {
    aead_ = std::make_unique<AesGcm>(key);
  } else {
    throw std::invalid_argument("Not an AEAD cipher");
  }
  fixed_iv_.assign(fixed_iv.begin(), fixed_iv.end());
}

void TlsRecordProtection::UseExplicitIv(RandomGenerator* random) { explicit_iv_ = random; }

std::size_t TlsRecordProtection::ExplicitNonceSize() const {
  return aead_kind_ == CipherKind::kChaCha20Poly1305 ? 0 : 8;
}

// AES-GCM: the 4 implicit bytes, then the 8 sent with the record (here the
// sequence number, which never repeats under one key). ChaCha20-Poly1305:
// the 12 implicit bytes XOR the sequence number, nothing sent.
void TlsRecordProtection::Nonce(std::uint64_t sequence, const std::uint8_t* explicit_part, std::uint8_t nonce[12]) const {
  if (aead_kind_ == CipherKind::kChaCha20Poly1305) {
    std::memcpy(nonce, fixed_iv_.data(), 12);
    for (int k = 0; k < 8; ++k) nonce[4 + k] ^= static_cast<std::uint8_t>(sequence >> (56 - 8 * k));
  } else {
    std::memcpy(nonce, fixed_iv_.data(), 4);
    std::memcpy(nonce + 4, explicit_part, 8);
  }
}

namespace {

// seq | type | version | length: what an AEAD record authenticates besides its content.
void AdditionalData(std::uint64_t sequence, std::uint8_t type, std::uint16_t version, std::size_t length,
                    std::uint8_t out[13]) {
  MacHeader(false, sequence, type, version, length, out);
}

}  // namespace

std::size_t TlsRecordProtection::ProtectedSize(std::size_t content_length) const {
  if (aead_) return ExplicitNonceSize() + content_length + AeadCipher::kTagSize;
  const std::size_t block = cipher_->BlockSize();
  const std::size_t length = content_length + mac_size_;
  if (block == 0) return length;
  return (explicit_iv_ != nullptr ? block : 0) + length + (block - length % block);
}

std::size_t TlsRecordProtection::Protect(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                                         std::span<const std::uint8_t> content, std::uint8_t* out) {
  if (aead_) {
    std::uint8_t explicit_part[8];
    for (int k = 0; k < 8; ++k) explicit_part[k] = static_cast<std::uint8_t>(sequence >> (56 - 8 * k));
    std::uint8_t nonce[12];
    Nonce(sequence, explicit_part, nonce);
    std::uint8_t aad[13];
    AdditionalData(sequence, type, version, content.size(), aad);
    const std::size_t explicit_size = ExplicitNonceSize();
    std::memcpy(out, explicit_part, explicit_size);
    aead_->Seal(nonce, aad, content, out + explicit_size);
    return explicit_size + content.size() + AeadCipher::kTagSize;
  }
  const std::size_t block = cipher_->BlockSize();
  // The random first block, encrypted on the running chain, becomes the IV
  // the receiver uses for the rest.
  const std::size_t iv_room = block != 0 && explicit_iv_ != nullptr ? block : 0;
  for (std::size_t k = 0; k < iv_room; ++k) out[k] = explicit_iv_->NextByte();
  std::uint8_t* body = out + iv_room;
  if (!content.empty()) std::memcpy(body, content.data(), content.size());  // an empty record may have no data pointer
  ComputeRecordMac(ssl3_, mac_kind_, mac_secret_, sequence, type, version, content, body + content.size());
  std::size_t length = content.size() + mac_size_;
  if (block != 0) {
    const std::size_t padding = block - length % block;  // 1 to block bytes, the length byte included
    std::memset(body + length, static_cast<int>(padding - 1), padding);
    length += padding;
  }
  length += iv_room;
  cipher_->Crypt(out, out, length);
  return length;
}

UnprotectResult TlsRecordProtection::UnprotectAead(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                                                   std::span<std::uint8_t> fragment, std::size_t* content_length) {
  const std::size_t explicit_size = ExplicitNonceSize();
  if (fragment.size() < explicit_size + AeadCipher::kTagSize) return UnprotectResult::kBadRecordMac;
  const std::size_t length = fragment.size() - explicit_size - AeadCipher::kTagSize;
  std::uint8_t nonce[12];
  Nonce(sequence, fragment.data(), nonce);
  std::uint8_t aad[13];
  AdditionalData(sequence, type, version, length, aad);
  const auto sealed = fragment.subspan(explicit_size);
  if (!aead_->Open(nonce, aad, sealed, sealed.data())) return UnprotectResult::kBadRecordMac;
  if (explicit_size != 0) std::memmove(fragment.data(), sealed.data(), length);
  *content_length = length;
  return UnprotectResult::kOk;
}

TlsRecordProtection::~TlsRecordProtection() {
  SecureWipe(mac_secret_);
  SecureWipe(fixed_iv_);
}

UnprotectResult TlsRecordProtection::Unprotect(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                                               std::span<std::uint8_t> whole, std::size_t* content_length) {
  last_mac_blocks_ = 0;
  if (aead_) return UnprotectAead(type, version, sequence, whole, content_length);
  const std::size_t block = cipher_->BlockSize();
  const std::size_t iv_room = block != 0 && explicit_iv_ != nullptr ? block : 0;
  if (whole.size() < iv_room + mac_size_ ||
      (block != 0 && (whole.size() < iv_room + mac_size_ + 1 || whole.size() % block != 0))) {
    return UnprotectResult::kBadRecordMac;
  }
  cipher_->Crypt(whole.data(), whole.data(), whole.size());
  // The first block of a TLS 1.1 record only served as the IV of the rest.
  const std::span<std::uint8_t> fragment = whole.subspan(iv_room);
  const std::size_t size = fragment.size();
  std::uint8_t expected[48];
  std::uint8_t received[48] = {};
  if (block == 0) {
    MacWithFixedWork(ssl3_, mac_kind_, mac_secret_, sequence, type, version, fragment.first(size - mac_size_), 0,
                     expected, &last_mac_blocks_);
    if (!SameBytes(expected, fragment.data() + size - mac_size_, mac_size_)) return UnprotectResult::kBadRecordMac;
    *content_length = size - mac_size_;
    if (iv_room != 0) std::memmove(whole.data(), fragment.data(), *content_length);
    return UnprotectResult::kOk;
  }
  // Block ciphers: nothing below depends on the padding by branch, early
  // return or amount of hashing, so a forger learns nothing from timing about
  // the bytes a padding oracle would give away.
  const std::uint8_t pad_byte = fragment[size - 1];
  std::size_t padding = static_cast<std::size_t>(pad_byte) + 1;  // the length byte included
  // A padding that would put the MAC before the fragment counts as bad and
  // as one byte long, so that the work stays the same.
  std::size_t good = ~MaskBelow(size, padding + mac_size_);
  padding = (padding & good) | (1 & ~good);
  if (!ssl3_) {
    // Every padding byte equals the length byte: check the longest padding
    // there could be, counting only the bytes inside this one.
    const std::size_t scan = std::min<std::size_t>(256, size);
    std::size_t diff = 0;
    for (std::size_t k = 0; k < scan; ++k) {
      diff |= MaskBelow(k, padding) & (fragment[size - 1 - k] ^ pad_byte);
    }
    good &= MaskBelow(diff, 1);
  }
  const std::size_t length = size - padding - mac_size_;
  const std::size_t longest = size - 1 - mac_size_;
  MacWithFixedWork(ssl3_, mac_kind_, mac_secret_, sequence, type, version, fragment.first(length), longest, expected,
                   &last_mac_blocks_);
  // The received MAC sits where the padding says; read it from every place
  // it could be, keeping only the right one.
  const std::size_t first = longest >= 255 ? longest - 255 : 0;
  for (std::size_t at = first; at + mac_size_ <= size - 1 && at <= longest; ++at) {
    const std::size_t here = ~MaskBelow(at, length) & ~MaskBelow(length, at);  // at == length
    for (std::size_t j = 0; j < mac_size_; ++j) {
      received[j] |= static_cast<std::uint8_t>(fragment[at + j] & here);
    }
  }
  const bool mac_ok = SameBytes(expected, received, mac_size_);
  if (!mac_ok || good == 0) return UnprotectResult::kBadRecordMac;
  if (ssl3_ && padding > block) return UnprotectResult::kBadSsl3Padding;
  if (iv_room != 0) std::memmove(whole.data(), fragment.data(), length);
  *content_length = length;
  return UnprotectResult::kOk;
}

}  // namespace security
