#pragma once
// X25519 Diffie-Hellman (RFC 7748) on a constant-time Montgomery ladder.
// Private keys are 32 random bytes (clamped here); public keys and shared
// secrets are 32-byte little-endian u-coordinates.

#include <cstddef>
#include <cstdint>

namespace security {

constexpr std::size_t kX25519Size = 32;

// out = scalar * u. The top bit of `point` is ignored and non-canonical
// values are reduced, as the RFC asks. Returns false when the result is all
// zeros: the peer sent a point of small order and the secret would be known
// to anyone (TLS must refuse it). `out` is written either way.
[[nodiscard]] bool X25519(const std::uint8_t scalar[32], const std::uint8_t point[32], std::uint8_t out[32]);

// The public key of a private key: scalar * 9.
void X25519PublicKey(const std::uint8_t private_key[32], std::uint8_t public_key[32]);

}  // namespace security
