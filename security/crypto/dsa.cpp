#include "security/crypto/dsa.h"

#include <stdexcept>

namespace security {

bool DsaVerify(const DsaPublicKey& key, std::span<const std::uint8_t> digest, const BigNumber& r, const BigNumber& s) {
  const BigNumber zero;
  if (key.q.IsZero() || key.p.IsZero() || key.p.IsNegative() || key.q.IsNegative()) return false;
  if (BigNumber::Compare(r, zero) <= 0 || BigNumber::Compare(r, key.q) >= 0) return false;
  if (BigNumber::Compare(s, zero) <= 0 || BigNumber::Compare(s, key.q) >= 0) return false;
  BigNumber h = BigNumber::FromBytes(digest);
  const std::size_t digest_bits = 8 * digest.size();
  if (digest_bits > key.q.BitLength()) h = h.ShiftedRight(digest_bits - key.q.BitLength());
  BigNumber w;
  try {
    w = BigNumber::ModInverse(s, key.q);
  } catch (const std::domain_error&) {
    return false;  // q not prime: no inverse
  }
  const BigNumber u1 = BigNumber::ModMultiply(h, w, key.q);
  const BigNumber u2 = BigNumber::ModMultiply(r, w, key.q);
  const BigNumber v = BigNumber::Mod(
      BigNumber::ModMultiply(BigNumber::ModExp(key.g, u1, key.p), BigNumber::ModExp(key.y, u2, key.p), key.p), key.q);
  return v == r;
}

}  // namespace security
