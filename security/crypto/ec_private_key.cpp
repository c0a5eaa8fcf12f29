#include "security/crypto/ec_private_key.h"

#include <algorithm>

#include "security/crypto/secure_wipe.h"

namespace security {

EcPrivateKey::~EcPrivateKey() { SecureWipe(scalar); }

std::vector<std::uint8_t> EncodeEcPrivateKeyBlob(const EcPrivateKey& key) {
  const auto number = static_cast<std::uint16_t>(key.curve);
  std::vector<std::uint8_t> blob(3 + key.scalar.size());
  blob[0] = kEcKeyBlobTag;
  blob[1] = static_cast<std::uint8_t>(number >> 8);
  blob[2] = static_cast<std::uint8_t>(number);
  std::copy(key.scalar.begin(), key.scalar.end(), blob.begin() + 3);
  return blob;
}

std::optional<EcPrivateKey> DecodeEcPrivateKeyBlob(std::span<const std::uint8_t> blob) {
  if (blob.size() < 3 || blob[0] != kEcKeyBlobTag) return std::nullopt;
  const auto number = static_cast<std::uint16_t>(blob[1] << 8 | blob[2]);
  if (number != static_cast<std::uint16_t>(NamedCurve::kP256) &&
      number != static_cast<std::uint16_t>(NamedCurve::kP384)) {
    return std::nullopt;
  }
  const auto curve = static_cast<NamedCurve>(number);
  const auto scalar = blob.subspan(3);
  if (!EcIsValidPrivateKey(curve, scalar)) return std::nullopt;
  return EcPrivateKey(curve, std::vector<std::uint8_t>(scalar.begin(), scalar.end()));
}

}  // namespace security
