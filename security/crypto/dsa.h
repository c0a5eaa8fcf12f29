#pragma once
// DSA signature verification (FIPS 186), used for dsa-with-sha1 certificates.

#include <cstdint>
#include <span>

#include "security/crypto/big_number.h"

namespace security {

struct DsaPublicKey {
  BigNumber p;
  BigNumber q;
  BigNumber g;
  BigNumber y;
};

// True when (r, s) signs `digest` under `key`: 0 < r, s < q and
// ((g^u1 y^u2) mod p) mod q = r with w = s^-1, u1 = H w, u2 = r w (mod q),
// H being the leftmost bits of the digest, as many as q has.
bool DsaVerify(const DsaPublicKey& key, std::span<const std::uint8_t> digest, const BigNumber& r, const BigNumber& s);

}  // namespace security
