#include "settings/account/trusted_roots.h"

#include <stdexcept>

#include "platform/text.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/system_certificate_store.h"

namespace settings {
namespace {

security::SystemCertificateStore UserRoots() {
  security::SystemStoreLocations locations = security::DefaultSystemStoreLocations();
  locations.bundle.clear();
  return security::SystemCertificateStore({"ROOT"}, locations);
}

std::u16string Describe(const security::Certificate& certificate) {
  return platform::Utf8ToUtf16(certificate.Subject().text + " (valid until " +
                               security::DayNumberToText(certificate.NotAfter()).substr(0, 10) + ")");
}

}  // namespace

std::vector<std::u16string> ListTrustedRoots() {
  std::vector<std::u16string> lines;
  auto store = UserRoots();
  for (const auto& certificate : store.All()) lines.push_back(Describe(*certificate));
  return lines;
}

RootImport ImportTrustedRoots(const std::filesystem::path& file) {
  RootImport result;
  const auto certificates = security::LoadCertificateFile(file);
  if (certificates.empty()) {
    result.problems.push_back(u"No certificate was found in " + platform::Utf8ToUtf16(file.string()) + u".");
    return result;
  }
  security::SystemCertificateStore root({"ROOT"}, security::DefaultSystemStoreLocations());
  for (const auto& certificate : certificates) {
    try {
      root.Add(certificate);
      ++result.added;
    } catch (const std::exception& e) {
      result.problems.push_back(platform::Utf8ToUtf16(certificate.Subject().text + ": " + e.what()));
    }
  }
  return result;
}

bool RemoveTrustedRoot(int index) {
  auto store = UserRoots();
  if (index < 0 || !store.Get(index)) return false;
  try {
    store.Remove(index);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace settings
