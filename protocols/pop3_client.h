#pragma once
// Pop3Client: POP3 over a MailClient connection. The mail session uses it to
// log in to the incoming server (also for SMTP after POP3) and to list,
// fetch and delete messages. Every reply starts with a status line, "+"
// success or "-" failure; list and message replies go on with lines up to
// a line ".", whose stuffed leading dots are removed before they are passed on.
//
// Results: 0; connection and TLS codes from MailClient, unchanged;
// kPop3GreetingRefused, kPop3BadReply, kPop3LoginRefused, kPop3StatRefused,
// kPop3ListRefused, kPop3DeleRefused, kPop3UidlRefused, kPop3RetrRefused,
// kPop3NotSupported, kPop3UnsafeArgument for a user name or password with a
// control character, checked before any login command is sent
// (pop3_response.h); SASL codes from a failed step. A refused command leaves its status
// line in last_response(); a successful one clears it.
//
// Logging: a line goes to the sink when its level is in the mask (default
// 77 = lines, LIST, UIDL, CAPA). Credentials (USER, PASS, APOP, AUTH
// responses) are written as kMaskedCredential unless kLogCredentials is set.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "protocols/mail_client.h"
#include "protocols/pop3_response.h"
#include "protocols/protocol_log.h"
#include "protocols/sasl_authenticator.h"

namespace protocols {

// POP3 log levels beyond kLogLines and kLogCredentials.
inline constexpr unsigned kLogListLines = 4;
inline constexpr unsigned kLogUidlLines = 8;
inline constexpr unsigned kLogMessageLines = 32;
inline constexpr unsigned kLogCapaLines = 64;
inline constexpr unsigned kLogAuthListLines = 128;
inline constexpr unsigned kPop3DefaultLogMask = 77;

class Pop3Client : public MailClient {
 public:
  Pop3Client() = default;

  void SetLogSink(ProtocolLogSink sink, unsigned mask = kPop3DefaultLogMask) {
    log_sink_ = std::move(sink);
    log_mask_ = mask;
  }
  // Each line of a RETR or TOP answer, unstuffed, without its CR LF.
  void SetMessageLineCallback(std::function<void(std::string_view line)> callback) {
    message_line_ = std::move(callback);
  }
  void SetUidlCallback(std::function<void(std::uint32_t number, std::string_view unique_id)> callback) {
    uidl_entry_ = std::move(callback);
  }
  void SetListCallback(std::function<void(std::uint32_t number, std::uint64_t size)> callback) {
    list_entry_ = std::move(callback);
  }
  void SetCredentials(std::string user, std::string password) {
    user_ = std::move(user);
    password_ = std::move(password);
  }
  // The account's secure-authentication setting: no clear-text password then,
  // unless TLS protects the connection.
  void SetSecureAuth(bool on) { secure_auth_ = on; }

  virtual void OnLog(unsigned level, LogDirection direction, std::string_view text);

  // Connect, the greeting (and its APOP timestamp), CAPA, and the AUTH list
  // when SASL is announced. A "-" to CAPA or to AUTH is not an error.
  [[nodiscard]] MailResult ConnectAndGreet(const std::string& host, std::uint16_t port);
  // "STLS" when announced (else kPop3NotSupported); a "+" runs the handshake,
  // then CAPA (and the AUTH list) again: what was announced in clear is
  // forgotten at the "+".
  [[nodiscard]] MailResult StartTls();
  // With secure authentication: announced SASL mechanisms CRAM-MD5,
  // DIGEST-MD5, NTLM, MSN, then APOP when announced; without TLS that is
  // all. Without it: announced LOGIN, then PLAIN. Then USER/PASS when
  // announced. 0 at the first success, else the last result (at least
  // kPop3LoginRefused).
  [[nodiscard]] MailResult Login();
  [[nodiscard]] MailResult Stat(std::uint32_t* count, std::uint64_t* size);
  [[nodiscard]] MailResult List();
  [[nodiscard]] MailResult Uidl();
  [[nodiscard]] MailResult Retr(std::uint32_t number);
  [[nodiscard]] MailResult Top(std::uint32_t number, std::uint32_t lines);
  [[nodiscard]] MailResult Dele(std::uint32_t number);
  // "QUIT", one line read whatever it says, Close; always 0.
  [[nodiscard]] MailResult Quit();

  // The login methods on their own.
  [[nodiscard]] MailResult AuthenticateSasl(unsigned mechanism);
  [[nodiscard]] MailResult Apop();
  [[nodiscard]] MailResult UserPass();

  const std::string& last_response() const { return last_response_; }
  unsigned capabilities() const { return capabilities_; }
  unsigned server_mechanisms() const { return server_mechanisms_; }
  const std::string& apop_timestamp() const { return apop_timestamp_; }
  bool secure_auth() const { return secure_auth_; }

 private:
  // Sends a command line, written to the log as `shown` (the line itself when empty).
  [[nodiscard]] MailResult Send(std::string_view line, std::string_view shown = {});
  // Reads one status line: 0 for "+", `refused` for "-", kPop3BadReply otherwise.
  [[nodiscard]] MailResult ReadStatus(MailResult refused, std::string* line = nullptr);
  [[nodiscard]] MailResult Command(std::string_view command, MailResult refused, std::string_view shown = {});
  // Reads the lines up to "." and hands each (unstuffed) to `each`.
  template <typename Each>
  [[nodiscard]] MailResult ReadMultiLine(unsigned level, Each each);
  [[nodiscard]] MailResult RunCapa();
  [[nodiscard]] MailResult RunAuthList();
  // kPop3UnsafeArgument (and a note in the log) when the user name or
  // password holds a control character.
  [[nodiscard]] MailResult RefuseUnsafeCredentials();
  bool Shows(unsigned level) const { return (log_mask_ & level) != 0; }
  std::string Masked(std::string_view prefix) const;

  ProtocolLogSink log_sink_;
  unsigned log_mask_ = kPop3DefaultLogMask;
  std::function<void(std::string_view)> message_line_;
  std::function<void(std::uint32_t, std::string_view)> uidl_entry_;
  std::function<void(std::uint32_t, std::uint64_t)> list_entry_;
  std::string last_response_;
  std::string password_;
  std::string user_;
  unsigned server_mechanisms_ = 0;
  bool secure_auth_ = false;
  unsigned capabilities_ = kPop3DefaultCapabilities;
  SaslAuthenticator sasl_;
  std::string apop_timestamp_;
};

}  // namespace protocols
