#include "ctl/tls_probe_common.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/file_io.h"
#include "security/certs/certificate.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/crypto/rsa.h"
#include "security/certs/system_certificate_store.h"
#include "security/tls/tls_client_credentials.h"
#include "security/tls/tls_suites.h"

namespace ctl {
namespace {

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path) {
  std::string bytes;
  if (platform::ReadWholeFile(path, bytes) != 0) return std::nullopt;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

bool LoadClientCredentials(const TlsProbeOptions& options, std::vector<std::uint8_t>* certificate,
                           std::vector<std::uint8_t>* key_blob, std::ostream& err) {
  if (options.client_cert_file.empty() && options.client_key_file.empty()) return true;
  const auto certificates = security::LoadCertificateFile(options.client_cert_file);
  const auto key_file = ReadFile(options.client_key_file);
  const auto key = key_file ? security::LoadRsaPrivateKey(*key_file) : std::nullopt;
  const auto ec_key = key_file && !key ? security::LoadEcPrivateKey(*key_file) : std::nullopt;
  if (certificates.empty() || (!key && !ec_key)) {
    err << "dictaloctl: --client-cert needs a certificate and --client-key its RSA or EC key\n";
    return false;
  }
  *certificate = certificates[0].Der().ToVector();
  if (ec_key) {
    *key_blob = security::EncodeEcPrivateKeyBlob(*ec_key);
    return true;
  }
  *key_blob = security::EncodeRsaPrivateKeyBlob(*key);
  if (key_blob->size() > 1024) {
    // The engine takes key blobs of up to 1024 bytes: without the CRT values
    // a 2048-bit key fits (signing is slower, once per handshake).
    security::RsaPrivateKey plain;
    plain.modulus = key->modulus;
    plain.public_exponent = key->public_exponent;
    plain.private_exponent = key->private_exponent;
    *key_blob = security::EncodeRsaPrivateKeyBlob(plain);
  }
  return true;
}

std::string CertificateVerdict(const std::string& host, const std::string& trust_file,
                               security::CertificateStore& received) {
  security::AcceptanceResult result;
  if (!trust_file.empty()) {
    security::MemoryCertificateStore trusted;
    for (const auto& anchor : security::LoadCertificateFile(trust_file)) trusted.Add(anchor);
    result = security::CheckServerCertificate(host, received, trusted, security::CurrentDayNumber());
  } else {
    security::SystemCertificateStore trusted({"ROOT"}, security::DefaultSystemStoreLocations());
    result = security::CheckServerCertificate(host, received, trusted, security::CurrentDayNumber());
  }
  return result.accepted ? "accepted" : "refused: " + result.reason;
}

bool ParseVersionChoice(const std::string& text, int* mask, std::uint16_t* highest_tls) {
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '7') {
    *mask = text[0] - '0';
    *highest_tls = 0x0303;
    return true;
  }
  int chosen = 0;
  std::uint16_t highest = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string name = text.substr(at, comma - at);
    if (name == "ssl2") {
      chosen |= security::kProtocolSsl2;
    } else if (name == "ssl3") {
      chosen |= security::kProtocolSsl3;
    } else if (name == "tls1.0" || name == "tls1.1" || name == "tls1.2") {
      chosen |= security::kProtocolTls1;
      highest = std::max<std::uint16_t>(highest, static_cast<std::uint16_t>(0x0301 + (name.back() - '0')));
    } else {
      return false;
    }
    at = comma + 1;
  }
  *mask = chosen;
  *highest_tls = highest != 0 ? highest : 0x0303;
  return true;
}

std::string NegotiatedVersionName(const security::TlsEngine& engine) {
  switch (engine.NegotiatedVersion()) {
    case 0x0302: return "TLS 1.1";
    case 0x0303: return "TLS 1.2";
    default: return security::ProtocolName(engine.Protocol());
  }
}

namespace {

std::string SignatureSchemeName(std::uint16_t scheme) {
  switch (scheme) {
    case 0x0401: return "rsa_pkcs1_sha256";
    case 0x0501: return "rsa_pkcs1_sha384";
    case 0x0601: return "rsa_pkcs1_sha512";
    case 0x0804: return "rsa_pss_rsae_sha256";
    case 0x0805: return "rsa_pss_rsae_sha384";
    case 0x0806: return "rsa_pss_rsae_sha512";
    case 0x0403: return "ecdsa_secp256r1_sha256";
    case 0x0503: return "ecdsa_secp384r1_sha384";
    default: return "unknown";
  }
}

}  // namespace

void PrintTlsSession(const security::TlsEngine& engine, security::CertificateStore& received,
                     const std::string& verdict, std::ostream& out) {
  out << "protocol: " << NegotiatedVersionName(engine) << '\n';
  if (const auto* kind = engine.NegotiatedSsl2Kind()) {
    out << "suite: " << HexCode(kind->code, 6) << ' ' << security::SuiteCatalogueEntry(kind->catalogue).name << '\n';
  } else if (const auto* suite = engine.NegotiatedSuite()) {
    out << "suite: " << HexCode(suite->code, 4) << ' ' << security::SuiteCatalogueEntry(suite->catalogue).name << '\n';
  }
  if (const std::string group = engine.KeyExchangeGroup(); !group.empty()) out << "group: " << group << '\n';
  if (const std::uint16_t scheme = engine.KeyExchangeSignatureScheme(); scheme != 0) {
    out << "signature: " << HexCode(scheme, 4) << ' ' << SignatureSchemeName(scheme) << '\n';
  }
  const int count = received.Count();
  const auto leaf = count > 0 ? received.Get(count - 1) : nullptr;
  out << "subject: " << (leaf ? leaf->Subject().text : std::string("(none)")) << '\n';
  out << "certificate: " << verdict << '\n';
}

const char* TlsAlertName(int code) {
  switch (code) {
    case 0: return "close_notify";
    case 10: return "unexpected_message";
    case 20: return "bad_record_mac";
    case 21: return "decryption_failed";
    case 22: return "record_overflow";
    case 30: return "decompression_failure";
    case 40: return "handshake_failure";
    case 41: return "no_certificate";
    case 42: return "bad_certificate";
    case 43: return "unsupported_certificate";
    case 44: return "certificate_revoked";
    case 45: return "certificate_expired";
    case 46: return "certificate_unknown";
    case 47: return "illegal_parameter";
    case 48: return "unknown_ca";
    case 49: return "access_denied";
    case 50: return "decode_error";
    case 51: return "decrypt_error";
    case 60: return "export_restriction";
    case 70: return "protocol_version";
    case 71: return "insufficient_security";
    case 80: return "internal_error";
    case 90: return "user_canceled";
    case 100: return "no_renegotiation";
    case 120: return "no client certificate";
    default: return "unknown";
  }
}

const char* TlsTraceName(int event) {
  switch (event) {
    case 1: return "client hello sent";
    case 2: return "client certificate sent";
    case 3: return "client key exchange sent";
    case 4: return "certificate verify sent";
    case 5: return "client finished sent";
    case 6: return "server hello received";
    case 7: return "server certificate received";
    case 8: return "server key exchange received";
    case 9: return "certificate request received";
    case 10: return "server hello done received";
    case 11: return "server finished received";
    case 12: return "fatal alert sent or handshake failure";
    case 13: return "fatal alert received";
    case 14: return "application data to send";
    case 15: return "application data delivered";
    case 16: return "session opened";
    case 17: return "session closed";
    case 101: return "record received";
    case 102: return "record decrypted";
    default: return "event";
  }
}

std::string HexCode(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
  return text;
}

}  // namespace ctl
