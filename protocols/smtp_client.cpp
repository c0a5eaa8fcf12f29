#include "protocols/smtp_client.h"

#include <algorithm>
#include <array>

#include "protocols/command_text.h"
#include "protocols/dot_stuffer.h"

namespace protocols {
namespace {

std::string Bracketed(std::string_view address) {
  if (!address.empty() && address.front() == '<') return std::string(address);
  return "<" + std::string(address) + ">";
}

// A dead connection or TLS session ends the search for a mechanism.
bool IsConnectionFailure(MailResult r) { return Family(r) == 0xC0 || Family(r) == 0xC5; }

}  // namespace

void SmtpClient::OnLog(LogDirection direction, std::string_view text) {
  if ((log_mask_ & kLogLines) && log_sink_) log_sink_(direction, LoggableLine(text));
}

void SmtpClient::OnProgress(std::uint64_t bytes) {
  if (progress_sink_) progress_sink_(bytes);
}

bool SmtpClient::ConfirmSize(std::uint64_t size) { return confirm_size_ ? confirm_size_(size) : true; }

MailResult SmtpClient::Send(std::string_view line, bool credential) {
  const MailResult r = SendLine(line);
  OnLog(LogDirection::kSent, credential && !(log_mask_ & kLogCredentials) ? kMaskedCredential : line);
  return r;
}

MailResult SmtpClient::ReadReply() {
  reply_lines_.clear();
  std::size_t total = 0;
  for (;;) {
    std::string line;
    if (MailResult r = ReadLine(&line); Failed(r)) return r;
    OnLog(LogDirection::kReceived, line);
    total += line.size();
    if (reply_lines_.size() == kMaxReplyLines || total > kMaxReplyBytes) {
      last_response_ = reply_lines_.empty() ? line.substr(0, 512) : reply_lines_.front();
      return kSmtpMalformedReply;
    }
    reply_lines_.push_back(std::move(line));
    if (!IsSmtpContinuation(reply_lines_.back())) return kMailOk;
  }
}

MailResult SmtpClient::CheckReply(std::initializer_list<std::string_view> codes) {
  const std::string& first = reply_lines_.front();
  for (std::string_view code : codes) {
    if (first.size() >= 3 && std::string_view(first).substr(0, 3) == code) {
      last_response_.clear();
      return kMailOk;
    }
  }
  last_response_ = first;
  return PackSmtpReply(first);
}

MailResult SmtpClient::Command(std::string_view command, std::initializer_list<std::string_view> codes) {
  if (MailResult r = Send(command); Failed(r)) return r;
  if (MailResult r = ReadReply(); Failed(r)) return r;
  return CheckReply(codes);
}

MailResult SmtpClient::ConnectAndGreet(const std::string& host, std::uint16_t port) {
  if (MailResult r = Connect(host, port); Failed(r)) return r;
  if (MailResult r = ReadReply(); Failed(r)) return r;
  return CheckReply({"220"});
}

void SmtpClient::SetHeloDomain(std::string_view name) { helo_domain_ = SanitizeHeloDomain(name, LocalAddress()); }

MailResult SmtpClient::RefuseUnsafe(std::string_view value) {
  if (!HasControlCharacter(value)) return kMailOk;
  OnLog(LogDirection::kNote, "A command argument holds a control character; the command was not sent");
  return kSmtpUnsafeArgument;
}

MailResult SmtpClient::Ehlo() {
  if (MailResult r = RefuseUnsafe(helo_domain_); Failed(r)) return r;
  if (MailResult r = Command("EHLO " + helo_domain_, {"250"}); Failed(r)) return r;
  // What was announced before (before TLS, say) no longer counts.
  const EhloCapabilities found = ParseEhloCapabilities(reply_lines_);
  capabilities_ = found.capabilities;
  server_mechanisms_ = found.mechanisms;
  max_size_ = found.max_size;
  return kMailOk;
}

void SmtpClient::ForgetCapabilities() {
  capabilities_ = 0;
  server_mechanisms_ = 0;
  max_size_ = 0;
}

MailResult SmtpClient::Helo() {
  ForgetCapabilities();
  if (MailResult r = RefuseUnsafe(helo_domain_); Failed(r)) return r;
  return Command("HELO " + helo_domain_, {"250"});
}

MailResult SmtpClient::StartTls() {
  if (!(capabilities_ & kSmtpStartTls)) return kSmtpNoStartTls;
  if (MailResult r = Command("STARTTLS", {"220"}); Failed(r)) return r;
  // Anyone on the path could have written the list read in clear.
  ForgetCapabilities();
  return SetPlain(false);
}

MailResult SmtpClient::AuthenticateWith(unsigned mechanism, const std::string& user, const std::string& password) {
  if (MailResult r = sasl_.Init(mechanism, user, password); Failed(r)) return r;
  if (MailResult r = Send(std::string("AUTH ") + sasl_.Name()); Failed(r)) return r;
  for (;;) {
    if (MailResult r = ReadReply(); Failed(r)) return r;
    const std::string& first = reply_lines_.front();
    const bool challenge = first.rfind("334", 0) == 0;
    // 235 ends the exchange whenever it comes: the server is satisfied, and
    // what the mechanism would still send (the password) must not follow.
    // Any other code but a challenge ends it as a failure.
    if (!challenge) return CheckReply({"235"});
    // A challenge after the last response makes the step fail, and the
    // exchange is cancelled rather than left waiting for an answer.
    std::string response;
    const MailResult step = sasl_.Step(first.size() > 4 ? std::string_view(first).substr(4) : std::string_view(),
                                       &response);
    if (Failed(step)) {
      // Cancel the exchange; the server answers it with one reply.
      if (MailResult r = Send("*"); Failed(r)) return r;
      if (MailResult r = ReadReply(); Failed(r)) return r;
      last_response_ = reply_lines_.front();
      return step;
    }
    if (MailResult r = Send(response, true); Failed(r)) return r;
  }
}

MailResult SmtpClient::Authenticate(const std::string& user, const std::string& password) {
  static constexpr std::array<unsigned, 4> kSecure = {kSaslCramMd5, kSaslDigestMd5, kSaslNtlm, kSaslMsn};
  static constexpr std::array<unsigned, 2> kClear = {kSaslLogin, kSaslPlain};
  const std::span<const unsigned> order = secure_auth_ ? std::span<const unsigned>(kSecure)
                                                       : std::span<const unsigned>(kClear);
  MailResult result = kSmtpNoMechanism;
  for (unsigned mechanism : order) {
    if (!(server_mechanisms_ & mechanism)) continue;
    result = AuthenticateWith(mechanism, user, password);
    // Credentials no mechanism may carry fail every attempt alike.
    if (!Failed(result) || IsConnectionFailure(result) || result == kSaslUnsafeCredential) return result;
  }
  return result;
}

MailResult SmtpClient::MailFrom(std::string_view address, std::uint64_t size) {
  if (MailResult r = RefuseUnsafe(address); Failed(r)) return r;
  std::string command = "MAIL FROM:" + Bracketed(address);
  if (size != 0 && (capabilities_ & kSmtpSize)) command += " SIZE=" + std::to_string(size);
  return Command(command, {"250"});
}

MailResult SmtpClient::RcptTo(std::string_view address) {
  if (MailResult r = RefuseUnsafe(address); Failed(r)) return r;
  return Command("RCPT TO:" + Bracketed(address), {"250", "251", "252"});
}

MailResult SmtpClient::Data(const mime::ByteSource& stream, std::uint64_t size, std::uint64_t start) {
  const std::uint64_t available = stream.Size() > start ? stream.Size() - start : 0;
  const std::uint64_t length = std::max(available, size);
  if (max_size_ != 0 && length > max_size_ && !ConfirmSize(length)) return kSmtpSizeNotConfirmed;
  if (MailResult r = Command("DATA", {"354"}); Failed(r)) return r;

  DotStuffer stuffer;
  std::array<std::uint8_t, kDataChunk> piece;
  std::string out;
  std::uint64_t sent = 0;
  while (sent < available) {
    std::size_t got = 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), available - sent));
    const mime::MimeResult read = stream.ReadAt(start + sent, std::span(piece.data(), want), &got);
    if (mime::Failed(read) || got == 0) {
      // The server would take whatever follows as part of the message; only
      // dropping the connection keeps a truncated message from going out.
      Close();
      return mime::Failed(read) ? read : mime::kMimeErrorRead;
    }
    out.clear();
    stuffer.Write(std::span(piece.data(), got), &out);
    if (MailResult r = SendAll(mime::AsBytes(out)); Failed(r)) return r;
    sent += got;
    OnProgress(sent);
  }
  out.clear();
  stuffer.Finish(&out);
  if (MailResult r = SendAll(mime::AsBytes(out)); Failed(r)) return r;
  OnLog(LogDirection::kSent, ".");
  const std::uint16_t general = timeout();
  SetTimeout(std::max(general, data_end_timeout_));
  const MailResult r = ReadReply();
  SetTimeout(general);
  if (Failed(r)) return r;
  return CheckReply({"250"});
}

MailResult SmtpClient::Quit() {
  MailResult result = Send("QUIT");
  if (!Failed(result)) result = ReadReply();
  if (!Failed(result)) result = CheckReply({"221"});
  Close();
  return result;
}

}  // namespace protocols
