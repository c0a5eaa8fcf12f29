// The SSL 3.0 / TLS 1.0 handshake of TlsEngine: the first flight for every
// version mask, the server's messages, the client's flight and Finished.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "security/certs/certificate.h"
#include "security/certs/certificate_usage.h"
#include "security/crypto/dh.h"
#include "security/crypto/ec_private_key.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/x25519.h"
#include "security/crypto/digest.h"
#include "security/crypto/rsa_pss.h"
#include "security/crypto/md5.h"
#include "security/crypto/secure_wipe.h"
#include "security/crypto/sha1.h"
#include "security/certs/signature_value.h"
#include "security/tls/tls_engine_internal.h"

namespace security {
namespace {

constexpr std::uint8_t kClientHello = 1;
constexpr std::uint8_t kServerHello = 2;
constexpr std::uint8_t kCertificate = 11;
constexpr std::uint8_t kServerKeyExchange = 12;
constexpr std::uint8_t kCertificateRequest = 13;
constexpr std::uint8_t kServerHelloDone = 14;
constexpr std::uint8_t kCertificateVerify = 15;
constexpr std::uint8_t kClientKeyExchange = 16;
constexpr std::uint8_t kFinished = 20;

constexpr std::size_t kMaxSsl3Message = 32768;
// Tells a server that this client never renegotiates insecurely.
constexpr std::uint16_t kRenegotiationScsv = 0x00FF;
constexpr std::size_t kMaxKeyBytes = 512;  // 4096-bit moduli and primes

constexpr std::uint16_t kExtServerName = 0x0000;
constexpr std::uint16_t kExtSupportedGroups = 0x000A;
constexpr std::uint16_t kExtEcPointFormats = 0x000B;
constexpr std::uint16_t kExtSignatureAlgorithms = 0x000D;
constexpr std::uint16_t kExtExtendedMasterSecret = 0x0017;
constexpr std::uint16_t kExtRenegotiationInfo = 0xFF01;

// Signature schemes for the server's key exchange signature, best first.
constexpr std::uint16_t kSignatureSchemes[] = {0x0403, 0x0503, 0x0804, 0x0805, 0x0806, 0x0401, 0x0501, 0x0601};

// What a client certificate's key can sign a TLS 1.2 CertificateVerify with.
constexpr std::uint16_t kClientSignatureSchemes[] = {0x0401, 0x0501, 0x0601, 0x0804, 0x0805, 0x0806, 0x0403, 0x0503};

// ECDHE groups, best first: x25519, secp256r1, secp384r1.
constexpr std::uint16_t kX25519 = 0x001D;
constexpr std::uint16_t kGroups[] = {kX25519, 0x0017, 0x0018};

const char* GroupName(std::uint16_t group) {
  switch (group) {
    case kX25519: return "x25519";
    case 0x0017: return "secp256r1";
    case 0x0018: return "secp384r1";
    default: return "unknown";
  }
}

// What a TLS 1.2 server puts in its random when it chose TLS 1.1 or older
// although the client offered 1.2: seeing it means someone on the path cut
// the offer down.
constexpr std::uint8_t kDowngradeSentinel[8] = {'D', 'O', 'W', 'N', 'G', 'R', 'D', 0x00};

// A host name, not an IPv4 or IPv6 literal (which server_name may not carry).
bool IsHostName(const std::string& host) {
  if (host.empty() || host.find(':') != std::string::npos) return false;
  return std::any_of(host.begin(), host.end(), [](char c) { return !(c == '.' || (c >= '0' && c <= '9')); });
}

void Put16(std::vector<std::uint8_t>& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void Put24(std::vector<std::uint8_t>& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  Put16(out, value);
}

// Reads length-prefixed fields off a message body, refusing any that claims
// more than the body holds.
class FieldReader {
 public:
  FieldReader(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}
  bool Take(std::size_t n, const std::uint8_t** out) {
    if (n > length_ - at_) return false;
    *out = data_ + at_;
    at_ += n;
    return true;
  }
  bool Byte(std::size_t* value) { return Number(1, value); }
  bool Number(std::size_t bytes, std::size_t* value) {
    const std::uint8_t* p = nullptr;
    if (!Take(bytes, &p)) return false;
    *value = 0;
    for (std::size_t k = 0; k < bytes; ++k) *value = *value << 8 | p[k];
    return true;
  }
  // A field with a `prefix`-byte length.
  bool Vector(std::size_t prefix, std::span<const std::uint8_t>* out) {
    std::size_t n = 0;
    const std::uint8_t* p = nullptr;
    if (!Number(prefix, &n) || !Take(n, &p)) return false;
    *out = {p, n};
    return true;
  }
  std::size_t Position() const { return at_; }
  std::size_t Left() const { return length_ - at_; }

 private:
  const std::uint8_t* data_;
  std::size_t length_;
  std::size_t at_ = 0;
};

std::span<const SuiteParams> TableFor(bool ssl3) { return ssl3 ? Ssl3SuiteTable() : TlsSuiteTable(); }

}  // namespace

// ---------------------------------------------------------------- first flight

std::vector<std::uint16_t> TlsEngine::Impl::OfferedCodes(std::span<const SuiteParams> table, bool tls12) const {
  std::vector<std::uint16_t> codes;
  for (const auto& row : table) {
    // Anonymous suites are never offered: no certificate, so nothing to accept.
    if (row.key_exchange == KeyExchange::kDhAnon) continue;
    if (row.tls12_only && !tls12) continue;
    // ECDHE needs supported_groups, which only hellos above TLS 1.0 carry.
    if (row.key_exchange == KeyExchange::kEcdhe && offered_version < 0x0302) continue;
    // The TLS 1.2 suites are all strong and have no switch of their own.
    if (row.catalogue >= kSuiteCatalogueSize || suite_enabled[static_cast<std::size_t>(row.catalogue)]) {
      codes.push_back(row.code);
    }
  }
  return codes;
}

std::vector<std::uint8_t> TlsEngine::Impl::HelloExtensions() {
  std::vector<std::uint8_t> out;
  auto add = [&](std::uint16_t type, const std::vector<std::uint8_t>& data, bool answerable) {
    Put16(out, type);
    Put16(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    if (answerable) answerable_extensions.push_back(type);
  };
  // The name goes without the trailing dot of a fully qualified name:
  // servers compare it with their names as they are written.
  std::string name = server_name;
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (IsHostName(name) && name.size() < 256) {
    std::vector<std::uint8_t> list;
    Put16(list, name.size() + 3);
    list.push_back(0);  // host_name
    Put16(list, name.size());
    list.insert(list.end(), name.begin(), name.end());
    add(kExtServerName, list, true);
  }
  std::vector<std::uint8_t> groups;
  Put16(groups, std::size(kGroups) * 2);
  for (auto group : kGroups) Put16(groups, group);
  add(kExtSupportedGroups, groups, false);
  add(kExtEcPointFormats, {1, 0}, true);  // uncompressed only
  if (offered_version >= 0x0303) {
    std::vector<std::uint8_t> schemes;
    Put16(schemes, std::size(kSignatureSchemes) * 2);
    for (auto scheme : kSignatureSchemes) Put16(schemes, scheme);
    add(kExtSignatureAlgorithms, schemes, false);
  }
  add(kExtExtendedMasterSecret, {}, true);
  return out;
}

bool TlsEngine::Impl::TakeServerExtensions(std::span<const std::uint8_t> extensions) {
  FieldReader in(extensions.data(), extensions.size());
  std::vector<std::size_t> seen;
  while (in.Left() > 0) {
    std::size_t type = 0;
    std::span<const std::uint8_t> data;
    if (!in.Number(2, &type) || !in.Vector(2, &data)) {
      Fail(AlertCode(AlertKind::kDecodeError), 50);
      return false;
    }
    if (std::find(seen.begin(), seen.end(), type) != seen.end()) {
      Fail(AlertCode(AlertKind::kIllegalParameter), 47);
      return false;
    }
    seen.push_back(type);
    if (std::find(answerable_extensions.begin(), answerable_extensions.end(), type) == answerable_extensions.end()) {
      Fail(AlertCode(AlertKind::kUnsupportedExtension), 110);
      return false;
    }
    switch (type) {
      case kExtServerName:
      case kExtExtendedMasterSecret:
        if (!data.empty()) {
          Fail(AlertCode(AlertKind::kDecodeError), 50);
          return false;
        }
        if (type == kExtExtendedMasterSecret) extended_master = true;
        break;
      case kExtEcPointFormats: {
        // The server must be able to read our uncompressed points.
        FieldReader formats(data.data(), data.size());
        std::span<const std::uint8_t> list;
        if (!formats.Vector(1, &list) || formats.Left() != 0 || list.empty()) {
          Fail(AlertCode(AlertKind::kDecodeError), 50);
          return false;
        }
        if (std::find(list.begin(), list.end(), 0) == list.end()) {
          Fail(AlertCode(AlertKind::kIllegalParameter), 47);
          return false;
        }
        break;
      }
      case kExtRenegotiationInfo:
        // A first handshake has no earlier Finished to repeat.
        if (data.size() != 1 || data[0] != 0) {
          Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
          return false;
        }
        break;
    }
  }
  return true;
}

void TlsEngine::Impl::SendFirstFlight() {
  const int mask = version_mask & 7;
  if (mask == 0) throw TlsException("No protocol version enabled");
  if (mask == kProtocolSsl2) {
    // SSL 2.0 framing only when nothing newer may be spoken: a 2.0 hello lets
    // anyone on the path hold the connection down to SSL 2.0.
    protocol = kProtocolSsl2;
    reader_major = 2;
    reader_minor = 0;
    wanted = 2;
    SendSsl2Hello(0x0002, {});
    return;
  }
  // A plain ClientHello; SSL 2.0 in the mask is not offered beside newer
  // versions. With SSL 2.0, SSL 3.0 and TLS 1.0 all enabled it offers the
  // TLS 1.0 list, as the SSL 2.0-format hello of that mask used to.
  const bool offers_tls = (mask & kProtocolTls1) != 0;
  const bool ssl3_enabled = (mask & kProtocolSsl3) != 0;
  const bool ssl3_list = ssl3_enabled && !(offers_tls && (mask & kProtocolSsl2) != 0);
  protocol = offers_tls ? kProtocolTls1 : kProtocolSsl3;
  reader_major = 3;
  const bool both = (mask & (kProtocolSsl3 | kProtocolTls1)) == (kProtocolSsl3 | kProtocolTls1);
  reader_minor = both ? 11 : (offers_tls ? 1 : 0);
  wanted = 5;
  received = 0;
  std::array<std::uint8_t, 32> client_random;
  for (auto& b : client_random) b = random.NextByte();
  ssl3.client_random = tls.client_random = client_random;
  offered_version = offers_tls ? highest_tls_version : 0x0300;
  tls_version = 0x0301;
  extended_master = false;

  std::vector<std::uint8_t> body;
  Put16(body, offered_version);
  body.insert(body.end(), client_random.begin(), client_random.end());
  body.push_back(0);  // no session id: every connection runs a full handshake
  auto codes = OfferedCodes(TableFor(ssl3_list), offered_version >= 0x0303);
  codes.push_back(kRenegotiationScsv);
  Put16(body, codes.size() * 2);
  for (auto code : codes) Put16(body, code);
  body.push_back(1);  // one compression method: none
  body.push_back(0);
  // Hellos of TLS 1.0 and older stay as they always were: some old servers
  // choke on extensions.
  // The renegotiation SCSV, in every hello, stands in for an empty
  // renegotiation_info: the server may answer it with one.
  answerable_extensions = {kExtRenegotiationInfo};
  if (offered_version >= 0x0302) {
    const auto extensions = HelloExtensions();
    Put16(body, extensions.size());
    body.insert(body.end(), extensions.begin(), extensions.end());
  }

  std::vector<std::uint8_t> message = {kClientHello};
  Put24(message, body.size());
  message.insert(message.end(), body.begin(), body.end());
  AppendTranscript(message);
  SendRecord(22, ssl3_enabled ? 0x0300 : 0x0301, message);
  ssl3.handshake_state = tls.handshake_state = kHsHelloSent;
  Trace(kTraceClientHello);
}

void TlsEngine::Impl::SendHandshake(std::uint8_t type, std::span<const std::uint8_t> body) {
  std::vector<std::uint8_t> message(4 + body.size());
  message[0] = type;
  message[1] = static_cast<std::uint8_t>(body.size() >> 16);
  message[2] = static_cast<std::uint8_t>(body.size() >> 8);
  message[3] = static_cast<std::uint8_t>(body.size());
  if (!body.empty()) std::memcpy(message.data() + 4, body.data(), body.size());
  if (!AppendTranscript(message)) throw TlsException("Handshake too large");
  SendRecord(22, RecordVersion(), message);
}

// ---------------------------------------------------------------- dispatch

void TlsEngine::Impl::FailLength() {
  if (IsSsl3()) {
    Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
  } else {
    Fail(AlertCode(AlertKind::kDecodeError), 50);
  }
}

void TlsEngine::Impl::FailUnexpected() {
  if (IsSsl3()) {
    Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
  } else {
    Fail(AlertCode(AlertKind::kUnexpectedMessage), 10);
  }
}

void TlsEngine::Impl::FailOutOfOrder() { Fail(AlertCode(AlertKind::kUnexpectedMessage), 10); }

void TlsEngine::Impl::FailWeakKey() {
  // SSL 3.0 has no insufficient_security alert; handshake_failure says the same.
  const int code = AlertCode(AlertKind::kInsufficientSecurity);
  Fail(IsSsl3() ? AlertCode(AlertKind::kHandshakeFailure) : code, code);
}

void TlsEngine::Impl::HandleHandshakeRecord(const std::uint8_t* data, std::size_t length) {
  if (handshake_partial.empty()) {
    HandleHandshakeMessages(data, length);
    return;
  }
  // A message began in an earlier record. While it is still incomplete the
  // piece is only appended: going over the whole again for every small
  // record would cost a hostile server nothing and us quadratic time.
  handshake_partial.insert(handshake_partial.end(), data, data + length);
  if (handshake_partial.size() >= 4) {
    const std::size_t stated = static_cast<std::size_t>(handshake_partial[1]) << 16 |
                               static_cast<std::size_t>(handshake_partial[2]) << 8 | handshake_partial[3];
    if (stated > TlsBufferSet::kTranscriptSize - transcript_length) {
      FailLength();
      return;
    }
    if (handshake_partial.size() - 4 < stated) return;
  } else {
    return;
  }
  std::vector<std::uint8_t> joined = std::move(handshake_partial);
  handshake_partial.clear();
  HandleHandshakeMessages(joined.data(), joined.size());
}

void TlsEngine::Impl::HandleHandshakeMessages(const std::uint8_t* data, std::size_t length) {
  const bool ssl3_side = IsSsl3();
  ProtocolSide& side = Side();
  std::size_t at = 0;
  while (at < length && !session_ended) {
    // TLS lets a server spread one message over several records (a long
    // certificate chain must be); SSL 3.0 messages stay within one record.
    // The wait is bounded by what the transcript can hold.
    const bool has_header = length - at >= 4;
    const std::size_t message_length =
        has_header ? static_cast<std::size_t>(data[at + 1]) << 16 | static_cast<std::size_t>(data[at + 2]) << 8 | data[at + 3]
                   : 0;
    const bool continues = !has_header || message_length > length - at - 4;
    if (continues && !ssl3_side) {
      if (message_length > TlsBufferSet::kTranscriptSize - transcript_length) {
        FailLength();
        return;
      }
      handshake_partial.assign(data + at, data + length);
      return;
    }
    if (!has_header) {
      FailLength();
      return;
    }
    const std::uint8_t type = data[at];
    if ((ssl3_side && message_length > kMaxSsl3Message) || message_length > length - at - 4) {
      FailLength();
      return;
    }
    const std::uint8_t* body = data + at + 4;
    const bool known = type == kServerHello || type == kCertificate || type == kServerKeyExchange ||
                       type == kCertificateRequest || type == kServerHelloDone || type == kFinished;
    if (!known) {
      FailUnexpected();
      return;
    }
    // Messages that cannot come now are refused before anything is taken
    // from them: ServerHello, exactly one Certificate (none in anonymous
    // suites), at most one ServerKeyExchange and CertificateRequest, in that
    // order, then ServerHelloDone; Finished only after change_cipher_spec.
    const KeyExchange exchange = side.suite != nullptr ? side.suite->key_exchange : KeyExchange::kRsa;
    const bool anonymous = exchange == KeyExchange::kDhAnon;
    const bool needs_key_exchange = exchange == KeyExchange::kDhe || exchange == KeyExchange::kEcdhe || anonymous;
    const bool open = side.server_hello_seen && !side.server_done_seen;
    const bool authenticated = side.certificate_seen || anonymous;
    bool in_order = false;
    switch (type) {
      case kServerHello: in_order = !side.server_hello_seen; break;
      case kCertificate:
        in_order = open && !anonymous && !side.certificate_seen && !side.key_exchange_seen && !side.request_seen;
        break;
      case kServerKeyExchange: in_order = open && authenticated && !side.key_exchange_seen && !side.request_seen; break;
      case kCertificateRequest: in_order = open && side.certificate_seen && !side.request_seen; break;
      case kServerHelloDone:
        in_order = open && authenticated && (side.key_exchange_seen || !needs_key_exchange);
        break;
      case kFinished: in_order = side.handshake_state == kHsServerChangeCipher; break;
    }
    if (!in_order) {
      FailOutOfOrder();
      return;
    }
    if (type != kFinished && !AppendTranscript({data + at, 4 + message_length})) {
      Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
      return;
    }
    bool ok = true;
    switch (type) {
      case kServerHello: ok = HandleServerHello(body, message_length); break;
      case kCertificate: ok = HandleCertificate(body, message_length); break;
      case kServerKeyExchange: ok = HandleServerKeyExchange(body, message_length); break;
      case kCertificateRequest: ok = HandleCertificateRequest(body, message_length); break;
      case kServerHelloDone: HandleServerHelloDone(); break;
      case kFinished: HandleFinished(body, message_length); break;
    }
    if (!ok) {
      if (!session_ended) FailLength();
      return;
    }
    at += 4 + message_length;
    if (!ssl3_side && (type == kFinished || aborted)) break;
  }
}

// ---------------------------------------------------------------- server flight

bool TlsEngine::Impl::HandleServerHello(const std::uint8_t* body, std::size_t length) {
  Trace(kTraceServerHello);
  ProtocolSide& side = Side();
  FieldReader in(body, length);
  std::size_t version = 0;
  const std::uint8_t* server_random = nullptr;
  std::span<const std::uint8_t> session_id;
  std::size_t code = 0;
  std::size_t compression = 0;
  if (!in.Number(2, &version) || !in.Take(32, &server_random) || !in.Vector(1, &session_id) ||
      !in.Number(2, &code) || !in.Byte(&compression)) {
    return false;
  }
  if (!IsSsl3() && (version < 0x0301 || version > offered_version)) {
    aborted = true;
    Fail(AlertCode(AlertKind::kIllegalParameter), 47);
    return true;
  }
  if (!IsSsl3()) tls_version = static_cast<std::uint16_t>(version);
  if (offered_version >= 0x0303 && (IsSsl3() || version < 0x0303) &&
      std::equal(std::begin(kDowngradeSentinel), std::end(kDowngradeSentinel), server_random + 24)) {
    Fail(AlertCode(AlertKind::kIllegalParameter), 47);
    return true;
  }
  std::copy(server_random, server_random + 32, side.server_random.begin());
  if (session_id.size() > 32) {
    if (!IsSsl3()) aborted = true;
    Fail(AlertCode(AlertKind::kIllegalParameter), 47);
    return true;
  }
  side.session_id.assign(session_id.begin(), session_id.end());
  if (in.Left() > 0) {
    std::span<const std::uint8_t> extensions;
    if (!in.Vector(2, &extensions) || in.Left() != 0) return false;
    if (!TakeServerExtensions(extensions)) return true;
  }
  const SuiteParams* suite = FindSuite(TableFor(IsSsl3()), static_cast<std::uint16_t>(code));
  if (suite == nullptr) {
    char text[64];
    std::snprintf(text, sizeof(text), "Unknown cipher suite code %d.%d.%d", 0, static_cast<int>(code >> 8),
                  static_cast<int>(code & 0xff));
    throw TlsException(text);
  }
  const bool offered = suite->catalogue >= kSuiteCatalogueSize
                           ? offered_version >= 0x0303
                           : suite_enabled[static_cast<std::size_t>(suite->catalogue)];
  if (!offered || suite->key_exchange == KeyExchange::kDhAnon || (suite->tls12_only && tls_version < 0x0303)) {
    // A suite the client did not offer (a disabled weak one, an anonymous one) is not taken.
    Fail(AlertCode(AlertKind::kIllegalParameter), 47);
    return true;
  }
  side.suite = suite;
  side.server_hello_seen = true;
  side.handshake_state = kHsServerHello;
  return true;
}

// A key whose certificate restricts its use may only do what the suite asks of
// it: decrypt the pre-master secret (RSA), sign the ephemeral parameters (DHE),
// or be the DH share itself. An export RSA suite may do either, since whether
// a temporary key is signed is only known later.
bool TlsEngine::Impl::KeyUsageFitsSuite(const Certificate& server) {
  const SuiteParams* suite = Side().suite;
  if (suite == nullptr) return true;
  switch (suite->key_exchange) {
    case KeyExchange::kRsa:
      if (KeyUsageAllowsKeyExchange(server, KeyExchangeKind::kRsa)) return true;
      return suite->exportable && KeyUsageAllowsKeyExchange(server, KeyExchangeKind::kSignedDiffieHellman);
    case KeyExchange::kDhe:
    case KeyExchange::kEcdhe:
      return KeyUsageAllowsKeyExchange(server, KeyExchangeKind::kSignedDiffieHellman);
    case KeyExchange::kDh:
      return KeyUsageAllowsKeyExchange(server, KeyExchangeKind::kStaticDiffieHellman);
    case KeyExchange::kDhAnon:
      return true;
  }
  return true;
}

int TlsEngine::Impl::AcceptChain(std::vector<Certificate> chain) {
  auto ask = [&](const Certificate& certificate) {
    int accept = 1;
    if (callbacks.onPeerCertificate) callbacks.onPeerCertificate(owner, certificate, &accept);
    return accept != 0;
  };
  for (std::size_t k = chain.size(); k-- > 1;) {
    if (!ask(chain[k])) return AlertCode(AlertKind::kBadCertificate);
  }
  if (chain.empty()) return AlertCode(AlertKind::kBadCertificate);
  const Certificate& server = chain[0];
  if (!ask(server)) return AlertCode(AlertKind::kBadCertificate);
  if (!KeyUsageFitsSuite(server)) return AlertCode(AlertKind::kUnsupportedCertificate);
  // The key always comes from the certificate that acceptance will check.
  const int kind = server.KeyKind();
  const SuiteParams* suite = Side().suite;
  if (suite != nullptr && suite->key_exchange == KeyExchange::kEcdhe) {
    // The suite names the kind of key that signs: no other may stand in.
    if (suite->ecdsa != (kind == kIdEcPublicKey) || (!suite->ecdsa && !IsRsaKeyKind(kind))) {
      return AlertCode(AlertKind::kUnsupportedCertificate);
    }
  }
  if (kind == kIdEcPublicKey) {
    certificate_ec = server.EcKey();
    if (!certificate_ec) return AlertCode(AlertKind::kUnsupportedCertificate);
  }
  if (IsRsaKeyKind(kind)) {
    if (auto key = server.RsaKey()) {
      if (key->modulus.BitLength() < KeyFloor(false)) return AlertCode(AlertKind::kInsufficientSecurity);
      certificate_rsa = *key;
      rsa_modulus = key->modulus;
      rsa_exponent = key->exponent;
      server_key_known = true;
    }
  } else if (kind == kDhPublicNumber) {
    std::uint8_t p[kMaxKeyBytes], g[kMaxKeyBytes], y[kMaxKeyBytes];
    std::size_t pl = sizeof(p), gl = sizeof(g), yl = sizeof(y);
    if (server.GetDhKey(p, &pl, g, &gl, y, &yl) == 1) {
      dh_p = BigNumber::FromBytes({p, pl});
      dh_g = BigNumber::FromBytes({g, gl});
      dh_ys = BigNumber::FromBytes({y, yl});
      if (dh_p.BitLength() < KeyFloor(false)) return AlertCode(AlertKind::kInsufficientSecurity);
      dh_known = true;
    }
  } else if (kind == kIdDsa || kind == kDsaWithSha1) {
    if (auto key = server.DsaKey()) certificate_dsa = *key;
  }
  server_chain = std::move(chain);
  return 0;
}

bool TlsEngine::Impl::HandleCertificate(const std::uint8_t* body, std::size_t length) {
  Trace(kTraceServerCertificate);
  ProtocolSide& side = Side();
  side.handshake_state = kHsCertificate;
  side.certificate_seen = true;
  FieldReader in(body, length);
  std::span<const std::uint8_t> list;
  if (!in.Vector(3, &list) || in.Left() != 0) return false;
  FieldReader entries(list.data(), list.size());
  std::vector<Certificate> chain;
  while (entries.Left() > 0) {
    std::span<const std::uint8_t> der;
    if (!entries.Vector(3, &der)) return false;
    chain.emplace_back();
    if (!chain.back().Parse(der)) {
      Fail(AlertCode(AlertKind::kBadCertificate), 42);
      return true;
    }
  }
  const int refusal = AcceptChain(std::move(chain));
  if (refusal == AlertCode(AlertKind::kInsufficientSecurity)) {
    FailWeakKey();
  } else if (refusal == AlertCode(AlertKind::kUnsupportedCertificate)) {
    Fail(refusal, refusal);
  } else if (refusal != 0) {
    Fail(AlertCode(AlertKind::kBadCertificate), 42);
  }
  return true;
}

bool TlsEngine::Impl::HandleServerKeyExchange(const std::uint8_t* body, std::size_t length) {
  Trace(kTraceServerKeyExchange);
  ProtocolSide& side = Side();
  const SuiteParams& suite = *side.suite;
  FieldReader in(body, length);
  std::span<const std::uint8_t> a, b, c;
  if (suite.key_exchange == KeyExchange::kEcdhe) return HandleEcdheKeyExchange(body, length);
  const bool dh = suite.key_exchange == KeyExchange::kDhe || suite.key_exchange == KeyExchange::kDhAnon;
  // A temporary RSA key belongs to export suites only: under any other suite
  // it would let a path attacker swap the certificate's key for a weak one.
  const bool rsa = suite.key_exchange == KeyExchange::kRsa && suite.exportable;
  side.key_exchange_seen = true;
  if (dh) {
    if (!in.Vector(2, &a) || !in.Vector(2, &b) || !in.Vector(2, &c)) return false;
  } else if (rsa) {
    if (!in.Vector(2, &a) || !in.Vector(2, &b)) return false;
  } else {
    FailOutOfOrder();
    return true;
  }
  const std::size_t params_length = in.Position();
  const int refuse_alert = IsSsl3() ? 40 : 47;
  for (auto value : {a, b, c}) {
    if (value.size() > kMaxKeyBytes) {
      Fail(refuse_alert, refuse_alert);
      return true;
    }
  }
  std::size_t scheme = 0;
  if (suite.key_exchange != KeyExchange::kDhAnon) {
    // The parameters must be signed by the key of the server's certificate:
    // otherwise anyone on the path could substitute their own.
    std::span<const std::uint8_t> signature;
    if (tls_version >= 0x0303 && !IsSsl3() && !in.Number(2, &scheme)) return false;
    if (!in.Vector(2, &signature)) return false;
    std::vector<std::uint8_t> signed_part(side.client_random.begin(), side.client_random.end());
    signed_part.insert(signed_part.end(), side.server_random.begin(), side.server_random.end());
    signed_part.insert(signed_part.end(), body, body + params_length);
    const bool good = VerifyKeyExchangeSignature(static_cast<std::uint16_t>(scheme), signed_part, signature);
    if (!good) {
      if (IsSsl3()) {
        Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
      } else {
        Fail(AlertCode(AlertKind::kDecryptError), 51);
      }
      return true;
    }
  }
  // TLS 1.2 servers have no reason for DH groups below 2048 bits.
  const std::size_t floor = dh && tls_version >= 0x0303 && !IsSsl3() ? 2048 : KeyFloor(suite.exportable);
  if (BigNumber::FromBytes(a).BitLength() < floor) {
    FailWeakKey();
    return true;
  }
  signature_scheme = static_cast<std::uint16_t>(scheme);
  if (dh) {
    group = "dh" + std::to_string(BigNumber::FromBytes(a).BitLength());
    dh_p = BigNumber::FromBytes(a);
    dh_g = BigNumber::FromBytes(b);
    dh_ys = BigNumber::FromBytes(c);
    dh_known = true;
  } else {
    rsa_modulus = BigNumber::FromBytes(a);
    rsa_exponent = BigNumber::FromBytes(b);
    server_key_known = true;
  }
  if (IsSsl3()) side.handshake_state = kHsKeyExchange;
  return true;
}

bool TlsEngine::Impl::HandleEcdheKeyExchange(const std::uint8_t* body, std::size_t length) {
  ProtocolSide& side = Side();
  side.key_exchange_seen = true;
  FieldReader in(body, length);
  std::size_t curve_type = 0;
  std::size_t named_group = 0;
  std::span<const std::uint8_t> point;
  if (!in.Byte(&curve_type) || !in.Number(2, &named_group) || !in.Vector(1, &point)) return false;
  const std::size_t params_length = in.Position();
  std::size_t scheme = 0;
  std::span<const std::uint8_t> signature;
  if (tls_version >= 0x0303 && !in.Number(2, &scheme)) return false;
  if (!in.Vector(2, &signature) || in.Left() != 0) return false;
  // Only a named group we offered, with a point of its exact form: an
  // X25519 key of 32 bytes, an uncompressed point on the curve.
  bool valid = curve_type == 3 && std::find(std::begin(kGroups), std::end(kGroups), named_group) != std::end(kGroups);
  if (valid && named_group == kX25519) {
    valid = point.size() == kX25519Size;
  } else if (valid) {
    valid = EcIsValidPoint(static_cast<NamedCurve>(named_group), point);
  }
  if (!valid) {
    Fail(AlertCode(AlertKind::kIllegalParameter), 47);
    return true;
  }
  std::vector<std::uint8_t> signed_part(side.client_random.begin(), side.client_random.end());
  signed_part.insert(signed_part.end(), side.server_random.begin(), side.server_random.end());
  signed_part.insert(signed_part.end(), body, body + params_length);
  if (!VerifyKeyExchangeSignature(static_cast<std::uint16_t>(scheme), signed_part, signature)) {
    Fail(AlertCode(AlertKind::kDecryptError), 51);
    return true;
  }
  signature_scheme = static_cast<std::uint16_t>(scheme);
  ecdhe_group = static_cast<std::uint16_t>(named_group);
  ecdhe_point.assign(point.begin(), point.end());
  group = GroupName(ecdhe_group);
  return true;
}

bool TlsEngine::Impl::EcdheClientShare(std::vector<std::uint8_t>* body) {
  ProtocolSide& side = Side();
  std::vector<std::uint8_t> share;
  if (ecdhe_group == kX25519) {
    std::uint8_t private_key[kX25519Size];
    std::uint8_t public_key[kX25519Size];
    std::uint8_t shared[kX25519Size];
    for (auto& b : private_key) b = random.NextByte();
    X25519PublicKey(private_key, public_key);
    const bool contributory = X25519(private_key, ecdhe_point.data(), shared);
    SecureWipe(private_key, sizeof(private_key));
    if (!contributory) {
      // A small-order point: the shared secret would be known to anyone.
      SecureWipe(shared, sizeof(shared));
      Fail(AlertCode(AlertKind::kIllegalParameter), 47);
      return false;
    }
    side.pre_master.assign(shared, shared + kX25519Size);
    SecureWipe(shared, sizeof(shared));
    share.assign(public_key, public_key + kX25519Size);
  } else {
    const auto curve = static_cast<NamedCurve>(ecdhe_group);
    auto private_key = EcGeneratePrivateKey(curve, random);
    share = EcPublicKey(curve, private_key);
    auto shared = EcdhSharedSecret(curve, private_key, ecdhe_point);
    SecureWipe(private_key);
    if (!shared) {
      Fail(AlertCode(AlertKind::kIllegalParameter), 47);
      return false;
    }
    side.pre_master = std::move(*shared);
  }
  body->push_back(static_cast<std::uint8_t>(share.size()));
  body->insert(body->end(), share.begin(), share.end());
  return true;
}

bool TlsEngine::Impl::VerifyKeyExchangeSignature(std::uint16_t scheme, std::span<const std::uint8_t> signed_part,
                                                 std::span<const std::uint8_t> signature) {
  if (scheme == 0) {
    if (certificate_rsa) {
      // MD5 | SHA-1 in a bare type 1 block.
      const auto md5_digest = Md5::Hash(signed_part);
      const auto sha_digest = Sha1::Hash(signed_part);
      std::vector<std::uint8_t> expected(md5_digest.begin(), md5_digest.end());
      expected.insert(expected.end(), sha_digest.begin(), sha_digest.end());
      const auto block = RsaRecoverSignatureBlock(*certificate_rsa, signature);
      if (!block) return false;
      const auto payload = ParsePkcs1Type1Block(*block);
      return payload && *payload == expected;
    }
    if (certificate_dsa) return DsaVerifyDer(*certificate_dsa, Sha1::Hash(signed_part), signature);
    if (certificate_ec) {
      const auto digest = Sha1::Hash(signed_part);
      return EcdsaVerify(certificate_ec->curve, certificate_ec->point, digest, signature);
    }
    return false;
  }
  // Only a scheme we offered, made by the kind of key the certificate holds.
  if (std::find(std::begin(kSignatureSchemes), std::end(kSignatureSchemes), scheme) == std::end(kSignatureSchemes)) {
    return false;
  }
  if ((scheme & 0xff) == 0x03) {
    // ecdsa_*: in TLS 1.2 the scheme names the hash, the certificate the curve.
    if (!certificate_ec) return false;
    const DigestKind hash = scheme == 0x0403 ? DigestKind::kSha256 : DigestKind::kSha384;
    return EcdsaVerify(certificate_ec->curve, certificate_ec->point, ComputeDigest(hash, signed_part), signature);
  }
  if (!certificate_rsa) return false;
  const bool pss = (scheme >> 8) == 0x08;
  const int hash_code = pss ? (scheme & 0xff) : scheme >> 8;  // 4 SHA-256, 5 SHA-384, 6 SHA-512
  DigestKind hash = DigestKind::kSha256;
  switch (hash_code) {
    case 4: hash = DigestKind::kSha256; break;
    case 5: hash = DigestKind::kSha384; break;
    case 6: hash = DigestKind::kSha512; break;
    default: return false;
  }
  const auto digest = ComputeDigest(hash, signed_part);
  if (pss) return RsaPssVerify(*certificate_rsa, signature, hash, digest);
  return RsaVerifyDigest(*certificate_rsa, signature, hash, digest);
}

bool TlsEngine::Impl::AskClientCertificate(int type, std::size_t key_room, bool ec_allowed) {
  std::vector<std::uint8_t> certificate(4096);
  std::vector<std::uint8_t> key(key_room);
  std::size_t certificate_length = certificate.size();
  std::size_t key_length = key.size();
  if (callbacks.onClientCertificate) {
    callbacks.onClientCertificate(owner, certificate.data(), &certificate_length, key.data(), &key_length, type);
  } else {
    certificate_length = 0;
  }
  bool usable = certificate_length > 0 && certificate_length <= certificate.size() && key_length > 0 &&
                key_length <= key.size();
  if (usable) {
    const std::span<const std::uint8_t> blob(key.data(), key_length);
    usable = DecodeRsaPrivateKeyBlob(blob).has_value() || (ec_allowed && DecodeEcPrivateKeyBlob(blob).has_value());
  }
  if (usable) {
    client_certificate.assign(certificate.begin(), certificate.begin() + static_cast<std::ptrdiff_t>(certificate_length));
    client_key.assign(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(key_length));
    requested_type = type;
  }
  SecureWipe(key);
  return usable;
}

void TlsEngine::Impl::DropClientCertificate() {
  SecureWipe(client_key);
  client_key.clear();
  client_certificate.clear();
  client_signature_scheme = 0;
}

namespace {

constexpr std::uint8_t kCertificateTypeEcdsaSign = 64;

bool Lists(std::span<const std::uint8_t> schemes, std::uint16_t scheme) {
  for (std::size_t k = 0; k + 1 < schemes.size(); k += 2) {
    if ((schemes[k] << 8 | schemes[k + 1]) == scheme) return true;
  }
  return false;
}

DigestKind HashOfScheme(std::uint16_t scheme) {
  const int code = (scheme >> 8) == 0x08 ? (scheme & 0xff) : scheme >> 8;  // 4 SHA-256, 5 SHA-384, 6 SHA-512
  return code == 4 ? DigestKind::kSha256 : code == 5 ? DigestKind::kSha384 : DigestKind::kSha512;
}

// PKCS #1 v1.5 first, which every server checks; PSS when the server lists
// only that. Either only when the modulus has room for it: the DigestInfo
// and 11 bytes of padding, or the hash and a salt as long.
std::uint16_t ChooseRsaScheme(std::size_t modulus_bits, std::span<const std::uint8_t> schemes) {
  const std::size_t modulus_bytes = (modulus_bits + 7) / 8;
  for (std::uint16_t scheme : {0x0401, 0x0501, 0x0601}) {
    const DigestKind kind = HashOfScheme(scheme);
    const std::size_t digest_info = DigestInfoPrefix(kind).size() + ComputeDigest(kind, {}).size();
    if (Lists(schemes, scheme) && modulus_bytes >= digest_info + 11) return scheme;
  }
  const std::size_t encoded_bytes = (modulus_bits - 1 + 7) / 8;
  for (std::uint16_t scheme : {0x0804, 0x0805, 0x0806}) {
    const std::size_t hash_bytes = scheme == 0x0804 ? 32 : scheme == 0x0805 ? 48 : 64;
    if (Lists(schemes, scheme) && encoded_bytes >= 2 * hash_bytes + 2) return scheme;
  }
  return 0;
}

// The hash that matches the key's curve first; TLS 1.2 lets either curve
// sign with the other hash when that is all the server takes.
std::uint16_t ChooseEcdsaScheme(NamedCurve curve, std::span<const std::uint8_t> schemes) {
  const std::uint16_t matching = curve == NamedCurve::kP256 ? 0x0403 : 0x0503;
  const std::uint16_t other = curve == NamedCurve::kP256 ? 0x0503 : 0x0403;
  if (Lists(schemes, matching)) return matching;
  return Lists(schemes, other) ? other : 0;
}


}  // namespace

bool TlsEngine::Impl::HandleCertificateRequest(const std::uint8_t* body, std::size_t length) {
  Trace(kTraceCertificateRequest);
  certificate_requested = true;
  Side().request_seen = true;
  FieldReader in(body, length);
  std::span<const std::uint8_t> types;
  std::span<const std::uint8_t> schemes;
  std::span<const std::uint8_t> authorities;
  const bool tls12 = !IsSsl3() && tls_version >= 0x0303;
  if (!in.Vector(1, &types) || (tls12 && !in.Vector(2, &schemes)) || !in.Vector(2, &authorities)) return false;
  if (IsSsl3()) {
    for (std::uint8_t type : types) {
      const int mapped = type >= 1 && type <= 4 ? type - 1 : 0;
      if (AskClientCertificate(mapped, 1024, false)) break;
    }
    return true;
  }
  client_signature_scheme = 0;
  if (tls12) {
    // Without a scheme any of our keys can sign with, no certificate is
    // offered (an empty Certificate answers).
    if (schemes.size() % 2 != 0) return false;
    const bool any = std::any_of(std::begin(kClientSignatureSchemes), std::end(kClientSignatureSchemes),
                                 [&](std::uint16_t scheme) { return Lists(schemes, scheme); });
    if (!any) return true;
  }
  if (!AskClientCertificate(0, 1024, true)) return true;
  // The owner's key decides which signature it can make; a certificate the
  // server would not take from us is not sent.
  if (const auto ec = DecodeEcPrivateKeyBlob(client_key)) {
    const bool ecdsa_taken = std::find(types.begin(), types.end(), kCertificateTypeEcdsaSign) != types.end();
    if (tls12) client_signature_scheme = ChooseEcdsaScheme(ec->curve, schemes);
    if (!ecdsa_taken || (tls12 && client_signature_scheme == 0)) DropClientCertificate();
  } else if (tls12) {
    const auto rsa = DecodeRsaPrivateKeyBlob(client_key);
    client_signature_scheme = ChooseRsaScheme(rsa->modulus.BitLength(), schemes);
    if (client_signature_scheme == 0) DropClientCertificate();
  }
  return true;
}

// ---------------------------------------------------------------- client flight

void TlsEngine::Impl::HandleServerHelloDone() {
  Trace(kTraceServerHelloDone);
  ProtocolSide& side = Side();
  side.server_done_seen = true;
  side.handshake_state = kHsClientFlight;
  bool certificate_sent = false;
  if (certificate_requested) {
    const bool have = !client_certificate.empty();
    if (IsSsl3() && !have) {
      SendAlert(1, AlertCode(AlertKind::kNoCertificate));
      SendAlert(1, AlertCode(AlertKind::kCloseNotify));
      ReportClosed(1);
      ReportError(120);
      established = false;
      ReportClosed(0);
      EndSession();
      return;
    }
    std::vector<std::uint8_t> list;
    if (have) {
      Put24(list, client_certificate.size() + 3);
      Put24(list, client_certificate.size());
      list.insert(list.end(), client_certificate.begin(), client_certificate.end());
    } else {
      Put24(list, 0);
    }
    SendHandshake(kCertificate, list);
    Trace(kTraceClientCertificate);
    certificate_sent = have;
  }
  if (!SendClientKeyExchange()) return;
  Trace(kTraceClientKeyExchange);
  if (IsSsl3()) {
    side.master = Ssl3MasterSecret(side.pre_master, side.client_random, side.server_random);
  } else if (extended_master) {
    side.master = DeriveExtendedMasterSecret(PrfOfConnection(), side.pre_master,
                                             HandshakeHashOf(PrfOfConnection(), TranscriptBytes()));
  } else {
    side.master = DeriveMasterSecret(PrfOfConnection(), side.pre_master, side.client_random, side.server_random);
  }
  SecureWipe(side.pre_master);
  if (certificate_sent) {
    if (!SendCertificateVerify()) return;
    Trace(kTraceCertificateVerify);
  }
  const std::uint8_t change_cipher_spec[1] = {1};
  SendRecord(20, RecordVersion(), change_cipher_spec);
  side.handshake_state = kHsChangeCipherSent;
  ActivateKeys();
  side.write_sequence = 0;
  side.write_active = true;

  std::vector<std::uint8_t> verify;
  const auto transcript = TranscriptBytes();
  if (IsSsl3()) {
    const auto hash = Ssl3HandshakeHash(transcript, "CLNT", side.master);
    verify.assign(hash.begin(), hash.end());
  } else {
    const auto hash = FinishedOf(PrfOfConnection(), side.master, "client finished", transcript);
    verify.assign(hash.begin(), hash.end());
  }
  SendHandshake(kFinished, verify);
  Trace(kTraceClientFinished);
  side.handshake_state = kHsFinishedSent;
}

bool TlsEngine::Impl::SendClientKeyExchange() {
  ProtocolSide& side = Side();
  const SuiteParams& suite = *side.suite;
  const bool ssl3_side = IsSsl3();
  const std::uint8_t zero_replacement = ssl3_side ? 17 : 176;
  std::vector<std::uint8_t> body;
  if (suite.key_exchange == KeyExchange::kEcdhe) {
    if (ecdhe_point.empty()) {
      Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
      return false;
    }
    if (!EcdheClientShare(&body)) return false;
  } else if (suite.key_exchange == KeyExchange::kRsa) {
    if (!server_key_known || rsa_modulus.IsZero()) {
      Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
      return false;
    }
    if (rsa_modulus.BitLength() < KeyFloor(suite.exportable)) {
      FailWeakKey();
      return false;
    }
    side.pre_master.assign(48, 0);
    side.pre_master[0] = 3;
    side.pre_master[1] = static_cast<std::uint8_t>(offered_version);  // the version the hello offered
    for (std::size_t k = 2; k < 48; ++k) side.pre_master[k] = NonZeroRandom(zero_replacement);
    static constexpr std::uint8_t kSsl3Lead[] = {0x00, 0x02, 0xFE, 0xDC};
    static constexpr std::uint8_t kSsl3Tail[] = {0x73, 0x27, 0x39, 0x00};
    static constexpr std::uint8_t kTlsLead[] = {0x00, 0x02, 0x12, 0x34};
    static constexpr std::uint8_t kTlsTail[] = {0xFF, 0x32, 0x70, 0x00};
    const std::size_t length = rsa_modulus.ByteLength();
    auto block = EncryptionBlock(length, ssl3_side ? std::span<const std::uint8_t>(kSsl3Lead) : kTlsLead,
                                 ssl3_side ? std::span<const std::uint8_t>(kSsl3Tail) : kTlsTail, side.pre_master,
                                 false);
    const auto encrypted =
        RsaPublicOperation(RsaPublicKey{rsa_modulus, rsa_exponent}, BigNumber::FromBytes(block)).ToBytes(length);
    SecureWipe(block);
    if (!ssl3_side) Put16(body, encrypted.size());
    body.insert(body.end(), encrypted.begin(), encrypted.end());
  } else {
    if (!dh_known || dh_p.IsZero() || !dh_p.IsOdd()) {
      Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
      return false;
    }
    if (dh_p.BitLength() < KeyFloor(suite.exportable)) {
      FailWeakKey();
      return false;
    }
    const BigNumber one(1);
    if (BigNumber::Compare(dh_ys, one) <= 0 || BigNumber::Compare(dh_ys, dh_p - one) >= 0) {
      const int alert = ssl3_side ? 40 : 47;
      Fail(alert, alert);
      return false;
    }
    std::vector<std::uint8_t> x(48);
    for (auto& b : x) b = NonZeroRandom(zero_replacement);
    BigNumber exponent = BigNumber::FromBytes(x);
    SecureWipe(x);
    const auto yc = DhPublicValue(dh_p, dh_g, exponent).ToMinimalBytes();
    // The shared value without leading zero bytes, as servers compute it.
    side.pre_master = DhSharedValue(dh_p, dh_ys, exponent).ToMinimalBytes();
    SecureWipe(&exponent, sizeof(exponent));
    Put16(body, yc.size());
    body.insert(body.end(), yc.begin(), yc.end());
  }
  SendHandshake(kClientKeyExchange, body);
  return true;
}

bool TlsEngine::Impl::SendCertificateVerify() {
  ProtocolSide& side = Side();
  std::vector<std::uint8_t> signature;
  bool signed_well = false;
  if (const auto ec = DecodeEcPrivateKeyBlob(client_key)) {
    signed_well = EcdsaCertificateVerify(*ec, &signature);
  } else {
    const auto key = DecodeRsaPrivateKeyBlob(client_key);
    if (client_signature_scheme >> 8 == 0x08) {
      // TLS 1.2 RSA-PSS over the transcript's hash.
      const DigestKind kind = HashOfScheme(client_signature_scheme);
      auto pss = RsaPssSign(*key, kind, ComputeDigest(kind, TranscriptBytes()), random);
      if (pss) signature = std::move(*pss);
      signed_well = pss.has_value();
    } else {
      std::vector<std::uint8_t> signed_value;
      if (client_signature_scheme != 0) {
        // TLS 1.2: a DigestInfo of the whole transcript under the chosen hash.
        const DigestKind kind = HashOfScheme(client_signature_scheme);
        const auto prefix = DigestInfoPrefix(kind);
        const auto digest = ComputeDigest(kind, TranscriptBytes());
        signed_value.assign(prefix.begin(), prefix.end());
        signed_value.insert(signed_value.end(), digest.begin(), digest.end());
      } else {
        const auto hash =
            IsSsl3() ? Ssl3HandshakeHash(TranscriptBytes(), "", side.master) : TlsHandshakeHash(TranscriptBytes());
        signed_value.assign(hash.begin(), hash.end());
      }
      const std::size_t length = key->modulus.ByteLength();
      auto block = Pkcs1Type1Block(signed_value, length);
      const auto result = RsaSignChecked(*key, BigNumber::FromBytes(block), random);
      if (result) signature = result->ToBytes(length);
      signed_well = result.has_value();
    }
  }
  if (!signed_well) {
    // A wrong signature could give the key away; send none.
    Fail(AlertCode(AlertKind::kInternalError), AlertCode(AlertKind::kInternalError));
    return false;
  }
  std::vector<std::uint8_t> body;
  if (client_signature_scheme != 0) Put16(body, client_signature_scheme);
  Put16(body, signature.size());
  body.insert(body.end(), signature.begin(), signature.end());
  SendHandshake(kCertificateVerify, body);
  return true;
}

bool TlsEngine::Impl::EcdsaCertificateVerify(const EcPrivateKey& key, std::vector<std::uint8_t>* signature) {
  // TLS 1.2 signs the transcript's hash under the chosen scheme; TLS 1.0 and
  // 1.1 its SHA-1 hash (the nonce then comes from HMAC-SHA-256).
  std::vector<std::uint8_t> digest;
  DigestKind nonce_hash = DigestKind::kSha256;
  if (client_signature_scheme != 0) {
    nonce_hash = HashOfScheme(client_signature_scheme);
    digest = ComputeDigest(nonce_hash, TranscriptBytes());
  } else {
    const auto sha1 = Sha1::Hash(TranscriptBytes());
    digest.assign(sha1.begin(), sha1.end());
  }
  *signature = EcdsaSign(key.curve, key.scalar, digest, nonce_hash);
  // Checked against the certificate's own key before it leaves: a key that
  // does not belong to the certificate, or a fault, shows here.
  Certificate certificate;
  if (!certificate.Parse(client_certificate)) return false;
  const auto public_key = certificate.EcKey();
  return public_key && public_key->curve == key.curve &&
         EcdsaVerify(key.curve, public_key->point, digest, *signature);
}

PrfKind TlsEngine::Impl::PrfOfConnection() {
  if (IsSsl3() || tls_version < 0x0303) return PrfKind::kTls10;
  return Side().suite != nullptr && Side().suite->sha384_prf ? PrfKind::kSha384 : PrfKind::kSha256;
}

void TlsEngine::Impl::ActivateKeys() {
  ProtocolSide& side = Side();
  const SuiteParams& suite = *side.suite;
  side.keys = IsSsl3() ? Ssl3KeyBlock(side.master, side.client_random, side.server_random, suite)
                       : DeriveKeyBlock(PrfOfConnection(), side.master, side.client_random, side.server_random, suite);
  if (suite.IsAead()) {
    side.encrypt = std::make_unique<TlsRecordProtection>(suite, side.keys.client_key, side.keys.client_iv);
    side.decrypt = std::make_unique<TlsRecordProtection>(suite, side.keys.server_key, side.keys.server_iv);
    return;
  }
  side.encrypt = std::make_unique<TlsRecordProtection>(
      IsSsl3(), suite, side.keys.client_mac,
      TlsBulkCipher::Create(suite.cipher, side.keys.client_key, side.keys.client_iv, true));
  side.decrypt = std::make_unique<TlsRecordProtection>(
      IsSsl3(), suite, side.keys.server_mac,
      TlsBulkCipher::Create(suite.cipher, side.keys.server_key, side.keys.server_iv, false));
  if (ExplicitIvs()) {
    side.encrypt->UseExplicitIv(&random);
    side.decrypt->UseExplicitIv(&random);
  }
}

void TlsEngine::Impl::HandleFinished(const std::uint8_t* body, std::size_t length) {
  ProtocolSide& side = Side();
  std::vector<std::uint8_t> expected;
  if (IsSsl3()) {
    const auto hash = Ssl3HandshakeHash(TranscriptBytes(), "SRVR", side.master);
    expected.assign(hash.begin(), hash.end());
  } else {
    const auto hash = FinishedOf(PrfOfConnection(), side.master, "server finished", TranscriptBytes());
    expected.assign(hash.begin(), hash.end());
  }
  std::uint8_t diff = length == expected.size() ? 0 : 1;
  for (std::size_t k = 0; k < std::min(length, expected.size()); ++k) diff |= body[k] ^ expected[k];
  if (diff != 0) {
    if (IsSsl3()) {
      Fail(AlertCode(AlertKind::kHandshakeFailure), 40);
    } else {
      Fail(AlertCode(AlertKind::kDecryptError), 51);
    }
    return;
  }
  Trace(kTraceServerFinished);
  side.handshake_state = kHsEstablished;
  established = true;
  notify_established = true;
}

}  // namespace security
