#include "security/certs/certificate_loader.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

#include "security/certs/der_reader.h"
#include "security/certs/pem.h"
#include "security/certs/pkcs7.h"

namespace security {
namespace {

void AddParsed(std::span<const std::uint8_t> der, std::vector<Certificate>* out) {
  Certificate certificate;
  if (certificate.Parse(der)) out->push_back(std::move(certificate));
}

void AddDer(std::span<const std::uint8_t> der, std::vector<Certificate>* out) {
  if (const auto bundle = ParsePkcs7Certificates(der)) {
    for (const auto& item : *bundle) AddParsed(item, out);
    return;
  }
  AddParsed(der, out);
}

}  // namespace

std::vector<Certificate> LoadCertificates(std::span<const std::uint8_t> data) {
  std::vector<Certificate> out;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (text.find("-----BEGIN ") == std::string_view::npos) {
    AddDer(data, &out);
    return out;
  }
  for (const auto& block : ParsePem(text)) {
    if (block.label == "CERTIFICATE" || block.label == "X509 CERTIFICATE") {
      AddParsed(block.data, &out);
    } else if (block.label == "TRUSTED CERTIFICATE") {
      // OpenSSL's form: the certificate followed by its trust settings.
      DerReader reader(block.data);
      if (const auto first = reader.Expect(der::kSequence)) AddParsed(first->encoded, &out);
    } else if (block.label == "PKCS7" || block.label == "CMS") {
      AddDer(block.data, &out);
    }
  }
  return out;
}

std::vector<Certificate> LoadCertificateFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadCertificates(data);
}

int ImportCertificates(std::span<const std::uint8_t> data, CertificateStore& store) {
  int added = 0;
  for (const auto& certificate : LoadCertificates(data)) {
    try {
      store.Add(certificate);
      ++added;
    } catch (const std::runtime_error&) {
    }
  }
  return added;
}

}  // namespace security
