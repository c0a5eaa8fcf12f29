#include "security/crypto/rc4.h"

#include <utility>

namespace security {

void Rc4::SetKey(std::span<const std::uint8_t> key) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  i_ = 0;
  j_ = 0;
  if (key.empty()) return;  // no key: identity permutation, never a division by zero
  std::uint8_t j = 0;
  std::size_t key_index = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + s_[k] + key[key_index]);
    std::swap(s_[k], s_[j]);
    if (++key_index == key.size()) key_index = 0;
  }
}

void Rc4::Crypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  std::uint8_t i = i_;
  std::uint8_t j = j_;
  for (std::size_t n = 0; n < length; ++n) {
    i = static_cast<std::uint8_t>(i + 1);
    std::uint8_t si = s_[i];
    j = static_cast<std::uint8_t>(j + si);
    std::uint8_t sj = s_[j];
    s_[i] = sj;
    s_[j] = si;
    out[n] = in[n] ^ s_[static_cast<std::uint8_t>(si + sj)];
  }
  i_ = i;
  j_ = j;
}

}  // namespace security
