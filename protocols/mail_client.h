#pragma once
// MailClient: the connection under the SMTP and POP3 clients. One TCP
// connection with a receive buffer and a CR LF line reader, sends and waits
// under a time-out, optional tunnelling through a SOCKS 4, 4A or 5 proxy, and
// the place where the TLS engine goes between the socket and the protocol:
// right after connecting (implicit TLS) or later on the protocol's request
// (SetPlain(false) after STARTTLS / STLS).
//
// The bytes move through a ByteTransport (byte_transport.h): a non-blocking
// socket unless another is put in with UseTransport. No wait, the connect's
// included, lasts longer than the time-out; KeepWaiting decides whether to
// wait once more.
//
// One client is used by one thread at a time; every callback runs on that
// thread. The client owns its transport, its TLS engine (which shares the
// process-wide TlsBufferSet, so only one client may be between handshake and
// Close at a time) and its store of received certificates. The socket layer
// must be started (socket_layer.h) before Connect.
//
// Every operation returns 0 or a negative code (mail_result.h):
//  - socket codes 0x80C0xxxx from the error table (socket_errors.h) and the
//    client's own conditions: kSocketLayerNotStarted, kSocketZeroLengthSend,
//    kSocketLineTooLong, kSocketClosedByPeer (the client is then closed),
//    kSocketTimedOut, kSocketNotConnected (also: TLS not established);
//    a line longer than the maximum, or than kLineLimit without one, gives
//    kSocketLineTooLong;
//  - SOCKS codes 0x80C1xxxx from Connect (socks.h);
//  - TLS codes: 0x80C50000 | alert code, kTlsHandshakeFailed (0x80C5012A) for
//    a handshake or read that failed without a code, kTlsSessionEnded
//    (0x80C5012B) for a write that failed without one or a session the server
//    ended, kTlsPlaintextAtSwitch when bytes read in clear are still unread
//    as TLS starts, kTlsNoRandomSource when the system's random source fails
//    before a handshake.
// A failing Connect closes the socket.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/byte_transport.h"
#include "protocols/connection_status.h"
#include "protocols/mail_result.h"
#include "protocols/socks.h"
#include "security/certs/certificate_store.h"
#include "security/crypto/random_generator.h"
#include "security/tls/tls_engine.h"

namespace protocols {

// Called first on every status report. The handheld reset its sleep timer
// there while mail was moving; a desktop program that wants the same points
// it at its own inhibitor. Process-wide; empty by default.
void SetActivityHook(std::function<void()> hook);

// A client certificate for servers that ask for one: DER and the private key
// blob of security/rsa.h.
struct ClientCertificate {
  std::vector<std::uint8_t> der;
  std::vector<std::uint8_t> key_blob;
};

class MailClient {
 public:
  using StatusCallback = std::function<void(ConnectionStatus)>;
  // Asked when a server certificate fails the acceptance check (untrusted
  // chain or wrong name); true keeps the connection. Gets the client (host())
  // and the certificates the server sent, its own last.
  using CertificateAcceptance = std::function<bool(MailClient&, security::CertificateStore& received)>;
  // Fills a client certificate; false (or one that does not fit the engine's
  // buffers) sends none.
  using ClientCertificateProvider = std::function<bool(ClientCertificate*)>;
  // The TLS engine's trace events, passed through unchanged.
  using TlsNotification = std::function<void(int event, int argument)>;
  // Every TLS alert or engine error code as it is reported.
  using TlsAlertObserver = std::function<void(int code)>;
  // The end of a TLS session: orderly (a close_notify) or by a failure.
  using TlsClosedObserver = std::function<void(bool orderly)>;

  static constexpr std::size_t kReceiveChunk = 1024;
  static constexpr std::size_t kDrainChunk = 2048;
  // The longest line the reader accepts when no maximum is set.
  static constexpr std::size_t kLineLimit = 64 * 1024;

  MailClient();
  virtual ~MailClient();
  MailClient(const MailClient&) = delete;
  MailClient& operator=(const MailClient&) = delete;

  // Connects (0 when already connected): bind, resolve, connect, the SOCKS
  // exchange, and the TLS handshake unless plain.
  [[nodiscard]] virtual MailResult Connect(const std::string& host, std::uint16_t port);
  // Ends the connection (with the graceful drain when set); always succeeds.
  virtual void Close();
  // Up to min(size, kReceiveChunk) bytes from the socket, waiting at most the
  // time-out (then KeepWaiting decides); *count > 0 on success.
  [[nodiscard]] virtual MailResult RawReceive(std::span<std::uint8_t> buffer, std::size_t* count);
  // Adds received bytes (decrypted ones under TLS) to the receive buffer.
  [[nodiscard]] virtual MailResult Fill();
  // Buffered bytes first, else one Fill; *count > 0 on success.
  [[nodiscard]] virtual MailResult ReadSome(std::span<std::uint8_t> buffer, std::size_t* count);
  [[nodiscard]] virtual MailResult ReadExact(std::span<std::uint8_t> buffer);
  // The next line without its CR LF. A CR not followed by LF is part of the
  // line. With a maximum line length, a longer line fails (kSocketLineTooLong).
  [[nodiscard]] virtual MailResult ReadLine(std::string* line);
  // Sends some of the bytes (under TLS: all of them); kSocketZeroLengthSend
  // for none.
  [[nodiscard]] virtual MailResult SendSome(std::span<const std::uint8_t> bytes, std::size_t* sent);
  [[nodiscard]] virtual MailResult SendAll(std::span<const std::uint8_t> bytes);
  // text + CR LF; kSocketUnsafeLine, with nothing sent, when the text holds
  // CR, LF or NUL.
  [[nodiscard]] virtual MailResult SendLine(std::string_view text);
  // Asked when a wait ran out; true waits once more. The base stops.
  virtual bool KeepWaiting();
  // Runs the activity hook, then the status callback.
  virtual void OnStatus(ConnectionStatus status);

  // Puts another transport under the client (a closed client; the current
  // connection is closed). Null restores the real socket.
  void UseTransport(std::unique_ptr<ByteTransport> transport);

  // Settings; they take effect at the next Connect (TLS ones at the next handshake).
  void SetBindAddress(std::string address) { bind_address_ = std::move(address); }
  void SetGracefulClose(bool on) { graceful_close_ = on; }
  void SetSocks(SocksSettings settings) { socks_ = std::move(settings); }
  const SocksSettings& socks() const { return socks_; }
  // true: no TLS wanted. false: TLS on; on a connected client the handshake
  // runs at once and its result is returned. A failed one closes the client,
  // and TLS switched on that way lasts only for its connection: after Close
  // the client is plain again, so a new connection starts in clear. Bytes
  // still unread when TLS is switched on came in clear after the server's
  // go-ahead; the switch then fails with kTlsPlaintextAtSwitch.
  [[nodiscard]] MailResult SetPlain(bool plain);
  bool plain() const { return plain_; }
  // Allowed TLS versions (security::kProtocolSsl2 | kProtocolSsl3 | kProtocolTls1; default 7).
  void SetProtocolVersions(security::ProtocolMask mask) { versions_ = mask; }
  security::ProtocolMask protocol_versions() const { return versions_; }
  // The highest TLS version offered when TLS is allowed (0x0301-0x0303; default TLS 1.2).
  void SetHighestTlsVersion(std::uint16_t version) { highest_tls_ = version; }
  // Only suites of 128 bits and more when set; all 44 otherwise.
  void SetStrongCiphersOnly(bool on);
  // 0: the reader's own limit, kLineLimit.
  void SetMaxLineLength(std::uint16_t length) { max_line_length_ = length; }
  void SetTimeout(std::uint16_t seconds) { timeout_seconds_ = seconds; }
  std::uint16_t timeout() const { return timeout_seconds_; }
  void SetStatusCallback(StatusCallback callback) { status_callback_ = std::move(callback); }
  void SetCertificateAcceptance(CertificateAcceptance callback) { accept_certificate_ = std::move(callback); }
  void SetClientCertificateProvider(ClientCertificateProvider provider) { client_certificate_ = std::move(provider); }
  void SetTlsNotification(TlsNotification callback) { tls_notification_ = std::move(callback); }
  void SetTlsAlertObserver(TlsAlertObserver observer) { tls_alert_observer_ = std::move(observer); }
  void SetTlsClosedObserver(TlsClosedObserver observer) { tls_closed_observer_ = std::move(observer); }

  bool connected() const { return connected_; }
  // The host of the current or last connection (the target, not the proxy).
  const std::string& host() const { return host_; }
  // True while TLS carries the connection.
  bool tls_active() const { return tls_active_; }
  // The last TLS alert or error code (0x80C5xxxx), 0 when none.
  MailResult last_tls_code() const { return last_tls_code_; }
  // Dotted form of the socket's local address, or "(unknown)".
  std::string LocalAddress() const;
  // The name a reverse look-up gives for the local address, or "localhost".
  std::string LocalHostName() const;
  // The certificates the server sent in the last handshake, its own last.
  security::MemoryCertificateStore& received_certificates() { return received_; }
  // The engine, to show what a handshake negotiated.
  const security::TlsEngine& tls_engine() const { return *engine_; }
  // Where the engine's random generator takes its key from (the system's
  // source by default); `source` must outlive the client.
  void SetRandomSource(security::RandomSource& source);

 private:
  class EngineDepth;
  class ProxyChannel;
  friend class ProxyChannel;

  [[nodiscard]] MailResult Resolve(const std::string& host, std::uint32_t* address);
  // Waits under the time-out, asking KeepWaiting each time it runs out.
  [[nodiscard]] MailResult WaitFor(ByteTransport::Readiness what, bool report = true);
  int TimeoutMs() const { return static_cast<int>(timeout_seconds_) * 1000; }
  [[nodiscard]] MailResult Handshake();
  [[nodiscard]] MailResult FillFromEngine();
  [[nodiscard]] MailResult TlsFailure() const;
  void CloseSocketOnly();
  void EndTlsSession();
  void AfterEngineCall();
  security::TlsCallbacks MakeTlsCallbacks();
  void CompactBuffer();
  void ReleaseBuffer();

  // Receive buffer: bytes [read_pos_, buffer_.size()) are unread; the line
  // reader has searched [read_pos_, scan_pos_) for CR LF already.
  std::string buffer_;
  std::size_t read_pos_ = 0;
  std::size_t scan_pos_ = 0;
  bool connected_ = false;
  std::string bind_address_;
  bool graceful_close_ = false;
  std::unique_ptr<ByteTransport> transport_;
  std::string host_;
  SocksSettings socks_;
  bool plain_ = true;
  bool upgraded_ = false;  // TLS was switched on over an open connection
  std::unique_ptr<security::TlsEngine> engine_;
  security::ProtocolMask versions_ = 7;
  std::uint16_t highest_tls_ = 0x0303;
  bool strong_only_ = false;
  security::MemoryCertificateStore received_;
  bool tls_active_ = false;
  bool tls_error_ = false;
  bool in_engine_ = false;  // the engine itself is reading or writing the socket
  int engine_depth_ = 0;    // calls into the engine in progress
  bool ending_tls_ = false;
  MailResult last_tls_code_ = kMailOk;
  CertificateAcceptance accept_certificate_;
  ClientCertificateProvider client_certificate_;
  TlsNotification tls_notification_;
  TlsAlertObserver tls_alert_observer_;
  TlsClosedObserver tls_closed_observer_;
  StatusCallback status_callback_;
  std::uint16_t max_line_length_ = 0;
  std::uint16_t timeout_seconds_ = 60;
};

}  // namespace protocols
