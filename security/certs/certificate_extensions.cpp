#include "security/certs/certificate_internal.h"
#include "security/certs/der_reader.h"

namespace security {
namespace {

struct ExtensionInfo {
  const char* oid;
  const char* name;
};

constexpr ExtensionInfo kExtensions[] = {
    {"2.5.29.35", "AuthorityKeyIdentifier"}, {"2.5.29.14", "SubjectKeyIdentifier"},
    {"2.5.29.15", "KeyUsage"},               {"2.5.29.37", "ExtendedKeyUsage"},
    {"2.5.29.16", "PrivateKeyUsagePeriod"},  {"2.5.29.32", "CertificatePolicies"},
    {"2.5.29.33", "PolicyMappings"},         {"2.5.29.17", "SubjectAltName"},
    {"2.5.29.18", "IssuerAltName"},          {"2.5.29.19", "BasicConstraints"},
    {"2.5.29.30", "NameConstraints"},        {"2.5.29.36", "PolicyConstraints"},
    {"2.5.29.31", "cRLDistributionPoints"},  {"2.5.29.9", "SubjectDirectoryAttributes"},
    {"2.5.29.1", "AuthorityInfoAccess"},
    // The id-pe form that certificates actually carry.
    {"1.3.6.1.5.5.7.1.1", "AuthorityInfoAccess"},
};

// BasicConstraints ::= SEQUENCE { cA BOOLEAN DEFAULT FALSE, pathLenConstraint INTEGER OPTIONAL }
bool ParseBasicConstraints(std::span<const std::uint8_t> value, internal::ExtensionSummary* out) {
  DerReader outer(value);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence || !outer.AtEnd()) return false;
  DerReader fields(sequence->contents);
  if (const auto ca = fields.NextIf(der::kBoolean)) {
    if (ca->contents.size() != 1) return false;
    out->is_ca = ca->contents[0] != 0;
  }
  if (const auto path_length = fields.NextIf(der::kInteger)) {
    const auto bytes = UnsignedIntegerBytes(path_length->contents);
    if (!bytes) return false;
    // Any limit beyond what a path can hold is as good as none.
    int limit = 0;
    for (const std::uint8_t b : *bytes) limit = limit > 0xffff ? limit : (limit << 8) | b;
    out->path_length_constraint = limit;
  }
  if (!fields.AtEnd() || fields.Failed()) return false;
  out->has_basic_constraints = true;
  return true;
}

// KeyUsage ::= BIT STRING; keyCertSign is bit 5 (bit 0 is the first byte's top bit).
bool ParseKeyUsage(std::span<const std::uint8_t> value, internal::ExtensionSummary* out) {
  DerReader outer(value);
  const auto bits = outer.Expect(der::kBitString);
  if (!bits || !outer.AtEnd() || bits->contents.empty() || bits->contents[0] > 7) return false;
  out->has_key_usage = true;
  out->key_cert_sign = bits->contents.size() > 1 && (bits->contents[1] & 0x04) != 0;
  std::uint16_t usage = 0;
  if (bits->contents.size() > 1) usage = static_cast<std::uint16_t>(bits->contents[1] << 8);
  if (bits->contents.size() > 2) usage |= bits->contents[2];
  out->key_usage_bits = usage & 0xff80;
  return true;
}

// ExtKeyUsageSyntax ::= SEQUENCE SIZE (1..MAX) OF KeyPurposeId
bool ParseExtendedKeyUsage(std::span<const std::uint8_t> value, internal::ExtensionSummary* out) {
  DerReader outer(value);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence || !outer.AtEnd()) return false;
  DerReader purposes(sequence->contents);
  while (!purposes.AtEnd()) {
    const auto purpose = purposes.Expect(der::kOid);
    if (!purpose) return false;
    std::string oid = OidToText(purpose->contents);
    if (oid.empty()) return false;
    out->extended_key_usages.push_back(std::move(oid));
  }
  // An empty list would allow nothing; read as malformed rather than guessed at.
  if (purposes.Failed() || out->extended_key_usages.empty()) return false;
  out->has_extended_key_usage = true;
  return true;
}

// GeneralSubtrees ::= SEQUENCE OF SEQUENCE { base GeneralName, minimum [0] DEFAULT 0,
// maximum [1] OPTIONAL }. Only dNSName and iPAddress bases are kept; a minimum
// other than 0 or any maximum cannot be honoured and fails.
bool ParseSubtrees(std::span<const std::uint8_t> contents, std::vector<std::string>* dns,
                   std::vector<IpSubtree>* ip) {
  DerReader subtrees(contents);
  while (!subtrees.AtEnd()) {
    const auto subtree = subtrees.Expect(der::kSequence);
    if (!subtree) return false;
    DerReader fields(subtree->contents);
    const auto base = fields.Next();
    if (!base) return false;
    if (const auto minimum = fields.NextIf(der::ContextPrimitive(0))) {
      const auto bytes = UnsignedIntegerBytes(minimum->contents);
      if (!bytes || bytes->size() != 1 || (*bytes)[0] != 0) return false;
    }
    if (!fields.AtEnd() || fields.Failed()) return false;
    if (base->Is(der::ContextPrimitive(2))) {
      dns->emplace_back(base->contents.begin(), base->contents.end());
    } else if (base->Is(der::ContextPrimitive(7))) {
      const std::size_t half = base->contents.size() / 2;
      if (base->contents.size() != 8 && base->contents.size() != 32) return false;
      ip->push_back({{base->contents.begin(), base->contents.begin() + half},
                     {base->contents.begin() + half, base->contents.end()}});
    }
  }
  return !subtrees.Failed();
}

// NameConstraints ::= SEQUENCE { permittedSubtrees [0] OPTIONAL, excludedSubtrees [1] OPTIONAL }
bool ParseNameConstraints(std::span<const std::uint8_t> value, internal::ExtensionSummary* out) {
  DerReader outer(value);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence || !outer.AtEnd()) return false;
  DerReader parts(sequence->contents);
  NameConstraints& constraints = out->name_constraints;
  if (const auto permitted = parts.NextIf(der::ContextConstructed(0))) {
    if (!ParseSubtrees(permitted->contents, &constraints.permitted_dns, &constraints.permitted_ip)) return false;
  }
  if (const auto excluded = parts.NextIf(der::ContextConstructed(1))) {
    if (!ParseSubtrees(excluded->contents, &constraints.excluded_dns, &constraints.excluded_ip)) return false;
  }
  if (!parts.AtEnd() || parts.Failed()) return false;
  out->has_name_constraints = true;
  return true;
}

// GeneralNames: dNSName [2] IA5String, iPAddress [7] OCTET STRING; other forms skipped.
bool ParseSubjectAltName(std::span<const std::uint8_t> value, internal::ExtensionSummary* out) {
  DerReader outer(value);
  const auto sequence = outer.Expect(der::kSequence);
  if (!sequence || !outer.AtEnd()) return false;
  DerReader names(sequence->contents);
  while (!names.AtEnd()) {
    const auto name = names.Next();
    if (!name) return false;
    if (name->Is(der::ContextPrimitive(2))) {
      out->dns_names.emplace_back(name->contents.begin(), name->contents.end());
    } else if (name->Is(der::ContextPrimitive(7))) {
      out->ip_addresses.emplace_back(name->contents.begin(), name->contents.end());
    }
  }
  return !names.Failed();
}

}  // namespace

std::string ExtensionDisplayName(std::string_view oid) {
  for (const auto& e : kExtensions) {
    if (oid == e.oid) return e.name;
  }
  return {};
}

namespace internal {

bool ParseExtensions(std::span<const std::uint8_t> contents, ExtensionSummary* out) {
  DerReader reader(contents);
  while (!reader.AtEnd()) {
    const auto extension = reader.Expect(der::kSequence);
    if (!extension) return false;
    DerReader fields(extension->contents);
    const auto id = fields.Expect(der::kOid);
    const auto critical = fields.NextIf(der::kBoolean);
    const auto value = fields.Expect(der::kOctetString);
    if (!id || !value || !fields.AtEnd()) return false;
    CertificateExtension parsed;
    parsed.oid = OidToText(id->contents);
    if (parsed.oid.empty()) return false;
    parsed.name = ExtensionDisplayName(parsed.oid);
    if (parsed.name.empty()) parsed.name = parsed.oid;
    parsed.critical = critical && critical->contents.size() == 1 && critical->contents[0] != 0;
    parsed.value = ByteBuffer(value->contents);
    if (parsed.oid == "2.5.29.19" && !ParseBasicConstraints(value->contents, out)) return false;
    if (parsed.oid == "2.5.29.15" && !ParseKeyUsage(value->contents, out)) return false;
    if (parsed.oid == "2.5.29.17" && !ParseSubjectAltName(value->contents, out)) return false;
    if (parsed.oid == "2.5.29.37" && !ParseExtendedKeyUsage(value->contents, out)) return false;
    if (parsed.oid == "2.5.29.30" && !ParseNameConstraints(value->contents, out)) return false;
    // Two copies of one extension could be read differently by different checks.
    for (const auto& earlier : out->extensions) {
      if (earlier.oid == parsed.oid) return false;
    }
    out->extensions.push_back(std::move(parsed));
  }
  return !reader.Failed();
}

}  // namespace internal
}  // namespace security
