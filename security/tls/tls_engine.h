#pragma once
// TlsEngine: the client side of SSL 2.0, SSL 3.0 and TLS 1.0 between a mail
// client and its socket.
//
// The engine owns no socket. It reads and writes raw bytes only through the
// TlsCallbacks its owner installs, and hands decrypted application data back
// through them; everything runs on the owner's thread, the callbacks nested
// inside Start, Pump, Write and Close.
//
// Calling order: construct (Create) once; before each connection
// SetVersionMask, the 44 SetSuiteEnabled calls (ApplyStrongOnlyFilter does
// them), SetCallbacks; Start; Pump until IsEstablished() or a failure was
// reported; then Write and Pump as the protocol needs; Close; destroy.
//
// Errors reach the owner three ways:
//  - onError(code) with an alert code; the mail library turns it into
//    TlsErrorFromAlert(code) = 0x80C50000 | code. The engine reports 0 (SSL 3.0
//    bad padding), 10 (unexpected message, or a server message out of its
//    place), 20 (bad MAC, bad padding in TLS, unknown record type), 40
//    (handshake failure), 42 (certificate refused), 47 (illegal parameter,
//    a suite not offered), 50 (TLS length error), 51 (TLS Finished or key
//    exchange signature mismatch), 71 (server RSA key or DH prime too short),
//    80 (the client certificate's signature failed its own check), 120 (SSL
//    3.0 client certificate requested and none available); any alert
//    received with its own code.
//  - onClosed(1): orderly end or warning alert (kTlsSessionEnded); only a
//    warning unrecognized_name during the handshake, after a hello that named
//    the server, is passed over;
//    onClosed(0): failure (kTlsHandshakeFailed unless a code was reported).
//  - Start and Pump throw TlsException with one of the engine's texts
//    ("Invalid MAC", "Unknown message 0A", "Server verify failed", "Unknown
//    cipher suite code 0.0.255", the SSL 2.0 ERROR texts, ...) for internal
//    failures; the session has then ended (IsEstablished() false) and
//    onClosed is not called. SetSuiteEnabled/IsSuiteEnabled throw it for an
//    index outside 0-43.
// The first failure sticks: after it the session is over and Pump, Write and
// Close move no more bytes until the next Start.

#include <cstddef>
#include <cstdint>
#include <string>
#include <functional>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <span>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "security/tls/tls_suites.h"

namespace security {

class Certificate;
class CertificateStore;
class RandomGenerator;
class TlsEngine;

// Bits of the protocol mask.
using ProtocolMask = int;
constexpr ProtocolMask kProtocolSsl2 = 1;
constexpr ProtocolMask kProtocolSsl3 = 2;
constexpr ProtocolMask kProtocolTls1 = 4;

// Result codes of the mail library's TLS family.
constexpr std::uint32_t kTlsErrorFamily = 0x80C50000u;
constexpr std::uint32_t kTlsHandshakeFailed = 0x80C5012Au;
constexpr std::uint32_t kTlsSessionEnded = 0x80C5012Bu;
constexpr std::uint32_t TlsErrorFromAlert(int code) { return kTlsErrorFamily | static_cast<std::uint32_t>(code); }

enum class ContentKind : int { kChangeCipherSpec = 0, kAlert = 1, kHandshake = 2, kApplicationData = 3, kOther = 4 };

// The engine's alert index; AlertCode gives the code on the wire.
enum class AlertKind : int {
  kCloseNotify = 0, kUnexpectedMessage, kBadRecordMac, kDecryptionFailed, kRecordOverflow,
  kDecompressionFailure, kHandshakeFailure, kNoCertificate, kBadCertificate, kUnsupportedCertificate,
  kCertificateRevoked, kCertificateExpired, kCertificateUnknown, kIllegalParameter, kUnknownCa,
  kAccessDenied, kDecodeError, kDecryptError, kExportRestriction, kProtocolVersion,
  kInsufficientSecurity, kInternalError, kUserCanceled, kNoRenegotiation, kUnsupportedExtension,
};
int AlertCode(AlertKind kind);

// Events passed to onTrace (argument in the comment where there is one).
enum TlsTraceEvent : int {
  kTraceClientHello = 1,
  kTraceClientCertificate = 2,
  kTraceClientKeyExchange = 3,
  kTraceCertificateVerify = 4,
  kTraceClientFinished = 5,
  kTraceServerHello = 6,
  kTraceServerCertificate = 7,
  kTraceServerKeyExchange = 8,
  kTraceCertificateRequest = 9,
  kTraceServerHelloDone = 10,
  kTraceServerFinished = 11,
  kTraceFatalAlertSent = 12,      // alert code, or -1 for a failure without an alert
  kTraceFatalAlertReceived = 13,  // alert code
  kTraceApplicationDataOut = 14,  // length
  kTraceApplicationDataIn = 15,   // length
  kTraceSessionOpened = 16,
  kTraceSessionClosed = 17,
  kTraceRecordReceived = 101,   // record length
  kTraceRecordDecrypted = 102,  // content length
};

class TlsException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Start found no system random source to key the connection with.
class TlsNoRandomSource : public TlsException {
 public:
  TlsNoRandomSource() : TlsException("No random source") {}
};

// The four buffers of a connection. An engine given a set shares it (the mail
// client passes ProcessWide()); only one engine may use a set between its
// Start and the end of its connection: a second engine's Start waits until
// the first one's connection has ended (Close, failure, or destruction). On
// the same thread that would never end, so Start throws TlsException("TLS
// buffers in use") instead.
class TlsBufferSet {
 public:
  static constexpr std::size_t kReceiveSize = 65536;
  static constexpr std::size_t kSendSize = 65536;
  static constexpr std::size_t kTranscriptSize = 65536;
  static constexpr std::size_t kScratchSize = 8192;

  TlsBufferSet() = default;
  TlsBufferSet(const TlsBufferSet&) = delete;
  TlsBufferSet& operator=(const TlsBufferSet&) = delete;
  // The set every mail client shares; its buffers live as long as the process.
  static TlsBufferSet& ProcessWide();

  // The buffers, created on first use.
  std::uint8_t* Receive();
  std::uint8_t* Send();
  std::uint8_t* Transcript();
  std::uint8_t* Scratch();

  void Acquire(const void* holder);
  void Release(const void* holder);
  bool IsHeldBy(const void* holder);

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  const void* holder_ = nullptr;
  std::thread::id holder_thread_;
  std::vector<std::uint8_t> receive_, send_, transcript_, scratch_;
};

// The nine entries a client installs. Every entry may be empty; an empty
// entry is skipped.
struct TlsCallbacks {
  // Decrypted application data, in order.
  std::function<void(TlsEngine&, const std::uint8_t* bytes, std::size_t length)> onData;
  // Read up to `maximum` raw bytes into `destination`, store the count; a
  // negative result or a count of 0 means no data.
  std::function<int(TlsEngine&, std::uint8_t* destination, std::size_t maximum, std::size_t* count)> onReceive;
  // Write raw bytes.
  std::function<void(TlsEngine&, const std::uint8_t* bytes, std::size_t length)> onSend;
  // The session ended: 1 orderly (or a warning alert), 0 failure.
  std::function<void(TlsEngine&, int flag)> onClosed;
  // The handshake completed.
  std::function<void(TlsEngine&)> onEstablished;
  // One server certificate; *accept is preset to 1, 0 refuses the chain.
  std::function<void(TlsEngine&, const Certificate& certificate, int* accept)> onPeerCertificate;
  // Fill a client certificate (DER) and its private key blob (the RSA blob of
  // rsa.h, or the P-256 / P-384 blob of ec_private_key.h, which only TLS
  // takes); the lengths hold the room on entry, 0 means none.
  std::function<void(TlsEngine&, std::uint8_t* certificate, std::size_t* certificate_length, std::uint8_t* key,
                     std::size_t* key_length, int certificate_type)>
      onClientCertificate;
  // A handshake or record error with its alert code.
  std::function<void(TlsEngine&, int code)> onError;
  // A diagnostic event (TlsTraceEvent) with its argument.
  std::function<void(TlsEngine&, int event, int argument)> onTrace;
};

class TlsEngine {
 public:
  // Create: all 44 suites enabled, mask 7, trace level 2, the random generator
  // seeded. With `buffers` the engine shares that set (which must outlive
  // it); without, it creates and later frees its own.
  explicit TlsEngine(TlsBufferSet* buffers = nullptr);
  static std::unique_ptr<TlsEngine> Create(TlsBufferSet* buffers = nullptr) {
    return std::make_unique<TlsEngine>(buffers);
  }
  // Destroy: ends a running connection without sending anything, wipes keys,
  // contexts and the client certificate, frees the buffers if they are its own.
  ~TlsEngine();
  void Destroy();
  TlsEngine(const TlsEngine&) = delete;
  TlsEngine& operator=(const TlsEngine&) = delete;

  void SetCallbacks(TlsCallbacks callbacks);
  void SetVersionMask(ProtocolMask mask);
  ProtocolMask VersionMask() const;
  // The highest TLS version the hello offers when kProtocolTls1 is in the
  // mask: 0x0301 (TLS 1.0), 0x0302 (TLS 1.1) or 0x0303 (TLS 1.2, the
  // default). The server may choose any of them down to TLS 1.0.
  // Throws std::invalid_argument for another value.
  void SetHighestTlsVersion(std::uint16_t version);
  // The host name the hello names in server_name, so that a server with
  // several names shows the right certificate. IP literals are never sent.
  void SetServerName(std::string host);
  void SetSuiteEnabled(int index, bool on);
  bool IsSuiteEnabled(int index) const;
  // SetSuiteEnabled for every catalogue index: on unless `strong_only` and
  // the identity has fewer than 128 bits.
  void ApplyStrongOnlyFilter(bool strong_only);
  void SetTraceLevel(int level);

  // Opens the session: sends the first flight for the version mask (a mask
  // of 0 throws TlsException). Every hello carries the renegotiation SCSV;
  // an SSL 2.0 hello goes out only when SSL 2.0 is the one version enabled,
  // else a ClientHello of the highest version offers the SSL 3.0 list (when
  // SSL 3.0 is enabled) or the TLS 1.0 list. Anonymous suites are never offered.
  void Start();
  // One step of reception: reads what the reader wants next and, once it is
  // all in, handles it.
  void Pump();
  // Sends application data in records of at most 4096 bytes; the caller's
  // bytes are not changed. False (nothing sent) when no session is established.
  [[nodiscard]] bool Write(const std::uint8_t* bytes, std::size_t length);
  // Ends the session (a close_notify alert for SSL 3.0 and TLS 1.0).
  void Close();

  bool IsEstablished() const;
  bool IsAborted() const;
  bool IsClosing() const;
  // Between Start and the end of the connection.
  bool IsSessionOpen() const;
  // 1 SSL 2.0, 2 SSL 3.0, 4 TLS 1.0.
  int Protocol() const;
  std::pair<int, int> ReaderState() const;
  std::size_t Wanted() const;
  std::size_t Received() const;
  // The negotiated suite once the handshake completed (SSL 3.0 / TLS 1.0),
  // or null; NegotiatedSsl2Kind likewise for SSL 2.0.
  const SuiteParams* NegotiatedSuite() const;
  // The TLS version the server chose (0x0300 for SSL 3.0, 0x0002 for SSL
  // 2.0) once the handshake completed, else 0.
  std::uint16_t NegotiatedVersion() const;
  // Whether the master secret covers the whole handshake (RFC 7627).
  bool UsedExtendedMasterSecret() const;
  // The TLS 1.2 signature scheme of the server's key exchange (e.g. 0x0804
  // rsa_pss_rsae_sha256), 0 when none was signed that way.
  std::uint16_t KeyExchangeSignatureScheme() const;
  // The group of an ephemeral key exchange ("x25519", "secp256r1",
  // "secp384r1", "dh2048", ...), empty for RSA key transport.
  std::string KeyExchangeGroup() const;
  const Ssl2Kind* NegotiatedSsl2Kind() const;
  // The session id the server returned (never reused).
  std::vector<std::uint8_t> SessionId() const;
  // The engine's generator, so that tests can make runs repeatable.
  RandomGenerator& Random();

  // The certificates of the server's one Certificate message (SSL 2.0: of
  // SERVER-HELLO), the server's own first: the one whose key this connection
  // uses and the one acceptance must check. Empty until it came; kept after
  // the connection ends, until the next Start.
  const std::vector<Certificate>& ServerChain() const;
  // ServerChain().front(), or null.
  const Certificate* ServerCertificate() const;
  // Makes `store` hold exactly ServerChain(), the far end first and the
  // server's own last, as onPeerCertificate passed them.
  void CopyServerChainTo(CertificateStore& store) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// "SSL 2.0", "SSL 3.0", "TLS 1.0".
const char* ProtocolName(int protocol);

}  // namespace security
