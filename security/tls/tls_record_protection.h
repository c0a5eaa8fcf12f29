#pragma once
// Protection of one direction of SSL 3.0 / TLS 1.0 records: the bulk cipher
// (RC4 or a CBC block cipher whose chaining value runs on from record to
// record), the MAC (the SSL 3.0 MAC or the TLS 1.0 HMAC, MD5 or SHA-1) and the
// block padding. The record layer owns one object per direction; sequence
// numbers stay with the caller.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

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
// seq | type | length | content)) or TLS 1.0 HMAC(secret, seq | type |
// version | length | content). Writes mac_size bytes to `out`.
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
  ~TlsRecordProtection();
  TlsRecordProtection(const TlsRecordProtection&) = delete;
  TlsRecordProtection& operator=(const TlsRecordProtection&) = delete;

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
  bool ssl3_;
  MacKind mac_kind_;
  std::size_t mac_size_;
  std::vector<std::uint8_t> mac_secret_;
  std::unique_ptr<TlsBulkCipher> cipher_;
  std::size_t last_mac_blocks_ = 0;
};

}  // namespace security
