// The SSL 2.0 side of TlsEngine: CLIENT-HELLO (plain or as the compatible
// hello of SSL 3.0 / TLS 1.0), the server's messages, CLIENT-MASTER-KEY,
// CLIENT-FINISHED, CLIENT-CERTIFICATE and the record protection.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "security/certs/certificate.h"
#include "security/crypto/digest.h"
#include "security/crypto/md5.h"
#include "security/crypto/secure_wipe.h"
#include "security/tls/tls_engine_internal.h"

namespace security {
namespace {

constexpr std::uint8_t kMsgError = 0;
constexpr std::uint8_t kMsgClientHello = 1;
constexpr std::uint8_t kMsgClientMasterKey = 2;
constexpr std::uint8_t kMsgClientFinished = 3;
constexpr std::uint8_t kMsgServerHello = 4;
constexpr std::uint8_t kMsgServerVerify = 5;
constexpr std::uint8_t kMsgServerFinished = 6;
constexpr std::uint8_t kMsgRequestCertificate = 7;
constexpr std::uint8_t kMsgClientCertificate = 8;

constexpr std::size_t kMacSize = 16;

void Put16(std::vector<std::uint8_t>& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

std::size_t Get16(const std::uint8_t* p) { return static_cast<std::size_t>(p[0]) << 8 | p[1]; }

[[noreturn]] void ThrowUnknownMessage(std::uint8_t type) {
  char text[32];
  std::snprintf(text, sizeof(text), "Unknown message %02X", type);
  throw TlsException(text);
}

}  // namespace

void TlsEngine::Impl::SendSsl2Hello(std::uint16_t version, const std::vector<std::uint16_t>& tls_codes) {
  for (auto& b : ssl2.challenge) b = random.NextByte();
  std::vector<std::uint8_t> cipher_kinds;
  for (const auto& kind : Ssl2KindTable()) {
    if (!suite_enabled[static_cast<std::size_t>(kind.catalogue)]) continue;
    cipher_kinds.push_back(static_cast<std::uint8_t>(kind.code >> 16));
    cipher_kinds.push_back(static_cast<std::uint8_t>(kind.code >> 8));
    cipher_kinds.push_back(static_cast<std::uint8_t>(kind.code));
  }
  // The renegotiation SCSV (0x00FF) travels in every hello.
  std::vector<std::uint16_t> codes = tls_codes;
  codes.push_back(0x00FF);
  for (auto code : codes) {
    cipher_kinds.push_back(0);
    cipher_kinds.push_back(static_cast<std::uint8_t>(code >> 8));
    cipher_kinds.push_back(static_cast<std::uint8_t>(code));
  }
  std::vector<std::uint8_t> body = {kMsgClientHello};
  Put16(body, version);
  Put16(body, cipher_kinds.size());
  Put16(body, 0);  // no session id
  Put16(body, ssl2.challenge.size());
  body.insert(body.end(), cipher_kinds.begin(), cipher_kinds.end());
  body.insert(body.end(), ssl2.challenge.begin(), ssl2.challenge.end());
  if (version != 0x0002) {
    // The compatible hello: its body opens the transcript, and the challenge,
    // right-aligned in 32 bytes, is the client random.
    AppendTranscript(body);
    std::array<std::uint8_t, 32> client_random{};
    std::copy(ssl2.challenge.begin(), ssl2.challenge.end(), client_random.begin() + 16);
    ssl3.client_random = tls.client_random = client_random;
    ssl3.handshake_state = tls.handshake_state = kHsHelloSent;
  }
  SendSsl2Record(body);
  ssl2.state = kSsl2HelloSent;
  Trace(kTraceClientHello);
}

void TlsEngine::Impl::SendSsl2Record(std::span<const std::uint8_t> content) {
  std::uint8_t* out = buffers->Send();
  std::size_t header = 2;
  std::size_t length = content.size();
  if (!ssl2.cipher_active) {
    if (content.size() > 0x7fff) throw TlsException("Record too large");
    std::memcpy(out + 2, content.data(), content.size());
    out[0] = static_cast<std::uint8_t>(0x80 | (length >> 8));
    out[1] = static_cast<std::uint8_t>(length);
  } else {
    const std::size_t block = ssl2.encrypt->BlockSize();
    const std::size_t padding = block == 0 ? 0 : 8 - content.size() % 8;  // 1 to 8
    std::uint8_t* scratch = buffers->Scratch();
    length = kMacSize + content.size() + padding;
    if (length > TlsBufferSet::kScratchSize || length > 0x3fff) throw TlsException("Record too large");
    std::memcpy(scratch + kMacSize, content.data(), content.size());
    for (std::size_t k = 0; k < padding; ++k) scratch[kMacSize + content.size() + k] = random.NextByte();
    const auto mac =
        Ssl2Mac(ssl2.keys.client_write_key, {scratch + kMacSize, content.size() + padding}, ssl2.write_sequence);
    std::memcpy(scratch, mac.data(), kMacSize);
    ssl2.encrypt->Crypt(scratch, scratch, length);
    if (block == 0) {
      out[0] = static_cast<std::uint8_t>(0x80 | (length >> 8));
      out[1] = static_cast<std::uint8_t>(length);
    } else {
      header = 3;
      out[0] = static_cast<std::uint8_t>((length >> 8) & 0x3f);
      out[1] = static_cast<std::uint8_t>(length);
      out[2] = static_cast<std::uint8_t>(padding);
    }
    std::memcpy(out + header, scratch, length);
  }
  ++ssl2.write_sequence;
  if (callbacks.onSend) callbacks.onSend(owner, out, header + length);
}

void TlsEngine::Impl::SendSsl2Error(int code) {
  const std::uint8_t message[3] = {kMsgError, static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
  SendSsl2Record(message);
}

void TlsEngine::Impl::HandleSsl2Record(std::uint8_t* record, std::size_t length, std::size_t padding) {
  Trace(kTraceRecordReceived, static_cast<int>(length));
  const std::uint32_t sequence = ssl2.read_sequence++;
  const std::uint8_t* content = record;
  std::size_t content_length = length;
  if (ssl2.cipher_active) {
    const std::size_t block = ssl2.decrypt->BlockSize();
    // Lengths that cannot hold the MAC and the padding are refused before
    // anything is decrypted or hashed.
    if (length < kMacSize + padding || (block != 0 && length % block != 0) || (block == 0 && padding != 0)) {
      throw TlsException("Invalid MAC");
    }
    ssl2.decrypt->Crypt(record, record, length);
    const auto expected = Ssl2Mac(ssl2.keys.client_read_key, {record + kMacSize, length - kMacSize}, sequence);
    std::uint8_t diff = 0;
    for (std::size_t k = 0; k < kMacSize; ++k) diff |= expected[k] ^ record[k];
    if (diff != 0) throw TlsException("Invalid MAC");
    content = record + kMacSize;
    content_length = length - kMacSize - padding;
    Trace(kTraceRecordDecrypted, static_cast<int>(content_length));
  } else if (padding > length) {
    throw TlsException("Invalid MAC");
  }
  if (ssl2.state == kSsl2Established) {
    Trace(kTraceApplicationDataIn, static_cast<int>(content_length));
    if (content_length != 0 && callbacks.onData) callbacks.onData(owner, content, content_length);
    return;
  }
  HandleSsl2Message(content, content_length);
}

void TlsEngine::Impl::HandleSsl2Message(const std::uint8_t* message, std::size_t length) {
  if (length == 0) ThrowUnknownMessage(0);
  const std::uint8_t type = message[0];
  switch (type) {
    case kMsgError: {
      const int code = length >= 3 ? static_cast<int>(Get16(message + 1)) : -1;
      switch (code) {
        case 1: throw TlsException("No cipher");
        case 2: throw TlsException("No certificate");
        case 4: throw TlsException("Bad certificate");
        case 6: throw TlsException("Unsupported certificate type");
        default: throw TlsException("Unknown error");
      }
    }
    case kMsgServerHello:
      if (ssl2.state != kSsl2HelloSent) ThrowUnknownMessage(type);
      HandleSsl2ServerHello(message, length);
      return;
    case kMsgServerVerify:
      if (ssl2.state != kSsl2MasterKeySent && ssl2.state != kSsl2FinishedSent) ThrowUnknownMessage(type);
      Trace(kTraceServerKeyExchange);
      if (length - 1 != ssl2.challenge.size() ||
          !std::equal(ssl2.challenge.begin(), ssl2.challenge.end(), message + 1)) {
        throw TlsException("Server verify failed");
      }
      if (ssl2.state == kSsl2MasterKeySent) {
        std::vector<std::uint8_t> finished = {kMsgClientFinished};
        finished.insert(finished.end(), ssl2.connection_id.begin(), ssl2.connection_id.end());
        SendSsl2Record(finished);
        Trace(kTraceClientFinished);
        ssl2.state = kSsl2FinishedSent;
      }
      return;
    case kMsgRequestCertificate:
      if (ssl2.state != 4 && ssl2.state != kSsl2FinishedSent) ThrowUnknownMessage(type);
      HandleSsl2RequestCertificate(message, length);
      return;
    case kMsgServerFinished:
      // Only after SERVER-VERIFY proved that the server holds the key.
      if (ssl2.state != kSsl2FinishedSent) ThrowUnknownMessage(type);
      Trace(kTraceServerFinished);
      ssl2.session_id.assign(message + 1, message + length);
      ssl2.state = kSsl2Established;
      established = true;
      notify_established = true;
      return;
    default:
      ThrowUnknownMessage(type);
  }
}

void TlsEngine::Impl::HandleSsl2ServerHello(const std::uint8_t* message, std::size_t length) {
  Trace(kTraceServerHello);
  if (length < 11) {
    Fail(-1, 40);
    return;
  }
  const std::size_t certificate_length = Get16(message + 5);
  const std::size_t specs_length = Get16(message + 7);
  const std::size_t id_length = Get16(message + 9);
  if (11 + certificate_length + specs_length + id_length > length || specs_length % 3 != 0 || id_length > 32) {
    Fail(-1, 40);
    return;
  }
  const std::uint8_t* certificate_der = message + 11;
  const std::uint8_t* cipher_kinds = certificate_der + certificate_length;
  const std::uint8_t* connection_id = cipher_kinds + specs_length;

  std::vector<Certificate> chain(1);
  const int refusal = chain[0].Parse({certificate_der, certificate_length}) ? AcceptChain(std::move(chain))
                                                                             : AlertCode(AlertKind::kBadCertificate);
  if (refusal == AlertCode(AlertKind::kInsufficientSecurity)) {
    SendSsl2Error(4);
    Fail(-1, refusal);
    return;
  }
  if (refusal != 0) {
    SendSsl2Error(4);
    Fail(-1, 42);
    return;
  }
  if (!server_key_known) {
    SendSsl2Error(6);
    Fail(-1, 40);
    return;
  }
  if (specs_length == 0) {
    ReportError(40);
    aborted = true;
    established = false;
    ReportClosed(0);
    EndSession();
    return;
  }
  const std::uint32_t code = static_cast<std::uint32_t>(cipher_kinds[0]) << 16 | cipher_kinds[1] << 8 | cipher_kinds[2];
  const Ssl2Kind* kind = FindSsl2Kind(code);
  if (kind == nullptr) {
    char text[64];
    std::snprintf(text, sizeof(text), "Unknown cipher suite code %d.%d.%d", cipher_kinds[0], cipher_kinds[1], cipher_kinds[2]);
    throw TlsException(text);
  }
  if (!suite_enabled[static_cast<std::size_t>(kind->catalogue)]) {
    SendSsl2Error(1);
    aborted = true;
    Fail(-1, 40);
    return;
  }
  ssl2.kind = kind;
  ssl2.server_certificate.assign(certificate_der, certificate_der + certificate_length);
  ssl2.connection_id.assign(connection_id, connection_id + id_length);
  ssl2.state = kSsl2ServerHello;
  SendSsl2MasterKey();
}

void TlsEngine::Impl::SendSsl2MasterKey() {
  const Ssl2Kind& kind = *ssl2.kind;
  ssl2.master_key.resize(kind.master_key_size);
  for (auto& b : ssl2.master_key) b = static_cast<std::uint8_t>(random.NextByte() + 1);
  const std::span<const std::uint8_t> master(ssl2.master_key);
  const auto clear = master.first(kind.clear_size);
  const auto secret = master.last(kind.secret_size);
  static constexpr std::uint8_t kLead[] = {0x00, 0x02, 0xE9, 0xE9};
  static constexpr std::uint8_t kExportLead[] = {0x00, 0x02, 0x45, 0x21};
  static constexpr std::uint8_t kTail[] = {0x00};
  // When this client could have spoken SSL 3.0 or TLS 1.0, the last eight
  // padding bytes say so (0x03 each), and a server that can too knows that
  // someone on the path rolled the connection back to SSL 2.0.
  static constexpr std::uint8_t kRollbackTail[] = {0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x00};
  const bool newer_enabled = (version_mask & (kProtocolSsl3 | kProtocolTls1)) != 0;
  const std::size_t modulus_length = rsa_modulus.ByteLength();
  auto block = EncryptionBlock(modulus_length, kind.exportable ? std::span<const std::uint8_t>(kExportLead) : kLead,
                               newer_enabled ? std::span<const std::uint8_t>(kRollbackTail) : kTail, secret, true);
  const auto encrypted = RsaPublicOperation(RsaPublicKey{rsa_modulus, rsa_exponent}, BigNumber::FromBytes(block))
                             .ToBytes(modulus_length);
  SecureWipe(block);

  std::vector<std::uint8_t> body = {kMsgClientMasterKey, static_cast<std::uint8_t>(kind.code >> 16),
                                    static_cast<std::uint8_t>(kind.code >> 8), static_cast<std::uint8_t>(kind.code)};
  Put16(body, clear.size());
  Put16(body, encrypted.size());
  Put16(body, kind.key_arg_size);
  body.insert(body.end(), clear.begin(), clear.end());
  body.insert(body.end(), encrypted.begin(), encrypted.end());
  const std::vector<std::uint8_t> key_argument(kind.key_arg_size, 0);  // the IV of both directions
  body.insert(body.end(), key_argument.begin(), key_argument.end());
  SendSsl2Record(body);
  Trace(kTraceClientKeyExchange);
  ssl2.state = kSsl2MasterKeySent;

  ssl2.keys = Ssl2KeyMaterial(ssl2.master_key, ssl2.challenge, ssl2.connection_id, kind.cipher);
  ssl2.encrypt = TlsBulkCipher::Create(kind.cipher, ssl2.keys.client_write_key, key_argument, true);
  ssl2.decrypt = TlsBulkCipher::Create(kind.cipher, ssl2.keys.client_read_key, key_argument, false);
  ssl2.cipher_active = true;
}

void TlsEngine::Impl::HandleSsl2RequestCertificate(const std::uint8_t* message, std::size_t length) {
  Trace(kTraceCertificateRequest);
  certificate_requested = true;
  if (length < 2 || message[1] != 1) {
    SendSsl2Error(6);
    Fail(-1, -1);
    return;
  }
  ssl2.certificate_challenge.assign(message + 2, message + length);
  if (!AskClientCertificate(0, 2048, false)) {
    SendSsl2Error(2);
    Fail(-1, -1);
    return;
  }
  // The response signs the session keys, the challenge and the server's
  // certificate: MD5 over them in a PKCS #1 signature block.
  Md5 md5;
  md5.Update(ssl2.keys.client_read_key);
  md5.Update(ssl2.keys.client_write_key);
  md5.Update(ssl2.certificate_challenge);
  md5.Update(ssl2.server_certificate);
  const auto digest = md5.Final();
  const auto key = DecodeRsaPrivateKeyBlob(client_key);
  const auto prefix = DigestInfoPrefix(DigestKind::kMd5);
  std::vector<std::uint8_t> payload(prefix.begin(), prefix.end());
  payload.insert(payload.end(), digest.begin(), digest.end());
  const std::size_t modulus_length = key->modulus.ByteLength();
  const auto signature = RsaSignChecked(*key, BigNumber::FromBytes(Pkcs1Type1Block(payload, modulus_length)), random);
  if (!signature) {
    // A wrong signature could give the key away; send none.
    SendSsl2Error(2);
    Fail(-1, AlertCode(AlertKind::kInternalError));
    return;
  }
  const auto response = signature->ToBytes(modulus_length);
  std::vector<std::uint8_t> body = {kMsgClientCertificate, 1};
  Put16(body, client_certificate.size());
  Put16(body, response.size());
  body.insert(body.end(), client_certificate.begin(), client_certificate.end());
  body.insert(body.end(), response.begin(), response.end());
  SendSsl2Record(body);
  Trace(kTraceClientCertificate);
}

}  // namespace security
