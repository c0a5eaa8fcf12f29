#pragma once
// What the two kinds of `dictaloctl tls-probe` share: the direct probe and the
// one through STARTTLS / STLS take the same options, load the same client
// certificate and print an established session the same way.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "security/certs/certificate_store.h"
#include "security/tls/tls_engine.h"

namespace ctl {

struct TlsProbeOptions {
  std::string host;
  std::string port;
  int mask = 7;  // 1 SSL 2.0, 2 SSL 3.0, 4 TLS 1.0 to 1.2
  std::uint16_t highest_tls = 0x0303;  // the TLS version offered under mask bit 4
  bool strong = false;
  bool trace = false;
  std::string trust_file;
  std::string client_cert_file;
  std::string client_key_file;
  std::size_t round_trip = 0;
  std::string line = "dictaloctl tls-probe";
  int timeout_seconds = 10;
  std::string starttls;  // "", "smtp" or "pop3"
};

// The client certificate (DER) and key blob of --client-cert and
// --client-key; nothing when neither is given. False, with a message on
// `err`, when the files do not hold a certificate and an RSA key.
bool LoadClientCredentials(const TlsProbeOptions& options, std::vector<std::uint8_t>* certificate,
                           std::vector<std::uint8_t>* key_blob, std::ostream& err);

// "accepted" or "refused: <reason>": the mail client's acceptance check of the
// certificates the server sent for `host`, against the user's ROOT store, or
// against the certificates of `trust_file` alone when it is not empty.
std::string CertificateVerdict(const std::string& host, const std::string& trust_file,
                               security::CertificateStore& received);

// --versions: a mask (1-7) or names joined by commas (ssl2, ssl3, tls1.0,
// tls1.1, tls1.2; the highest TLS name is offered). False for anything else.
bool ParseVersionChoice(const std::string& text, int* mask, std::uint16_t* highest_tls);

// "TLS 1.2", "SSL 3.0", ...: the version the handshake settled on.
std::string NegotiatedVersionName(const security::TlsEngine& engine);

// protocol:, suite:, group: and signature: (when there was such a key
// exchange), subject: (the server's own certificate) and certificate: lines,
// in that order.
void PrintTlsSession(const security::TlsEngine& engine, security::CertificateStore& received,
                     const std::string& verdict, std::ostream& out);

// The name of a TLS alert code (120: the SSL 2.0 "no client certificate").
const char* TlsAlertName(int code);

// What the TLS engine's trace event numbers mean.
const char* TlsTraceName(int event);

// "0x" and `digits` upper-case hex digits.
std::string HexCode(std::uint32_t value, int digits);

}  // namespace ctl
