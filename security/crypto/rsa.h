#pragma once
// RSA with PKCS #1 v1.5 blocks: the public operation (encryption of a prepared
// block, signature recovery), the private operation (CertificateVerify of a
// client certificate), block type 1 and type 2 construction, signature
// verification over a DigestInfo, and the private key blob that client
// certificates carry.
//
// All functions work on values owned by the caller and keep nothing.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "security/crypto/big_number.h"
#include "security/crypto/digest.h"

namespace security {

class RandomGenerator;

struct RsaPublicKey {
  BigNumber modulus;
  BigNumber exponent;
};

// A private key. The CRT values (primes, their exponents and the coefficient
// q^-1 mod p) are optional: when prime1 is zero the plain exponent is used.
struct RsaPrivateKey {
  BigNumber modulus;
  BigNumber public_exponent;
  BigNumber private_exponent;
  BigNumber prime1;       // p
  BigNumber prime2;       // q
  BigNumber exponent1;    // d mod (p - 1)
  BigNumber exponent2;    // d mod (q - 1)
  BigNumber coefficient;  // q^-1 mod p

  bool HasCrt() const { return !prime1.IsZero() && !prime2.IsZero(); }

  // Every decoded copy clears its values when it goes.
  ~RsaPrivateKey();
};

// block ^ e mod n. Throws std::invalid_argument ("Block out of range") when
// the block is not below the modulus.
BigNumber RsaPublicOperation(const RsaPublicKey& key, const BigNumber& block);

// block ^ d mod n; through the two primes (Chinese remainder) when the key has
// them, about three times faster. Throws as above.
BigNumber RsaPrivateOperation(const RsaPrivateKey& key, const BigNumber& block);

// The private operation as a client signs with it: the block is blinded with
// a random r (block * r^e, the result times r^-1), so its timing says nothing
// about the block, and the result is checked with the public exponent before
// anyone sees it: a fault in the computation (a bad CRT value, a glitch)
// would otherwise hand out a value that factors the modulus. Nothing when the
// check fails. Throws as RsaPrivateOperation.
std::optional<BigNumber> RsaSignChecked(const RsaPrivateKey& key, const BigNumber& block, RandomGenerator& random);

// 0x00 0x01, 0xFF bytes, 0x00, payload: `length` bytes in all. Throws
// std::length_error ("Buffer too small") when fewer than 8 padding bytes fit.
std::vector<std::uint8_t> Pkcs1Type1Block(std::span<const std::uint8_t> payload, std::size_t length);

// 0x00 0x02, non-zero random bytes from `random`, 0x00, payload: `length` bytes.
// Throws as Pkcs1Type1Block.
std::vector<std::uint8_t> Pkcs1Type2Block(std::span<const std::uint8_t> payload, std::size_t length,
                                          RandomGenerator& random);

// The payload of a type 1 block (at least 8 0xFF padding bytes), or nothing.
std::optional<std::vector<std::uint8_t>> ParsePkcs1Type1Block(std::span<const std::uint8_t> block);

// The public operation on a signature, as a block of the modulus' byte length.
// Nothing when the signature is longer than the modulus or not below it.
std::optional<std::vector<std::uint8_t>> RsaRecoverSignatureBlock(const RsaPublicKey& key,
                                                                  std::span<const std::uint8_t> signature);

// True when `signature` is a PKCS #1 v1.5 signature of `digest` (already
// computed with `kind`): a type 1 block holding exactly the DigestInfo of the
// digest. The DigestInfo must match byte for byte (the form with absent
// parameters is also accepted); nothing may follow it.
bool RsaVerifyDigest(const RsaPublicKey& key, std::span<const std::uint8_t> signature, DigestKind kind,
                     std::span<const std::uint8_t> digest);

// The private key blob of a client certificate: a version byte (1), then the
// modulus, public exponent, private exponent, p, q, d mod (p-1), d mod (q-1)
// and q^-1 mod p, each as a 2-byte big-endian length and big-endian bytes
// (zero length for absent CRT values).
std::vector<std::uint8_t> EncodeRsaPrivateKeyBlob(const RsaPrivateKey& key);
std::optional<RsaPrivateKey> DecodeRsaPrivateKeyBlob(std::span<const std::uint8_t> blob);

}  // namespace security
