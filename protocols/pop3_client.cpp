#include "protocols/pop3_client.h"

#include <array>

#include "mime/hex.h"
#include "protocols/command_text.h"
#include "security/crypto/md5.h"

namespace protocols {
namespace {

// A challenge line of the SASL exchange, as opposed to the final "+OK".
bool IsContinuation(std::string_view line) { return line == "+" || line.rfind("+ ", 0) == 0; }

// A dead connection or TLS session ends the login: no other method can work.
bool IsConnectionFailure(MailResult r) { return Family(r) == 0xC0 || Family(r) == 0xC5; }

}  // namespace

void Pop3Client::OnLog(unsigned level, LogDirection direction, std::string_view text) {
  if (Shows(level) && log_sink_) log_sink_(direction, LoggableLine(text));
}

std::string Pop3Client::Masked(std::string_view prefix) const {
  if (Shows(kLogCredentials)) return {};
  return std::string(prefix) + std::string(kMaskedCredential);
}

MailResult Pop3Client::Send(std::string_view line, std::string_view shown) {
  const MailResult r = SendLine(line);
  OnLog(kLogLines, LogDirection::kSent, shown.empty() ? line : shown);
  return r;
}

MailResult Pop3Client::ReadStatus(MailResult refused, std::string* out) {
  std::string line;
  if (MailResult r = ReadLine(&line); Failed(r)) return r;
  OnLog(kLogLines, LogDirection::kReceived, line);
  MailResult result = kMailOk;
  switch (ClassifyPop3Status(line)) {
    case Pop3Status::kOk: last_response_.clear(); break;
    case Pop3Status::kError: result = refused; break;
    case Pop3Status::kBad: result = kPop3BadReply; break;
  }
  if (Failed(result)) last_response_ = line;
  if (out != nullptr) *out = std::move(line);
  return result;
}

MailResult Pop3Client::Command(std::string_view command, MailResult refused, std::string_view shown) {
  if (MailResult r = Send(command, shown); Failed(r)) return r;
  return ReadStatus(refused);
}

template <typename Each>
MailResult Pop3Client::ReadMultiLine(unsigned level, Each each) {
  bool all_read = true;
  for (;;) {
    std::string line;
    if (MailResult r = ReadLine(&line); Failed(r)) return r;
    if (line == ".") break;
    OnLog(level, LogDirection::kReceived, line);
    if (!each(UnstuffPop3Line(line))) {
      all_read = false;
      if (last_response_.empty()) last_response_ = line;
    }
  }
  return all_read ? kMailOk : kPop3BadReply;
}

MailResult Pop3Client::ConnectAndGreet(const std::string& host, std::uint16_t port) {
  capabilities_ = kPop3DefaultCapabilities;
  server_mechanisms_ = 0;
  apop_timestamp_.clear();
  if (MailResult r = Connect(host, port); Failed(r)) return r;
  std::string greeting;
  if (MailResult r = ReadLine(&greeting); Failed(r)) return r;
  OnLog(kLogLines, LogDirection::kReceived, greeting);
  switch (ClassifyPop3Status(greeting)) {
    case Pop3Status::kOk: break;
    case Pop3Status::kError: last_response_ = greeting; return kPop3GreetingRefused;
    case Pop3Status::kBad: last_response_ = greeting; return kPop3BadReply;
  }
  last_response_.clear();
  apop_timestamp_ = ApopTimestamp(greeting);
  MailResult r = RunCapa();
  if (r == kPop3NotSupported) r = kMailOk;
  if (!Failed(r) && (capabilities_ & kPop3Sasl)) {
    r = RunAuthList();
    if (r == kPop3NotSupported) r = kMailOk;
  }
  return r;
}

MailResult Pop3Client::RunCapa() {
  if (MailResult r = Command("CAPA", kPop3NotSupported); Failed(r)) return r;
  capabilities_ = kPop3User;
  return ReadMultiLine(kLogCapaLines, [this](std::string_view line) {
    ReadPop3CapaLine(line, &capabilities_, &server_mechanisms_);
    return true;
  });
}

MailResult Pop3Client::RunAuthList() {
  if (MailResult r = Command("AUTH", kPop3NotSupported); Failed(r)) return r;
  capabilities_ |= kPop3Sasl;
  server_mechanisms_ = 0;
  return ReadMultiLine(kLogAuthListLines, [this](std::string_view line) {
    server_mechanisms_ |= SaslMechanismFromKeyword(line);
    return true;
  });
}

MailResult Pop3Client::StartTls() {
  if (!(capabilities_ & kPop3Stls)) return kPop3NotSupported;
  if (MailResult r = Command("STLS", kPop3NotSupported); Failed(r)) return r;
  // What the server announced in clear is asked again over TLS: anyone on
  // the path could have written the first answer.
  capabilities_ = kPop3DefaultCapabilities;
  server_mechanisms_ = 0;
  if (MailResult r = SetPlain(false); Failed(r)) return r;
  MailResult r = RunCapa();
  if (r == kPop3NotSupported) r = kMailOk;
  if (!Failed(r) && (capabilities_ & kPop3Sasl)) {
    r = RunAuthList();
    if (r == kPop3NotSupported) r = kMailOk;
  }
  return r;
}

MailResult Pop3Client::RefuseUnsafeCredentials() {
  if (!HasControlCharacter(user_) && !HasControlCharacter(password_)) return kMailOk;
  OnLog(kLogLines, LogDirection::kNote, "The user name or password holds a control character; nothing was sent");
  return kPop3UnsafeArgument;
}

MailResult Pop3Client::Login() {
  // Checked once for every method, so no method sends part of a login.
  if (MailResult r = RefuseUnsafeCredentials(); Failed(r)) return r;
  MailResult result = kPop3LoginRefused;
  if (secure_auth_) {
    if (capabilities_ & kPop3Sasl) {
      for (unsigned mechanism : {kSaslCramMd5, kSaslDigestMd5, kSaslNtlm, kSaslMsn}) {
        if (!(server_mechanisms_ & mechanism)) continue;
        result = AuthenticateSasl(mechanism);
        if (!Failed(result) || IsConnectionFailure(result)) return result;
      }
    }
    if (capabilities_ & kPop3Apop) {
      result = Apop();
      if (!Failed(result) || IsConnectionFailure(result)) return result;
    }
    // No password in clear text over an unprotected connection.
    if (!tls_active()) return result;
  } else if (capabilities_ & kPop3Sasl) {
    for (unsigned mechanism : {kSaslLogin, kSaslPlain}) {
      if (!(server_mechanisms_ & mechanism)) continue;
      result = AuthenticateSasl(mechanism);
      if (!Failed(result) || IsConnectionFailure(result)) return result;
    }
  }
  if (capabilities_ & kPop3User) return UserPass();
  return result;
}

MailResult Pop3Client::AuthenticateSasl(unsigned mechanism) {
  if (MailResult r = sasl_.Init(mechanism, user_, password_); Failed(r)) return r;
  if (MailResult r = Send(std::string("AUTH ") + sasl_.Name()); Failed(r)) return r;
  for (;;) {
    std::string line;
    if (MailResult r = ReadLine(&line); Failed(r)) return r;
    OnLog(kLogLines, LogDirection::kReceived, line);
    const Pop3Status status = ClassifyPop3Status(line);
    // A status line ends the exchange whenever it comes: after "+OK" the
    // mechanism's next response (the password) must not follow.
    if (!IsContinuation(line)) {
      if (status == Pop3Status::kOk) {
        last_response_.clear();
        return kMailOk;
      }
      last_response_ = line;
      return status == Pop3Status::kError ? kPop3LoginRefused : kPop3BadReply;
    }
    if (status != Pop3Status::kOk) {
      last_response_ = line;
      return status == Pop3Status::kError ? kPop3LoginRefused : kPop3BadReply;
    }
    std::string response;
    const MailResult step = sasl_.Step(line.size() > 2 ? std::string_view(line).substr(2) : std::string_view(),
                                       &response);
    if (Failed(step)) {
      // Cancel; the server answers with one status line.
      if (MailResult r = Send("*"); Failed(r)) return r;
      std::string answer;
      if (MailResult r = ReadLine(&answer); Failed(r)) return r;
      OnLog(kLogLines, LogDirection::kReceived, answer);
      last_response_ = answer;
      return step;
    }
    if (MailResult r = Send(response, Masked("")); Failed(r)) return r;
  }
}

MailResult Pop3Client::Apop() {
  if (MailResult r = RefuseUnsafeCredentials(); Failed(r)) return r;
  if (apop_timestamp_.empty()) {
    last_response_ = "Required APOP timestamp not found in greeting";
    OnLog(kLogLines, LogDirection::kNote, last_response_);
    return kPop3LoginRefused;
  }
  security::Md5 md5;
  md5.Update(apop_timestamp_.data(), apop_timestamp_.size());
  md5.Update(password_.data(), password_.size());
  const auto digest = md5.Final();
  const std::string command = "APOP " + user_ + " " + mime::ToLowerHex(digest);
  return Command(command, kPop3LoginRefused, Masked("APOP "));
}

MailResult Pop3Client::UserPass() {
  // Both are checked before USER goes out: a refused PASS would leave the
  // server half way through a login.
  if (MailResult r = RefuseUnsafeCredentials(); Failed(r)) return r;
  if (MailResult r = Command("USER " + user_, kPop3LoginRefused, Masked("USER ")); Failed(r)) return r;
  return Command("PASS " + password_, kPop3LoginRefused, Masked("PASS "));
}

MailResult Pop3Client::Stat(std::uint32_t* count, std::uint64_t* size) {
  *count = 0;
  *size = 0;
  std::string line;
  if (MailResult r = Send("STAT"); Failed(r)) return r;
  if (MailResult r = ReadStatus(kPop3StatRefused, &line); Failed(r)) return r;
  const auto stat = ParsePop3Stat(line);
  if (!stat) {
    last_response_ = line;
    return kPop3BadReply;
  }
  *count = stat->count;
  *size = stat->size;
  return kMailOk;
}

MailResult Pop3Client::List() {
  if (MailResult r = Command("LIST", kPop3ListRefused); Failed(r)) return r;
  return ReadMultiLine(kLogListLines, [this](std::string_view line) {
    const auto entry = ParsePop3ListLine(line);
    if (entry && list_entry_) list_entry_(entry->number, entry->size);
    return entry.has_value();
  });
}

MailResult Pop3Client::Uidl() {
  if (MailResult r = Command("UIDL", kPop3UidlRefused); Failed(r)) return r;
  return ReadMultiLine(kLogUidlLines, [this](std::string_view line) {
    const auto entry = ParsePop3UidlLine(line);
    if (entry && uidl_entry_) uidl_entry_(entry->number, entry->unique_id);
    return entry.has_value();
  });
}

MailResult Pop3Client::Retr(std::uint32_t number) {
  if (MailResult r = Command("RETR " + std::to_string(number), kPop3RetrRefused); Failed(r)) return r;
  return ReadMultiLine(kLogMessageLines, [this](std::string_view line) {
    if (message_line_) message_line_(line);
    return true;
  });
}

MailResult Pop3Client::Top(std::uint32_t number, std::uint32_t lines) {
  const std::string command = "TOP " + std::to_string(number) + " " + std::to_string(lines);
  if (MailResult r = Command(command, kPop3RetrRefused); Failed(r)) return r;
  return ReadMultiLine(kLogMessageLines, [this](std::string_view line) {
    if (message_line_) message_line_(line);
    return true;
  });
}

MailResult Pop3Client::Dele(std::uint32_t number) {
  return Command("DELE " + std::to_string(number), kPop3DeleRefused);
}

MailResult Pop3Client::Quit() {
  if (!Failed(Send("QUIT"))) {
    std::string line;
    if (!Failed(ReadLine(&line))) OnLog(kLogLines, LogDirection::kReceived, line);
  }
  Close();
  return kMailOk;
}

}  // namespace protocols
