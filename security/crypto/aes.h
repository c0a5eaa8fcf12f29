#pragma once
// AES (FIPS 197) in CBC mode. Keys of 16, 24 or 32 bytes (TLS uses 16 and
// 32); blocks and IVs are 16 bytes. Runs on the AES-NI instructions when the
// processor has them, otherwise on portable code that computes the S-box
// rather than looking it up, so that cache timing tells nothing of the key.

#include <cstdint>
#include <span>

#include "security/crypto/aes_internal.h"
#include "security/crypto/block_cipher_cbc.h"

namespace security {

class AesCbc final : public CbcCipher<AesCbc, 16> {
 public:
  static constexpr std::size_t kBlockSize = 16;

  // allow_hardware false keeps to the portable code (for comparing the two).
  explicit AesCbc(bool allow_hardware = true) : allow_hardware_(allow_hardware) {}

  bool UsesAesNi() const { return key_.UsesAesNi(); }

 private:
  friend class CbcCipher<AesCbc, 16>;
  void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) override;
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const { key_.EncryptBlock(in, out); }
  void DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const { key_.DecryptBlock(in, out); }

  bool allow_hardware_;
  internal::AesKey key_;  // wipes itself
};

}  // namespace security
