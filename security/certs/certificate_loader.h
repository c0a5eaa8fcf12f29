#pragma once
// Certificates from files as users and systems keep them: PEM ("CERTIFICATE",
// "X509 CERTIFICATE", "TRUSTED CERTIFICATE" and "PKCS7" blocks, any number of
// them), a DER certificate, or a DER PKCS #7 bundle.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "security/certs/certificate.h"
#include "security/certs/certificate_store.h"

namespace security {

// Every certificate found, in order; entries that do not parse are left out.
std::vector<Certificate> LoadCertificates(std::span<const std::uint8_t> data);
// The same from a file; nothing when it cannot be read.
std::vector<Certificate> LoadCertificateFile(const std::filesystem::path& path);

// Adds every certificate of `data` to `store`; certificates the store refuses
// (a duplicate in the ROOT store) are skipped. Returns how many were added.
int ImportCertificates(std::span<const std::uint8_t> data, CertificateStore& store);

}  // namespace security
