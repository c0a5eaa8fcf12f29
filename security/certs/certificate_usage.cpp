#include "security/certs/certificate_usage.h"

namespace security {
namespace {

constexpr std::string_view kServerAuth = "1.3.6.1.5.5.7.3.1";
constexpr std::string_view kAnyExtendedKeyUsage = "2.5.29.37.0";

// Extensions that are either enforced by the chain verifier and the name
// check, or carry nothing a client must act on (key identifiers; policies,
// since any policy is acceptable here). Policy constraints and mappings are
// not, so a critical one is refused rather than ignored.
constexpr std::string_view kUnderstood[] = {
    "2.5.29.19",  // basicConstraints
    "2.5.29.15",  // keyUsage
    "2.5.29.37",  // extendedKeyUsage
    "2.5.29.17",  // subjectAltName
    "2.5.29.30",  // nameConstraints
    "2.5.29.14",  // subjectKeyIdentifier
    "2.5.29.35",  // authorityKeyIdentifier
    "2.5.29.32",  // certificatePolicies
};

}  // namespace

bool KeyUsageAllowsKeyExchange(const Certificate& certificate, KeyExchangeKind kind) {
  if (!certificate.HasKeyUsage()) return true;
  std::uint16_t needed = 0;
  switch (kind) {
    case KeyExchangeKind::kRsa: needed = kKeyUsageKeyEncipherment; break;
    case KeyExchangeKind::kSignedDiffieHellman: needed = kKeyUsageDigitalSignature; break;
    case KeyExchangeKind::kStaticDiffieHellman: needed = kKeyUsageKeyAgreement; break;
  }
  return (certificate.KeyUsageBits() & needed) != 0;
}

bool AllowsServerAuthentication(const Certificate& certificate) {
  if (!certificate.HasExtendedKeyUsage()) return true;
  for (const auto& purpose : certificate.ExtendedKeyUsages()) {
    if (purpose == kServerAuth || purpose == kAnyExtendedKeyUsage) return true;
  }
  return false;
}

const CertificateExtension* UnknownCriticalExtension(const Certificate& certificate) {
  for (const auto& extension : certificate.Extensions()) {
    if (!extension.critical) continue;
    bool understood = false;
    for (const auto oid : kUnderstood) understood = understood || extension.oid == oid;
    if (!understood) return &extension;
  }
  return nullptr;
}

}  // namespace security
