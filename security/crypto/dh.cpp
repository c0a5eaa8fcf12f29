#include "security/crypto/dh.h"

#include <stdexcept>

namespace security {

BigNumber DhPublicValue(const BigNumber& p, const BigNumber& g, const BigNumber& private_exponent) {
  return BigNumber::ModExp(g, private_exponent, p);
}

BigNumber DhSharedValue(const BigNumber& p, const BigNumber& peer_public, const BigNumber& private_exponent) {
  const BigNumber one(1);
  if (BigNumber::Compare(peer_public, one) <= 0 || BigNumber::Compare(peer_public, p - one) >= 0) {
    throw std::invalid_argument("Invalid public value");
  }
  return BigNumber::ModExp(peer_public, private_exponent, p);
}

std::vector<std::uint8_t> DhSharedSecretBytes(const BigNumber& p, const BigNumber& shared) {
  return shared.ToBytes(4 * p.WordCount());
}

}  // namespace security
