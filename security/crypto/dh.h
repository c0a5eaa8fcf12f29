#pragma once
// Diffie-Hellman over a prime field, as the handshake's key exchange uses it:
// the client's public value g^X mod p and the shared value Ys^X mod p.

#include <cstdint>
#include <vector>

#include "security/crypto/big_number.h"

namespace security {

// g^x mod p.
BigNumber DhPublicValue(const BigNumber& p, const BigNumber& g, const BigNumber& private_exponent);

// peer^x mod p. Throws std::invalid_argument ("Invalid public value") unless
// 1 < peer < p - 1, which would force the shared value to 0, 1 or p - 1.
BigNumber DhSharedValue(const BigNumber& p, const BigNumber& peer_public, const BigNumber& private_exponent);

// The shared value as big-endian bytes over the whole word length of p
// (4 * p.WordCount() bytes), the form the pre-master secret takes.
std::vector<std::uint8_t> DhSharedSecretBytes(const BigNumber& p, const BigNumber& shared);

}  // namespace security
