// Fuzz target for the DER walker, the certificate parser and the certificate
// file loader (PEM, DER, PKCS #7): any input must be parsed or refused without
// a crash, a hang or a read outside the input.

#include <cstddef>
#include <cstdint>
#include <span>

#include "security/certs/certificate.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/certificate_store.h"
#include "security/certs/certificate_usage.h"
#include "security/certs/chain_verifier.h"
#include "security/certs/name_constraints.h"
#include "security/certs/der_reader.h"
#include "security/certs/server_certificate_acceptance.h"

namespace {

// Walks every element, descending into anything that looks constructed.
void Walk(std::span<const std::uint8_t> data, int depth) {
  if (depth > 16) return;
  security::DerReader reader(data);
  while (auto element = reader.Next()) {
    if (element->Is(security::der::kOid)) (void)security::OidToText(element->contents);
    if (element->Is(security::der::kInteger)) (void)security::UnsignedIntegerBytes(element->contents);
    if ((element->identifier & 0x20) != 0) Walk(element->contents, depth + 1);
  }
}

void Exercise(const security::Certificate& certificate) {
  if (certificate.IsEmpty()) return;
  (void)certificate.IsSelfIssued();
  (void)certificate.VerifySelf();
  (void)security::CertificateMatchesHost(certificate, "mail.example.test");
  (void)security::CertificateMatchesHost(certificate, "127.0.0.1");
  // The decoded extensions: usages, constraints applied to its own names, and
  // a path check with the certificate as its own anchor.
  (void)security::KeyUsageAllowsKeyExchange(certificate, security::KeyExchangeKind::kRsa);
  (void)security::AllowsServerAuthentication(certificate);
  (void)security::UnknownCriticalExtension(certificate);
  (void)security::NamesSatisfyConstraints(certificate, certificate.Constraints(), true);
  security::MemoryCertificateStore store;
  store.Add(certificate);
  (void)security::ChainVerifier(store, store).Verify(certificate, 0);
  std::size_t lengths[4] = {0, 0, 0, 0};
  (void)certificate.GetRsaKey(nullptr, &lengths[0], nullptr, &lengths[1]);
  (void)certificate.GetDsaKey(nullptr, &lengths[0], nullptr, &lengths[1], nullptr, &lengths[2], nullptr, &lengths[3]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  Walk(input, 0);
  Exercise(security::Certificate(input));
  for (const auto& certificate : security::LoadCertificates(input)) Exercise(certificate);
  return 0;
}
