// The program's "ROOT" store and the acceptance that runs against it. Kept
// apart from the store itself: this is the one place where the security code
// asks the platform where its files live.

#include <cstdlib>

#include "platform/folders.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/certs/system_certificate_store.h"

namespace security {

SystemStoreLocations DefaultSystemStoreLocations() {
  SystemStoreLocations locations;
  const char* bundle = std::getenv("SSL_CERT_FILE");
  locations.bundle = bundle != nullptr && *bundle != '\0' ? bundle : "/etc/ssl/certs/ca-certificates.crt";
  locations.folder = platform::folders::ConfigDir() / "certificates";
  return locations;
}

bool AcceptServerCertificate(std::string_view host, const Certificate& leaf, CertificateStore& received) {
  SystemCertificateStore trusted({"ROOT"}, DefaultSystemStoreLocations());
  return CheckServerCertificate(host, leaf, received, trusted, CurrentDayNumber()).accepted;
}

bool AcceptServerCertificate(std::string_view host, CertificateStore& received) {
  SystemCertificateStore trusted({"ROOT"}, DefaultSystemStoreLocations());
  return CheckServerCertificate(host, received, trusted, CurrentDayNumber()).accepted;
}

}  // namespace security
