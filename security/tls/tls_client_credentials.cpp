#include "security/tls/tls_client_credentials.h"

#include <algorithm>
#include <string>
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

constexpr const char* kRsaEncryption = "1.2.840.113549.1.1.1";
constexpr const char* kIdEcPublicKey = "1.2.840.10045.2.1";

std::optional<NamedCurve> CurveOfOid(std::span<const std::uint8_t> oid) {
  const std::string text = OidToText(oid);
  if (text == "1.2.840.10045.3.1.7") return NamedCurve::kP256;
  if (text == "1.3.132.0.34") return NamedCurve::kP384;
  return std::nullopt;
}

// ECPrivateKey ::= SEQUENCE { version (1), privateKey OCTET STRING,
//   [0] namedCurve OID OPTIONAL, [1] publicKey BIT STRING OPTIONAL }
// The curve comes from [0] or, inside PKCS #8, from the algorithm; when both
// name one they must agree.
std::optional<EcPrivateKey> ParseSec1(std::span<const std::uint8_t> der, std::optional<NamedCurve> outer_curve) {
  DerReader outer(der);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence) return std::nullopt;
  DerReader in(sequence->contents);
  const auto version = in.Expect(der::kInteger);
  if (!version || version->contents.size() != 1 || version->contents[0] != 1) return std::nullopt;
  const auto secret = in.Expect(der::kOctetString);
  if (!secret) return std::nullopt;
  std::optional<NamedCurve> curve = outer_curve;
  if (const auto parameters = in.NextIf(der::ContextConstructed(0))) {
    DerReader p(parameters->contents);
    const auto oid = p.Expect(der::kOid);
    const auto named = oid ? CurveOfOid(oid->contents) : std::nullopt;
    if (!named || (curve && *curve != *named)) return std::nullopt;
    curve = named;
  }
  if (!curve) return std::nullopt;
  // Some writers drop the scalar's leading zero bytes.
  const std::size_t size = EcFieldSize(*curve);
  if (secret->contents.size() > size) return std::nullopt;
  std::vector<std::uint8_t> scalar(size - secret->contents.size(), 0);
  scalar.insert(scalar.end(), secret->contents.begin(), secret->contents.end());
  EcPrivateKey key(*curve, std::move(scalar));
  if (!EcIsValidPrivateKey(key.curve, key.scalar)) return std::nullopt;
  if (const auto public_key = in.NextIf(der::ContextConstructed(1))) {
    DerReader p(public_key->contents);
    const auto bits = p.Expect(der::kBitString);
    if (!bits || bits->contents.empty() || bits->contents[0] != 0) return std::nullopt;
    const auto point = bits->contents.subspan(1);
    const auto derived = EcPublicKey(key.curve, key.scalar);
    if (!std::equal(point.begin(), point.end(), derived.begin(), derived.end())) return std::nullopt;
  }
  return key;
}

// PrivateKeyInfo ::= SEQUENCE { version, AlgorithmIdentifier, OCTET STRING }:
// the algorithm identifier's OID and parameters, and the inner key.
struct Pkcs8Parts {
  std::string algorithm;
  std::optional<DerElement> parameter;
  std::span<const std::uint8_t> key;
};

std::optional<Pkcs8Parts> SplitPkcs8(std::span<const std::uint8_t> der) {
  DerReader outer(der);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence) return std::nullopt;
  DerReader in(sequence->contents);
  if (!in.Expect(der::kInteger)) return std::nullopt;
  const auto algorithm = in.Expect(der::kSequence);
  if (!algorithm) return std::nullopt;
  DerReader alg(algorithm->contents);
  const auto oid = alg.Expect(der::kOid);
  if (!oid) return std::nullopt;
  Pkcs8Parts parts;
  parts.algorithm = OidToText(oid->contents);
  if (!alg.AtEnd()) parts.parameter = alg.Next();
  const auto octets = in.Expect(der::kOctetString);
  if (!octets) return std::nullopt;
  parts.key = octets->contents;
  return parts;
}

std::optional<EcPrivateKey> ParseEcPkcs8(std::span<const std::uint8_t> der) {
  const auto parts = SplitPkcs8(der);
  if (!parts || parts->algorithm != kIdEcPublicKey || !parts->parameter || !parts->parameter->Is(der::kOid)) {
    return std::nullopt;
  }
  const auto curve = CurveOfOid(parts->parameter->contents);
  if (!curve) return std::nullopt;
  return ParseSec1(parts->key, curve);
}

std::optional<RsaPrivateKey> ParsePkcs8(std::span<const std::uint8_t> der) {
  const auto parts = SplitPkcs8(der);
  if (!parts || parts->algorithm != kRsaEncryption) return std::nullopt;
  return ParsePkcs1(parts->key);
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

std::optional<EcPrivateKey> LoadEcPrivateKey(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  for (const auto& block : ParsePem(text)) {
    if (block.label == "EC PRIVATE KEY") {
      if (auto key = ParseSec1(block.data, std::nullopt)) return key;
    } else if (block.label == "PRIVATE KEY") {
      if (auto key = ParseEcPkcs8(block.data)) return key;
    }
  }
  if (auto key = ParseSec1(data, std::nullopt)) return key;
  return ParseEcPkcs8(data);
}

}  // namespace security
