#pragma once
// The ChaCha20-Poly1305 AEAD (RFC 8439): 32-byte key, 12-byte nonce, 16-byte tag.

#include <cstdint>
#include <span>

#include "security/crypto/aead.h"

namespace security {

class ChaCha20Poly1305 final : public AeadCipher {
 public:
  static constexpr std::size_t kKeySize = 32;
  static constexpr std::size_t kNonceSize = 12;

  // Throws std::invalid_argument unless the key is 32 bytes.
  explicit ChaCha20Poly1305(std::span<const std::uint8_t> key);
  ChaCha20Poly1305(const ChaCha20Poly1305&) = delete;
  ChaCha20Poly1305& operator=(const ChaCha20Poly1305&) = delete;
  ~ChaCha20Poly1305() override;

  void Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
            std::span<const std::uint8_t> plaintext, std::uint8_t* out) const override;
  [[nodiscard]] bool Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                          std::span<const std::uint8_t> sealed, std::uint8_t* out) const override;

 private:
  std::uint8_t key_[kKeySize];
};

}  // namespace security
