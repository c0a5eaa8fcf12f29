#pragma once
// A client certificate's private key from the files users keep it in: PEM
// "RSA PRIVATE KEY" (PKCS #1), "EC PRIVATE KEY" (SEC 1) or unencrypted
// "PRIVATE KEY" (PKCS #8, RSA or id-ecPublicKey), or the same as DER. What
// the TLS engine's onClientCertificate hands over is the key blob of rsa.h
// (EncodeRsaPrivateKeyBlob) or of ec_private_key.h (EncodeEcPrivateKeyBlob).

#include <cstdint>
#include <optional>
#include <span>

#include "security/crypto/ec_private_key.h"
#include "security/crypto/rsa.h"

namespace security {

// The first RSA private key of `data`, or nothing.
std::optional<RsaPrivateKey> LoadRsaPrivateKey(std::span<const std::uint8_t> data);

// The first P-256 or P-384 private key of `data`, or nothing (also for a key
// whose stored public point does not belong to it).
std::optional<EcPrivateKey> LoadEcPrivateKey(std::span<const std::uint8_t> data);

}  // namespace security
