#include "security/certs/pkcs7.h"

#include "security/certs/der_reader.h"

namespace security {
namespace {

constexpr const char* kData = "1.2.840.113549.1.7.1";
constexpr const char* kSignedData = "1.2.840.113549.1.7.2";

bool Parse(std::span<const std::uint8_t> der, int depth, std::vector<std::vector<std::uint8_t>>* out);

// The elements of `contents`: ContentInfos are opened, anything else is taken as a certificate.
bool TakeElements(std::span<const std::uint8_t> contents, int depth, std::vector<std::vector<std::uint8_t>>* out) {
  DerReader reader(contents);
  while (!reader.AtEnd()) {
    const auto element = reader.Expect(der::kSequence);
    if (!element) return false;
    std::vector<std::vector<std::uint8_t>> nested;
    if (Parse(element->encoded, depth + 1, &nested)) {
      out->insert(out->end(), nested.begin(), nested.end());
    } else {
      out->emplace_back(element->encoded.begin(), element->encoded.end());
    }
  }
  return true;
}

bool Parse(std::span<const std::uint8_t> der, int depth, std::vector<std::vector<std::uint8_t>>* out) {
  if (depth > 4) return false;
  DerReader outer(der);
  const auto info = outer.Expect(der::kSequence);
  if (!info || !outer.AtEnd()) return false;
  DerReader fields(info->contents);
  const auto type = fields.Expect(der::kOid);
  const auto content = fields.Expect(der::ContextConstructed(0));
  if (!type || !content || !fields.AtEnd()) return false;
  const std::string oid = OidToText(type->contents);
  DerReader inner(content->contents);
  if (oid == kData) {
    const auto octets = inner.Expect(der::kOctetString);
    return octets && inner.AtEnd() && TakeElements(octets->contents, depth, out);
  }
  if (oid != kSignedData) return false;
  // SignedData ::= SEQUENCE { version, digestAlgorithms SET, contentInfo,
  //   certificates [0] IMPLICIT SET OF Certificate OPTIONAL, crls [1] OPTIONAL, signerInfos SET }
  const auto signed_data = inner.Expect(der::kSequence);
  if (!signed_data) return false;
  DerReader parts(signed_data->contents);
  if (!parts.Expect(der::kInteger) || !parts.Expect(der::kSet) || !parts.Expect(der::kSequence)) return false;
  if (const auto certificates = parts.NextIf(der::ContextConstructed(0))) {
    DerReader list(certificates->contents);
    while (!list.AtEnd()) {
      const auto element = list.Next();
      if (!element) return false;
      if (element->Is(der::kSequence)) out->emplace_back(element->encoded.begin(), element->encoded.end());
    }
  }
  return !parts.Failed();
}

}  // namespace

std::optional<std::vector<std::vector<std::uint8_t>>> ParsePkcs7Certificates(std::span<const std::uint8_t> der) {
  std::vector<std::vector<std::uint8_t>> out;
  if (!Parse(der, 0, &out)) return std::nullopt;
  return out;
}

}  // namespace security
