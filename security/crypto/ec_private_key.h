#pragma once
// An elliptic curve private key of a client certificate (P-256 or P-384) and
// its key blob, the form the TLS engine's onClientCertificate hands over
// beside the RSA blob of rsa.h. The first byte tells the two apart: 1 RSA,
// 2 EC. The EC blob is that byte, the curve's NamedGroup number (2 bytes,
// big-endian) and the private scalar (exactly EcFieldSize bytes).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "security/crypto/elliptic_curve.h"

namespace security {

struct EcPrivateKey {
  NamedCurve curve = NamedCurve::kP256;
  std::vector<std::uint8_t> scalar;  // big-endian, EcFieldSize bytes, in [1, n - 1]

  EcPrivateKey() = default;
  EcPrivateKey(NamedCurve c, std::vector<std::uint8_t> s) : curve(c), scalar(std::move(s)) {}
  EcPrivateKey(const EcPrivateKey&) = default;
  EcPrivateKey(EcPrivateKey&&) = default;
  EcPrivateKey& operator=(const EcPrivateKey&) = default;
  EcPrivateKey& operator=(EcPrivateKey&&) = default;
  // Every copy clears its scalar when it goes.
  ~EcPrivateKey();
};

constexpr std::uint8_t kEcKeyBlobTag = 2;

std::vector<std::uint8_t> EncodeEcPrivateKeyBlob(const EcPrivateKey& key);
// Nothing unless the blob has the EC tag, a known curve and a valid scalar of
// the curve's exact size, and nothing else.
std::optional<EcPrivateKey> DecodeEcPrivateKeyBlob(std::span<const std::uint8_t> blob);

}  // namespace security
