#include "protocols/pop3_client.h"

#include <gtest/gtest.h>

#include "protocols/testing/loopback_server.h"
#include "protocols/testing/scripted_server_fake.h"
#include "protocols/socket_layer.h"

namespace protocols {
namespace {

using testing::LoopbackListener;
using testing::ScriptedServerFake;

TEST(Pop3Parsing, StatusTimestampAndEntries) {
  EXPECT_EQ(ClassifyPop3Status("+OK"), Pop3Status::kOk);
  EXPECT_EQ(ClassifyPop3Status("+ "), Pop3Status::kOk);
  EXPECT_EQ(ClassifyPop3Status("-ERR no"), Pop3Status::kError);
  EXPECT_EQ(ClassifyPop3Status(""), Pop3Status::kBad);
  EXPECT_EQ(ClassifyPop3Status("OK"), Pop3Status::kBad);

  EXPECT_EQ(ApopTimestamp("+OK ready <1896.697170952@dbc.mtview.ca.us> more >text"),
            "<1896.697170952@dbc.mtview.ca.us>");
  EXPECT_EQ(ApopTimestamp("+OK ready"), "");
  EXPECT_EQ(ApopTimestamp("+OK <unclosed"), "");
  EXPECT_EQ(ApopTimestamp("+OK a>b <c>"), "<c>");

  const struct {
    const char* line;
    bool ok;
    std::uint32_t count;
    std::uint64_t size;
  } kStat[] = {{"+OK 2 320", true, 2, 320},   {"+OK  7   9000 octets", true, 7, 9000}, {"+OK", false, 0, 0},
               {"+OK 2", false, 0, 0},        {"+OK x 2", false, 0, 0},              {"+OK 99999999999 1", false, 0, 0},
               {"+OK 0 0", true, 0, 0}};
  for (const auto& row : kStat) {
    const auto stat = ParsePop3Stat(row.line);
    ASSERT_EQ(stat.has_value(), row.ok) << row.line;
    if (stat) {
      EXPECT_EQ(stat->count, row.count);
      EXPECT_EQ(stat->size, row.size);
    }
  }
  EXPECT_EQ(ParsePop3ListLine("3 1200")->size, 1200u);
  EXPECT_FALSE(ParsePop3ListLine("3").has_value());
  EXPECT_FALSE(ParsePop3ListLine("x 12").has_value());
  EXPECT_FALSE(ParsePop3ListLine("3x 12").has_value());
  EXPECT_EQ(ParsePop3UidlLine("4   abc-123 trailing")->unique_id, "abc-123");
  EXPECT_EQ(ParsePop3UidlLine("4 id")->number, 4u);
  EXPECT_FALSE(ParsePop3UidlLine("4 ").has_value());
  EXPECT_FALSE(ParsePop3UidlLine("four id").has_value());
}

TEST(Pop3Parsing, CapaLines) {
  unsigned caps = 0, mechanisms = kSaslNtlm;
  for (const char* line : {"USER", "apop", "TOP", "UIDL", "PIPELINING", "STLS", "LAST", "RESP-CODES", "EXPIRE 30",
                           "SASL PLAIN CRAM-MD5 GSSAPI"}) {
    ReadPop3CapaLine(line, &caps, &mechanisms);
  }
  EXPECT_EQ(caps, 255u);
  EXPECT_EQ(mechanisms, unsigned{kSaslPlain | kSaslCramMd5});  // the SASL line replaces the list
}

struct Session {
  explicit Session(const std::string& greeting = "+OK POP3 ready <42.17@pop.example>\r\n",
                   const std::string& capa = "-ERR unknown command\r\n", unsigned mask = kPop3DefaultLogMask) {
    client.SetLogSink([this](LogDirection d, std::string_view line) {
      log.push_back((d == LogDirection::kSent ? "S " : d == LogDirection::kReceived ? "R " : "") + std::string(line));
    }, mask);
    client.SetCredentials("alice", "secret");
    server.ServerSends(greeting);
    server.ServerSends(capa);
    greet_result = client.ConnectAndGreet("127.0.0.1", listener.port());
    server.ClearSent();
  }
  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  ScopedSocketLayer layer;
  LoopbackListener listener;
  Pop3Client client;
  ScriptedServerFake& server = testing::InstallScriptedServer(client);
  std::vector<std::string> log;
  MailResult greet_result = 0;
};

TEST(Pop3Greeting, RefusedOrMalformedGreetings) {
  EXPECT_EQ(Session("-ERR go away\r\n").greet_result, kPop3GreetingRefused);
  EXPECT_EQ(Session("hello\r\n").greet_result, kPop3BadReply);
  Session empty("\r\n");
  EXPECT_EQ(empty.greet_result, kPop3BadReply);
}

TEST(Pop3Greeting, NoCapaKeepsTheDefaultCapabilities) {
  Session s;
  ASSERT_EQ(s.greet_result, kMailOk);
  EXPECT_EQ(s.client.capabilities(), kPop3DefaultCapabilities);
  EXPECT_EQ(s.client.apop_timestamp(), "<42.17@pop.example>");
}

TEST(Pop3Greeting, CapaAndAuthListReplaceTheMechanisms) {
  Session s("+OK hi\r\n",
            "+OK\r\nUSER\r\nSASL LOGIN\r\nTOP\r\n.\r\n+OK\r\nPLAIN\r\nCRAM-MD5\r\nX-UNKNOWN\r\n.\r\n");
  ASSERT_EQ(s.greet_result, kMailOk);
  EXPECT_EQ(s.client.capabilities(), unsigned{kPop3User | kPop3Sasl | kPop3Top});
  EXPECT_EQ(s.client.server_mechanisms(), unsigned{kSaslPlain | kSaslCramMd5});
  EXPECT_TRUE(s.Logged("R SASL LOGIN"));   // CAPA lines are logged by default
  EXPECT_FALSE(s.Logged("R CRAM-MD5"));    // AUTH list lines are not
  // A "-" to the AUTH list is not an error either.
  Session refused("+OK hi\r\n", "+OK\r\nSASL PLAIN\r\n.\r\n-ERR no list\r\n");
  EXPECT_EQ(refused.greet_result, kMailOk);
  EXPECT_EQ(refused.client.server_mechanisms(), unsigned{kSaslPlain});
}

TEST(Pop3Login, ApopNeedsTheGreetingTimestamp) {
  Session s("+OK no stamp here\r\n");
  EXPECT_EQ(s.client.Apop(), kPop3LoginRefused);
  EXPECT_EQ(s.client.last_response(), "Required APOP timestamp not found in greeting");
  EXPECT_EQ(s.server.client_sent(), "");
  EXPECT_TRUE(s.Logged("Required APOP timestamp not found in greeting"));
}

TEST(Pop3Login, ApopDigestOfTimestampAndPassword) {
  Session s("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n");
  s.client.SetCredentials("mrose", "tanstaaf");
  s.server.ServerSends("+OK maildrop has 1 message\r\n");
  ASSERT_EQ(s.client.Apop(), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n");
  EXPECT_TRUE(s.Logged("S APOP ********"));
}

TEST(Pop3Login, SecureWithoutTlsSendsNoPassword) {
  Session s("+OK hi\r\n", "+OK\r\nUSER\r\n.\r\n");
  s.client.SetSecureAuth(true);
  EXPECT_EQ(s.client.Login(), kPop3LoginRefused);
  EXPECT_EQ(s.server.client_sent(), "");
}

TEST(Pop3Login, SecureTriesChallengeMechanismsThenApopAndStops) {
  Session s("+OK hi <1.2@x>\r\n", "+OK\r\nUSER\r\nAPOP\r\nSASL CRAM-MD5 PLAIN\r\n.\r\n-ERR\r\n");
  s.client.SetSecureAuth(true);
  s.server.ServerSends("+ PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n-ERR bad\r\n-ERR apop no\r\n");
  EXPECT_EQ(s.client.Login(), kPop3LoginRefused);
  const std::string sent = s.server.client_sent();
  EXPECT_EQ(sent.rfind("AUTH CRAM-MD5\r\n", 0), 0u);
  EXPECT_NE(sent.find("APOP alice "), std::string::npos);
  EXPECT_EQ(sent.find("PASS"), std::string::npos);
  EXPECT_EQ(sent.find("AUTH PLAIN"), std::string::npos);
  EXPECT_EQ(s.client.last_response(), "-ERR apop no");
}

TEST(Pop3Login, UserPassIsMaskedInTheLog) {
  Session s;
  s.server.ServerSends("+OK\r\n+OK logged in\r\n");
  ASSERT_EQ(s.client.Login(), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "USER alice\r\nPASS secret\r\n");
  EXPECT_TRUE(s.Logged("S USER ********"));
  EXPECT_TRUE(s.Logged("S PASS ********"));
  Session shown("+OK hi\r\n", "-ERR\r\n", kPop3DefaultLogMask | kLogCredentials);
  shown.server.ServerSends("+OK\r\n-ERR wrong password\r\n");
  EXPECT_EQ(shown.client.Login(), kPop3LoginRefused);
  EXPECT_TRUE(shown.Logged("S PASS secret"));
  EXPECT_EQ(shown.client.last_response(), "-ERR wrong password");
}

// A user name or password with a control character is refused before any
// login command goes out, whichever method would have carried it: no USER
// without its PASS, no APOP or AUTH line either.
TEST(Pop3Login, ControlCharactersInCredentialsSendNothing) {
  const std::string kCapa = "+OK\r\nUSER\r\nAPOP\r\nSASL LOGIN PLAIN CRAM-MD5\r\n.\r\n-ERR\r\n";
  const std::pair<std::string, std::string> kBad[] = {{"alice\r\nDELE 1", "secret"},
                                                      {"alice", "secret\r\nDELE 1"},
                                                      {"alice\nDELE 1", "secret"},
                                                      {std::string("ali\0ce", 6), "secret"},
                                                      {"alice", "se\rcret"},
                                                      {"alice\x1b", "secret"}};
  for (const auto& [user, password] : kBad) {
    for (bool secure : {false, true}) {
      Session s("+OK hi <1.2@x>\r\n", kCapa);
      s.client.SetSecureAuth(secure);
      s.client.SetCredentials(user, password);
      s.server.ServerSends("+OK\r\n+OK\r\n+OK\r\n+OK\r\n");
      EXPECT_EQ(s.client.Login(), kPop3UnsafeArgument);
      EXPECT_EQ(s.client.UserPass(), kPop3UnsafeArgument);
      EXPECT_EQ(s.client.Apop(), kPop3UnsafeArgument);
      EXPECT_EQ(s.client.AuthenticateSasl(kSaslPlain), kSaslUnsafeCredential);
      EXPECT_EQ(s.server.client_sent(), "");
      EXPECT_TRUE(s.Logged("The user name or password holds a control character; nothing was sent"));
    }
  }
}

TEST(Pop3Login, ClearSaslLoginThenPlain) {
  Session s("+OK hi\r\n", "+OK\r\nSASL LOGIN PLAIN\r\n.\r\n-ERR\r\n");
  s.server.ServerSends("+ VXNlcm5hbWU6\r\n+ UGFzc3dvcmQ6\r\n-ERR [AUTH] failed\r\n");
  s.server.ServerSends("+ \r\n+OK in\r\n");
  ASSERT_EQ(s.client.Login(), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\nc2VjcmV0\r\nAUTH PLAIN\r\nAGFsaWNlAHNlY3JldA==\r\n");
  EXPECT_TRUE(s.Logged("S ********"));
  EXPECT_FALSE(s.Logged("S YWxpY2U="));
}

// A status line ends the SASL exchange whenever it comes: after an early
// "+OK" the password is not sent, after "-ERR" nothing more either.
TEST(Pop3Login, StatusLineInTheMiddleEndsTheExchange) {
  Session s;
  s.server.ServerSends("+ VXNlcm5hbWU6\r\n+OK welcome\r\n");
  EXPECT_EQ(s.client.AuthenticateSasl(kSaslLogin), kMailOk);
  EXPECT_EQ(s.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\n");
  Session refused;
  refused.server.ServerSends("+ VXNlcm5hbWU6\r\n-ERR no such user\r\n");
  EXPECT_EQ(refused.client.AuthenticateSasl(kSaslLogin), kPop3LoginRefused);
  EXPECT_EQ(refused.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\n");
  EXPECT_EQ(refused.client.last_response(), "-ERR no such user");
}

TEST(Pop3Login, ThirdChallengeToLoginCancels) {
  Session s;
  s.server.ServerSends("+ VXNlcm5hbWU6\r\n+ UGFzc3dvcmQ6\r\n+ QWdhaW4/\r\n-ERR cancelled\r\n");
  EXPECT_EQ(s.client.AuthenticateSasl(kSaslLogin), kSaslStepFailed);
  EXPECT_EQ(s.server.client_sent(), "AUTH LOGIN\r\nYWxpY2U=\r\nc2VjcmV0\r\n*\r\n");
  EXPECT_EQ(s.client.last_response(), "-ERR cancelled");
}

TEST(Pop3Commands, LineBreaksInsideALineDoNotForgeLogLines) {
  Session s;
  s.server.ServerSends(std::string("+OK 1 2\nS PASS x\0\x1b[2J\r\n", 23));
  std::uint32_t count = 0;
  std::uint64_t size = 0;
  ASSERT_EQ(s.client.Stat(&count, &size), kMailOk);
  EXPECT_EQ(s.log.back(), "R +OK 1 2?S PASS x??[2J");
}

TEST(Pop3Commands, StatListUidl) {
  Session s;
  s.server.ServerSends("+OK 2 320\r\n-ERR later\r\n");
  std::uint32_t count = 0;
  std::uint64_t size = 0;
  ASSERT_EQ(s.client.Stat(&count, &size), kMailOk);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(size, 320u);
  EXPECT_EQ(s.client.Stat(&count, &size), kPop3StatRefused);
  s.server.ServerSends("+OK\r\n");
  EXPECT_EQ(s.client.Stat(&count, &size), kPop3BadReply);

  std::vector<std::pair<std::uint32_t, std::uint64_t>> listed;
  s.client.SetListCallback([&](std::uint32_t n, std::uint64_t bytes) { listed.emplace_back(n, bytes); });
  s.server.ServerSends("+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n");
  ASSERT_EQ(s.client.List(), kMailOk);
  EXPECT_EQ(listed, (std::vector<std::pair<std::uint32_t, std::uint64_t>>{{1, 120}, {2, 200}}));
  EXPECT_TRUE(s.Logged("R 2 200"));

  std::vector<std::string> ids;
  s.client.SetUidlCallback([&](std::uint32_t n, std::string_view id) { ids.push_back(std::to_string(n) + "=" + std::string(id)); });
  s.server.ServerSends("+OK\r\n1 whqtswO00WBw418f9t5JxYwZ\r\nbroken\r\n2  QhdPYR:00WBw1Ph7x7 \r\n.\r\n");
  EXPECT_EQ(s.client.Uidl(), kPop3BadReply);  // read to the end, but one entry made no sense
  EXPECT_EQ(ids, (std::vector<std::string>{"1=whqtswO00WBw418f9t5JxYwZ", "2=QhdPYR:00WBw1Ph7x7"}));
  s.server.ServerSends("-ERR no\r\n+OK 1 1\r\n");
  EXPECT_EQ(s.client.Uidl(), kPop3UidlRefused);
  EXPECT_EQ(s.client.Stat(&count, &size), kMailOk);  // the stream stayed in step
}

TEST(Pop3Commands, RetrAndTopUnstuffLines) {
  Session s;
  std::vector<std::string> lines;
  s.client.SetMessageLineCallback([&](std::string_view line) { lines.emplace_back(line); });
  s.server.ServerSends("+OK 40 octets\r\nSubject: x\r\n\r\n..\r\n...two\r\n..x\r\nplain.\r\n.\r\n");
  ASSERT_EQ(s.client.Retr(1), kMailOk);
  EXPECT_EQ(lines, (std::vector<std::string>{"Subject: x", "", ".", "..two", ".x", "plain."}));
  EXPECT_FALSE(s.Logged("R Subject: x"));  // message lines are not logged by default
  lines.clear();
  s.server.ServerSends("+OK\r\nSubject: y\r\n.\r\n-ERR no such message\r\n");
  ASSERT_EQ(s.client.Top(3, 0), kMailOk);
  EXPECT_EQ(lines, (std::vector<std::string>{"Subject: y"}));
  EXPECT_EQ(s.client.Retr(9), kPop3RetrRefused);
  EXPECT_EQ(s.server.client_sent(), "RETR 1\r\nTOP 3 0\r\nRETR 9\r\n");
}

// Bytes behind the "+OK" to STLS came in clear: the switch fails before any
// handshake, nothing more is sent, the capabilities read in clear are gone
// and the next connection starts in clear.
TEST(Pop3Commands, PlaintextBehindTheStlsGoAheadFailsTheSwitch) {
  Session s("+OK hi\r\n", "+OK\r\nUSER\r\nSTLS\r\nSASL PLAIN\r\n.\r\n+OK\r\nPLAIN\r\n.\r\n");
  ASSERT_EQ(s.client.server_mechanisms(), unsigned{kSaslPlain});
  s.server.ServerSends("+OK begin TLS\r\n+OK logged in\r\n");
  EXPECT_EQ(s.client.StartTls(), kTlsPlaintextAtSwitch);
  EXPECT_EQ(s.server.client_sent(), "STLS\r\n");
  EXPECT_FALSE(s.client.connected());
  EXPECT_TRUE(s.client.plain());
  EXPECT_EQ(s.client.capabilities(), kPop3DefaultCapabilities);
  EXPECT_EQ(s.client.server_mechanisms(), 0u);
  EXPECT_TRUE(Failed(s.client.Login()));
  EXPECT_EQ(s.server.client_sent(), "STLS\r\n");
}

TEST(Pop3Commands, DeleStlsAndQuit) {
  Session s("+OK hi\r\n", "+OK\r\nUSER\r\n.\r\n");
  s.server.ServerSends("+OK deleted\r\n-ERR no\r\nwhat\r\n");
  EXPECT_EQ(s.client.Dele(1), kMailOk);
  EXPECT_EQ(s.client.Dele(2), kPop3DeleRefused);
  EXPECT_EQ(s.client.Dele(3), kPop3BadReply);
  s.server.ClearSent();
  EXPECT_EQ(s.client.StartTls(), kPop3NotSupported);  // STLS not announced
  EXPECT_EQ(s.server.client_sent(), "");
  Session stls;  // default capabilities include STLS
  stls.server.ServerSends("-ERR not now\r\n");
  EXPECT_EQ(stls.client.StartTls(), kPop3NotSupported);
  EXPECT_TRUE(stls.client.plain());
  // QUIT succeeds even when the server hangs up without a word.
  EXPECT_EQ(stls.client.Quit(), kMailOk);
  EXPECT_FALSE(stls.client.connected());
}

}  // namespace
}  // namespace protocols
