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
  std::uint16_t key_usage_bits = 0;
  int path_length_constraint = -1;
  bool has_extended_key_usage = false;
  std::vector<std::string> extended_key_usages;
  bool has_name_constraints = false;
  NameConstraints name_constraints;
  std::vector<std::string> dns_names;
  std::vector<std::vector<std::uint8_t>> ip_addresses;
};

// The contents of the Extensions SEQUENCE. A malformed extension list, a
// repeated extension, or a malformed basicConstraints, keyUsage,
// extendedKeyUsage, subjectAltName or nameConstraints value, fails.
bool ParseExtensions(std::span<const std::uint8_t> contents, ExtensionSummary* out);

}  // namespace security::internal
