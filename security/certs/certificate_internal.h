#pragma once
// Internal to Certificate: the parsers of names and extensions.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "security/certs/certificate.h"

namespace security::internal {

// The contents of a Name (a SEQUENCE OF RelativeDistinguishedName).
bool ParseName(std::span<const std::uint8_t> contents, NameFields* out);

struct ExtensionSummary {
  std::vector<CertificateExtension> extensions;
  bool has_basic_constraints = false;
  bool is_ca = false;
  bool has_key_usage = false;
  bool key_cert_sign = false;
  std::vector<std::string> dns_names;
  std::vector<std::vector<std::uint8_t>> ip_addresses;
};

// The contents of the Extensions SEQUENCE. A malformed extension list, or a
// malformed basicConstraints, keyUsage or subjectAltName value, fails.
bool ParseExtensions(std::span<const std::uint8_t> contents, ExtensionSummary* out);

}  // namespace security::internal
