#include "security/crypto/chacha20_poly1305.h"

#include <cstring>
#include <stdexcept>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/chacha20.h"
#include "security/crypto/poly1305.h"
#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

void CheckNonce(std::span<const std::uint8_t> nonce) {
  if (nonce.size() != ChaCha20Poly1305::kNonceSize) throw std::invalid_argument("Invalid nonce length");
}

// Block 0 keys Poly1305; the text runs from block 1 to at most 2^32 - 1.
constexpr std::uint64_t kMaxTextBytes = ((std::uint64_t{1} << 32) - 1) * 64;

void CheckLength(std::size_t length) {
  if (length > kMaxTextBytes) throw std::invalid_argument("Message too long");
}

// Poly1305 over aad, pad, ciphertext, pad, both lengths, keyed by block 0.
Poly1305::Tag ComputeTag(const std::uint8_t* key, std::span<const std::uint8_t> nonce,
                         std::span<const std::uint8_t> aad, const std::uint8_t* ciphertext, std::size_t length) {
  std::uint8_t block0[64];
  ChaCha20Block(key, nonce.data(), 0, block0);
  Poly1305 mac(block0);
  SecureWipe(block0, sizeof(block0));
  static constexpr std::uint8_t kZeros[16] = {};
  mac.Update(aad);
  mac.Update(kZeros, (16 - aad.size() % 16) % 16);
  mac.Update(ciphertext, length);
  mac.Update(kZeros, (16 - length % 16) % 16);
  std::uint8_t lengths[16];
  StoreLe64(lengths, aad.size());
  StoreLe64(lengths + 8, length);
  mac.Update(lengths, sizeof(lengths));
  return mac.Final();
}

}  // namespace

ChaCha20Poly1305::ChaCha20Poly1305(std::span<const std::uint8_t> key) {
  if (key.size() != kKeySize) throw std::invalid_argument("Invalid key length");
  std::memcpy(key_, key.data(), kKeySize);
}

ChaCha20Poly1305::~ChaCha20Poly1305() { SecureWipe(key_, sizeof(key_)); }

void ChaCha20Poly1305::Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                            std::span<const std::uint8_t> plaintext, std::uint8_t* out) const {
  CheckNonce(nonce);
  const std::size_t length = plaintext.size();
  CheckLength(length);
  ChaCha20Xor(key_, nonce.data(), 1, plaintext.data(), out, length);
  const auto tag = ComputeTag(key_, nonce, aad, out, length);
  std::memcpy(out + length, tag.data(), tag.size());
}

bool ChaCha20Poly1305::Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                            std::span<const std::uint8_t> sealed, std::uint8_t* out) const {
  CheckNonce(nonce);
  if (sealed.size() < kTagSize) return false;
  const std::size_t length = sealed.size() - kTagSize;
  CheckLength(length);
  const auto tag = ComputeTag(key_, nonce, aad, sealed.data(), length);
  if (!ConstantTimeEqual(tag.data(), sealed.data() + length, kTagSize)) {
    std::memset(out, 0, length);
    return false;
  }
  ChaCha20Xor(key_, nonce.data(), 1, sealed.data(), out, length);
  return true;
}

}  // namespace security
