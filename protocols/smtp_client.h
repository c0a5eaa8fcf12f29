#pragma once
// SmtpClient: SMTP over a MailClient connection. Each command is one
// operation: it sends one line, reads the whole reply, checks the expected
// code and turns any other reply into a packed 0x80C3xxxx result
// (smtp_reply.h); the first line of that reply stays in last_response().
//
// Order the mail session uses: ConnectAndGreet; SetHeloDomain(LocalHostName());
// Ehlo (Helo when it fails); with explicit TLS StartTls, then Ehlo again;
// Authenticate when the account needs it; MailFrom with the message size;
// RcptTo for every recipient; Data; Quit.
//
// Results: 0; connection and TLS codes from MailClient, unchanged; packed
// reply codes; kSmtpMalformedReply, kSmtpSizeNotConfirmed, kSmtpNoStartTls,
// kSmtpNoMechanism; kSmtpUnsafeArgument for an address or HELO domain with a
// control character, kSaslUnsafeCredential for such a user name or password
// (nothing of the command is sent); SASL codes from a failed step (sasl_authenticator.h);
// MIME read errors of the message stream (the connection is then closed).
//
// Logging: every line sent and received goes to the log sink at level
// kLogLines (default mask 1). Responses during AUTH are written as
// kMaskedCredential unless the mask holds kLogCredentials.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/byte_stream.h"
#include "protocols/mail_client.h"
#include "protocols/protocol_log.h"
#include "protocols/sasl_authenticator.h"
#include "protocols/smtp_reply.h"

namespace protocols {

class SmtpClient : public MailClient {
 public:
  static constexpr std::size_t kDataChunk = 2048;
  // A reply longer than this many lines is refused (kSmtpMalformedReply)
  // rather than collected for ever.
  static constexpr std::size_t kMaxReplyLines = 1000;
  // Nor may one reply hold more than this many bytes in all: a thousand
  // lines near the line limit would otherwise be kept in memory together.
  static constexpr std::size_t kMaxReplyBytes = 1024 * 1024;
  // Servers may take their time over a whole message: the reply to the end
  // of DATA is awaited this long by default (RFC 5321 4.5.3.2.6).
  static constexpr std::uint16_t kDefaultDataEndTimeout = 600;

  SmtpClient() = default;

  void SetLogSink(ProtocolLogSink sink, unsigned mask = kLogLines) {
    log_sink_ = std::move(sink);
    log_mask_ = mask;
  }
  // Bytes of the message sent so far, after every piece of DATA.
  void SetProgressSink(std::function<void(std::uint64_t bytes)> sink) { progress_sink_ = std::move(sink); }
  // Asked before DATA when the message is larger than the server's SIZE;
  // without a callback the answer is yes.
  void SetSizeConfirmation(std::function<bool(std::uint64_t size)> callback) { confirm_size_ = std::move(callback); }
  // Seconds to wait for the reply to the end of the message; the general
  // time-out applies when it is longer.
  void SetDataEndTimeout(std::uint16_t seconds) { data_end_timeout_ = seconds; }
  std::uint16_t data_end_timeout() const { return data_end_timeout_; }
  // Only challenge-response mechanisms (CRAM-MD5, DIGEST-MD5, NTLM, MSN) when set.
  void SetSecureAuth(bool on) { secure_auth_ = on; }

  virtual void OnLog(LogDirection direction, std::string_view text);
  virtual void OnProgress(std::uint64_t bytes);
  virtual bool ConfirmSize(std::uint64_t size);

  // Connect, then the greeting (220).
  [[nodiscard]] MailResult ConnectAndGreet(const std::string& host, std::uint16_t port);
  void SetHeloDomain(std::string_view name);
  // "EHLO " + domain (250), then the capabilities of the reply replace the
  // previous ones.
  [[nodiscard]] MailResult Ehlo();
  // "HELO " + domain (250); a server spoken to with HELO announces nothing,
  // so the capabilities are forgotten.
  [[nodiscard]] MailResult Helo();
  // kSmtpNoStartTls without sending anything when STARTTLS was not announced;
  // else "STARTTLS" (220) and the TLS handshake. What was announced in clear
  // is forgotten at the 220: the caller runs EHLO again over TLS.
  [[nodiscard]] MailResult StartTls();
  // Tries the announced mechanisms: with secure authentication CRAM-MD5,
  // DIGEST-MD5, NTLM, MSN; otherwise LOGIN, PLAIN. 0 at the first success,
  // else the last attempt's result, kSmtpNoMechanism when none could be tried.
  [[nodiscard]] MailResult Authenticate(const std::string& user, const std::string& password);
  // One attempt with one mechanism, announced or not (diagnostics, tests).
  [[nodiscard]] MailResult AuthenticateWith(unsigned mechanism, const std::string& user, const std::string& password);
  // "MAIL FROM:<address>" [+ " SIZE=" + size when size > 0 and SIZE was announced] (250).
  [[nodiscard]] MailResult MailFrom(std::string_view address, std::uint64_t size);
  // "RCPT TO:<address>" (250, 251 or 252).
  [[nodiscard]] MailResult RcptTo(std::string_view address);
  // Sends the message from `start` to the end of `stream` (read in pieces of
  // kDataChunk, never whole): "DATA" (354), the dot-stuffed data, the end
  // mark (250). `size`, when larger, stands for the message length in the
  // SIZE check.
  [[nodiscard]] MailResult Data(const mime::ByteSource& stream, std::uint64_t size, std::uint64_t start = 0);
  // "QUIT" (221); the connection is closed whatever the reply.
  [[nodiscard]] MailResult Quit();

  unsigned server_mechanisms() const { return server_mechanisms_; }
  bool secure_auth() const { return secure_auth_; }
  const std::string& helo_domain() const { return helo_domain_; }
  const std::string& last_response() const { return last_response_; }
  unsigned capabilities() const { return capabilities_; }
  std::uint64_t max_size() const { return max_size_; }
  const std::vector<std::string>& reply_lines() const { return reply_lines_; }

 private:
  [[nodiscard]] MailResult Send(std::string_view line, bool credential = false);
  [[nodiscard]] MailResult ReadReply();
  // Succeeds when the first reply line starts with one of `codes`.
  [[nodiscard]] MailResult CheckReply(std::initializer_list<std::string_view> codes);
  void ForgetCapabilities();
  // kSmtpUnsafeArgument (and a note in the log) when `value` holds a control character.
  [[nodiscard]] MailResult RefuseUnsafe(std::string_view value);
  [[nodiscard]] MailResult Command(std::string_view command, std::initializer_list<std::string_view> codes);

  ProtocolLogSink log_sink_;
  unsigned log_mask_ = kLogLines;
  std::function<void(std::uint64_t)> progress_sink_;
  std::function<bool(std::uint64_t)> confirm_size_;
  unsigned server_mechanisms_ = 0;
  bool secure_auth_ = false;
  std::string helo_domain_;
  std::string last_response_;
  unsigned capabilities_ = 0;
  std::uint64_t max_size_ = 0;
  std::vector<std::string> reply_lines_;
  SaslAuthenticator sasl_;
  std::uint16_t data_end_timeout_ = kDefaultDataEndTimeout;
};

}  // namespace protocols
