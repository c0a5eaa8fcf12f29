#include <cstdio>

#include "security/certs/certificate_internal.h"
#include "security/certs/der_reader.h"

namespace security {
namespace {

struct AttributeInfo {
  const char* oid;
  const char* short_name;
  int slot;
};

constexpr AttributeInfo kAttributes[] = {
    {"2.5.4.6", "C", NameFields::kCountry},
    {"2.5.4.8", "ST", NameFields::kStateOrProvince},
    {"2.5.4.7", "L", NameFields::kLocality},
    {"2.5.4.10", "O", NameFields::kOrganization},
    {"2.5.4.11", "OU", NameFields::kOrganizationUnit},
    {"2.5.4.3", "CN", NameFields::kCommonName},
    {"1.2.840.113549.1.9.1", "emailAddress", NameFields::kEmailAddress},
};

const AttributeInfo* FindAttribute(std::string_view oid) {
  for (const auto& a : kAttributes) {
    if (oid == a.oid) return &a;
  }
  return nullptr;
}

void AppendEscaped(std::string* out, std::uint32_t code_point) {
  char buffer[16];
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point <= 0xffff) {
    std::snprintf(buffer, sizeof(buffer), "\\u%04X", code_point);
    out->append(buffer);
  } else {
    std::snprintf(buffer, sizeof(buffer), "\\U%08X", code_point);
    out->append(buffer);
  }
}

// Text of a string value for the name text: 8-bit strings as they are, BMP
// (2-byte) and universal (4-byte) strings with non-ASCII characters escaped.
std::string ValueText(const DerElement& value) {
  const auto bytes = value.contents;
  std::string out;
  if (value.Is(der::kBmpString) || value.Is(der::kUniversalString)) {
    const std::size_t width = value.Is(der::kBmpString) ? 2 : 4;
    for (std::size_t k = 0; k + width <= bytes.size(); k += width) {
      std::uint32_t c = 0;
      for (std::size_t b = 0; b < width; ++b) c = (c << 8) | bytes[k + b];
      AppendEscaped(&out, c);
    }
    return out;
  }
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

bool NameFields::SlotsEqual(const NameFields& other, int count) const {
  for (int k = 0; k < count && k < kSlotCount; ++k) {
    if (!(slots[k] == other.slots[k])) return false;
  }
  return true;
}

std::string AttributeName(std::string_view oid) {
  if (oid == "2.5.4.3") return "CommonName";
  if (oid == "2.5.4.6") return "Country";
  if (oid == "2.5.4.7") return "Locality";
  if (oid == "2.5.4.8") return "StateOrProvince";
  if (oid == "2.5.4.10") return "Organization";
  if (oid == "2.5.4.11") return "OrganizationUnit";
  return "UnknownField";
}

namespace internal {

bool ParseName(std::span<const std::uint8_t> contents, NameFields* out) {
  *out = NameFields();
  DerReader rdns(contents);
  while (!rdns.AtEnd()) {
    const auto rdn = rdns.Expect(der::kSet);
    if (!rdn) return false;
    DerReader attributes(rdn->contents);
    while (!attributes.AtEnd()) {
      const auto attribute = attributes.Expect(der::kSequence);
      if (!attribute) return false;
      DerReader parts(attribute->contents);
      const auto type = parts.Expect(der::kOid);
      const auto value = parts.Next();
      if (!type || !value || !parts.AtEnd()) return false;
      const std::string oid = OidToText(type->contents);
      if (oid.empty()) return false;
      const AttributeInfo* info = FindAttribute(oid);
      if (!out->text.empty()) out->text += ", ";
      out->text += (info != nullptr ? std::string(info->short_name) : oid) + "=" + ValueText(*value);
      if (info != nullptr) out->slots[info->slot] = ByteBuffer(value->contents);
    }
  }
  return !rdns.Failed();
}

}  // namespace internal
}  // namespace security
