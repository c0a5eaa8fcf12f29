#pragma once
// The state of a TlsEngine and the steps shared by its record layer
// (tls_engine.cpp), its SSL 3.0 / TLS 1.0 handshake (tls_handshake.cpp) and its
// SSL 2.0 handshake (ssl2_handshake.cpp).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "security/certs/certificate.h"
#include "security/crypto/big_number.h"
#include "security/crypto/dsa.h"
#include "security/crypto/ec_private_key.h"
#include "security/crypto/random_generator.h"
#include "security/crypto/rsa.h"
#include "security/tls/tls_engine.h"
#include "security/tls/tls_key_derivation.h"
#include "security/tls/tls_record_protection.h"

namespace security {

// Handshake states of SSL 3.0 / TLS 1.0.
enum : int {
  kHsIdle = 0,
  kHsHelloSent = 1,
  kHsServerHello = 2,
  kHsCertificate = 3,
  kHsKeyExchange = 4,
  kHsClientFlight = 13,
  kHsChangeCipherSent = 8,
  kHsFinishedSent = 9,
  kHsServerChangeCipher = 10,
  kHsEstablished = 12,
};

// SSL 2.0 states.
enum : int {
  kSsl2Idle = 0,
  kSsl2HelloSent = 1,
  kSsl2ServerHello = 2,
  kSsl2MasterKeySent = 3,
  kSsl2FinishedSent = 5,
  kSsl2Established = 7,
};

// One of the SSL 3.0 and TLS 1.0 sides.
struct ProtocolSide {
  int handshake_state = kHsIdle;
  const SuiteParams* suite = nullptr;
  std::array<std::uint8_t, 32> client_random{};
  std::array<std::uint8_t, 32> server_random{};
  std::vector<std::uint8_t> pre_master;
  MasterSecret master{};
  TlsKeys keys;
  std::unique_ptr<TlsRecordProtection> encrypt;  // client write
  std::unique_ptr<TlsRecordProtection> decrypt;  // server write
  std::uint64_t write_sequence = 0;
  std::uint64_t read_sequence = 0;
  std::vector<std::uint8_t> session_id;
  bool write_active = false;
  // Order guards: which server messages have been seen.
  bool server_hello_seen = false;
  bool certificate_seen = false;
  bool key_exchange_seen = false;
  bool request_seen = false;
  bool server_done_seen = false;
  void WipeSecrets();
  void Reset();
};

struct Ssl2Side {
  int state = kSsl2Idle;
  const Ssl2Kind* kind = nullptr;
  std::array<std::uint8_t, 16> challenge{};
  std::vector<std::uint8_t> connection_id;
  std::vector<std::uint8_t> master_key;
  Ssl2SessionKeys keys;
  std::unique_ptr<TlsBulkCipher> encrypt;
  std::unique_ptr<TlsBulkCipher> decrypt;
  std::uint32_t write_sequence = 0;
  std::uint32_t read_sequence = 0;
  std::vector<std::uint8_t> session_id;
  std::vector<std::uint8_t> server_certificate;  // DER, signed over by a client certificate
  std::vector<std::uint8_t> certificate_challenge;
  bool cipher_active = false;
  void WipeSecrets();
  void Reset();
};

struct TlsEngine::Impl {
  explicit Impl(TlsEngine& owner, TlsBufferSet* shared);
  ~Impl();

  TlsEngine& owner;
  TlsCallbacks callbacks;
  TlsBufferSet* buffers;
  std::unique_ptr<TlsBufferSet> own_buffers;

  // Connection flags.
  bool established = false;
  bool notify_established = false;
  bool busy = false;
  bool aborted = false;
  bool closing = false;
  bool server_key_known = false;
  bool started = false;
  bool session_ended = true;

  ProtocolMask version_mask = 7;
  int protocol = kProtocolTls1;
  std::uint8_t reader_major = 3;
  std::uint8_t reader_minor = 1;
  std::array<bool, kSuiteCatalogueSize> suite_enabled{};
  // TLS versions as wire numbers: the highest one the hello may offer, the
  // one it offered and the one the server chose (0x0301 until then).
  std::uint16_t highest_tls_version = 0x0303;
  std::uint16_t offered_version = 0x0301;
  std::uint16_t tls_version = 0x0301;
  // Host name for server_name; empty, or an IP literal, sends none.
  std::string server_name;
  // Extensions of our hello that the ServerHello may answer.
  std::vector<std::uint16_t> answerable_extensions;
  bool extended_master = false;
  std::uint16_t signature_scheme = 0;  // of a verified TLS 1.2 ServerKeyExchange
  std::string group;                   // of an ephemeral key exchange

  // Receive state.
  std::size_t wanted = 0;
  std::size_t received = 0;
  int header_phase = 0;
  std::size_t record_length = 0;
  ContentKind record_kind = ContentKind::kOther;
  std::uint16_t record_version = 0;
  std::size_t record_padding = 0;

  ProtocolSide ssl3;
  ProtocolSide tls;
  Ssl2Side ssl2;

  // Server key material.
  BigNumber rsa_modulus;
  BigNumber rsa_exponent;
  BigNumber dh_p;
  BigNumber dh_g;
  BigNumber dh_ys;
  bool dh_known = false;
  std::optional<RsaPublicKey> certificate_rsa;  // signs ServerKeyExchange
  std::optional<DsaPublicKey> certificate_dsa;
  std::optional<Certificate::EcKeyInfo> certificate_ec;
  // ECDHE: the server's group (a NamedGroup number) and point.
  std::uint16_t ecdhe_group = 0;
  std::vector<std::uint8_t> ecdhe_point;
  // The one chain the server sent, its own certificate first.
  std::vector<Certificate> server_chain;

  // Client authentication.
  std::vector<std::uint8_t> client_certificate;  // DER, up to 4096 bytes
  std::vector<std::uint8_t> client_key;          // RSA or EC key blob, up to 1024 bytes
  bool certificate_requested = false;
  // TLS 1.2: the scheme our CertificateVerify uses, from the server's list.
  std::uint16_t client_signature_scheme = 0;
  int requested_type = 0;

  int trace_level = 2;
  RandomGenerator random;
  std::size_t transcript_length = 0;
  // The start of a TLS handshake message that continues in the next record.
  std::vector<std::uint8_t> handshake_partial;

  // --- record layer (tls_engine.cpp) ---
  ProtocolSide& Side() { return protocol == kProtocolSsl3 ? ssl3 : tls; }
  bool IsSsl3() const { return protocol == kProtocolSsl3; }
  void Trace(int event, int argument = 0);
  void ReportError(int code);
  void ReportClosed(int flag);
  void EndSession();
  void ReleaseBuffersIfEnded();
  // Clears every key, secret and shared buffer of the connection that ended.
  void WipeSecrets();
  // Sends the alert (if given and possible), reports the code (if given),
  // clears established, onClosed(0), ends the session.
  void Fail(int alert, int code);
  void SendAlert(int level, int description);
  void SendRecord(std::uint8_t type, std::uint16_t version, std::span<const std::uint8_t> content);
  std::uint16_t RecordVersion() const { return protocol == kProtocolSsl3 ? 0x0300 : tls_version; }
  // The PRF of the negotiated version and suite.
  PrfKind PrfOfConnection();
  // TLS 1.1 and later send each CBC record's IV with it.
  bool ExplicitIvs() const { return protocol == kProtocolTls1 && tls_version >= 0x0302; }
  void RunReader();
  void ReadSsl3Header();
  void HandleRecord(std::uint8_t* fragment, std::size_t length);
  void HandleAlert(const std::uint8_t* content, std::size_t length);
  bool AppendTranscript(std::span<const std::uint8_t> bytes);
  std::span<const std::uint8_t> TranscriptBytes() { return {buffers->Transcript(), transcript_length}; }
  std::uint8_t NonZeroRandom(std::uint8_t replacement);
  // A PKCS #1 type 2 block of `length` bytes: `lead` (0x00 0x02 and two fixed
  // padding bytes), random padding, `tail` (fixed bytes ending in the 0x00
  // separator), then `secret`.
  std::vector<std::uint8_t> EncryptionBlock(std::size_t length, std::span<const std::uint8_t> lead,
                                            std::span<const std::uint8_t> tail, std::span<const std::uint8_t> secret,
                                            bool ssl2_padding);

  // --- SSL 3.0 / TLS 1.0 handshake (tls_handshake.cpp) ---
  void SendFirstFlight();
  std::vector<std::uint16_t> OfferedCodes(std::span<const SuiteParams> table, bool tls12) const;
  std::vector<std::uint8_t> HelloExtensions();
  // False (after failing the connection) when the ServerHello extensions are
  // malformed, repeated, unasked for or say the wrong thing.
  bool TakeServerExtensions(std::span<const std::uint8_t> extensions);
  // Whether `signature` over the key exchange parameters is good: under
  // TLS 1.2 `scheme` names how it was made, before that it is 0.
  bool VerifyKeyExchangeSignature(std::uint16_t scheme, std::span<const std::uint8_t> signed_part,
                                  std::span<const std::uint8_t> signature);
  void SendHandshake(std::uint8_t type, std::span<const std::uint8_t> body);
  void HandleHandshakeRecord(const std::uint8_t* data, std::size_t length);
  void HandleHandshakeMessages(const std::uint8_t* data, std::size_t length);
  void FailLength();
  void FailUnexpected();
  void FailOutOfOrder();
  // A server key or prime below `KeyFloor`: insufficient_security.
  void FailWeakKey();
  // The fewest bits a server's RSA modulus or DH prime may have: an export
  // suite's temporary key may be as short as the export rules allow.
  std::size_t KeyFloor(bool export_key) const { return export_key ? 512 : 1024; }
  bool HandleServerHello(const std::uint8_t* body, std::size_t length);
  bool HandleCertificate(const std::uint8_t* body, std::size_t length);
  bool HandleServerKeyExchange(const std::uint8_t* body, std::size_t length);
  bool HandleEcdheKeyExchange(const std::uint8_t* body, std::size_t length);
  // The client's ECDHE share into `body` and the shared secret into the
  // pre-master secret; false after failing the connection.
  bool EcdheClientShare(std::vector<std::uint8_t>* body);
  bool HandleCertificateRequest(const std::uint8_t* body, std::size_t length);
  void HandleServerHelloDone();
  void HandleFinished(const std::uint8_t* body, std::size_t length);
  // Passes the chain to onPeerCertificate (the far end first, the server's own
  // last), keeps it and takes the server's key from its first certificate.
  // 0 when taken, else the alert code to fail with (42 refused, 43 a key
  // usage the suite cannot use, 71 weak key).
  int AcceptChain(std::vector<Certificate> chain);
  // Whether the server certificate's keyUsage allows what the suite does with its key.
  bool KeyUsageFitsSuite(const Certificate& server);
  // Asks the owner for a client certificate and keeps it with its key blob
  // when both fit and the key is RSA (or EC, where `ec_allowed`).
  bool AskClientCertificate(int type, std::size_t key_room, bool ec_allowed);
  void DropClientCertificate();
  bool SendClientKeyExchange();
  bool SendCertificateVerify();
  // The ECDSA signature of the CertificateVerify; false when it fails its
  // check against the client certificate's key.
  bool EcdsaCertificateVerify(const EcPrivateKey& key, std::vector<std::uint8_t>* signature);
  void ActivateKeys();

  // --- SSL 2.0 (ssl2_handshake.cpp) ---
  void SendSsl2Hello(std::uint16_t version, const std::vector<std::uint16_t>& tls_codes);
  void SendSsl2Record(std::span<const std::uint8_t> content);
  void SendSsl2Error(int code);
  void HandleSsl2Record(std::uint8_t* record, std::size_t length, std::size_t padding);
  void HandleSsl2Message(const std::uint8_t* message, std::size_t length);
  void HandleSsl2ServerHello(const std::uint8_t* message, std::size_t length);
  void SendSsl2MasterKey();
  void HandleSsl2RequestCertificate(const std::uint8_t* message, std::size_t length);
};

}  // namespace security
