// The mail client against servers set up the way mail providers run them
// today: TLS 1.2 only, ECDHE key exchange with AEAD suites, ECDSA and RSA
// certificates under roots the user imported.
//  - exim (GnuTLS): a note sent with `dictaloctl send` over STARTTLS and over
//    implicit TLS arrives intact; a client limited to older versions is
//    refused with the server's reason, and a served chain with a broken
//    signature ends the send, both leaving the note in the Outbox.
//  - Dovecot (OpenSSL): the POP3 login before SMTP runs over POP3S and STLS
//    during a send, and the note comes back through POP3 unchanged.
//  - the JDK's TLS 1.2 server: 1 MB both ways for ECDSA and RSA suites.
//  - `dictaloctl cert verify` on ECDSA chains, a mixed RSA/ECDSA chain and
//    faulty ones.
// Keys and certificates come from tests/peers/tls12_mail_certs.sh, made once
// per build tree. Ports 47100-47199.

#include <gtest/gtest.h>
#include <pwd.h>

#include <random>
#include <regex>
#include <sstream>

#include "delivery/mail_service.h"
#include "delivery/peer_test_support.h"
#include "platform/process.h"
#include "protocols/pop3_client.h"
#include "protocols/socket_layer.h"
#include "storage/delivery_volume.h"

namespace delivery {
namespace {

using namespace delivery::test;
using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::WaitUntil;

constexpr std::uint16_t kEcSmtpPort = 47125, kEcSmtpsPort = 47165;
constexpr std::uint16_t kRsaSmtpPort = 47126, kRsaSmtpsPort = 47166;
constexpr std::uint16_t kBadChainSmtpPort = 47128;
constexpr std::uint16_t kRoundTripSmtpPort = 47127, kRoundTripSmtpsPort = 47167;
constexpr std::uint16_t kPop3Port = 47110, kPop3sPort = 47195;
constexpr std::uint16_t kJavaPort = 47150;
constexpr std::uint16_t kNamedHostPort = 47140, kSmallRecordPort = 47141;

// TLS 1.2 alone, ECDHE with ECDSA or RSA, AES-GCM and ChaCha20-Poly1305.
constexpr char kEximPriority[] =
    "SECURE128:-VERS-ALL:+VERS-TLS1.2:-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:-KX-ALL:"
    "+ECDHE-ECDSA:+ECDHE-RSA";
// The same, the server's preferences first: ChaCha20 and P-384 ahead.
constexpr char kEximServerOrderPriority[] =
    "SECURE128:-VERS-ALL:+VERS-TLS1.2:-CIPHER-ALL:+CHACHA20-POLY1305:+AES-256-GCM:+AES-128-GCM:-KX-ALL:"
    "+ECDHE-RSA:+ECDHE-ECDSA:-GROUP-ALL:+GROUP-SECP384R1:+GROUP-X25519:+GROUP-SECP256R1:%SERVER_PRECEDENCE";
constexpr char kDovecotCiphers[] = "ECDHE+AESGCM:ECDHE+CHACHA20";

fs::path Bin(const char* name) { return testing_support::BinaryDir() / name; }
fs::path PeerScript(const char* name) { return testing_support::SourceDir() / "tests" / "peers" / name; }
fs::path CertDir() { return testing_support::BinaryDir().parent_path() / "tls12-mail-certs"; }

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
  return false;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Bytes no two notes share, so that each one can be found again.
std::string NoteBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes = "RIFF";
  while (bytes.size() < size) bytes.push_back(static_cast<char>(random() & 0xFF));
  return bytes;
}

// The hex of every attachment in the Maildir at `root`, as Python's email module decodes it.
std::vector<std::string> AttachmentsHex(const fs::path& root) {
  auto r = platform::RunProcess("/usr/bin/python3", {PeerScript("maildir_reader.py").string(), root.string(), ""},
                                std::chrono::seconds(60), std::size_t{64} << 20);
  std::vector<std::string> found;
  if (!r) return found;
  std::istringstream lines(r->output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind, type, hex;
    words >> kind >> type >> hex;
    if (kind == "attachment") found.push_back(hex);
  }
  return found;
}

bool Contains(const std::vector<std::string>& all, const std::string& one) {
  return std::find(all.begin(), all.end(), one) != all.end();
}

class Tls12MailServers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    certs_ = RunProgram(PeerScript("tls12_mail_certs.sh"), {CertDir().string()}, std::chrono::seconds(120));
  }
  void SetUp() override {
    ASSERT_EQ(certs_.status, 0) << "the certificates could not be made: " << certs_.err;
    // The servers run as their own users and must reach their folders.
    fs::permissions(home_.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
  }
  static fs::path Cert(const std::string& name) { return CertDir() / name; }
  testing_support::RunResult Ctl(const std::vector<std::string>& args) {
    return RunProgram(Bin("dictaloctl"), args, std::chrono::seconds(60));
  }
  void Set(const std::string& key, const std::string& value) {
    ASSERT_EQ(Ctl({"settings", "set", key, value}).status, 0) << key << " " << value;
  }
  // The root goes into the user's ROOT store, as a user adds a provider's CA.
  void ImportRoot(const std::string& name) {
    const auto imported = Ctl({"cert", "import", Cert(name).string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
  }
  // A delivery to exim on `port` with TLS and the account's credentials.
  void UseMailServer(std::uint16_t port, bool implicit) {
    Set("NotesSendMode", "0");
    Set("SMTPHost", "localhost");
    Set("SMTPPort", std::to_string(port));
    Set("SMTPTimeout", "10");
    Set("SendToAddress", "alice@example.org");
    Set("ShowSaveInfo", "false");
    Set("PlaySound", "false");
    Set("SMTPUseSSL", "true");
    Set("SMTPSSLExplicit", implicit ? "false" : "true");
    Set("SMTPAuthentication", "3");
    Set("SMTPUserName", kUser);
    Set("SMTPPassword", kPassword);
  }
  std::vector<std::string> EximArgs(std::uint16_t port, std::uint16_t tls_port, const std::string& chain,
                                    const std::string& key, const char* priority = kEximPriority) {
    std::vector<std::string> args = {"--port", std::to_string(port), "--tls-priority", priority,
                                     "--certificate", Cert(chain).string(), "--key", Cert(key).string()};
    if (tls_port != 0) args.insert(args.end(), {"--tls-port", std::to_string(tls_port)});
    return args;
  }
  // The session a mail connection gets from the server on `port` (through
  // STARTTLS/STLS when `starttls` names the protocol): TLS 1.2, an ECDHE suite
  // with AEAD authenticated by `kind` (ECDSA or RSA), the chain trusted
  // through the user's ROOT store. Printed for whoever reads the output.
  void ExpectModernSession(const std::string& what, std::uint16_t port, const std::string& starttls,
                           const std::string& kind) {
    SCOPED_TRACE(what);
    std::vector<std::string> args = {"tls-probe", "localhost", std::to_string(port)};
    if (starttls.empty()) {
      args.insert(args.end(), {"--line", "QUIT"});
    } else {
      args.insert(args.end(), {"--starttls", starttls});
    }
    const auto r = Ctl(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("protocol: TLS 1.2\n"), std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex("suite: 0x[0-9A-F]{4} ECDHE-" + kind + "-(AES(128|256)-GCM-SHA(256|384)|CHACHA20-POLY1305)\n")))
        << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("group: (x25519|secp256r1|secp384r1)\n"))) << r.out;
    EXPECT_NE(r.out.find("certificate: accepted\n"), std::string::npos) << r.out;
    std::cout << what << ":\n";
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("protocol:", 0) == 0 || line.rfind("suite:", 0) == 0 || line.rfind("group:", 0) == 0 ||
          line.rfind("signature:", 0) == 0)
        std::cout << "  " << line << "\n";
  }
  fs::path WriteNote(const std::string& name, const std::string& bytes) {
    const fs::path note = home_.root() / name;
    testing_support::WriteFileBytes(note, bytes);
    return note;
  }

  static inline testing_support::RunResult certs_;
  testing_support::ScopedTestHome home_;
};

#define REQUIRE_PEER_PROGRAM(program) \
  if (!OnPath(program)) GTEST_SKIP() << program << " is not installed"

// ------------------------------------------------------------------- exim

// Per certificate: a note over STARTTLS (submission style) and one over
// implicit TLS, each through `dictaloctl send`, arrive byte for byte; exim's
// own log names the TLS 1.2 ECDHE suite it used with the certificate's kind.
TEST_F(Tls12MailServers, EximNotesArriveOverStartTlsAndImplicitTls) {
  REQUIRE_PEER_PROGRAM("exim4");
  struct Server {
    const char* chain;
    const char* key;
    const char* root;
    std::uint16_t port, tls_port;
    const char* priority;
    const char* kind;         // the suite's authentication
    const char* log_pattern;  // exim's X= field for the delivery
  } servers[] = {
      // The client's choice among the server's suites and groups.
      {"ec-chain.crt", "ec-leaf.key", "ec-root.crt", kEcSmtpPort, kEcSmtpsPort, kEximPriority, "ECDSA",
       R"(X=TLS1\.2:ECDHE_(X25519|SECP256R1|SECP384R1)__ECDSA_SHA(256|384)__(AES_(128|256)_GCM|CHACHA20_POLY1305):)"},
      // The server's own choice.
      {"rsa-leaf.crt", "rsa-leaf.key", "rsa-root.crt", kRsaSmtpPort, kRsaSmtpsPort, kEximServerOrderPriority, "RSA",
       R"(X=TLS1\.2:ECDHE_SECP384R1__RSA_[A-Z_]*SHA(256|384|512)__CHACHA20_POLY1305:)"},
  };
  unsigned seed = 1;
  for (const auto& server : servers) {
    SCOPED_TRACE(server.chain);
    const fs::path dir = PeerFolder(home_.root(), std::string("exim-") + server.key);
    START_DELIVERY_PEER(exim, "smtp_exim.sh", dir, EximArgs(server.port, server.tls_port, server.chain, server.key, server.priority));
    ImportRoot(server.root);
    std::vector<std::string> sent;
    for (bool implicit : {false, true}) {
      SCOPED_TRACE(implicit ? "implicit TLS" : "STARTTLS");
      UseMailServer(implicit ? server.tls_port : server.port, implicit);
      const std::string bytes = NoteBytes(40000, seed++);
      const auto send = Ctl({"send", WriteNote("note.wav", bytes).string()});
      EXPECT_EQ(send.status, 0) << send.out << send.err;
      EXPECT_NE(send.out.find("Note sent to alice@example.org"), std::string::npos) << send.out;
      sent.push_back(Hex(bytes));
      ExpectModernSession(std::string("exim ") + server.chain + (implicit ? " implicit TLS" : " STARTTLS"),
                          implicit ? server.tls_port : server.port, implicit ? "" : "smtp", server.kind);
    }
    ASSERT_TRUE(WaitUntil([&] { return Files(dir / "mail" / "new").size() >= 2; }, std::chrono::seconds(20)));
    const auto arrived = AttachmentsHex(dir / "mail");
    ASSERT_EQ(arrived.size(), 2u);
    for (const auto& hex : sent) EXPECT_TRUE(Contains(arrived, hex)) << "a note arrived changed";
    const std::string log = ReadFileBytes(dir / "log" / "mainlog");
    const std::regex accepted(std::string(R"( <= \S+ .* P=esmtpsa )") + server.log_pattern);
    const auto deliveries = std::distance(std::sregex_iterator(log.begin(), log.end(), accepted), std::sregex_iterator());
    EXPECT_EQ(deliveries, 2) << log;
  }
}

// A client that offers nothing newer than TLS 1.1, or only SSL, gets the
// server's protocol_version alert: the send fails with it in the log and the
// account test's report, and the note waits for a client that can.
TEST_F(Tls12MailServers, EximRefusesOlderProtocolsWithTheReason) {
  REQUIRE_PEER_PROGRAM("exim4");
  const fs::path dir = PeerFolder(home_.root(), "exim");
  START_DELIVERY_PEER(exim, "smtp_exim.sh", dir, EximArgs(kEcSmtpPort, 0, "ec-chain.crt", "ec-leaf.key"));
  ImportRoot("ec-root.crt");
  for (const char* versions : {"tls1.0", "ssl3,tls1.1"}) {
    SCOPED_TRACE(versions);
    const auto probe = Ctl({"tls-probe", "localhost", std::to_string(kEcSmtpPort), "--starttls", "smtp",
                            "--versions", versions});
    EXPECT_EQ(probe.status, 1) << probe.out;
    EXPECT_NE(probe.out.find("handshake failed: 0x80C50046 (protocol_version)"), std::string::npos) << probe.out;
    EXPECT_EQ(probe.out.find("protocol: "), std::string::npos) << probe.out;
  }

  UseMailServer(kEcSmtpPort, false);
  Set("SMTPSSLVersions", "2");  // SSL 3.0 alone
  const std::string bytes = NoteBytes(5000, 7);
  const auto send = Ctl({"send", WriteNote("old.wav", bytes).string()});
  EXPECT_EQ(send.status, 1) << send.out;
  EXPECT_NE(send.err.find("Connection Error: Please check your internet connection and mail server settings."),
            std::string::npos)
      << send.err;
  EXPECT_NE(send.err.find("*** Critical Error: 0x80C50046"), std::string::npos) << send.err;
  EXPECT_NE(send.out.find("Note not sent; it waits in the Outbox (1 waiting)"), std::string::npos) << send.out;
  const auto test = Ctl({"test-account"});
  EXPECT_EQ(test.status, 1) << test.out;
  EXPECT_NE(test.err.find("SSL error: Unsupported protocol version.\nServer: \"localhost\".\nProtocol: SMTP. Port: " +
                          std::to_string(kEcSmtpPort) + ". SSL: On.\nError Code: #80C50046."),
            std::string::npos)
      << test.err;
  EXPECT_TRUE(Files(dir / "mail" / "new").empty());

  // With TLS allowed again the waiting note goes out unchanged.
  Set("SMTPSSLVersions", "7");
  const auto resend = Ctl({"outbox", "resend"});
  EXPECT_EQ(resend.status, 0) << resend.out << resend.err;
  EXPECT_NE(resend.out.find("1 sent, 0 left"), std::string::npos) << resend.out;
  ASSERT_TRUE(WaitUntil([&] { return Files(dir / "mail" / "new").size() == 1; }, std::chrono::seconds(20)));
  EXPECT_EQ(AttachmentsHex(dir / "mail"), std::vector<std::string>{Hex(bytes)});
}

// A server whose intermediate certificate carries a broken signature: the
// handshake itself completes, the chain is refused with the generic
// secure-connection failure, and nothing is sent.
TEST_F(Tls12MailServers, EximWithABrokenChainGetsNoNote) {
  REQUIRE_PEER_PROGRAM("exim4");
  const fs::path dir = PeerFolder(home_.root(), "exim");
  START_DELIVERY_PEER(exim, "smtp_exim.sh", dir, EximArgs(kBadChainSmtpPort, 0, "badsig-chain.crt", "ec-leaf.key"));
  ImportRoot("ec-root.crt");
  UseMailServer(kBadChainSmtpPort, false);
  const auto send = Ctl({"send", WriteNote("note.wav", NoteBytes(5000, 9)).string()});
  EXPECT_EQ(send.status, 1) << send.out;
  EXPECT_NE(send.err.find("*** Critical Error: 0x80C5012A"), std::string::npos) << send.err;
  EXPECT_NE(send.out.find("Note not sent; it waits in the Outbox (1 waiting)"), std::string::npos) << send.out;
  const auto test = Ctl({"test-account"});
  EXPECT_EQ(test.status, 1) << test.out;
  EXPECT_NE(test.err.find("SSL error: Failed to establish a secure connection to the specified server.\n"
                          "Server: \"localhost\".\nProtocol: SMTP. Port: " +
                          std::to_string(kBadChainSmtpPort) + ". SSL: On.\nError Code: #80C5012A."),
            std::string::npos)
      << test.err;
  const auto probe = Ctl({"tls-probe", "localhost", std::to_string(kBadChainSmtpPort), "--starttls", "smtp"});
  EXPECT_NE(probe.out.find("certificate: refused: signature does not verify with the issuer's key"),
            std::string::npos)
      << probe.out;
  EXPECT_EQ(ReadFileBytes(dir / "log" / "mainlog").find(" <= "), std::string::npos);
}

// ---------------------------------------------------------------- Dovecot

class Tls12PopBeforeSmtp : public Tls12MailServers {
 protected:
  void SetUp() override {
    Tls12MailServers::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    install_ = home_.root() / "install";
    fs::create_directories(install_);
    auto opened = storage::OpenDeliveryStorage(install_, nullptr);
    ASSERT_TRUE(opened.storage);
    storage_ = std::move(opened.storage);
    log_ = base::OpenActivityLog(install_);
    sink_ = std::make_unique<MailEventSink>(&events_);
    service_ = std::make_unique<MailService>(MailServiceContext{log_.get(), sink_.get()}, storage_.get());
  }
  // A note in the Outbox for alice, its attachment `bytes`.
  void AddNote(const std::string& bytes) {
    auto* drafts = storage_->GetFolder(storage::FolderType::kDrafts);
    std::unique_ptr<storage::CElDBMimeMessage> message;
    ASSERT_EQ(drafts->CreateMessage(&message), storage::kStorageOk);
    mime::NoteMessageRequest request;
    request.from = u"notes@example.org";
    request.to = u"alice@localhost";
    request.subject = u"Voice note";
    request.attachments.push_back({WriteNote("note.wav", bytes), "audio/x-wav"});
    ASSERT_EQ(mime::BuildMessage(mime::ComposeNoteMessage(request), &message->mime()), mime::kMimeOk);
    ASSERT_EQ(message->Save(mime::NoteWriteOptions()), storage::kStorageOk);
    ASSERT_EQ(drafts->MoveMessage(message->id(), *storage_->GetFolder(storage::FolderType::kOutbox)),
              storage::kStorageOk);
  }
  // The POP3 login comes first; SMTP needs no login of its own then.
  void Configure(bool implicit) {
    ServerConfig& smtp = service_->smtp();
    smtp.host = "localhost";
    smtp.port = implicit ? kRoundTripSmtpsPort : kRoundTripSmtpPort;
    smtp.timeout = 20;
    smtp.authentication = SmtpAuthMode::kSmtpAfterIncoming;
    smtp.use_ssl = true;
    smtp.ssl_explicit = !implicit;
    ServerConfig& pop3 = service_->pop3();
    pop3 = smtp;
    pop3.authentication = SmtpAuthMode::kNotRequired;
    pop3.port = implicit ? kPop3sPort : kPop3Port;
    pop3.user_name = kUser;
    pop3.password = kPassword;
  }
  void RunOnce() {
    ASSERT_TRUE(service_->Synchronize());
    service_->WaitWhileBusy();
    EXPECT_TRUE(events_.Saw(kProgressRunDone));
  }
  // Every message of the mailbox through our POP3 client, as files of a Maildir at `root`.
  void FetchInto(const fs::path& root, bool implicit) {
    fs::create_directories(root / "new");
    fs::create_directories(root / "cur");
    fs::create_directories(root / "tmp");
    protocols::Pop3Client client;
    client.SetTimeout(20);
    client.SetCredentials(kUser, kPassword);
    if (implicit) {
      ASSERT_EQ(client.SetPlain(false), protocols::kMailOk);
    }
    ASSERT_EQ(client.ConnectAndGreet("localhost", implicit ? kPop3sPort : kPop3Port), protocols::kMailOk);
    if (!implicit) {
      ASSERT_EQ(client.StartTls(), protocols::kMailOk) << client.last_response();
    }
    ASSERT_EQ(client.Login(), protocols::kMailOk) << client.last_response();
    std::uint32_t count = 0;
    std::uint64_t size = 0;
    ASSERT_EQ(client.Stat(&count, &size), protocols::kMailOk);
    for (std::uint32_t n = 1; n <= count; ++n) {
      std::string message;
      client.SetMessageLineCallback([&](std::string_view line) { message += std::string(line) + "\n"; });
      ASSERT_EQ(client.Retr(n), protocols::kMailOk);
      testing_support::WriteFileBytes(root / "new" / (std::to_string(n) + ".fetched"), message);
    }
    EXPECT_EQ(client.Quit(), protocols::kMailOk);
  }
  std::string LogText() { return ReadText(base::ActivityLogPath(install_)); }

  protocols::ScopedSocketLayer layer_;
  fs::path install_;
  std::unique_ptr<storage::MailStorage> storage_;
  std::unique_ptr<base::ActivityLog> log_;
  EventRecord events_;
  std::unique_ptr<MailEventSink> sink_;
  std::unique_ptr<MailService> service_;
};

// exim delivers into the Maildir that Dovecot serves. Each send logs in to
// POP3 first (POP3S, then STLS), all on TLS 1.2 with ECDSA certificates the
// user trusts through the imported root; both notes come back through POP3,
// once over POP3S and once over STLS, with their attachments unchanged.
TEST_F(Tls12PopBeforeSmtp, NoteSentAfterThePop3LoginComesBackThroughPop3) {
  REQUIRE_PEER_PROGRAM("exim4");
  REQUIRE_PEER_PROGRAM("dovecot");
  const fs::path mailroot = PeerFolder(home_.root(), "mailroot");
  const fs::path exim_dir = PeerFolder(home_.root(), "exim"), dovecot_dir = PeerFolder(home_.root(), "dovecot");
  std::vector<std::string> exim_args = EximArgs(kRoundTripSmtpPort, kRoundTripSmtpsPort, "ec-chain.crt", "ec-leaf.key");
  exim_args.insert(exim_args.end(), {"--verify-recipients", "--mailroot", mailroot.string()});
  START_DELIVERY_PEER(exim, "smtp_exim.sh", exim_dir, exim_args);
  START_DELIVERY_PEER(dovecot, "pop3_dovecot.sh", dovecot_dir,
                      {"--port", std::to_string(kPop3Port), "--tls-port", std::to_string(kPop3sPort), "--mailroot",
                       mailroot.string(), "--mail-owner", "Debian-exim", "--certificate", Cert("ec-chain.crt").string(),
                       "--key", Cert("ec-leaf.key").string(), "--min-protocol", "TLSv1.2", "--ciphers",
                       kDovecotCiphers});
  ImportRoot("ec-root.crt");

  std::vector<std::string> sent;
  for (bool implicit : {true, false}) {
    SCOPED_TRACE(implicit ? "POP3S and SMTPS" : "STLS and STARTTLS");
    const std::string bytes = NoteBytes(60000, implicit ? 11 : 12);
    AddNote(bytes);
    Configure(implicit);
    events_ = EventRecord();
    RunOnce();
    for (const auto& e : events_.errors) ADD_FAILURE() << FormatErrorReport(e);
    EXPECT_EQ(storage_->GetFolder(storage::FolderType::kSent)->Count(), sent.size() + 1);
    sent.push_back(Hex(bytes));
    const std::string log = LogText();
    EXPECT_LT(log.rfind("Synchronizing localhost (POP3)"), log.rfind("Synchronizing localhost (SMTP)"));
    EXPECT_NE(log.find(implicit ? "SSL: Yes, Implicit" : "SSL: Yes, Explicit"), std::string::npos);
  }
  // A POP3 login moves what it saw in new/ to cur/.
  const fs::path inbox = mailroot / kUser / "Maildir";
  ASSERT_TRUE(WaitUntil([&] { return Files(inbox / "new").size() + Files(inbox / "cur").size() >= 2; },
                        std::chrono::seconds(20)))
      << ReadFileBytes(exim_dir / "log" / "mainlog");
  // The POP3 logins reached Dovecot over TLS.
  const std::string dovecot_log = ReadFileBytes(dovecot_dir / "dovecot.log");
  const std::regex tls_login(R"(Login: user=<alice>.*, TLS)");
  EXPECT_GE(std::distance(std::sregex_iterator(dovecot_log.begin(), dovecot_log.end(), tls_login),
                          std::sregex_iterator()),
            2)
      << dovecot_log;

  for (bool implicit : {true, false}) {
    SCOPED_TRACE(implicit ? "fetched over POP3S" : "fetched over STLS");
    const fs::path fetched = home_.root() / (implicit ? "fetched-pop3s" : "fetched-stls");
    FetchInto(fetched, implicit);
    const auto arrived = AttachmentsHex(fetched);
    ASSERT_EQ(arrived.size(), 2u);
    for (const auto& hex : sent) EXPECT_TRUE(Contains(arrived, hex)) << "a note came back changed";
  }
  ExpectModernSession("dovecot POP3S", kPop3sPort, "", "ECDSA");
  ExpectModernSession("dovecot STLS", kPop3Port, "pop3", "ECDSA");
}

// ------------------------------------------------------------------- JDK

TEST_F(Tls12MailServers, JdkTls12SuitesRoundTripOneMegabyte) {
  REQUIRE_PEER_PROGRAM("java");
  const fs::path trust = home_.root() / "roots.crt";
  testing_support::WriteFileBytes(trust, ReadFileBytes(Cert("ec-root.crt")) + ReadFileBytes(Cert("rsa-root.crt")));
  struct Case {
    const char* jdk_suite;
    const char* groups;  // the server's ECDHE groups
    const char* suite;   // expected "suite: " line
    const char* group;   // expected "group: " line
    const char* key;     // the server certificate's key, as the JDK names it
  } cases[] = {
      // The JDK signs with a P-256 key only when P-256 is among its own groups.
      {"TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256", "x25519,secp256r1", "0xC02B ECDHE-ECDSA-AES128-GCM-SHA256", "x25519",
       "EC"},
      {"TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384", "secp256r1", "0xC02C ECDHE-ECDSA-AES256-GCM-SHA384", "secp256r1",
       "EC"},
      {"TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", "secp384r1", "0xC02F ECDHE-RSA-AES128-GCM-SHA256", "secp384r1", "RSA"},
      {"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "x25519", "0xC030 ECDHE-RSA-AES256-GCM-SHA384", "x25519", "RSA"},
  };
  std::uint16_t port = kJavaPort;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jdk_suite);
    const auto r = RunProgram(PeerScript("tls12_java_server.sh"),
                              {"run", CertDir().string(), std::to_string(port), c.jdk_suite, "--groups", c.groups, "--",
                               Bin("dictaloctl").string(), "tls-probe", "localhost", std::to_string(port), "--trust",
                               trust.string(), "--round-trip", "1048576"},
                              std::chrono::seconds(120));
    ++port;
    ASSERT_NE(r.status, 3) << "the JDK server did not start: " << r.err;
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("protocol: TLS 1.2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("suite: ") + c.suite + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("group: ") + c.group + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("certificate: accepted\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("round trip: 1048576 bytes echoed"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(std::string("server: session TLSv1.2 ") + c.jdk_suite + " " + c.key + "\n"),
              std::string::npos)
        << r.err;
    std::cout << "jdk " << c.jdk_suite << ":\n" << r.out << "\n";
  }
}

// ------------------------------------------------------- name-based hosting

// The hello names the host; a server that hosts other names warns
// unrecognized_name and goes on with its default certificate, which the
// acceptance check then judges like any other.
TEST_F(Tls12MailServers, ServerThatDoesNotKnowTheNameGoesOnWithItsDefault) {
  REQUIRE_PEER_PROGRAM("openssl");
  const auto r = RunProgram(PeerScript("tls12_named_openssl_server.sh"),
                            {"run", CertDir().string(), std::to_string(kNamedHostPort), "mail.example.org", "--",
                             Bin("dictaloctl").string(), "tls-probe", "localhost", std::to_string(kNamedHostPort),
                             "--trust", Cert("ec-root.crt").string(), "--round-trip", "65536"},
                            std::chrono::seconds(60));
  ASSERT_NE(r.status, 3) << "openssl did not start: " << r.err;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("protocol: TLS 1.2\n"), std::string::npos) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("suite: 0x[0-9A-F]{4} ECDHE-ECDSA-"))) << r.out;
  EXPECT_NE(r.out.find("certificate: accepted\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("round trip: 65536 bytes reversed"), std::string::npos) << r.out;
}

// A server may spread one handshake message over several records (a chain
// longer than a record must be); small records show it with any chain.
TEST_F(Tls12MailServers, HandshakeMessagesSpreadOverSmallRecordsAreJoined) {
  REQUIRE_PEER_PROGRAM("openssl");
  const auto r = RunProgram(PeerScript("tls12_named_openssl_server.sh"),
                            {"run", CertDir().string(), std::to_string(kSmallRecordPort), "mail.example.org",
                             "-max_send_frag", "512", "--", Bin("dictaloctl").string(), "tls-probe", "localhost",
                             std::to_string(kSmallRecordPort), "--trust", Cert("ec-root.crt").string(),
                             "--round-trip", "65536"},
                            std::chrono::seconds(60));
  ASSERT_NE(r.status, 3) << "openssl did not start: " << r.err;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("protocol: TLS 1.2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("certificate: accepted\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("round trip: 65536 bytes reversed"), std::string::npos) << r.out;
}

// ------------------------------------------------------------ cert verify

TEST_F(Tls12MailServers, CertVerifyOnEcdsaAndMixedChains) {
  struct Case {
    const char* chain;
    const char* trust;   // --trust file, or null for the user's ROOT store
    const char* host;
    int status;
    const char* result;  // "chain result: " line
    const char* verdict;
  } cases[] = {
      // P-384 root, P-256 intermediate, P-256 leaf.
      {"ec-chain.crt", "ec-root.crt", "localhost", 0, "0x00000000", "accepted"},
      {"ec-chain.crt", "ec-root.crt", "127.0.0.1", 0, "0x00000000", "accepted"},
      {"ec-chain.crt", "ec-root.crt", "mail.example.org", 1, "0x00000000",
       "refused: certificate does not name mail.example.org"},
      // RSA root, ECDSA intermediate.
      {"mixed-chain.crt", "rsa-root.crt", "localhost", 0, "0x00000000", "accepted"},
      {"mixed-chain.crt", "ec-root.crt", "localhost", 1, "0x00000001",
       "refused: issuer not found among the trusted certificates"},
      {"rsa-leaf.crt", "rsa-root.crt", "localhost", 0, "0x00000000", "accepted"},
      // The intermediate's signature changed by one bit.
      {"badsig-chain.crt", "ec-root.crt", "localhost", 1, "0x00000002",
       "refused: signature does not verify with the issuer's key"},
      // Intermediates signed correctly, their keys unusable: a point off
      // P-256, a P-256 point labelled P-384, a curve this client has not.
      {"badpoint-chain.crt", "ec-root.crt", "localhost", 1, "0x00000002",
       "refused: signature does not verify with the issuer's key"},
      {"relabel-chain.crt", "ec-root.crt", "localhost", 1, "0x00000002",
       "refused: signature does not verify with the issuer's key"},
      {"brainpool-chain.crt", "ec-root.crt", "localhost", 1, "0x00000002",
       "refused: signature does not verify with the issuer's key"},
      // Through the user's ROOT store, where only the ECDSA root was imported.
      {"ec-chain.crt", nullptr, "localhost", 0, "0x00000000", "accepted"},
      {"mixed-chain.crt", nullptr, "localhost", 1, "0x00000001",
       "refused: issuer not found among the trusted certificates"},
  };
  ImportRoot("ec-root.crt");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.chain) + " trusting " + (c.trust ? c.trust : "the ROOT store") + " for " + c.host);
    std::vector<std::string> args = {"cert", "verify", c.host, Cert(c.chain).string()};
    if (c.trust != nullptr) args.insert(args.end(), {"--trust", Cert(c.trust).string()});
    const auto r = Ctl(args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(r.out, std::string("chain result: ") + c.result + "\n" + c.verdict + "\n") << r.err;
  }
}

}  // namespace
}  // namespace delivery
