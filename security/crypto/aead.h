#pragma once
// AeadCipher: one interface for the authenticated ciphers (AES-GCM,
// ChaCha20-Poly1305) so that a record layer can hold either.
//
// A context holds one key for its lifetime and nothing per message: every
// Seal and Open takes its own nonce. The caller must never seal two messages
// under one key with the same nonce.

#include <cstddef>
#include <cstdint>
#include <span>

namespace security {

class AeadCipher {
 public:
  static constexpr std::size_t kTagSize = 16;

  virtual ~AeadCipher() = default;

  // Encrypts `plaintext` and appends the tag: writes plaintext.size() + 16
  // bytes to `out`. `out` may start where `plaintext` starts (in place);
  // other overlaps are not allowed. Throws std::invalid_argument on a nonce
  // length the cipher does not take, and ("Message too long") beyond the
  // cipher's limit, where its block counter would wrap and repeat key stream
  // (AES-GCM: 2^36 - 32 bytes; ChaCha20-Poly1305: 2^38 - 64 bytes).
  virtual void Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                    std::span<const std::uint8_t> plaintext, std::uint8_t* out) const = 0;

  // Checks the tag at the end of `sealed` and decrypts the rest into `out`
  // (sealed.size() - 16 bytes; `out` may equal sealed.data()). Returns false
  // when `sealed` is shorter than a tag or the tag does not match; `out` then
  // holds zeros, never unauthenticated plaintext. Throws as Seal.
  [[nodiscard]] virtual bool Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                                  std::span<const std::uint8_t> sealed, std::uint8_t* out) const = 0;
};

// Tag comparison whose time does not depend on where the tags differ.
bool ConstantTimeEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t length);

}  // namespace security
