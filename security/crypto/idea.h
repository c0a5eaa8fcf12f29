#pragma once
// IDEA in CBC mode. 16-byte keys; blocks and IVs are 8 bytes.

#include <cstdint>
#include <span>

#include "security/crypto/block_cipher_cbc.h"
#include "security/crypto/secure_wipe.h"

namespace security {

class IdeaCbc final : public CbcCipher<IdeaCbc, 8> {
 public:
  static constexpr std::size_t kKeySize = 16;

  IdeaCbc() = default;
  ~IdeaCbc() override { SecureWipe(subkeys_, sizeof(subkeys_)); }

 private:
  friend class CbcCipher<IdeaCbc, 8>;
  void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) override;
  void EncryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const { Crypt(in, out); }
  void DecryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const { Crypt(in, out); }
  void Crypt(const std::uint8_t in[8], std::uint8_t out[8]) const;

  // 52 subkeys: the encryption schedule, or its inverse for decryption.
  std::uint16_t subkeys_[52] = {};
};

}  // namespace security
