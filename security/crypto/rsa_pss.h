#pragma once
// RSASSA-PSS signatures (RFC 8017, 8.1 and 9.1) with MGF1 over the message
// hash, as the TLS schemes rsa_pss_rsae_sha256/384/512 use them with an
// ordinary RSA key: verification, and signing for a client certificate's
// CertificateVerify. Uses the public and checked private operations of rsa.h.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "security/crypto/digest.h"
#include "security/crypto/rsa.h"

namespace security {

// True when `signature` (exactly the modulus' byte length) is a PSS
// signature of `digest`, the already computed hash of the message under
// `hash` (kSha256, kSha384 or kSha512; others are refused), with a salt as
// long as the hash, which is what TLS allows.
bool RsaPssVerify(const RsaPublicKey& key, std::span<const std::uint8_t> signature, DigestKind hash,
                  std::span<const std::uint8_t> digest);

// The same for a given salt length.
bool RsaPssVerifyWithSaltLength(const RsaPublicKey& key, std::span<const std::uint8_t> signature, DigestKind hash,
                                std::span<const std::uint8_t> digest, std::size_t salt_length);

// A PSS signature of `digest` (computed with `hash`, as above) with a salt
// as long as the hash drawn from `random`: the modulus' byte length of
// output. Nothing when the key is too short for the hash and salt, or when
// the private operation fails its own check (see RsaSignChecked).
std::optional<std::vector<std::uint8_t>> RsaPssSign(const RsaPrivateKey& key, DigestKind hash,
                                                    std::span<const std::uint8_t> digest, RandomGenerator& random);

}  // namespace security
