// The mail service against real servers: exim for SMTP (STARTTLS, AUTH,
// refused recipients), Dovecot for the POP3 login before SMTP, and a port
// where nothing listens.

#include <gtest/gtest.h>
#include <pwd.h>

#include "delivery/mail_service.h"
#include "delivery/peer_test_support.h"
#include "protocols/socket_layer.h"
#include "storage/delivery_volume.h"

namespace delivery {
namespace {

using namespace delivery::test;

// Port of the tests that start an exim of their own with special options.
constexpr std::uint16_t kOwnSmtpPort = kSmtpPort + 1;

// Every error report of a run, for a failure message.
template <typename Errors>
std::string Reports(const Errors& errors) {
  std::string all;
  for (const auto& e : errors) all += FormatErrorReport(e) + "\n";
  return all;
}

class MailServicePeers : public ::testing::Test {
 protected:
  // One exim (which knows only alice) serves every test that needs no other options.
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "delivery-peers-XXXXXX").string();
    shared_root_ = mkdtemp(pattern.data());
    fs::permissions(shared_root_, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    shared_exim_ = new Peer("smtp_exim.sh", shared_root_ / "exim",
                            {"--port", std::to_string(kSmtpPort), "--verify-recipients"});
  }
  static void TearDownTestSuite() {
    delete shared_exim_;
    shared_exim_ = nullptr;
    std::error_code ec;
    fs::remove_all(shared_root_, ec);
  }
  static fs::path SharedEximDir() { return shared_root_ / "exim"; }

  void SetUp() override {
    // The servers run as their own users and must reach their folders.
    fs::permissions(home_.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    install_ = home_.root() / "install";
    fs::create_directories(install_);
    auto opened = storage::OpenDeliveryStorage(install_, nullptr);
    ASSERT_TRUE(opened.storage);
    storage_ = std::move(opened.storage);
    log_ = base::OpenActivityLog(install_);
    sink_ = std::make_unique<MailEventSink>(&events_);
    service_ = std::make_unique<MailService>(MailServiceContext{log_.get(), sink_.get()}, storage_.get());
    ServerConfig& smtp = service_->smtp();
    smtp.host = "127.0.0.1";
    smtp.port = kSmtpPort;
    smtp.timeout = 20;
    smtp.user_name = kUser;
    smtp.password = kPassword;
    service_->pop3() = smtp;
    service_->pop3().port = kPop3Port;
  }
  fs::path Dir(const std::string& name) {
    fs::path dir = home_.root() / "peers" / name;
    fs::create_directories(dir);
    fs::permissions(home_.root() / "peers", fs::perms::others_exec, fs::perm_options::add);
    return dir;
  }
  void RunOnce() {
    ASSERT_TRUE(service_->Synchronize());
    service_->WaitWhileBusy();
    EXPECT_TRUE(events_.Saw(kProgressRunDone));
  }
  // The log as written so far (the service keeps writing to it; others may read).
  std::string LogText() { return ReadText(base::ActivityLogPath(install_)); }
  std::size_t Count(storage::FolderType type) { return storage_->GetFolder(type)->Count(); }

  testing_support::ScopedTestHome home_;
  protocols::ScopedSocketLayer layer_;
  fs::path install_;
  std::unique_ptr<storage::MailStorage> storage_;
  std::unique_ptr<base::ActivityLog> log_;
  EventRecord events_;
  std::unique_ptr<MailEventSink> sink_;
  std::unique_ptr<MailService> service_;
  static inline fs::path shared_root_;
  static inline Peer* shared_exim_ = nullptr;
};

#define USE_SHARED_EXIM(dir)                                                                     \
  if (!shared_exim_->ready() && shared_exim_->status() == 4) GTEST_SKIP() << "the peers need root"; \
  ASSERT_TRUE(shared_exim_->ready()) << "exim did not start: " << shared_exim_->errors();          \
  const fs::path dir = SharedEximDir()

// STARTTLS, then AUTH with the SMTP credentials; every Outbox message with
// recipients goes out and moves to Sent, one without stays; the dialogue is
// in the log with the credentials masked.
TEST_F(MailServicePeers, SendsTheOutboxOverStartTlsWithCredentials) {
  USE_SHARED_EXIM(dir);
  std::size_t delivered = Files(dir / "mail" / "new").size();
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  storage::RecordId lonely = AddOutboxNote(*storage_, home_.root(), u"");
  AddOutboxNote(*storage_, home_.root(), u"Alice <alice@localhost>", 20000);
  ServerConfig& smtp = service_->smtp();
  smtp.use_ssl = true;
  smtp.ssl_explicit = true;
  smtp.authentication = SmtpAuthMode::kCredentials;
  service_->SetCertificateAcceptance(TrustPeer(dir));
  RunOnce();

  EXPECT_TRUE(events_.errors.empty()) << FormatErrorReport(events_.errors[0]);
  EXPECT_EQ(events_.progress, (std::vector<int>{1, 2, 16, 5, 6, 15, 15, 20, 1000}));
  ASSERT_EQ(events_.sending.size(), 2u);
  EXPECT_EQ(events_.sending[1][0], 2u);
  EXPECT_EQ(events_.sending[1][1], 2u);
  EXPECT_EQ(events_.sending[1][2], storage_->GetFolder(storage::FolderType::kSent)->messages()[0].size);
  EXPECT_EQ(Count(storage::FolderType::kSent), 2u);
  ASSERT_EQ(Count(storage::FolderType::kOutbox), 1u);
  EXPECT_EQ(storage_->GetFolder(storage::FolderType::kOutbox)->messages()[0].id, lonely);
  EXPECT_TRUE(storage_->GetFolder(storage::FolderType::kSent)->messages()[0].flags & storage::kMessageSent);
  EXPECT_EQ(service_->messages_sent(), 2u);
  EXPECT_EQ(service_->connection_state() & 7u, 5u);
  EXPECT_TRUE(testing_support::WaitUntil([&] { return Files(dir / "mail" / "new").size() == delivered + 2; }));

  std::string log = LogText();
  for (const char* line : {"Synchronizing 127.0.0.1 (SMTP)\r\n", "Host: 127.0.0.1 Port: 24025 Timeout: 20\r\n",
                           "Authentication: saCredentials\r\n", "Socks: No\r\n", "SSL: Yes, Explicit\r\n",
                           "SASL: No\r\n", "Local address: 127.0.0.1\r\n", "S STARTTLS\r\n", "S AUTH LOGIN\r\n",
                           "S RCPT TO:<alice@localhost>\r\n", "S QUIT\r\n", "Synchronization done\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("c2VjcmV0"), std::string::npos);  // the password in base64
  EXPECT_EQ(log.find("YWxpY2"), std::string::npos);    // the user name in base64
}

// A wrong password (535) ends the run at once as a critical error without
// asking for other credentials; nothing is sent.
TEST_F(MailServicePeers, RefusedLoginIsCriticalAndSendsNothing) {
  USE_SHARED_EXIM(dir);
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  service_->smtp().authentication = SmtpAuthMode::kCredentials;
  service_->smtp().password = "wrong";
  RunOnce();
  ASSERT_EQ(events_.errors.size(), 1u);
  EXPECT_TRUE(events_.errors[0].critical);
  EXPECT_EQ(events_.errors[0].code & 0xFFFFC07Fu, 0x80C3C000u | 35u);  // a 535 reply
  EXPECT_NE(events_.errors[0].server_response.find("535"), std::string::npos);
  EXPECT_TRUE(events_.requests.empty());
  EXPECT_TRUE(events_.Saw(kProgressConnectionFailed));
  EXPECT_FALSE(events_.Saw(kProgressSending));
  EXPECT_EQ(Count(storage::FolderType::kOutbox), 1u);
  std::string log = LogText();
  EXPECT_NE(log.find("*** Critical Error: 0x80C3"), std::string::npos) << log;
}

// A refused recipient fails its message, which stays in the Outbox, and is
// reported as a non-critical error; the next message still goes out.
TEST_F(MailServicePeers, RefusedRecipientKeepsItsMessageAndTheOthersGo) {
  USE_SHARED_EXIM(dir);
  (void)dir;
  storage::RecordId refused = AddOutboxNote(*storage_, home_.root(), u"nobody@localhost");
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  RunOnce();
  ASSERT_EQ(events_.errors.size(), 1u);
  const ErrorReport& report = events_.errors[0];
  EXPECT_FALSE(report.critical);
  std::string text = FormatErrorReport(report);
  EXPECT_EQ(text.find("Protocol error: The server does not accept a message due to problem with destination "
                      "mailbox. Server Response: \"550"),
            0u)
      << text;
  EXPECT_NE(text.find("\nServer: \"127.0.0.1\".\nProtocol: SMTP. Port: 24025. SSL: Off.\nError Code: #80C3"),
            std::string::npos)
      << text;
  ASSERT_EQ(Count(storage::FolderType::kOutbox), 1u);
  EXPECT_EQ(storage_->GetFolder(storage::FolderType::kOutbox)->messages()[0].id, refused);
  EXPECT_EQ(Count(storage::FolderType::kSent), 1u);
  std::string log = LogText();
  EXPECT_NE(log.find("*** Non Critical Error: 0x80C3"), std::string::npos);
  EXPECT_NE(log.find("S RSET\r\n"), std::string::npos);
}

// A server that is down: one critical transport error with its full report,
// and the run still ends normally.
TEST_F(MailServicePeers, ServerDownGivesTheTransportReport) {
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  service_->smtp().port = kClosedPort;
  RunOnce();
  ASSERT_EQ(events_.errors.size(), 1u);
  EXPECT_TRUE(events_.errors[0].critical);
  EXPECT_EQ(FormatErrorReport(events_.errors[0]),
            "Transport error: The server actively refuses the connection.\nServer: \"127.0.0.1\".\n"
            "Protocol: SMTP. Port: 24999. SSL: Off.\nError Code: #80C00013.");
  EXPECT_EQ(events_.progress, (std::vector<int>{1, 4, 1000}));
  EXPECT_EQ(Count(storage::FolderType::kOutbox), 1u);
  EXPECT_FALSE(service_->busy());
  EXPECT_NE(LogText().find("Synchronization done"), std::string::npos);
}

// SMTP after incoming: a POP3 login comes first; when it fails (the prompt is
// cancelled) the SMTP server is not even contacted.
TEST_F(MailServicePeers, PopBeforeSmtp) {
  USE_SHARED_EXIM(exim_dir);
  (void)exim_dir;  // the message is sent, not looked at
  fs::path dovecot_dir = Dir("dovecot");
  // PLAIN and USER/PASS only: Dovecot delays each failed login more than the last.
  START_DELIVERY_PEER(dovecot, "pop3_dovecot.sh", dovecot_dir,
                      {"--port", std::to_string(kPop3Port), "--mechanisms", "plain"});
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  service_->smtp().authentication = SmtpAuthMode::kSmtpAfterIncoming;
  service_->pop3().password = "wrong";
  RunOnce();
  ASSERT_EQ(events_.requests.size(), 1u);
  EXPECT_EQ(events_.requests[0].user_name, kUser);
  ASSERT_FALSE(events_.errors.empty());
  EXPECT_EQ(events_.errors[0].protocol, "POP3");
  EXPECT_EQ(events_.errors[0].port, kPop3Port);
  EXPECT_EQ(Count(storage::FolderType::kOutbox), 1u);
  std::string log = LogText();
  EXPECT_NE(log.find("Synchronizing 127.0.0.1 (POP3)"), std::string::npos);
  EXPECT_NE(log.find("Authentication: saSMTPAfterIncoming"), std::string::npos);
  EXPECT_EQ(log.find("Synchronizing 127.0.0.1 (SMTP)"), std::string::npos);
  EXPECT_EQ(log.find("wrong"), std::string::npos);  // PASS is masked

  // The right password this time: POP3 login, then the message goes out.
  events_ = EventRecord();
  service_->pop3().password = kPassword;
  RunOnce();
  EXPECT_TRUE(events_.errors.empty()) << FormatErrorReport(events_.errors[0]);
  EXPECT_EQ(Count(storage::FolderType::kSent), 1u);
  log = LogText();
  EXPECT_LT(log.rfind("Synchronizing 127.0.0.1 (POP3)"), log.rfind("Synchronizing 127.0.0.1 (SMTP)"));
}

// A STARTTLS that cannot be negotiated, with insecure fallback allowed: a
// non-critical error, then the message goes out in clear.
TEST_F(MailServicePeers, FailedStartTlsFallsBackWhenAllowed) {
  fs::path dir = Dir("exim");
  START_DELIVERY_PEER(exim, "smtp_exim.sh", dir,
                      {"--port", std::to_string(kOwnSmtpPort), "--tls-priority",
                       "NONE:+VERS-TLS1.3:+AES-128-GCM:+AEAD:+COMP-NULL:+SIGN-ALL:+CTYPE-X509:+GROUP-ALL"});
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  ServerConfig& smtp = service_->smtp();
  smtp.port = kOwnSmtpPort;
  smtp.use_ssl = true;
  smtp.ssl_explicit = true;
  smtp.ssl_allow_insecure = true;
  service_->SetCertificateAcceptance(TrustPeer(dir));
  RunOnce();
  ASSERT_EQ(events_.errors.size(), 1u) << Reports(events_.errors);
  EXPECT_FALSE(events_.errors[0].critical);
  EXPECT_EQ(events_.errors[0].code >> 16, 0x80C5u);
  EXPECT_EQ(Count(storage::FolderType::kSent), 1u);

  // Without the fallback the same failure is critical and nothing is sent.
  events_ = EventRecord();
  AddOutboxNote(*storage_, home_.root(), u"alice@localhost");
  smtp.ssl_allow_insecure = false;
  RunOnce();
  ASSERT_EQ(events_.errors.size(), 1u) << Reports(events_.errors);
  EXPECT_TRUE(events_.errors[0].critical);
  EXPECT_EQ(Count(storage::FolderType::kOutbox), 1u);
}

}  // namespace
}  // namespace delivery
