#include "security/tls/tls_client_credentials.h"

#include <string_view>
#include <vector>

#include "security/certs/der_reader.h"
#include "security/certs/pem.h"

namespace security {
namespace {

// RSAPrivateKey ::= SEQUENCE { version, n, e, d, p, q, dp, dq, qinv }
std::optional<RsaPrivateKey> ParsePkcs1(std::span<const std::uint8_t> der) {
  DerReader outer(der);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence) return std::nullopt;
  DerReader in(sequence->contents);
  BigNumber values[9];
  for (auto& value : values) {
    const auto element = in.Expect(der::kInteger);
    if (!element) return std::nullopt;
    const auto bytes = UnsignedIntegerBytes(element->contents);
    if (!bytes || bytes->size() > 512) return std::nullopt;
    value = BigNumber::FromBytes(*bytes);
  }
  RsaPrivateKey key{values[1], values[2], values[3], values[4], values[5], values[6], values[7], values[8]};
  if (key.modulus.IsZero() || key.private_exponent.IsZero()) return std::nullopt;
  return key;
}

// PrivateKeyInfo ::= SEQUENCE { version, AlgorithmIdentifier, OCTET STRING }
std::optional<RsaPrivateKey> ParsePkcs8(std::span<const std::uint8_t> der) {
  DerReader outer(der);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence) return std::nullopt;
  DerReader in(sequence->contents);
  if (!in.Expect(der::kInteger)) return std::nullopt;
  const auto algorithm = in.Expect(der::kSequence);
  if (!algorithm) return std::nullopt;
  DerReader alg(algorithm->contents);
  const auto oid = alg.Expect(der::kOid);
  if (!oid || OidToText(oid->contents) != "1.2.840.113549.1.1.1") return std::nullopt;
  const auto octets = in.Expect(der::kOctetString);
  if (!octets) return std::nullopt;
  return ParsePkcs1(octets->contents);
}

}  // namespace

std::optional<RsaPrivateKey> LoadRsaPrivateKey(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  for (const auto& block : ParsePem(text)) {
    if (block.label == "RSA PRIVATE KEY") {
      if (auto key = ParsePkcs1(block.data)) return key;
    } else if (block.label == "PRIVATE KEY") {
      if (auto key = ParsePkcs8(block.data)) return key;
    }
  }
  if (auto key = ParsePkcs1(data)) return key;
  return ParsePkcs8(data);
}

}  // namespace security
