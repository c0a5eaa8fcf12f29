// The mail protocols against real servers and proxies started by the scripts
// in tests/peers: exim4 and aiosmtpd for SMTP (AUTH, STARTTLS and implicit
// TLS at TLS 1.0 with AES, RC4 and 3DES, the SIZE limit, a refused
// recipient), Dovecot for POP3 (USER/PASS, APOP, SASL, STLS, POP3S and the
// mailbox commands), dante, microsocks and `ssh -D` for SOCKS 4, 4A and 5,
// and a message sent through exim and fetched back through Dovecot.
//
// Every peer listens on 127.0.0.1 on ports picked for the test, keeps its
// files in the test's temporary folder and is stopped by its pid. The peers
// need root (they switch users); without it the tests are skipped.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "mime/byte_stream.h"
#include "mime/mime_message.h"
#include "mime/note_message.h"
#include "protocols/pop3_client.h"
#include "protocols/smtp_client.h"
#include "protocols/socket_layer.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace protocols {
namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;

std::uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// A peer from tests/peers serving until the object goes (SIGTERM, then the
// script stops its server by pid and ends).
class Peer {
 public:
  // `script` is a file in tests/peers; Python scripts run under /usr/bin/python3.
  Peer(const std::string& script, const fs::path& dir, std::vector<std::string> args) {
    const fs::path path = testing_support::SourceDir() / "tests" / "peers" / script;
    args.insert(args.begin(), {"serve", dir.string()});
    if (script.ends_with(".py")) {
      args.insert(args.begin(), path.string());
      process_ = std::make_unique<ChildProcess>("/usr/bin/python3", args);
    } else {
      process_ = std::make_unique<ChildProcess>(path, args);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (process_->Output().find("ready") != std::string::npos) {
        ready_ = true;
        return;
      }
      if (!process_->Running()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    status_ = process_->Wait(std::chrono::seconds(5)).value_or(-1);
  }
  ~Peer() {
    if (process_ && process_->Running()) {
      process_->Signal(SIGTERM);
      process_->Wait(std::chrono::seconds(20));
    }
  }
  bool ready() const { return ready_; }
  // The script's exit status when it did not become ready (4: needs root, 5: needs a mount namespace).
  int status() const { return status_; }
  std::string errors() const { return process_->Errors(); }

 private:
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
  int status_ = 0;
};

#define START_PEER(name, ...)                                                        \
  Peer name(__VA_ARGS__);                                                            \
  if (!name.ready() && name.status() == 4) GTEST_SKIP() << "the peers need root";    \
  ASSERT_TRUE(name.ready()) << #name " did not start: " << name.errors()

// One test's world: a temporary home (readable by the users the servers
// switch to), the socket layer, and the trust in the peers' certificates.
class MailPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::permissions(home_.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    fs::permissions(home_.root() / "tmp", fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
  }
  fs::path Dir(const std::string& name) const {
    const fs::path dir = home_.root() / "peers" / name;
    fs::create_directories(dir);
    fs::permissions(home_.root() / "peers", fs::perms::others_exec, fs::perm_options::add);
    return dir;
  }
  // The client accepts exactly the certificate in `dir` for the host it dialled.
  static void Trust(MailClient& client, const fs::path& dir) {
    const fs::path certificate = dir / "rsa.crt";
    client.SetCertificateAcceptance([certificate](MailClient& c, security::CertificateStore& received) {
      security::MemoryCertificateStore trusted;
      for (const auto& anchor : security::LoadCertificateFile(certificate)) trusted.Add(anchor);
      return security::CheckServerCertificate(c.host(), received, trusted, security::CurrentDayNumber()).accepted;
    });
  }
  static void LogTo(std::vector<std::string>* log, SmtpClient& client) {
    client.SetLogSink([log](LogDirection d, std::string_view line) {
      log->push_back((d == LogDirection::kSent ? "S " : "R ") + std::string(line));
    });
  }

  testing_support::ScopedTestHome home_;
  ScopedSocketLayer layer_;
};

constexpr const char* kUser = "notes-user";
constexpr const char* kPassword = "Pa55-word";

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().string());
  return names;
}

bool WaitForFiles(const fs::path& folder, std::size_t count) {
  return testing_support::WaitUntil([&] { return Files(folder).size() >= count; }, std::chrono::seconds(20));
}

// ---------------------------------------------------------------- SMTP, exim

class MailProtocolsExim : public MailPeers {
 protected:
  std::vector<std::string> EximArgs(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--port", std::to_string(smtp_port_), "--tls-port", std::to_string(smtps_port_),
                                     "--user", kUser, "--password", kPassword, "--size-limit", "64K",
                                     "--verify-recipients"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  MailResult Greet(SmtpClient& client, std::uint16_t port) {
    client.SetTimeout(20);
    if (MailResult r = client.ConnectAndGreet("localhost", port); Failed(r)) return r;
    client.SetHeloDomain(client.LocalHostName());
    return client.Ehlo();
  }
  MailResult Send(SmtpClient& client, const std::string& message, const std::string& to) {
    if (MailResult r = client.MailFrom("sender@example.org", message.size()); Failed(r)) return r;
    if (MailResult r = client.RcptTo(to); Failed(r)) return r;
    return client.Data(mime::MemorySource(message), 0);
  }
  std::string Recipient() const { return std::string(kUser) + "@localhost"; }

  std::uint16_t smtp_port_ = FreePort();
  std::uint16_t smtps_port_ = FreePort();
};

TEST_F(MailProtocolsExim, AuthPlainLoginAndCramMd5) {
  const fs::path dir = Dir("exim");
  START_PEER(exim, "smtp_exim.sh", dir, EximArgs());
  for (unsigned mechanism : {kSaslPlain, kSaslLogin, kSaslCramMd5}) {
    SCOPED_TRACE(SaslMechanismName(mechanism));
    SmtpClient client;
    ASSERT_EQ(Greet(client, smtp_port_), kMailOk) << client.last_response();
    EXPECT_EQ(client.server_mechanisms() & (kSaslPlain | kSaslLogin | kSaslCramMd5),
              unsigned{kSaslPlain | kSaslLogin | kSaslCramMd5});
    const MailResult wrong = client.AuthenticateWith(mechanism, kUser, "not-the-password");
    EXPECT_EQ(SmtpReplyNumber(wrong), 0x80C30000u + 535) << client.last_response();
    EXPECT_EQ(SmtpReplyClass(wrong), 3);
    EXPECT_EQ(client.AuthenticateWith(mechanism, kUser, kPassword), kMailOk) << client.last_response();
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  // The ordinary choice: LOGIN first in the clear, CRAM-MD5 with secure authentication.
  for (bool secure : {false, true}) {
    SmtpClient client;
    std::vector<std::string> log;
    LogTo(&log, client);
    client.SetSecureAuth(secure);
    ASSERT_EQ(Greet(client, smtp_port_), kMailOk);
    ASSERT_EQ(client.Authenticate(kUser, kPassword), kMailOk);
    EXPECT_NE(std::find(log.begin(), log.end(), secure ? "S AUTH CRAM-MD5" : "S AUTH LOGIN"), log.end());
    EXPECT_EQ(client.Quit(), kMailOk);
  }
}

struct SuiteCase {
  const char* name;
  const char* priority;  // GnuTLS priority string for exim: that one suite at TLS 1.0
  std::uint16_t code;
};

void PrintTo(const SuiteCase& suite, std::ostream* out) { *out << suite.name; }

class MailProtocolsEximSuite : public MailProtocolsExim, public ::testing::WithParamInterface<SuiteCase> {};

TEST_P(MailProtocolsEximSuite, StartTlsAndImplicitTls) {
  const SuiteCase& suite = GetParam();
  const fs::path dir = Dir("exim");
  START_PEER(exim, "smtp_exim.sh", dir, EximArgs({"--tls-priority", suite.priority}));
  const std::string message = "Subject: " + std::string(suite.name) + "\r\n\r\nover TLS\r\n.\r\n.\r\n";
  {
    SmtpClient client;
    Trust(client, dir);
    ASSERT_EQ(Greet(client, smtp_port_), kMailOk);
    ASSERT_TRUE(client.capabilities() & kSmtpStartTls);
    ASSERT_EQ(client.StartTls(), kMailOk) << std::hex << client.last_tls_code();
    EXPECT_TRUE(client.tls_active());
    EXPECT_EQ(client.tls_engine().Protocol(), security::kProtocolTls1);
    ASSERT_NE(client.tls_engine().NegotiatedSuite(), nullptr);
    EXPECT_EQ(client.tls_engine().NegotiatedSuite()->code, suite.code);
    EXPECT_EQ(client.capabilities(), 0u);  // what came in clear is forgotten
    EXPECT_EQ(client.server_mechanisms(), 0u);
    ASSERT_EQ(client.Ehlo(), kMailOk);
    EXPECT_FALSE(client.capabilities() & kSmtpStartTls);  // announced only before TLS
    EXPECT_TRUE(client.capabilities() & kSmtpAuth);
    ASSERT_EQ(client.Authenticate(kUser, kPassword), kMailOk);
    ASSERT_EQ(Send(client, message, Recipient()), kMailOk) << client.last_response();
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  {
    SmtpClient client;
    Trust(client, dir);
    ASSERT_EQ(client.SetPlain(false), kMailOk);
    ASSERT_EQ(Greet(client, smtps_port_), kMailOk);
    EXPECT_EQ(client.tls_engine().NegotiatedSuite()->code, suite.code);
    ASSERT_EQ(Send(client, message, Recipient()), kMailOk) << client.last_response();
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  ASSERT_TRUE(WaitForFiles(dir / "mail" / "new", 2));
  for (const auto& file : Files(dir / "mail" / "new")) {
    const std::string stored = testing_support::ReadFileBytes(file);
    EXPECT_NE(stored.find("\nover TLS\n.\n.\n"), std::string::npos) << stored;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tls10, MailProtocolsEximSuite,
    ::testing::Values(
        SuiteCase{"AES128_SHA", "NONE:+VERS-TLS1.0:+AES-128-CBC:+SHA1:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509", 0x002F},
        SuiteCase{"RC4_SHA", "NONE:+VERS-TLS1.0:+ARCFOUR-128:+SHA1:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509", 0x0005},
        SuiteCase{"RC4_MD5", "NONE:+VERS-TLS1.0:+ARCFOUR-128:+MD5:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509", 0x0004},
        SuiteCase{"DES_CBC3_SHA", "NONE:+VERS-TLS1.0:+3DES-CBC:+SHA1:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509", 0x000A}),
    [](const ::testing::TestParamInfo<SuiteCase>& info) { return std::string(info.param.name); });

TEST_F(MailProtocolsExim, UntrustedCertificateEndsTheConnection) {
  const fs::path dir = Dir("exim");
  START_PEER(exim, "smtp_exim.sh", dir, EximArgs());
  SmtpClient client;  // no acceptance callback: a self-signed certificate is refused
  ASSERT_EQ(Greet(client, smtp_port_), kMailOk);
  EXPECT_EQ(client.StartTls(), security::kTlsHandshakeFailed);
  EXPECT_FALSE(client.connected());
}

TEST_F(MailProtocolsExim, SizeLimitRefusesLargeMessage) {
  const fs::path dir = Dir("exim");
  START_PEER(exim, "smtp_exim.sh", dir, EximArgs());
  const std::string large = "Subject: large\r\n\r\n" + std::string(100000, 'x') + "\r\n";
  SmtpClient client;
  ASSERT_EQ(Greet(client, smtp_port_), kMailOk);
  EXPECT_EQ(client.max_size(), 65536u);
  // Announced with MAIL FROM: refused there.
  const MailResult refused = client.MailFrom("sender@example.org", large.size());
  EXPECT_EQ(SmtpReplyNumber(refused), 0x80C30000u + 552) << client.last_response();
  // Not confirmed by the user: refused before DATA.
  ASSERT_EQ(client.MailFrom("sender@example.org", 0), kMailOk);
  ASSERT_EQ(client.RcptTo(Recipient()), kMailOk);
  client.SetSizeConfirmation([](std::uint64_t) { return false; });
  EXPECT_EQ(client.Data(mime::MemorySource(large), 0), kSmtpSizeNotConfirmed);
  // Confirmed: the server refuses it after the data.
  client.SetSizeConfirmation([](std::uint64_t) { return true; });
  const MailResult after_data = client.Data(mime::MemorySource(large), 0);
  EXPECT_EQ(SmtpReplyNumber(after_data), 0x80C30000u + 552) << client.last_response();
  EXPECT_EQ(SmtpReplyClass(after_data), 3);
  EXPECT_EQ(client.Quit(), kMailOk);
  EXPECT_TRUE(Files(dir / "mail" / "new").empty());
}

TEST_F(MailProtocolsExim, RefusedRecipient) {
  const fs::path dir = Dir("exim");
  START_PEER(exim, "smtp_exim.sh", dir, EximArgs());
  SmtpClient client;
  ASSERT_EQ(Greet(client, smtp_port_), kMailOk);
  ASSERT_EQ(client.MailFrom("<sender@example.org>", 0), kMailOk);
  const MailResult r = client.RcptTo("nobody-here@localhost");
  EXPECT_EQ(SmtpReplyNumber(r), 0x80C30000u + 550);
  EXPECT_EQ(client.last_response().substr(0, 4), "550 ");
  EXPECT_EQ(client.RcptTo(Recipient()), kMailOk);
  EXPECT_EQ(client.Quit(), kMailOk);
}

// -------------------------------------------------------------- SMTP, aiosmtpd

// What the server kept is exactly what we sent, dots and all; the envelope
// carries the SIZE parameter and the login.
using MailProtocolsAiosmtpd = MailPeers;

TEST_F(MailProtocolsAiosmtpd, GetsTheMessageExactly) {
  const fs::path dir = Dir("aiosmtpd");
  const std::uint16_t port = FreePort(), tls_port = FreePort();
  START_PEER(server, "smtp_aiosmtpd.py", dir,
             {"--port", std::to_string(port), "--tls-port", std::to_string(tls_port), "--user", kUser, "--password",
              kPassword});
  std::string message = "Subject: dots\r\n\r\n.\r\n..\r\n.leading\r\nmiddle . \r\n";
  for (int k = 0; k < 3000; ++k) message += k % 7 == 0 ? ".\r\n" : "line " + std::to_string(k) + "\r\n";
  message += "no final line break";
  for (bool implicit : {false, true}) {
    SmtpClient client;
    Trust(client, dir);
    if (implicit) {
      ASSERT_EQ(client.SetPlain(false), kMailOk);
    }
    ASSERT_EQ(client.ConnectAndGreet("localhost", implicit ? tls_port : port), kMailOk);
    client.SetHeloDomain("client.example.org");
    ASSERT_EQ(client.Ehlo(), kMailOk);
    if (!implicit) {
      ASSERT_EQ(client.StartTls(), kMailOk);
    }
    ASSERT_EQ(client.Ehlo(), kMailOk);
    ASSERT_EQ(client.AuthenticateWith(kSaslCramMd5, kUser, kPassword), kMailOk) << client.last_response();
    ASSERT_EQ(client.MailFrom("sender@example.org", message.size()), kMailOk);
    ASSERT_EQ(client.RcptTo("a@example.org"), kMailOk);
    ASSERT_EQ(client.RcptTo("<b@example.org>"), kMailOk);
    ASSERT_EQ(client.Data(mime::MemorySource(message), 0), kMailOk) << client.last_response();
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  ASSERT_TRUE(WaitForFiles(dir / "messages", 4));
  for (const char* n : {"1", "2"}) {
    EXPECT_EQ(testing_support::ReadFileBytes(dir / "messages" / (std::string(n) + ".eml")), message + "\r\n");
    const std::string envelope = testing_support::ReadFileBytes(dir / "messages" / (std::string(n) + ".json"));
    EXPECT_NE(envelope.find("\"SIZE=" + std::to_string(message.size()) + "\""), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("[\"a@example.org\", \"b@example.org\"]"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find(std::string("\"login\": \"") + kUser + "\""), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("\"tls_version\": \"TLSv1.2\""), std::string::npos) << envelope;
  }
}

// `dictaloctl tls-probe --starttls` reaches the handshake as a mail session
// does and prints the conversation as the activity log would.
testing_support::RunResult ProbeThroughStartTls(const std::string& protocol, std::uint16_t port,
                                                std::vector<std::string> more) {
  std::vector<std::string> args = {"tls-probe", "localhost", std::to_string(port), "--starttls", protocol,
                                   "--timeout", "20"};
  args.insert(args.end(), more.begin(), more.end());
  return testing_support::RunProgram(testing_support::BinaryDir() / "dictaloctl", args, std::chrono::seconds(60));
}

TEST_F(MailProtocolsExim, TlsProbeThroughStartTls) {
  const fs::path dir = Dir("exim");
  START_PEER(exim, "smtp_exim.sh", dir, EximArgs({"--tls-priority", "NONE:+VERS-TLS1.0:+AES-128-CBC:+SHA1:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509"}));
  const auto trusted = ProbeThroughStartTls("smtp", smtp_port_, {"--trust", (dir / "rsa.crt").string()});
  EXPECT_EQ(trusted.status, 0) << trusted.out << trusted.err;
  const std::string& out = trusted.out;
  // Greeting, EHLO, STARTTLS, EHLO once more, then the session and QUIT.
  const auto starttls = out.find("\nS STARTTLS\nR 220 ");
  ASSERT_NE(starttls, std::string::npos) << out;
  EXPECT_EQ(out.rfind("R 220 ", 0), 0u) << out;
  EXPECT_LT(out.find("S EHLO "), starttls);
  EXPECT_NE(out.find("S EHLO ", starttls), std::string::npos) << out;
  EXPECT_NE(out.find("protocol: TLS 1.0\nsuite: 0x002F AES128-SHA\nsubject: CN=localhost\ncertificate: accepted\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("S QUIT\nR 221 "), std::string::npos) << out;

  // Without the trust file the peer's own certificate is not trusted; the probe says so and still succeeds.
  const auto untrusted = ProbeThroughStartTls("smtp", smtp_port_, {});
  EXPECT_EQ(untrusted.status, 0) << untrusted.out << untrusted.err;
  EXPECT_NE(untrusted.out.find("certificate: refused: "), std::string::npos) << untrusted.out;

  // SSL 3.0 only against a TLS 1.0 server: the handshake fails with the server's alert.
  const auto refused = ProbeThroughStartTls("smtp", smtp_port_, {"--versions", "2"});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("handshake failed: 0x80C5"), std::string::npos) << refused.out;

  // POP3 against an SMTP server: the greeting is refused and shown.
  const auto wrong = ProbeThroughStartTls("pop3", smtp_port_, {});
  EXPECT_EQ(wrong.status, 1) << wrong.out;
  EXPECT_NE(wrong.out.find("failed: 0x80C2"), std::string::npos) << wrong.out;
}

// ------------------------------------------------------------- POP3, Dovecot

class MailProtocolsDovecot : public MailPeers {
 protected:
  std::vector<std::string> DovecotArgs(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--port", std::to_string(pop3_port_), "--tls-port", std::to_string(pop3s_port_),
                                     "--user", kUser, "--password", kPassword};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  // Puts messages into the account's new folder, owned by the mail user.
  static void Deliver(const fs::path& dir, const std::vector<std::string>& messages) {
    const fs::path folder = dir / "mail" / kUser / "Maildir" / "new";
    const passwd* nobody = getpwnam("nobody");
    int n = 0;
    for (const auto& message : messages) {
      const fs::path file = folder / ("100000000" + std::to_string(n++) + ".M1P1.localhost");
      testing_support::WriteFileBytes(file, message);
      if (nobody != nullptr) ::chown(file.c_str(), nobody->pw_uid, nobody->pw_gid);
    }
  }
  MailResult Open(Pop3Client& client, std::uint16_t port, bool implicit = false) {
    client.SetTimeout(20);
    client.SetCredentials(kUser, kPassword);
    if (implicit) {
      if (MailResult r = client.SetPlain(false); Failed(r)) return r;
    }
    return client.ConnectAndGreet("localhost", port);
  }

  std::uint16_t pop3_port_ = FreePort();
  std::uint16_t pop3s_port_ = FreePort();
};

TEST_F(MailProtocolsDovecot, UserPassAndTheMailboxCommands) {
  const fs::path dir = Dir("dovecot");
  // Stored with LF endings; a line starting with a dot comes back unstuffed.
  const std::string first = "Subject: one\n\nbody one\n.dotted\n";
  const std::string second = "Subject: two\nX-Extra: yes\n\nline 1\nline 2\nline 3\n";
  START_PEER(dovecot, "pop3_dovecot.sh", dir, DovecotArgs());
  Deliver(dir, {first, second});
  Pop3Client client;
  std::vector<std::string> log;
  client.SetLogSink([&](LogDirection d, std::string_view line) {
    log.push_back((d == LogDirection::kSent ? "S " : "R ") + std::string(line));
  });
  ASSERT_EQ(Open(client, pop3_port_), kMailOk);
  EXPECT_TRUE(client.capabilities() & kPop3Sasl);
  EXPECT_TRUE(client.capabilities() & kPop3Stls);
  EXPECT_EQ(client.server_mechanisms() & (kSaslPlain | kSaslLogin | kSaslCramMd5),
            unsigned{kSaslPlain | kSaslLogin | kSaslCramMd5});
  ASSERT_EQ(client.UserPass(), kMailOk) << client.last_response();
  EXPECT_NE(std::find(log.begin(), log.end(), "S PASS ********"), log.end());

  std::uint32_t count = 0;
  std::uint64_t size = 0;
  ASSERT_EQ(client.Stat(&count, &size), kMailOk);
  EXPECT_EQ(count, 2u);
  std::vector<std::uint64_t> sizes;
  client.SetListCallback([&](std::uint32_t, std::uint64_t bytes) { sizes.push_back(bytes); });
  ASSERT_EQ(client.List(), kMailOk);
  ASSERT_EQ(sizes.size(), 2u);
  EXPECT_EQ(sizes[0] + sizes[1], size);
  std::vector<std::string> ids;
  client.SetUidlCallback([&](std::uint32_t, std::string_view id) { ids.emplace_back(id); });
  ASSERT_EQ(client.Uidl(), kMailOk);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(ids[0], ids[1]);

  std::string fetched;
  client.SetMessageLineCallback([&](std::string_view line) { fetched += std::string(line) + "\n"; });
  ASSERT_EQ(client.Retr(1), kMailOk);
  EXPECT_EQ(fetched, first);
  EXPECT_EQ(sizes[0], first.size() + 4);  // counted with CR LF line ends
  fetched.clear();
  ASSERT_EQ(client.Top(2, 1), kMailOk);
  EXPECT_EQ(fetched, "Subject: two\nX-Extra: yes\n\nline 1\n");
  EXPECT_EQ(client.Retr(7), kPop3RetrRefused);
  EXPECT_EQ(client.last_response().substr(0, 4), "-ERR");
  ASSERT_EQ(client.Dele(1), kMailOk);
  EXPECT_EQ(client.Dele(1), kPop3DeleRefused);  // already marked
  EXPECT_EQ(client.Quit(), kMailOk);

  Pop3Client again;
  ASSERT_EQ(Open(again, pop3_port_), kMailOk);
  ASSERT_EQ(again.Login(), kMailOk);
  ASSERT_EQ(again.Stat(&count, &size), kMailOk);
  EXPECT_EQ(count, 1u);  // the deletion stuck at QUIT
  EXPECT_EQ(again.Quit(), kMailOk);
}

TEST_F(MailProtocolsDovecot, ApopAndSaslMechanisms) {
  const fs::path dir = Dir("dovecot");
  START_PEER(dovecot, "pop3_dovecot.sh", dir, DovecotArgs());
  {
    Pop3Client client;
    ASSERT_EQ(Open(client, pop3_port_), kMailOk);
    ASSERT_FALSE(client.apop_timestamp().empty());
    EXPECT_EQ(client.Apop(), kMailOk) << client.last_response();
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  for (unsigned mechanism : {kSaslPlain, kSaslLogin, kSaslCramMd5}) {
    SCOPED_TRACE(SaslMechanismName(mechanism));
    Pop3Client client;
    ASSERT_EQ(Open(client, pop3_port_), kMailOk);
    EXPECT_EQ(client.AuthenticateSasl(mechanism), kMailOk) << client.last_response();
    std::uint32_t count = 9;
    std::uint64_t size = 9;
    EXPECT_EQ(client.Stat(&count, &size), kMailOk);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  {
    Pop3Client client;
    ASSERT_EQ(Open(client, pop3_port_), kMailOk);
    client.SetCredentials(kUser, "wrong");
    EXPECT_EQ(client.AuthenticateSasl(kSaslCramMd5), kPop3LoginRefused);
    EXPECT_EQ(client.last_response().substr(0, 4), "-ERR");
    // DIGEST-MD5 is announced but never carried out: cancelled with "*".
    EXPECT_EQ(client.AuthenticateSasl(kSaslDigestMd5), kSaslUnknownMechanism);
    EXPECT_EQ(client.last_response().substr(0, 4), "-ERR");
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  {
    // Secure authentication in the clear: CRAM-MD5, never a password.
    Pop3Client client;
    std::vector<std::string> sent;
    client.SetLogSink([&](LogDirection d, std::string_view line) {
      if (d == LogDirection::kSent) sent.emplace_back(line);
    });
    client.SetSecureAuth(true);
    ASSERT_EQ(Open(client, pop3_port_), kMailOk);
    ASSERT_EQ(client.Login(), kMailOk);
    EXPECT_EQ(sent[sent.size() - 2], "AUTH CRAM-MD5");
    EXPECT_EQ(client.Quit(), kMailOk);
  }
}

TEST_F(MailProtocolsDovecot, StlsAndImplicitTls) {
  const fs::path dir = Dir("dovecot");
  // No challenge-response mechanism and no APOP in CAPA: under secure
  // authentication only TLS lets the password go.
  START_PEER(dovecot, "pop3_dovecot.sh", dir, DovecotArgs({"--mechanisms", "plain login"}));
  {
    Pop3Client client;
    std::vector<std::string> sent;
    client.SetLogSink([&](LogDirection d, std::string_view line) {
      if (d == LogDirection::kSent) sent.emplace_back(line);
    });
    client.SetSecureAuth(true);
    ASSERT_EQ(Open(client, pop3_port_), kMailOk);
    EXPECT_EQ(client.Login(), kPop3LoginRefused);
    for (const auto& line : sent) EXPECT_EQ(line.find("PASS"), std::string::npos) << line;
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  {
    Pop3Client client;
    Trust(client, dir);
    client.SetSecureAuth(true);
    ASSERT_EQ(Open(client, pop3_port_), kMailOk);
    std::vector<std::string> sent;
    client.SetLogSink([&](LogDirection d, std::string_view line) {
      if (d == LogDirection::kSent) sent.emplace_back(line);
    });
    ASSERT_EQ(client.StartTls(), kMailOk) << std::hex << client.last_tls_code();
    EXPECT_EQ(client.tls_engine().Protocol(), security::kProtocolTls1);
    // The capabilities are read again over TLS, where STLS is no longer offered.
    const auto stls = std::find(sent.begin(), sent.end(), "STLS");
    ASSERT_NE(stls, sent.end());
    EXPECT_NE(std::find(stls, sent.end(), "CAPA"), sent.end());
    EXPECT_FALSE(client.capabilities() & kPop3Stls);
    EXPECT_TRUE(client.capabilities() & kPop3Sasl);
    EXPECT_TRUE(client.server_mechanisms() & kSaslPlain);
    ASSERT_EQ(client.Login(), kMailOk) << client.last_response();
    std::uint32_t count = 9;
    std::uint64_t size = 9;
    EXPECT_EQ(client.Stat(&count, &size), kMailOk);
    EXPECT_EQ(client.Quit(), kMailOk);
  }
  {
    Pop3Client client;
    Trust(client, dir);
    ASSERT_EQ(Open(client, pop3s_port_, true), kMailOk);
    EXPECT_TRUE(client.tls_active());
    ASSERT_EQ(client.Login(), kMailOk) << client.last_response();
    EXPECT_EQ(client.Quit(), kMailOk);
  }
}

TEST_F(MailProtocolsDovecot, TlsProbeThroughStls) {
  const fs::path dir = Dir("dovecot");
  START_PEER(dovecot, "pop3_dovecot.sh", dir, DovecotArgs());
  const auto probe = ProbeThroughStartTls("pop3", pop3_port_, {"--trust", (dir / "rsa.crt").string()});
  EXPECT_EQ(probe.status, 0) << probe.out << probe.err;
  const auto capa = probe.out.find("S CAPA\n");
  const auto stls = probe.out.find("S STLS\nR +OK");
  ASSERT_NE(capa, std::string::npos) << probe.out;
  ASSERT_NE(stls, std::string::npos) << probe.out;
  EXPECT_LT(capa, stls);
  EXPECT_EQ(probe.out.rfind("R +OK", 0), 0u) << probe.out;
  // Dovecot takes TLS 1.2, the highest version the client offers.
  EXPECT_NE(probe.out.find("protocol: TLS 1.2\n"), std::string::npos) << probe.out;
  EXPECT_NE(probe.out.find("certificate: accepted\n"), std::string::npos) << probe.out;
  EXPECT_NE(probe.out.find("S QUIT\nR +OK"), std::string::npos) << probe.out;
}

// --------------------------------------------------------------------- SOCKS

class MailProtocolsSocks : public MailProtocolsExim {
 protected:
  // Greets exim through the proxy and introduces itself.
  MailResult Through(const SocksSettings& socks, const std::string& host = "localhost") {
    SmtpClient client;
    client.SetSocks(socks);
    client.SetTimeout(20);
    if (MailResult r = client.ConnectAndGreet(host, smtp_port_); Failed(r)) return r;
    client.SetHeloDomain("client.example.org");
    if (MailResult r = client.Ehlo(); Failed(r)) return r;
    return client.Quit();
  }
  static SocksSettings Proxy(SocksVersion version, std::uint16_t port, const std::string& user = "",
                             const std::string& password = "") {
    SocksSettings s;
    s.version = version;
    s.proxy_host = "127.0.0.1";
    s.proxy_port = port;
    s.use_authentication = !user.empty();
    s.user_id = user;
    s.password = password;
    return s;
  }
};

TEST_F(MailProtocolsSocks, DanteSocks4And5WithoutAuthentication) {
  START_PEER(exim, "smtp_exim.sh", Dir("exim"), EximArgs());
  const std::uint16_t port = FreePort();
  START_PEER(dante, "socks_dante.sh", Dir("dante"), {"--port", std::to_string(port)});
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks4, port)), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port)), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port), "127.0.0.1"), kMailOk);
}

TEST_F(MailProtocolsSocks, DanteSocks5WithUserAndPassword) {
  START_PEER(exim, "smtp_exim.sh", Dir("exim"), EximArgs());
  const std::uint16_t port = FreePort();
  const std::string account = "dtsx" + std::to_string(::getpid() % 100000);
  START_PEER(dante, "socks_dante.sh", Dir("dante"),
             {"--port", std::to_string(port), "--user", account, "--password", "Proxy-pw1"});
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port, account, "Proxy-pw1")), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port, account, "wrong-pw")), kSocksAuthenticationRefused);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port)), kSocksNoAcceptableMethod);
}

TEST_F(MailProtocolsSocks, DanteSocks4And5WhereAuthenticationIsOptional) {
  START_PEER(exim, "smtp_exim.sh", Dir("exim"), EximArgs());
  const std::uint16_t port = FreePort();
  const std::string account = "dtso" + std::to_string(::getpid() % 100000);
  START_PEER(dante, "socks_dante.sh", Dir("dante"),
             {"--port", std::to_string(port), "--user", account, "--password", "Proxy-pw2", "--optional"});
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port, account, "Proxy-pw2")), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port)), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks4, port, account)), kMailOk);
}

TEST_F(MailProtocolsSocks, MicrosocksSocks5) {
  START_PEER(exim, "smtp_exim.sh", Dir("exim"), EximArgs());
  const std::uint16_t open_port = FreePort(), auth_port = FreePort();
  START_PEER(open, "socks_microsocks.sh", Dir("microsocks-open"), {"--port", std::to_string(open_port)});
  START_PEER(guarded, "socks_microsocks.sh", Dir("microsocks-auth"),
             {"--port", std::to_string(auth_port), "--user", "proxyuser", "--password", "Proxy-pw3"});
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, open_port)), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, auth_port, "proxyuser", "Proxy-pw3")), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, auth_port, "proxyuser", "nope")), kSocksAuthenticationRefused);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, auth_port)), kSocksNoAcceptableMethod);
}

// SOCKS 4A: a name only the proxy can resolve goes to it as a name.
TEST_F(MailProtocolsSocks, SshDynamicForwardingSocks4A) {
  START_PEER(exim, "smtp_exim.sh", Dir("exim"), EximArgs());
  const std::uint16_t port = FreePort(), sshd_port = FreePort();
  const std::string name = "mail-peer.dictalo.invalid";
  Peer ssh("socks_ssh.sh", Dir("ssh"),
           {"--port", std::to_string(port), "--sshd-port", std::to_string(sshd_port), "--proxy-host",
            name + " 127.0.0.1"});
  if (!ssh.ready() && ssh.status() == 4) GTEST_SKIP() << "the peers need root";
  if (!ssh.ready() && ssh.status() == 5) GTEST_SKIP() << "no private mount namespace for the proxy's host table";
  ASSERT_TRUE(ssh.ready()) << ssh.errors();
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks4A, port), name), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks4, port), name), kSocketHostNotFound);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks4A, port), "localhost"), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks4, port)), kMailOk);
  EXPECT_EQ(Through(Proxy(SocksVersion::kSocks5, port), name), kMailOk);
}

// ---------------------------------------------------------------- round trip

// A note message goes out through exim (STARTTLS, AUTH) into the Maildir that
// Dovecot serves, and comes back through POP3 (STLS, RETR) byte for byte:
// exim only puts its Received: field in front.
using MailProtocolsRoundTrip = MailProtocolsDovecot;

TEST_F(MailProtocolsRoundTrip, SentThroughEximFetchedThroughDovecot) {
  const fs::path mailroot = Dir("mailroot");
  const fs::path exim_dir = Dir("exim"), dovecot_dir = Dir("dovecot");
  const std::uint16_t smtp_port = FreePort();
  START_PEER(exim, "smtp_exim.sh", exim_dir,
             {"--port", std::to_string(smtp_port), "--user", kUser, "--password", kPassword, "--verify-recipients",
              "--mailroot", mailroot.string()});
  START_PEER(dovecot, "pop3_dovecot.sh", dovecot_dir,
             DovecotArgs({"--mailroot", mailroot.string(), "--mail-owner", "Debian-exim"}));

  // The note: a text part with lines a server would take for its own, and a
  // binary attachment.
  const fs::path note = home_.root() / "note.wav";
  std::string audio = "RIFF";
  for (int k = 0; k < 20000; ++k) audio.push_back(static_cast<char>((k * 7919) & 0xFF));
  testing_support::WriteFileBytes(note, audio);
  mime::NoteMessageRequest request;
  request.from = u"Dictalo <sender@example.org>";
  request.to = u"notes-user@localhost";
  request.subject = u"Voice note \u00e9";
  request.body_text = u"first line\r\n.\r\n.leading dot\r\n..two dots\r\nlast line";
  request.attachments.push_back({note, "audio/x-wav"});
  mime::MimeMessage message;
  ASSERT_EQ(mime::BuildMessage(mime::ComposeNoteMessage(request), &message), mime::kMimeOk);
  mime::WriteOptions options = mime::NoteWriteOptions();
  options.text_encoding = "8bit";  // keep the dotted lines as they are
  mime::StringSink wire;
  ASSERT_EQ(message.Write(wire, options), mime::kMimeOk);
  const std::string sent = wire.data();
  ASSERT_NE(sent.find("\r\n.\r\n"), std::string::npos);
  ASSERT_NE(sent.find("\r\n.leading dot\r\n"), std::string::npos);

  {
    SmtpClient smtp;
    Trust(smtp, exim_dir);
    ASSERT_EQ(smtp.ConnectAndGreet("localhost", smtp_port), kMailOk);
    smtp.SetHeloDomain(smtp.LocalHostName());
    ASSERT_EQ(smtp.Ehlo(), kMailOk);
    ASSERT_EQ(smtp.StartTls(), kMailOk);
    ASSERT_EQ(smtp.Ehlo(), kMailOk);
    ASSERT_EQ(smtp.Authenticate(kUser, kPassword), kMailOk);
    ASSERT_EQ(smtp.MailFrom("sender@example.org", sent.size()), kMailOk);
    ASSERT_EQ(smtp.RcptTo(std::string(kUser) + "@localhost"), kMailOk);
    ASSERT_EQ(smtp.Data(mime::MemorySource(sent), 0), kMailOk) << smtp.last_response();
    EXPECT_EQ(smtp.Quit(), kMailOk);
  }
  ASSERT_TRUE(WaitForFiles(mailroot / kUser / "Maildir" / "new", 1));

  Pop3Client pop3;
  Trust(pop3, dovecot_dir);
  ASSERT_EQ(Open(pop3, pop3_port_), kMailOk);
  ASSERT_EQ(pop3.StartTls(), kMailOk);
  ASSERT_EQ(pop3.Login(), kMailOk);
  std::string fetched;
  pop3.SetMessageLineCallback([&](std::string_view line) { fetched += std::string(line) + "\r\n"; });
  ASSERT_EQ(pop3.Retr(1), kMailOk);
  EXPECT_EQ(pop3.Quit(), kMailOk);

  ASSERT_GT(fetched.size(), sent.size());
  EXPECT_EQ(fetched.rfind("Received: ", 0), 0u);
  const std::string tail = fetched.substr(fetched.size() - sent.size());
  EXPECT_TRUE(tail == sent) << "the message came back changed";
  // Everything before it is exim's one Received: field (folded over lines).
  const std::string head = fetched.substr(0, fetched.size() - sent.size());
  for (std::size_t at = head.find("\r\n"); at + 2 < head.size(); at = head.find("\r\n", at + 2)) {
    EXPECT_TRUE(head[at + 2] == ' ' || head[at + 2] == '\t') << head;
  }
}

}  // namespace
}  // namespace protocols
