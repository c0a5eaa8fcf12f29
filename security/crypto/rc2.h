#pragma once
// RC2 (RFC 2268) in CBC mode. Keys of 1 to 128 bytes; the effective key
// length is 8 x the key length in bits unless given to the constructor.
// Blocks and IVs are 8 bytes.

#include <cstdint>
#include <span>

#include "security/crypto/block_cipher_cbc.h"
#include "security/crypto/secure_wipe.h"

namespace security {

class Rc2Cbc final : public CbcCipher<Rc2Cbc, 8> {
 public:
  static constexpr std::size_t kMaxKeySize = 128;

  // effective_bits 0: 8 x key length (what TLS and SSL use); otherwise 1-1024.
  explicit Rc2Cbc(int effective_bits = 0) : effective_bits_(effective_bits) {}
  ~Rc2Cbc() override { SecureWipe(k_, sizeof(k_)); }

 private:
  friend class CbcCipher<Rc2Cbc, 8>;
  void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) override;
  void EncryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const;
  void DecryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const;

  int effective_bits_;
  std::uint16_t k_[64] = {};
};

}  // namespace security
