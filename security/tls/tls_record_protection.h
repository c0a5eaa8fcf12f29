#pragma once
// Protection of one direction of SSL 3.0 / TLS records: the bulk cipher (RC4
// or a CBC block cipher whose chaining value runs on from record to record,
// or from TLS 1.1 on starts afresh with an IV sent in each record), the MAC
// (the SSL 3.0 MAC or the TLS HMAC: MD5, SHA-1, SHA-256, SHA-384) and the
// block padding; or, from TLS 1.2, an AEAD cipher (AES-GCM, ChaCha20-Poly1305)
// that does both. The record layer owns one object per direction; sequence
// numbers stay with the caller.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "security/crypto/aead.h"
#include "security/crypto/random_generator.h"
#include "security/tls/tls_suites.h"

namespace security {

// RC4 or one CBC cipher, set up for one direction.
class TlsBulkCipher {
 public:
  virtual ~TlsBulkCipher() = default;
  // Throws std::invalid_argument for a key or IV the cipher cannot take.
  static std::unique_ptr<TlsBulkCipher> Create(CipherKind kind, std::span<const std::uint8_t> key,
                                               std::span<const std::uint8_t> iv, bool encrypt);
  // 0 for RC4.
  virtual std::size_t BlockSize() const = 0;
  // `length` must be a multiple of BlockSize(); `out` may equal `in`.
  virtual void Crypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) = 0;
};

// The MAC of one record: SSL 3.0 hash(secret | pad2 | hash(secret | pad1 |
// seq | type | length | content)) or TLS HMAC(secret, seq | type |
// version | length | content). Writes the MAC's size in bytes to `out`.
void ComputeRecordMac(bool ssl3, MacKind mac, std::span<const std::uint8_t> secret, std::uint64_t sequence,
                      std::uint8_t type, std::uint16_t version, std::span<const std::uint8_t> content,
                      std::uint8_t* out);

enum class UnprotectResult {
  kOk,
  kBadRecordMac,  // MAC mismatch, bad TLS padding, or a length that cannot hold MAC and padding
  kBadSsl3Padding,  // SSL 3.0 padding length beyond block size - 1 (after a good MAC)
};

class TlsRecordProtection {
 public:
  TlsRecordProtection(bool ssl3, const SuiteParams& suite, std::vector<std::uint8_t> mac_secret,
                      std::unique_ptr<TlsBulkCipher> cipher);
  // An AEAD suite: its key and the implicit nonce part from the key block
  // (4 bytes for AES-GCM, 12 for ChaCha20-Poly1305).
  // Throws std::invalid_argument for a key or nonce part the cipher cannot take.
  TlsRecordProtection(const SuiteParams& suite, std::span<const std::uint8_t> key,
                      std::span<const std::uint8_t> fixed_iv);
  ~TlsRecordProtection();
  TlsRecordProtection(const TlsRecordProtection&) = delete;
  TlsRecordProtection& operator=(const TlsRecordProtection&) = delete;

  // TLS 1.1 and later: each block cipher record starts with a block of
  // `random` bytes, which the receiver takes as the IV of the rest, so no
  // record's IV is known before it is sent.
  void UseExplicitIv(RandomGenerator* random);

  // Bytes the protected form of `content_length` content bytes takes.
  std::size_t ProtectedSize(std::size_t content_length) const;
  // Content, MAC and padding (each padding byte = padding length - 1, 1 to
  // block size bytes) encrypted into `out` (ProtectedSize bytes). `content`
  // may not overlap `out`. Returns the fragment length.
  std::size_t Protect(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                      std::span<const std::uint8_t> content, std::uint8_t* out);
  // Decrypts `fragment` in place and checks it. A fragment too short for a
  // MAC (and one padding byte) or not whole blocks is refused at once; past
  // that, block cipher records take the same work whatever their padding
  // says: the padding and the MAC are both checked, the MAC always over as
  // many hash blocks as the longest content the fragment could hold. A TLS
  // padding whose bytes do not all equal the padding length is reported
  // exactly like a bad MAC. On kOk `*content_length` is the length of the
  // content at the front of the fragment.
  UnprotectResult Unprotect(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                            std::span<std::uint8_t> fragment, std::size_t* content_length);
  // The hash compression blocks the last Unprotect ran for its MAC.
  std::size_t LastMacBlocks() const { return last_mac_blocks_; }

 private:
  void Nonce(std::uint64_t sequence, const std::uint8_t* explicit_part, std::uint8_t nonce[12]) const;
  std::size_t ExplicitNonceSize() const;
  UnprotectResult UnprotectAead(std::uint8_t type, std::uint16_t version, std::uint64_t sequence,
                                std::span<std::uint8_t> fragment, std::size_t* content_length);

  bool ssl3_;
  MacKind mac_kind_;
  std::size_t mac_size_;
  std::vector<std::uint8_t> mac_secret_;
  std::unique_ptr<TlsBulkCipher> cipher_;
  std::size_t last_mac_blocks_ = 0;
  RandomGenerator* explicit_iv_ = nullptr;
  std::unique_ptr<AeadCipher> aead_;
  CipherKind aead_kind_ = CipherKind::kRc4;
  std::vector<std::uint8_t> fixed_iv_;
};

}  // namespace security
