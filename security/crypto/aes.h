#pragma once
// AES (FIPS 197) in CBC mode, table-driven. Keys of 16, 24 or 32 bytes
// (TLS uses 16 and 32); blocks and IVs are 16 bytes.

#include <cstdint>
#include <span>

#include "security/crypto/block_cipher_cbc.h"
#include "security/crypto/secure_wipe.h"

namespace security {

class AesCbc final : public CbcCipher<AesCbc, 16> {
 public:
  static constexpr std::size_t kBlockSize = 16;

  AesCbc() = default;
  ~AesCbc() override { SecureWipe(round_keys_, sizeof(round_keys_)); }

 private:
  friend class CbcCipher<AesCbc, 16>;
  void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) override;
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
  void DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;

  int rounds_ = 0;
  // Round keys as big-endian column words; for decryption in reverse order and
  // passed through InvMixColumns (the equivalent inverse cipher).
  std::uint32_t round_keys_[60] = {};
};

}  // namespace security
