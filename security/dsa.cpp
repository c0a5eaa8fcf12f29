#include "security/dsa.h"

#include <stdexcept>

#include "security/der_reader.h"

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

bool DsaVerifyDer(const DsaPublicKey& key, std::span<const std::uint8_t> digest,
                  std::span<const std::uint8_t> signature_der) {
  DerReader outer(signature_der);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence || !outer.AtEnd()) return false;
  DerReader inner(sequence->contents);
  const auto r = inner.Expect(der::kInteger);
  const auto s = inner.Expect(der::kInteger);
  if (!r || !s || !inner.AtEnd()) return false;
  const auto r_bytes = UnsignedIntegerBytes(r->contents);
  const auto s_bytes = UnsignedIntegerBytes(s->contents);
  if (!r_bytes || !s_bytes || r_bytes->size() > 512 || s_bytes->size() > 512) return false;
  return DsaVerify(key, digest, BigNumber::FromBytes(*r_bytes), BigNumber::FromBytes(*s_bytes));
}

}  // namespace security
