#include "security/certs/signature_value.h"

#include "security/certs/der_reader.h"

namespace security {

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
