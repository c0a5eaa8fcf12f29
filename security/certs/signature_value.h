#pragma once
// Signature values as certificates and key exchanges carry them: DER
// structures around the numbers that the primitives verify.

#include <cstdint>
#include <span>

#include "security/crypto/dsa.h"

namespace security {

// The DER Dss-Sig-Value (SEQUENCE of r and s) of a signature, verified with
// DsaVerify. False for any encoding fault as for a wrong signature.
bool DsaVerifyDer(const DsaPublicKey& key, std::span<const std::uint8_t> digest,
                  std::span<const std::uint8_t> signature_der);

}  // namespace security
