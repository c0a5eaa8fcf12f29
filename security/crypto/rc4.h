#pragma once
// RC4 stream cipher.

#include <cstddef>
#include <cstdint>
#include <span>

#include "security/crypto/secure_wipe.h"

namespace security {

class Rc4 {
 public:
  Rc4() = default;
  Rc4(std::span<const std::uint8_t> key) { SetKey(key); }
  Rc4(const Rc4&) = default;
  Rc4& operator=(const Rc4&) = default;
  ~Rc4() { SecureWipe(this, sizeof(*this)); }
  // Key of any length; an empty key leaves the identity permutation (no key stream worth the name).
  void SetKey(std::span<const std::uint8_t> key);
  // XORs the key stream over length bytes; in == out is allowed.
  void Crypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length);
  void Crypt(std::span<std::uint8_t> data) { Crypt(data.data(), data.data(), data.size()); }

 private:
  std::uint8_t s_[256] = {};
  std::uint8_t i_ = 0;
  std::uint8_t j_ = 0;
};

}  // namespace security
