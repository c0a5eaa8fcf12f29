#include "security/crypto/aead.h"

namespace security {

bool ConstantTimeEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  // volatile keeps the compiler from stopping at the first difference.
  volatile std::uint8_t difference = 0;
  for (std::size_t k = 0; k < length; ++k) difference = difference | (a[k] ^ b[k]);
  return difference == 0;
}

}  // namespace security
