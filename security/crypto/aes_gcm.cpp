#include "security/crypto/aes_gcm.h"

#include <array>
#include <cstring>
#include <stdexcept>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

// The 32-bit counter starts at J0 + 1 and may not come back to J0.
constexpr std::uint64_t kMaxTextBytes = ((std::uint64_t{1} << 32) - 2) * 16;

void CheckLength(std::size_t length) {
  if (length > kMaxTextBytes) throw std::invalid_argument("Message too long");
}

}  // namespace
AesGcm::AesGcm(std::span<const std::uint8_t> key, bool allow_hardware) : allow_hardware_(allow_hardware) {
  aes_.Schedule(key, false, allow_hardware);
  std::memset(hash_key_, 0, sizeof(hash_key_));
  aes_.EncryptBlock(hash_key_, hash_key_);
}

AesGcm::~AesGcm() { SecureWipe(hash_key_, sizeof(hash_key_)); }

void AesGcm::InitialCounter(std::span<const std::uint8_t> nonce, std::uint8_t j0[16]) const {
  if (nonce.empty()) throw std::invalid_argument("Invalid nonce length");
  if (nonce.size() == 12) {
    std::memcpy(j0, nonce.data(), 12);
    StoreBe32(j0 + 12, 1);
    return;
  }
  internal::Ghash ghash(hash_key_, allow_hardware_);
  ghash.AbsorbPadded(nonce.data(), nonce.size());
  ghash.Finish(0, nonce.size(), j0);
}

void AesGcm::Crypt(const std::uint8_t j0[16], const std::uint8_t* in, std::uint8_t* out, std::size_t length) const {
  std::uint8_t counter[16];
  std::memcpy(counter, j0, 16);
  StoreBe32(counter + 12, LoadBe32(j0 + 12) + 1);
  const std::size_t whole = length / 16;
  aes_.Ctr32(counter, in, out, whole);
  const std::size_t rest = length % 16;
  if (rest != 0) {
    std::uint8_t block[16] = {};
    std::memcpy(block, in + 16 * whole, rest);
    aes_.Ctr32(counter, block, block, 1);
    std::memcpy(out + 16 * whole, block, rest);
    SecureWipe(block, sizeof(block));
  }
}

void AesGcm::ComputeTag(const std::uint8_t j0[16], std::span<const std::uint8_t> aad, const std::uint8_t* ciphertext,
                        std::size_t length, std::uint8_t tag[16]) const {
  internal::Ghash ghash(hash_key_, allow_hardware_);
  ghash.AbsorbPadded(aad.data(), aad.size());
  ghash.AbsorbPadded(ciphertext, length);
  std::uint8_t s[16];
  ghash.Finish(aad.size(), length, s);
  std::uint8_t mask[16];
  aes_.EncryptBlock(j0, mask);
  for (int k = 0; k < 16; ++k) tag[k] = s[k] ^ mask[k];
  SecureWipe(mask, sizeof(mask));
}

void AesGcm::Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                  std::span<const std::uint8_t> plaintext, std::uint8_t* out) const {
  std::uint8_t j0[16];
  InitialCounter(nonce, j0);
  const std::size_t length = plaintext.size();
  CheckLength(length);
  Crypt(j0, plaintext.data(), out, length);
  ComputeTag(j0, aad, out, length, out + length);
}

bool AesGcm::Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
                  std::span<const std::uint8_t> sealed, std::uint8_t* out) const {
  std::uint8_t j0[16];
  InitialCounter(nonce, j0);
  if (sealed.size() < kTagSize) return false;
  const std::size_t length = sealed.size() - kTagSize;
  CheckLength(length);
  std::uint8_t tag[16];
  ComputeTag(j0, aad, sealed.data(), length, tag);
  if (!ConstantTimeEqual(tag, sealed.data() + length, kTagSize)) {
    std::memset(out, 0, length);
    return false;
  }
  Crypt(j0, sealed.data(), out, length);
  return true;
}

}  // namespace security
