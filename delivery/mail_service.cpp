#include "delivery/mail_service.h"

#include <cstdio>

#include "protocols/pop3_client.h"
#include "protocols/smtp_client.h"
#include "storage/db_mime_message.h"

namespace delivery {

using protocols::LogDirection;
using protocols::MailResult;

struct MailService::SendItem {
  storage::RecordId id = 0;
  std::string sender;
  std::vector<std::string> recipients;
  std::uint32_t size = 0;
};

const char* SmtpAuthModeLogName(SmtpAuthMode mode) {
  switch (mode) {
    case SmtpAuthMode::kNotRequired: return "saNotRequired";
    case SmtpAuthMode::kSmtpAfterIncoming: return "saSMTPAfterIncoming";
    case SmtpAuthMode::kSameAsIncoming: return "saSameAsIncoming";
    case SmtpAuthMode::kCredentials: return "saCredentials";
  }
  return "saNotRequired";
}

namespace {

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", code);
  return text;
}

const char* YesNo(bool on) { return on ? "Yes" : "No"; }

protocols::SocksVersion ToSocksVersion(int version) {
  switch (version) {
    case 1: return protocols::SocksVersion::kSocks4;
    case 2: return protocols::SocksVersion::kSocks4A;
    case 3: return protocols::SocksVersion::kSocks5;
    default: return protocols::SocksVersion::kNone;
  }
}

}  // namespace

MailService::MailService(MailServiceContext context, storage::MailStorage* storage)
    : context_(context), storage_(storage) {
  pop3_.port = 110;
  worker_ = std::thread([this] { WorkerLoop(); });
}

MailService::~MailService() {
  {
    std::lock_guard lock(mu_);
    terminate_ = true;
    cancel_ = true;
  }
  wake_.notify_all();
  // The worker may be waiting for this thread to handle one of its events.
  platform::Event* done[] = {&worker_done_};
  while (!worker_done_.IsSet()) platform::MsgWaitForEvents(done, std::chrono::milliseconds(500), false);
  worker_.join();
}

bool MailService::Synchronize() {
  std::lock_guard lock(mu_);
  if (busy_ || terminate_) return false;
  busy_ = true;
  cancel_ = false;
  run_requested_ = true;
  wake_.notify_all();
  return true;
}

void MailService::WaitWhileBusy() {
  while (busy_) platform::MsgWaitForEvents({}, std::chrono::milliseconds(500), false);
}

void MailService::WorkerLoop() {
  for (;;) {
    {
      std::unique_lock lock(mu_);
      wake_.wait(lock, [this] { return run_requested_ || terminate_; });
      if (!run_requested_) break;
      run_requested_ = false;
    }
    Run();
    if (terminate_) break;
  }
  worker_done_.Set();
}

void MailService::Run() {
  error_ = 0;
  sent_count_ = 0;
  if (smtp_.authentication == SmtpAuthMode::kSmtpAfterIncoming) {
    Pop3Step(true);
    SmtpStep();
  } else {
    SmtpStep();
    Pop3Step(false);
  }
  Progress(kProgressRunDone);
  Log(terminate_ ? "Synchronization terminated by user" : "Synchronization done");
  busy_ = false;
}

// ---- events and log ----

void MailService::Log(std::string_view line) { base::WriteLogLine(context_.log, line); }

void MailService::Progress(int code, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  if (!context_.sink) return;
  MailEvent event;
  event.type = MailEventType::kProgress;
  event.code = code;
  event.params = {a, b, c, d};
  context_.sink->Raise(event);
}

void MailService::ReportError(bool critical, std::uint32_t code, const std::string& response,
                              const ServerConfig& config, const char* protocol) {
  if (cancel_) return;
  Log(std::string("*** ") + (critical ? "" : "Non ") + "Critical Error: " + Hex(code));
  if (!context_.sink) return;
  MailEvent event;
  event.type = MailEventType::kError;
  event.error = {critical, code, response, config.host, protocol, config.port, config.use_ssl};
  context_.sink->Raise(event);
}

bool MailService::RequestCredentials(CredentialsRequest* request) {
  if (!context_.sink) return false;
  MailEvent event;
  event.type = MailEventType::kCredentials;
  event.credentials = *request;
  context_.sink->Raise(event);
  *request = event.credentials;
  return !request->cancel;
}

// ---- connect and log in ----

void MailService::LogConnectionSettings(const ServerConfig& c, const char* suffix, bool smtp) {
  Log("Synchronizing " + c.host + suffix);
  Log("Host: " + c.host + " Port: " + std::to_string(c.port) + " Timeout: " + std::to_string(c.timeout));
  (void)smtp;
  Log(std::string("Authentication: ") + SmtpAuthModeLogName(smtp_.authentication));
  if (c.socks_version < 1 || c.socks_version > 3) {
    Log("Socks: No");
  } else {
    static const char* const kNames[] = {"", "4", "4A", "5"};
    Log(std::string("Socks: ") + kNames[c.socks_version] + " Address: " + c.socks_address +
        " Port: " + std::to_string(c.socks_port) + " Auth: " + YesNo(c.socks_auth));
  }
  Log(!c.use_ssl ? std::string("SSL: No") : std::string("SSL: Yes, ") + (c.ssl_explicit ? "Explicit" : "Implicit"));
  Log(std::string("SASL: ") + YesNo(c.use_sasl));
}

void MailService::ConfigureClient(protocols::MailClient& client, const ServerConfig& c) {
  client.SetTimeout(c.timeout);
  // Replies and status lines are short (512 bytes in SMTP); a server that
  // sends no line end is cut off rather than buffered without limit.
  client.SetMaxLineLength(kMaxReplyLine);
  protocols::SocksSettings socks;
  socks.version = ToSocksVersion(c.socks_version);
  socks.proxy_host = c.socks_address;
  socks.proxy_port = c.socks_port;
  socks.use_authentication = c.socks_auth;
  socks.user_id = c.socks_user_id;
  socks.password = c.socks_password;
  client.SetSocks(std::move(socks));
  if (accept_certificate_) client.SetCertificateAcceptance(accept_certificate_);
  if (c.use_ssl) {
    client.SetProtocolVersions(c.ssl_versions);
    client.SetStrongCiphersOnly(c.ssl_strong_encryption);
    // Implicit TLS: the handshake runs inside Connect.
    (void)client.SetPlain(c.ssl_explicit);  // not connected yet: nothing can fail here
  } else {
    (void)client.SetPlain(true);
  }
}

void MailService::ErrorExit(const ServerConfig& config, const char* protocol, const std::string& response,
                            bool reported) {
  if (error_ == kOperationAborted) {
    error_ = 0;
    return;
  }
  if (error_ == 0 || cancel_) return;
  if (!reported) ReportError(true, error_, response, config, protocol);
  connection_state_ &= ~2u;
  Progress(kProgressConnectionFailed);
}

bool MailService::ConnectSmtp(protocols::SmtpClient& client, bool* secure) {
  ServerConfig& c = smtp_;
  LogConnectionSettings(c, " (SMTP)", true);
  Progress(kProgressConnecting);
  ConfigureClient(client, c);
  client.SetSecureAuth(c.use_sasl);
  client.SetLogSink([this](LogDirection d, std::string_view line) {
    base::WriteLogLine(context_.log, line,
                       d == LogDirection::kSent ? base::kLogSent : d == LogDirection::kReceived ? base::kLogReceived
                                                                                                : base::kLogPlain);
  });
  auto port = static_cast<std::uint16_t>(c.port);
  auto introduce = [&client]() -> MailResult {
    MailResult r = client.Ehlo();
    if (protocols::Failed(r) && client.connected()) r = client.Helo();
    return r;
  };
  auto open = [&]() -> MailResult {
    MailResult r = client.Connect(c.host, port);
    if (protocols::Failed(r) || cancel_) return r;
    connection_state_ |= 2u;
    Progress(kProgressConnected);
    Log("Local address: " + client.LocalAddress());
    r = client.ConnectAndGreet(c.host, port);  // already connected: reads the greeting
    if (protocols::Failed(r)) return r;
    client.SetHeloDomain(client.LocalHostName());
    return introduce();
  };
  bool reported = false;
  error_ = open();
  if (!error_ && !cancel_ && c.use_ssl && c.ssl_explicit) {
    Progress(kProgressStartingTls);
    MailResult r = client.StartTls();
    if (!protocols::Failed(r)) {
      *secure = true;
      error_ = introduce();
    } else if (c.ssl_allow_insecure) {
      ReportError(false, r, client.last_response(), c, "SMTP");
      // Going on in clear; a failed handshake has closed the connection, so
      // it is opened again without TLS.
      if (!client.connected()) {
        (void)client.SetPlain(true);  // not connected: nothing can fail here
        error_ = open();
      }
    } else {
      error_ = r;
    }
  }
  if (!error_ && !cancel_ &&
      (c.authentication == SmtpAuthMode::kSameAsIncoming || c.authentication == SmtpAuthMode::kCredentials)) {
    ServerConfig& side = c.authentication == SmtpAuthMode::kSameAsIncoming ? pop3_ : smtp_;
    std::string user = side.user_name, password = side.password;
    bool store = side.store_password, prompted = false;
    Progress(kProgressAuthenticating);
    for (;;) {
      MailResult r = client.Authenticate(user, password);
      if (!protocols::Failed(r)) {
        error_ = 0;
        if (prompted) {
          side.user_name = store ? user : std::string();
          side.password = store ? password : std::string();
          side.store_password = store;
        }
        break;
      }
      error_ = r;
      if (protocols::SmtpReplyClass(r) == 3 || cancel_) break;
      ReportError(true, r, client.last_response(), c, "SMTP");
      CredentialsRequest request{c.host, user, password, client.last_response(), store, false};
      if (!RequestCredentials(&request)) {
        reported = true;  // the user has seen this error already
        break;
      }
      error_ = 0;
      user = request.user_name;
      password = request.password;
      store = request.store_password;
      prompted = true;
    }
  }
  if (!error_ && !cancel_) {
    connection_state_ = (connection_state_ & ~7u) | 5u;
    Progress(kProgressLoggedIn);
    return true;
  }
  ErrorExit(c, "SMTP", client.last_response(), reported);
  return false;
}

bool MailService::ConnectPop3(protocols::Pop3Client& client) {
  ServerConfig& c = pop3_;
  LogConnectionSettings(c, " (POP3)", false);
  Progress(kProgressConnecting);
  ConfigureClient(client, c);
  client.SetSecureAuth(c.use_sasl);
  client.SetLogSink([this](LogDirection d, std::string_view line) {
    base::WriteLogLine(context_.log, line,
                       d == LogDirection::kSent ? base::kLogSent : d == LogDirection::kReceived ? base::kLogReceived
                                                                                                : base::kLogPlain);
  });
  auto port = static_cast<std::uint16_t>(c.port);
  auto open = [&]() -> MailResult {
    MailResult r = client.Connect(c.host, port);
    if (protocols::Failed(r) || cancel_) return r;
    connection_state_ |= 2u;
    Progress(kProgressConnected);
    Log("Local address: " + client.LocalAddress());
    return client.ConnectAndGreet(c.host, port);
  };
  bool reported = false;
  error_ = open();
  if (!error_ && !cancel_ && c.use_ssl && c.ssl_explicit) {
    Progress(kProgressStartingTls);
    MailResult r = client.StartTls();
    if (!protocols::Failed(r)) {
      // The capabilities may differ under TLS.
    } else if (c.ssl_allow_insecure) {
      ReportError(false, r, client.last_response(), c, "POP3");
      if (!client.connected()) {
        (void)client.SetPlain(true);
        error_ = open();
      }
    } else {
      error_ = r;
    }
  }
  if (!error_ && !cancel_) {
    std::string user = c.user_name, password = c.password;
    bool store = c.store_password, prompted = false;
    Progress(kProgressAuthenticating);
    for (;;) {
      client.SetCredentials(user, password);
      MailResult r = client.Login();
      if (!protocols::Failed(r)) {
        error_ = 0;
        if (prompted) {
          c.user_name = store ? user : std::string();
          c.password = store ? password : std::string();
          c.store_password = store;
        }
        break;
      }
      error_ = r;
      // A lost connection cannot take a second attempt.
      if (!client.connected() || cancel_) break;
      ReportError(true, r, client.last_response(), c, "POP3");
      CredentialsRequest request{c.host, user, password, client.last_response(), store, false};
      if (!RequestCredentials(&request)) {
        reported = true;
        break;
      }
      error_ = 0;
      user = request.user_name;
      password = request.password;
      store = request.store_password;
      prompted = true;
    }
  }
  if (!error_ && !cancel_) {
    connection_state_ = (connection_state_ & ~7u) | 5u;
    Progress(kProgressLoggedIn);
    return true;
  }
  ErrorExit(c, "POP3", client.last_response(), reported);
  return false;
}

// ---- the steps ----

void MailService::Pop3Step(bool login_only) {
  // The normal form fetches mail only for an incoming side enabled for
  // downloading, which no service of this program is.
  if (!login_only) return;
  if (error_ || cancel_) return;
  protocols::Pop3Client client;
  ConnectPop3(client);
  if (client.connected()) (void)client.Quit();  // always 0; the connection closes whatever the reply
  if (cancel_) Log("Synchronization interrupted by user");
}

std::uint32_t MailService::SendOne(protocols::SmtpClient& client, const SendItem& item) {
  storage::MailFolder* outbox = storage_->GetFolder(storage::FolderType::kOutbox);
  std::unique_ptr<storage::CElDBMimeMessage> message;
  std::shared_ptr<const mime::ByteSource> content;
  if (auto r = outbox->OpenMessage(item.id, &message); r != storage::kStorageOk) return r;
  if (auto r = message->OpenContent(&content); r != storage::kStorageOk) return r;
  MailResult r = client.MailFrom(item.sender, content->Size());
  for (std::size_t i = 0; i < item.recipients.size() && !protocols::Failed(r); ++i) r = client.RcptTo(item.recipients[i]);
  if (!protocols::Failed(r)) r = client.Data(*content, content->Size());
  if (protocols::Failed(r) && client.connected()) {
    // Ends the refused transaction so that the next message starts clean.
    base::WriteLogLine(context_.log, "RSET", base::kLogSent);
    std::string line;
    if (!protocols::Failed(client.SendLine("RSET"))) {
      do {
        if (protocols::Failed(client.ReadLine(&line))) break;
        base::WriteLogLine(context_.log, line, base::kLogReceived);
      } while (protocols::IsSmtpContinuation(line));
    }
  }
  return r;
}

void MailService::SmtpStep() {
  if (error_ || cancel_) return;
  storage::MailFolder* outbox = storage_ ? storage_->GetFolder(storage::FolderType::kOutbox) : nullptr;
  storage::MailFolder* sent = storage_ ? storage_->GetFolder(storage::FolderType::kSent) : nullptr;
  if (!outbox || !sent) {
    Log("The storage has no Outbox or Sent folder");
    return;
  }
  std::vector<SendItem> items;
  bytes_total_ = 0;
  for (const auto& record : outbox->messages()) {
    SendItem item;
    item.id = record.id;
    for (const auto* list : {&record.to, &record.cc, &record.bcc})
      for (auto& address : storage::AddressesOf(*list)) item.recipients.push_back(std::move(address));
    if (item.recipients.empty()) continue;
    auto senders = storage::AddressesOf(record.from);
    if (!senders.empty()) item.sender = senders.front();
    item.size = record.size;
    bytes_total_ += record.size;
    items.push_back(std::move(item));
  }
  message_count_ = static_cast<std::uint32_t>(items.size());

  protocols::SmtpClient client;
  bool secure = false;
  bool logged_in = ConnectSmtp(client, &secure);
  if (test_mode_) {
    Progress(kProgressSendingFinished, 0);
  } else if (logged_in && client.connected() && !cancel_) {
    bytes_sent_ = 0;
    error_response_.clear();
    std::uint32_t count = 0;
    for (message_index_ = 0; message_index_ < items.size() && !cancel_; ++message_index_) {
      const SendItem& item = items[message_index_];
      Progress(kProgressSending, message_count_, message_index_ + 1, static_cast<std::uint32_t>(bytes_sent_),
               static_cast<std::uint32_t>(bytes_total_));
      std::uint32_t r = SendOne(client, item);
      if (r == 0) {
        std::uint32_t moved = outbox->MoveMessage(item.id, *sent);
        if (moved == storage::kStorageOk) moved = sent->SetFlags(item.id, storage::kMessageSent, 0);
        if (moved == storage::kStorageOk) moved = sent->Save();
        if (moved != storage::kStorageOk) Log("Sent message could not be moved to Sent: " + Hex(moved));
        ++count;
      } else {
        error_ = r;
        error_response_ = client.last_response();
      }
      bytes_sent_ += item.size;
      if (!client.connected()) break;
    }
    sent_count_ = count;
    Progress(kProgressSendingFinished, count);
    // A failed message leaves its error for the report below; the login's own
    // failure was reported as critical already.
    // The reply that refused the message, not whatever came after it.
    if (error_) ReportError(false, error_, error_response_, smtp_, "SMTP");
  }
  if (client.connected()) {
    (void)client.Quit();  // closes the connection whatever the reply
  } else {
    client.Close();
  }
  if (cancel_) Log("Synchronization interrupted by user");
  error_ = 0;
}

}  // namespace delivery
