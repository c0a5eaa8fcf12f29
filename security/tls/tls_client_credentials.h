#pragma once
// A client certificate's private key from the files users keep it in: PEM
// "RSA PRIVATE KEY" (PKCS #1) or unencrypted "PRIVATE KEY" (PKCS #8), or the
// same as DER. What the TLS engine's onClientCertificate hands over is the
// key blob of rsa.h (EncodeRsaPrivateKeyBlob).

#include <cstdint>
#include <optional>
#include <span>

#include "security/crypto/rsa.h"

namespace security {

// The first RSA private key of `data`, or nothing.
std::optional<RsaPrivateKey> LoadRsaPrivateKey(std::span<const std::uint8_t> data);

}  // namespace security
