#pragma once
// RSASSA-PSS signature verification (RFC 8017, 8.1.2 and 9.1.2) with MGF1
// over the message hash, as the TLS schemes rsa_pss_rsae_sha256/384/512 use
// it with an ordinary RSA key. Uses the public operation of rsa.h.

#include <cstddef>
#include <cstdint>
#include <span>

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

}  // namespace security
