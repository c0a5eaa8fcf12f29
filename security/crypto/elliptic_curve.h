#pragma once
// The NIST prime curves P-256 (secp256r1) and P-384 (secp384r1): ECDH,
// ECDSA signature verification, and ECDSA signing with a client
// certificate's key, as TLS uses them.
//
// Points travel in the uncompressed form 04 || X || Y (big-endian, each
// coordinate exactly the field size). A peer's point is checked before use:
// the form and length, both coordinates below p, and the curve equation;
// the point at infinity has no uncompressed form and is refused.
// Scalar multiplication with a private key or a signing nonce runs in time
// independent of it (fixed window, table read in full, complete addition
// formulas); arithmetic modulo the order with secrets is Montgomery
// multiplication and an inverse by a fixed exponent.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "security/crypto/digest.h"

namespace security {

class RandomGenerator;

// Values are the TLS NamedGroup numbers.
enum class NamedCurve : std::uint16_t { kP256 = 23, kP384 = 24 };

// 32 for P-256, 48 for P-384: the size of a coordinate, private key and shared secret.
std::size_t EcFieldSize(NamedCurve curve);
// 1 + 2 * EcFieldSize: the size of an uncompressed point.
std::size_t EcPointSize(NamedCurve curve);

// True when `private_key` is exactly EcFieldSize bytes (big-endian) and in [1, n - 1].
bool EcIsValidPrivateKey(NamedCurve curve, std::span<const std::uint8_t> private_key);

// A private key drawn from `random` (retrying the rare values >= n).
std::vector<std::uint8_t> EcGeneratePrivateKey(NamedCurve curve, RandomGenerator& random);

// The uncompressed public point of a private key. Throws
// std::invalid_argument ("Invalid private key") unless EcIsValidPrivateKey.
std::vector<std::uint8_t> EcPublicKey(NamedCurve curve, std::span<const std::uint8_t> private_key);

// True when `point` is an acceptable peer point (see above).
bool EcIsValidPoint(NamedCurve curve, std::span<const std::uint8_t> point);

// ECDH: the X coordinate (EcFieldSize bytes) of private_key * peer_point.
// Nothing when the peer point is not valid or the private key is not.
std::optional<std::vector<std::uint8_t>> EcdhSharedSecret(NamedCurve curve, std::span<const std::uint8_t> private_key,
                                                          std::span<const std::uint8_t> peer_point);

// ECDSA verification over an already computed digest (a digest longer than
// the order is cut to its leftmost bits). The signature is the DER
// SEQUENCE { INTEGER r, INTEGER s }, read strictly: minimal lengths and
// integers, no negative values, nothing after it; r and s in [1, n - 1].
bool EcdsaVerify(NamedCurve curve, std::span<const std::uint8_t> public_point, std::span<const std::uint8_t> digest,
                 std::span<const std::uint8_t> der_signature);

// The same with r and s as big-endian integers (leading zero bytes allowed).
bool EcdsaVerifyRaw(NamedCurve curve, std::span<const std::uint8_t> public_point, std::span<const std::uint8_t> digest,
                    std::span<const std::uint8_t> r, std::span<const std::uint8_t> s);

// ECDSA signing of an already computed digest (cut to the order's length
// like EcdsaVerify). The nonce is derived from the key and the digest (RFC
// 6979) with HMAC over `nonce_hash` (kSha256 or kSha384; the digest's own
// hash gives the RFC's values), so a weak random source cannot leak the key
// and the same input always gives the same signature. Returns the DER
// SEQUENCE { INTEGER r, INTEGER s }. Throws std::invalid_argument
// ("Invalid private key") unless EcIsValidPrivateKey, and for another
// `nonce_hash`.
std::vector<std::uint8_t> EcdsaSign(NamedCurve curve, std::span<const std::uint8_t> private_key,
                                    std::span<const std::uint8_t> digest, DigestKind nonce_hash);

// Splits a DER ECDSA signature into r and s (big-endian, minimal); nothing
// when it is not strict DER.
struct EcdsaSignature {
  std::vector<std::uint8_t> r;
  std::vector<std::uint8_t> s;
};
std::optional<EcdsaSignature> ParseDerEcdsaSignature(std::span<const std::uint8_t> der);

}  // namespace security
