#pragma once
// The TLS client's decision on a server's certificate once the handshake is
// done: the chain must be trusted and the certificate must name the host.
//
// The server's own certificate is named by the caller, or else taken to be the
// last one added to the store of received certificates (the TLS engine passes
// the chain from its end towards the server's certificate). Names are checked against the subjectAltName dNSName
// entries, or the subject CommonName when there are none; a pattern "*.d"
// stands for exactly one label in front of d (it matches x.d, not y.x.d nor
// d); comparison ignores ASCII case. A host given as a dotted IPv4 address
// matches only an iPAddress entry or, when the certificate has no DNS or IP
// entries, a CommonName written as that same address. No name is ever
// resolved to decide a match.

#include <cstdint>
#include <string>
#include <string_view>

#include "security/certs/certificate_store.h"

namespace security {

struct AcceptanceResult {
  bool accepted = false;
  std::uint32_t chain_result = 0;  // the ChainVerifier code
  std::string reason;              // why it was refused; empty when accepted
};

// The full decision on `leaf` against `trusted` at `now` (a day number).
// `leaf` is the server's own certificate as the TLS engine named it (the one
// whose key the connection uses); `received` holds it and the chain it came
// with. A leaf that is not in `received` is refused.
AcceptanceResult CheckServerCertificate(std::string_view host, const Certificate& leaf, CertificateStore& received,
                                        CertificateStore& trusted, double now);
// The same with the last certificate added to `received` as the leaf.
AcceptanceResult CheckServerCertificate(std::string_view host, CertificateStore& received, CertificateStore& trusted,
                                        double now);

// The decision against the "ROOT" store of the system at the current time
// (see system_certificate_store.h); what the mail client runs.
bool AcceptServerCertificate(std::string_view host, const Certificate& leaf, CertificateStore& received);
bool AcceptServerCertificate(std::string_view host, CertificateStore& received);

// The name check alone.
bool CertificateMatchesHost(const Certificate& certificate, std::string_view host);

}  // namespace security
