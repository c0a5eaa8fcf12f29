#pragma once
// AES-GCM (NIST SP 800-38D) with a 16-byte tag. Keys of 16, 24 or 32 bytes.
// TLS uses 12-byte nonces (4 bytes of the key block, 8 sent with each
// record); other non-empty nonce lengths follow the standard's GHASH rule.

#include <array>
#include <cstdint>
#include <span>

#include "security/crypto/aead.h"
#include "security/crypto/aes_internal.h"
#include "security/crypto/ghash_internal.h"

namespace security {

class AesGcm final : public AeadCipher {
 public:
  // Throws std::invalid_argument ("Invalid key length") on other key sizes.
  // allow_hardware false keeps AES and GHASH on the portable code.
  explicit AesGcm(std::span<const std::uint8_t> key, bool allow_hardware = true);
  AesGcm(const AesGcm&) = delete;
  AesGcm& operator=(const AesGcm&) = delete;
  ~AesGcm() override;

  // Throw std::invalid_argument ("Invalid nonce length") on an empty nonce.
  void Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
            std::span<const std::uint8_t> plaintext, std::uint8_t* out) const override;
  [[nodiscard]] bool Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                          std::span<const std::uint8_t> sealed, std::uint8_t* out) const override;

 private:
  void InitialCounter(std::span<const std::uint8_t> nonce, std::uint8_t j0[16]) const;
  void Crypt(const std::uint8_t j0[16], const std::uint8_t* in, std::uint8_t* out, std::size_t length) const;
  void ComputeTag(const std::uint8_t j0[16], std::span<const std::uint8_t> aad, const std::uint8_t* ciphertext,
                  std::size_t length, std::uint8_t tag[16]) const;

  internal::AesKey aes_;  // wipes itself
  std::uint8_t hash_key_[16];  // H = E(K, 0)
  bool allow_hardware_;
};

}  // namespace security
