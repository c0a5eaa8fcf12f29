#include "protocols/smtp_client.h"

#include <gtest/gtest.h>

#include <random>

#include "protocols/testing/loopback_server.h"
#include "protocols/testing/scripted_server_fake.h"
#include "protocols/socket_layer.h"

namespace protocols {
namespace {

using testing::LoopbackListener;
using testing::ScriptedServerFake;

// An SMTP client after its greeting, talking to a script. Every protocol line
// the client logs is kept with its direction.
struct Session {
  explicit Session(unsigned log_mask = kLogLines) {
    client.SetLogSink([this](LogDirection d, std::string_view line) {
      log.push_back((d == LogDirection::kSent ? "S " : d == LogDirection::kReceived ? "R " : "") + std::string(line));
    }, log_mask);
    server.ServerSends("220 test ESMTP\r\n");
    EXPECT_EQ(client.ConnectAndGreet("127.0.0.1", listener.port()), kMailOk);
    client.SetHeloDomain("client.example.org");
  }
  // Runs EHLO against the given reply.
  void Ehlo(const std::string& reply) {
    server.ServerSends(reply);
    ASSERT_EQ(client.Ehlo(), kMailOk);
    server.ClearSent();
  }
  ScopedSocketLayer layer;
  LoopbackListener listener;
  SmtpClient client;
  ScriptedServerFake& server = testing::InstallScriptedServer(client);
  std::vector<std::string> log;
};

TEST(SmtpReplies, FinalLineOfOnlyThreeDigitsEndsTheReply) {
  Session s;
  s.server.ServerSends("250-first\r\n250\r\n");
  s.server.ServerSends("250 second reply\r\n");
  ASSERT_EQ(s.client.Helo(), kMailOk);
  EXPECT_EQ(s.client.reply_lines(), (std::vector<std::string>{"250-first", "250"}));
  ASSERT_EQ(s.client.RcptTo("a@b"), kMailOk);
  EXPECT_EQ(s.client.reply_lines(), (std::vector<std::string>{"250 second reply"}));
}

TEST(SmtpReplies, TwoCharacterLineEndsTheReply) {
  Session s;
  s.server.ServerSends("250-continued\r\nok\r\n250 next\r\n");
  ASSERT_EQ(s.client.Helo(), kMailOk);
  EXPECT_EQ(s.client.reply_lines(), (std::vector<std::string>{"250-continued", "ok"}));
  ASSERT_EQ(s.client.RcptTo("x@y"), kMailOk);
  EXPECT_EQ(s.client.reply_lines().front(), "250 next");
}

TEST(SmtpReplies, ReplyCutAnywhereReadsTheSame) {
  const std::string reply = "250-mail.example.org\r\n250-SIZE 1000\r\n250 AUTH=LOGIN\r\n";
  for (std::size_t cut = 1; cut < reply.size(); ++cut) {
    Session s;
    s.server.ServerSendsCut(reply, {cut});
    ASSERT_EQ(s.client.Ehlo(), kMailOk) << cut;
    EXPECT_EQ(s.client.reply_lines().size(), 3u);
    EXPECT_EQ(s.client.max_size(), 1000u);
    EXPECT_EQ(s.client.server_mechanisms(), unsigned{kSaslLogin});
  }
}

TEST(SmtpReplies, UnexpectedReplyIsPackedAndKept) {
  Session s;
  s.server.ServerSends("550-5.1.1 no such user\r\n550 5.1.1 really\r\n");
  const MailResult r = s.client.RcptTo("nobody@example.org");
  EXPECT_EQ(SmtpReplyNumber(r), 0x80C30000u + 550);
  EXPECT_EQ(SmtpReplyClass(r), 3);
  EXPECT_EQ(s.client.last_response(), "550-5.1.1 no such user");
  s.server.ServerSends("garbage\r\n");
  EXPECT_EQ(s.client.RcptTo("x@y"), kSmtpMalformedReply);
  EXPECT_EQ(s.client.last_response(), "garbage");
  s.server.ServerSends("251 forwarded\r\n252 cannot verify\r\n");
  EXPECT_EQ(s.client.RcptTo("x@y"), kMailOk);
  EXPECT_EQ(s.client.last_response(), "");
  EXPECT_EQ(s.client.RcptTo("x@y"), kMailOk);
}

TEST(SmtpCommands, EhloRepliesReplaceWhatWasAnnounced) {
  Session s;
  s.Ehlo("250-x\r\n250-STARTTLS\r\n250-SIZE 5000\r\n250 AUTH PLAIN LOGIN\r\n");
  EXPECT_EQ(s.client.capabilities(), unsigned{kSmtpStartTls | kSmtpSize | kSmtpAuth});
  // After TLS the server says something else; nothing of the first answer stays.
  s.Ehlo("250-x\r\n250 AUTH CRAM-MD5\r\n");
  EXPECT_EQ(s.client.capabilities(), unsigned{kSmtpAuth});
  EXPECT_EQ(s.client.server_mechanisms(), unsigned{kSaslCramMd5});
  EXPECT_EQ(s.client.max_size(), 0u);
}

TEST(SmtpCommands, MailFromBracketsAndSize) {
  Session s;
  s.server.ServerSends("250 ok\r\n250 ok\r\n");
  ASSERT_EQ(s.client.MailFrom("<a@b.c>", 123), kMailOk);
  ASSERT_EQ(s.client.MailFrom("a@b.c", 123), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "MAIL FROM:<a@b.c>\r\nMAIL FROM:<a@b.c>\r\n");  // no SIZE announced
  s.Ehlo("250-x\r\n250 SIZE 100000\r\n");
  s.server.ServerSends("250 ok\r\n250 ok\r\n");
  ASSERT_EQ(s.client.MailFrom("a@b.c", 4567), kMailOk);
  ASSERT_EQ(s.client.MailFrom("a@b.c", 0), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "MAIL FROM:<a@b.c> SIZE=4567\r\nMAIL FROM:<a@b.c>\r\n");
}

TEST(SmtpCommands, StartTlsNotAnnouncedSendsNothing) {
  Session s;
  s.Ehlo("250-x\r\n250 SIZE\r\n");
  EXPECT_EQ(s.client.StartTls(), kSmtpNoStartTls);
  EXPECT_EQ(s.server.client_sent(), "");
  EXPECT_TRUE(s.client.plain());
}

TEST(SmtpCommands, StartTlsRefusedKeepsThePlainConnection) {
  Session s;
  s.Ehlo("250-x\r\n250 STARTTLS\r\n");
  s.server.ServerSends("454 TLS not available\r\n");
  EXPECT_EQ(SmtpReplyNumber(s.client.StartTls()), 0x80C30000u + 454);
  EXPECT_TRUE(s.client.plain());
  EXPECT_TRUE(s.client.connected());
}

// A reply that never ends is cut off at kMaxReplyLines, and a line that
// never ends at the reader's limit, without reading the rest.
TEST(SmtpReplies, EndlessRepliesAreRefused) {
  Session s;
  std::string endless;
  for (int i = 0; i < 5000; ++i) endless += "250-more\r\n";
  s.server.ServerSends(endless + "250 end\r\n");
  EXPECT_EQ(s.client.Ehlo(), kSmtpMalformedReply);
  EXPECT_LE(s.client.reply_lines().size(), SmtpClient::kMaxReplyLines);
  EXPECT_EQ(s.client.last_response(), "250-more");
  EXPECT_GT(s.server.unsent_bytes(), 30000u);
  Session t;
  for (int i = 0; i < 100; ++i) t.server.ServerSends(std::string(4096, 'x'));
  EXPECT_EQ(t.client.Ehlo(), kSocketLineTooLong);
  EXPECT_GT(t.server.unsent_bytes(), 300000u);
  // Few lines, each under the line limit, but together past the reply limit.
  Session u;
  const std::string long_line = "250-" + std::string(60000, 'y') + "\r\n";
  for (int i = 0; i < 40; ++i) u.server.ServerSends(long_line);
  u.server.ServerSends("250 end\r\n");
  EXPECT_EQ(u.client.Ehlo(), kSmtpMalformedReply);
  std::size_t kept = 0;
  for (const std::string& line : u.client.reply_lines()) kept += line.size();
  EXPECT_LE(kept, SmtpClient::kMaxReplyBytes);
  EXPECT_EQ(u.client.last_response(), long_line.substr(0, long_line.size() - 2));
  EXPECT_GT(u.server.unsent_bytes(), 1000000u);
}

// What a server announced in clear counts for nothing once TLS is asked
// for, and a server greeted with HELO announced nothing at all.
TEST(SmtpCommands, CapabilitiesAreForgottenAtStartTlsAndHelo) {
  Session s;
  s.Ehlo("250-x\r\n250-STARTTLS\r\n250-SIZE 5000\r\n250 AUTH PLAIN LOGIN\r\n");
  s.server.ServerSends("220 go ahead\r\n");  // then the server hangs up: no handshake
  EXPECT_TRUE(Failed(s.client.StartTls()));
  EXPECT_EQ(s.client.capabilities(), 0u);
  EXPECT_EQ(s.client.server_mechanisms(), 0u);
  EXPECT_EQ(s.client.max_size(), 0u);
  Session h;
  h.Ehlo("250-x\r\n250 AUTH PLAIN\r\n");
  h.server.ServerSends("250 hello\r\n");
  ASSERT_EQ(h.client.Helo(), kMailOk);
  EXPECT_EQ(h.client.capabilities(), 0u);
  EXPECT_EQ(h.client.server_mechanisms(), 0u);
  EXPECT_EQ(h.client.Authenticate("u", "p"), kSmtpNoMechanism);
}

// A failed STARTTLS closes the connection and leaves the client plain, so
// the session can go on in clear on a new connection.
TEST(SmtpCommands, FailedStartTlsLeavesThePlainClientForANewConnection) {
  Session s;
  s.Ehlo("250-x\r\n250 STARTTLS\r\n");
  s.server.ServerSends("220 go ahead\r\n");
  EXPECT_TRUE(Failed(s.client.StartTls()));
  EXPECT_FALSE(s.client.connected());
  EXPECT_TRUE(s.client.plain());
  EXPECT_FALSE(s.client.tls_active());
  s.server.ClearSent();
  s.server.ServerSends("220 again\r\n250 hello\r\n");
  ASSERT_EQ(s.client.ConnectAndGreet("127.0.0.1", 25), kMailOk);
  ASSERT_EQ(s.client.Ehlo(), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "EHLO client.example.org\r\n");  // no TLS hello before it
  EXPECT_EQ(s.server.connections(), 2);
}

// Bytes that come in the same read as the go-ahead were sent in clear; they
// must not be taken into the TLS session. The client hangs up without a
// handshake and without anything after STARTTLS.
TEST(SmtpCommands, PlaintextBehindTheGoAheadFailsTheSwitch) {
  for (const char* extra : {"250 injected\r\n", "\x16\x03\x01", "x"}) {
    Session s;
    s.Ehlo("250-x\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n");
    s.server.ServerSends(std::string("220 ready\r\n") + extra);
    EXPECT_EQ(s.client.StartTls(), kTlsPlaintextAtSwitch) << extra;
    EXPECT_EQ(s.server.client_sent(), "STARTTLS\r\n");
    EXPECT_FALSE(s.client.connected());
    EXPECT_TRUE(s.client.plain());
    EXPECT_EQ(s.client.Authenticate("u", "p"), kSmtpNoMechanism);
    EXPECT_EQ(s.server.client_sent(), "STARTTLS\r\n");
  }
}

// A hostile address or user name with a line break must not smuggle a
// command of its own to the server: the command carrying it is refused
// whole and the server sees nothing after the last good command.
TEST(SmtpCommands, ControlCharactersInArgumentsSendNothing) {
  Session s;
  s.Ehlo("250-x\r\n250 AUTH PLAIN LOGIN\r\n");
  s.server.ServerSends("250 sender ok\r\n");
  ASSERT_EQ(s.client.MailFrom("a@b", 0), kMailOk);
  const std::string good = s.server.client_sent();
  for (const std::string& address : {std::string("a@b>\r\nRCPT TO:<evil@x"), std::string("a@b\nDATA"),
                                    std::string("a@b\rRSET"), std::string("a\0b@c", 5), std::string("a\x7F@b"),
                                    std::string("<a@b>\tx")}) {
    EXPECT_EQ(s.client.RcptTo(address), kSmtpUnsafeArgument);
    EXPECT_EQ(s.client.MailFrom(address, 10), kSmtpUnsafeArgument);
  }
  s.client.SetSecureAuth(false);
  EXPECT_EQ(s.client.Authenticate("alice\r\nQUIT", "secret"), kSaslUnsafeCredential);
  EXPECT_EQ(s.client.Authenticate("alice", std::string("se\0cret", 7)), kSaslUnsafeCredential);
  EXPECT_EQ(s.server.client_sent(), good);
  EXPECT_TRUE(s.client.connected());
  EXPECT_NE(std::find(s.log.begin(), s.log.end(),
                      "A command argument holds a control character; the command was not sent"),
            s.log.end());
  // The same guard holds for every line, whoever builds it.
  EXPECT_EQ(s.client.SendLine("NOOP\r\nQUIT"), kSocketUnsafeLine);
  EXPECT_EQ(s.client.SendLine(std::string("NOOP\0", 5)), kSocketUnsafeLine);
  EXPECT_EQ(s.server.client_sent(), good);
}

// Only CR LF ends a reply line; a bare LF or CR inside one must not reach
// the log as a break that starts a forged line of its own.
TEST(SmtpReplies, LineBreaksInsideALineDoNotForgeLogLines) {
  Session s;
  s.server.ServerSends("250 ok\nS AUTH PLAIN c2VjcmV0\rR 235 fine\r\n");
  ASSERT_EQ(s.client.RcptTo("a@b"), kMailOk);
  EXPECT_EQ(s.log.back(), "R 250 ok?S AUTH PLAIN c2VjcmV0?R 235 fine");
  EXPECT_EQ(s.client.reply_lines().front(), "250 ok\nS AUTH PLAIN c2VjcmV0\rR 235 fine");  // kept as received
}

TEST(SmtpCommands, QuitClosesWhateverTheReply) {
  Session s;
  s.server.ServerSends("500 what\r\n");
  EXPECT_EQ(SmtpReplyNumber(s.client.Quit()), 0x80C30000u + 500);
  EXPECT_FALSE(s.client.connected());
}

TEST(SmtpAuth, ClearMechanismsAreNotTriedWhenOnlyCramMd5IsOffered) {
  Session s;
  s.Ehlo("250-x\r\n250 AUTH CRAM-MD5\r\n");
  EXPECT_EQ(s.client.Authenticate("alice", "secret"), kSmtpNoMechanism);
  EXPECT_EQ(s.server.client_sent(), "");
}

TEST(SmtpAuth, LoginThroughTheOlderAuthKeyword) {
  Session s;
  s.Ehlo("250-x\r\n250 AUTH=LOGIN\r\n");
  s.server.ServerSends("334 VXNlcm5hbWU6\r\n334 UGFzc3dvcmQ6\r\n235 2.7.0 ok\r\n");
  ASSERT_EQ(s.client.Authenticate("alice", "secret"), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\nc2VjcmV0\r\n");
  // The log has every line; the credentials are masked.
  EXPECT_EQ(std::vector<std::string>(s.log.end() - 6, s.log.end()),
            (std::vector<std::string>{"S AUTH LOGIN", "R 334 VXNlcm5hbWU6", "S ********", "R 334 UGFzc3dvcmQ6",
                                      "S ********", "R 235 2.7.0 ok"}));
}

TEST(SmtpAuth, CredentialsShowWithTheirLogLevel) {
  Session s(kLogLines | kLogCredentials);
  s.Ehlo("250-x\r\n250 AUTH PLAIN\r\n");
  s.server.ServerSends("334 \r\n235 ok\r\n");
  ASSERT_EQ(s.client.Authenticate("u", "p"), kMailOk);
  EXPECT_EQ(s.log[s.log.size() - 2], "S AHUAcA==");
}

// 235 ends the exchange whenever it comes: the password LOGIN would send
// next never goes out. Any other code but 334 ends it as a failure.
TEST(SmtpAuth, ReplyOtherThanAChallengeEndsTheExchange) {
  Session s;
  s.Ehlo("250-x\r\n250 AUTH LOGIN\r\n");
  s.server.ServerSends("334 VXNlcm5hbWU6\r\n235 2.7.0 fine already\r\n");
  EXPECT_EQ(s.client.Authenticate("alice", "secret"), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\n");
  EXPECT_EQ(s.client.last_response(), "");
  Session first;
  first.Ehlo("250-x\r\n250 AUTH LOGIN\r\n");
  first.server.ServerSends("235 ok\r\n");
  EXPECT_EQ(first.client.Authenticate("alice", "secret"), kMailOk);
  EXPECT_EQ(first.server.client_sent(), "AUTH LOGIN\r\n");
  for (const char* reply : {"535 5.7.8 no\r\n", "250 odd\r\n", "454 later\r\n"}) {
    Session r;
    r.Ehlo("250-x\r\n250 AUTH LOGIN\r\n");
    r.server.ServerSends(std::string("334 VXNlcm5hbWU6\r\n") + reply);
    const MailResult result = r.client.Authenticate("alice", "secret");
    EXPECT_EQ(SmtpReplyNumber(result), 0x80C30000u + std::stoul(std::string(reply, 3))) << reply;
    EXPECT_EQ(r.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\n") << reply;
  }
}

TEST(SmtpAuth, ThirdChallengeToLoginCancels) {
  Session s;
  s.Ehlo("250-x\r\n250 AUTH LOGIN\r\n");
  s.server.ServerSends("334 VXNlcm5hbWU6\r\n334 UGFzc3dvcmQ6\r\n334 QWdhaW4/\r\n501 cancelled\r\n");
  EXPECT_EQ(s.client.Authenticate("alice", "secret"), kSaslStepFailed);
  EXPECT_EQ(s.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\nc2VjcmV0\r\n*\r\n");
  EXPECT_EQ(s.client.last_response(), "501 cancelled");
}

TEST(SmtpAuth, DigestMd5OnlyIsCancelledAndFails) {
  Session s;
  s.client.SetSecureAuth(true);
  s.Ehlo("250-x\r\n250 AUTH DIGEST-MD5\r\n");
  s.server.ServerSends("334 cmVhbG09ImV4YW1wbGUiLG5vbmNlPSIxMjMiLHFvcD0iYXV0aCI=\r\n501 5.0.0 cancelled\r\n");
  EXPECT_EQ(s.client.Authenticate("alice", "secret"), kSaslUnknownMechanism);
  EXPECT_EQ(s.server.client_sent(), "AUTH DIGEST-MD5\r\n*\r\n");
}

TEST(SmtpAuth, SecureOrderAndFallThroughToTheNextMechanism) {
  Session s;
  s.client.SetSecureAuth(true);
  s.Ehlo("250-x\r\n250 AUTH LOGIN PLAIN DIGEST-MD5 CRAM-MD5\r\n");
  s.server.ServerSends("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n535 5.7.8 no\r\n");
  s.server.ServerSends("334 bm9uY2U=\r\n501 cancelled\r\n");
  const MailResult r = s.client.Authenticate("tim", "tanstaaftanstaaf");
  // CRAM-MD5 first (refused), then DIGEST-MD5 (cancelled): the last attempt's error.
  EXPECT_EQ(r, kSaslUnknownMechanism);
  EXPECT_EQ(s.server.client_sent(),
            "AUTH CRAM-MD5\r\ndGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\nAUTH DIGEST-MD5\r\n*\r\n");
  // Without secure authentication: LOGIN refused permanently, then PLAIN works.
  Session clear;
  clear.Ehlo("250-x\r\n250 AUTH CRAM-MD5 PLAIN LOGIN\r\n");
  clear.server.ServerSends("535 5.7.8 no LOGIN for you\r\n334 \r\n235 ok\r\n");
  EXPECT_EQ(clear.client.Authenticate("u", "p"), kMailOk);
  EXPECT_EQ(clear.server.client_sent(), "AUTH LOGIN\r\nAUTH PLAIN\r\nAHUAcA==\r\n");
  Session refused;
  refused.Ehlo("250-x\r\n250 AUTH PLAIN\r\n");
  refused.server.ServerSends("334 \r\n535 5.7.8 bad\r\n");
  const MailResult bad = refused.client.Authenticate("u", "p");
  EXPECT_EQ(SmtpReplyNumber(bad), 0x80C30000u + 535);
  EXPECT_EQ(SmtpReplyClass(bad), 3);
}

// A stream that records the largest read asked of it.
class WatchedSource : public mime::MemorySource {
 public:
  using MemorySource::MemorySource;
  mime::MimeResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const override {
    largest = std::max(largest, out.size());
    return MemorySource::ReadAt(offset, out, got);
  }
  mutable std::size_t largest = 0;
};

std::string RandomMessage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  const char* pieces[] = {"\r\n", ".", "\r\n.\r\n", "a", "..", "\r", "\n", "text "};
  std::string out;
  while (out.size() < size) out += pieces[random() % 8];
  return out;
}

TEST(SmtpData, StuffedStreamReachesTheServerUnchanged) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    Session s;
    const std::string message = RandomMessage(9000, seed) + "\r\n";
    WatchedSource source(message);
    std::vector<std::uint64_t> progress;
    s.client.SetProgressSink([&](std::uint64_t bytes) { progress.push_back(bytes); });
    s.server.ServerSends("354 go ahead\r\n250 queued\r\n");
    ASSERT_EQ(s.client.Data(source, 0), kMailOk);
    const std::string& sent = s.server.client_sent();
    ASSERT_EQ(sent.rfind("DATA\r\n", 0), 0u);
    std::string wire = sent.substr(6);
    // What the server keeps after removing the first dot of each line.
    std::string kept;
    std::size_t at = 0;
    bool ended = false;
    while (at < wire.size()) {
      const std::size_t end = wire.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      std::string line = wire.substr(at, end - at);
      at = end + 2;
      if (line == ".") {
        ended = true;
        break;
      }
      if (!line.empty() && line[0] == '.') line.erase(0, 1);
      kept += line + "\r\n";
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(at, wire.size());
    // Bare LFs arrive as CR LF.
    std::string expected;
    for (std::size_t i = 0; i < message.size(); ++i) {
      if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) expected += '\r';
      expected += message[i];
    }
    EXPECT_EQ(kept, expected);
    EXPECT_LE(source.largest, SmtpClient::kDataChunk);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), message.size());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(s.log.back(), "R 250 queued");
    EXPECT_EQ(s.log[s.log.size() - 2], "S .");
  }
}

// A bare LF followed by "." must not give a server that ends lines at LF an
// early end of the message: the LF goes out as CR LF and the dot is doubled.
TEST(SmtpData, BareLineFeedsGoOutAsCrLfBeforeTheDotsAreDoubled) {
  Session s;
  mime::MemorySource source("a\n.\nb\r\n.\r\nc\n");
  s.server.ServerSends("354 go\r\n250 ok\r\n");
  ASSERT_EQ(s.client.Data(source, 0), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "DATA\r\na\r\n..\r\nb\r\n..\r\nc\r\n.\r\n");
}

// The reply to the end of the message may take minutes: it is awaited for
// ten of them by default, whatever the general time-out; longer still fails.
TEST(SmtpData, FinalReplyIsAwaitedLongerThanTheGeneralTimeOut) {
  Session s;
  ASSERT_EQ(s.client.timeout(), 60);
  EXPECT_EQ(s.client.data_end_timeout(), 600);
  mime::MemorySource source("Subject: x\r\n\r\nbody\r\n");
  s.server.ServerSends("354 go\r\n");
  s.server.ServerSendsAfter(5 * 60 * 1000, "250 queued after five minutes\r\n");
  ASSERT_EQ(s.client.Data(source, 0), kMailOk);
  EXPECT_EQ(s.server.longest_wait_ms(), 600 * 1000);
  EXPECT_EQ(s.client.timeout(), 60);  // the general time-out is back for what follows
  s.server.ServerSends("354 go\r\n");
  s.server.ServerSendsAfter(11 * 60 * 1000, "250 too late\r\n");
  EXPECT_EQ(s.client.Data(source, 0), kSocketTimedOut);
  // A shorter setting is honoured.
  Session quick;
  quick.client.SetDataEndTimeout(120);
  quick.server.ServerSends("354 go\r\n");
  quick.server.ServerSendsAfter(150 * 1000, "250 queued\r\n");
  EXPECT_EQ(quick.client.Data(source, 0), kSocketTimedOut);
  EXPECT_EQ(quick.server.longest_wait_ms(), 120 * 1000);
  // Other replies keep the general time-out.
  Session other;
  other.server.ServerSendsAfter(90 * 1000, "354 go\r\n");
  EXPECT_EQ(other.client.Data(source, 0), kSocketTimedOut);
  EXPECT_EQ(other.server.longest_wait_ms(), 60 * 1000);
}

TEST(SmtpData, MessageWithoutFinalLineBreakStillEndsWithTheMark) {
  Session s;
  mime::MemorySource source("Subject: x\r\n\r\nlast line");
  s.server.ServerSends("354 go\r\n250 ok\r\n");
  ASSERT_EQ(s.client.Data(source, 0), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "DATA\r\nSubject: x\r\n\r\nlast line\r\n.\r\n");
}

TEST(SmtpData, DataFromAnOffsetOfTheStream) {
  Session s;
  mime::MemorySource source("skipped|.body\r\n");
  s.server.ServerSends("354 go\r\n250 ok\r\n");
  ASSERT_EQ(s.client.Data(source, 0, 8), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "DATA\r\n..body\r\n.\r\n");
}

TEST(SmtpData, OversizeMessageNeedsConfirmation) {
  Session s;
  s.Ehlo("250-x\r\n250 SIZE 100\r\n");
  mime::MemorySource source(std::string(150, 'x'));
  std::uint64_t asked = 0;
  s.client.SetSizeConfirmation([&](std::uint64_t size) {
    asked = size;
    return false;
  });
  EXPECT_EQ(s.client.Data(source, 0), kSmtpSizeNotConfirmed);
  EXPECT_EQ(asked, 150u);
  // A larger size from the caller counts instead.
  EXPECT_EQ(s.client.Data(mime::MemorySource("small"), 500), kSmtpSizeNotConfirmed);
  EXPECT_EQ(asked, 500u);
  EXPECT_EQ(s.server.client_sent(), "");
  s.client.SetSizeConfirmation([](std::uint64_t) { return true; });
  s.server.ServerSends("354 go\r\n552 too big\r\n");
  EXPECT_EQ(SmtpReplyNumber(s.client.Data(source, 0)), 0x80C30000u + 552);
  EXPECT_EQ(s.client.last_response(), "552 too big");
}

}  // namespace
}  // namespace protocols
