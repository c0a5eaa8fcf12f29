#include "protocols/mail_client.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "protocols/testing/loopback_server.h"
#include "protocols/testing/scripted_server_fake.h"
#include "protocols/socket_errors.h"
#include "protocols/socket_layer.h"

namespace protocols {
namespace {

using testing::LoopbackListener;
using testing::ScriptedServerFake;

// The whole socket error table, Winsock number → code.
TEST(SocketErrors, WinsockTable) {
  const struct {
    int winsock;
    MailResult code;
  } kTable[] = {
      {0, 0},               {10004, 0x80C00002},  {10035, 0x80C00002}, {10013, 0x80C00003}, {10014, 0x80C00004},
      {10022, 0x80C00005},  {10024, 0x80C00006},  {10036, 0x80C00007}, {10037, 0x80C00007}, {10038, 0x80C00008},
      {10039, 0x80C00009},  {10040, 0x80C0000A},  {10041, 0x80C0000B}, {10042, 0x80C0000C}, {10043, 0x80C0000D},
      {10047, 0x80C0000D},  {10048, 0x80C0000E},  {10049, 0x80C0000F}, {10050, 0x80C00010}, {10052, 0x80C00010},
      {10053, 0x80C00011},  {10054, 0x80C00012},  {10056, 0x80C00018}, {10057, 0x80C00015}, {10058, 0x80C00015},
      {10060, 0x80C00014},  {10061, 0x80C00013},  {10064, 0x80C00017}, {10065, 0x80C00017}, {11001, 0x80C00016},
      {11002, 0x80C0001A},  {11004, 0x80C00019},  {10055, 0x80004005}, {10059, 0x80004005}, {11003, 0x80004005},
      {12345, 0x80004005},
  };
  for (const auto& row : kTable) {
    EXPECT_EQ(MailResultFromWinsock(row.winsock), row.code) << row.winsock;
  }
}

// Linux errno values land on the Winsock numbers of the same condition.
TEST(SocketErrors, ErrnoAndResolverGoThroughWinsockNumbers) {
  EXPECT_EQ(MailResultFromErrno(ECONNREFUSED), 0x80C00013u);
  EXPECT_EQ(MailResultFromErrno(ETIMEDOUT), 0x80C00014u);
  EXPECT_EQ(MailResultFromErrno(EAGAIN), 0x80C00002u);
  EXPECT_EQ(MailResultFromErrno(ECONNRESET), 0x80C00012u);
  EXPECT_EQ(MailResultFromErrno(EPIPE), 0x80C00012u);
  EXPECT_EQ(MailResultFromErrno(ENETUNREACH), 0x80C00010u);
  EXPECT_EQ(MailResultFromErrno(EHOSTUNREACH), 0x80C00017u);
  EXPECT_EQ(MailResultFromErrno(EADDRINUSE), 0x80C0000Eu);
  EXPECT_EQ(MailResultFromErrno(ENOMEM), 0x80004005u);
  EXPECT_EQ(MailResultFromWinsock(WinsockErrorFromResolver(EAI_NONAME, 0)), kSocketHostNotFound);
  EXPECT_EQ(MailResultFromWinsock(WinsockErrorFromResolver(EAI_AGAIN, 0)), 0x80C0001Au);
  EXPECT_EQ(MailResultFromWinsock(WinsockErrorFromResolver(EAI_SYSTEM, ECONNREFUSED)), 0x80C00013u);
}

// A client connected to a listener that never answers, reading the script.
struct ScriptedConnection {
  ScriptedConnection() { EXPECT_EQ(client.Connect("127.0.0.1", listener.port()), kMailOk); }
  ScopedSocketLayer layer;
  LoopbackListener listener;
  MailClient client;
  ScriptedServerFake& server = testing::InstallScriptedServer(client);
};

TEST(MailClientLines, ReplySplitBetweenCrAndLfIsOneLine) {
  ScriptedConnection c;
  c.server.ServerSends("220 ready\r");
  c.server.ServerSends("\n250 ok\r\n");
  std::string line;
  ASSERT_EQ(c.client.ReadLine(&line), kMailOk);
  EXPECT_EQ(line, "220 ready");
  ASSERT_EQ(c.client.ReadLine(&line), kMailOk);
  EXPECT_EQ(line, "250 ok");
}

// Every cut of the stream into two pieces, and byte by byte, gives the same lines.
TEST(MailClientLines, SameLinesWhereverTheStreamIsCut) {
  const std::string stream = "first\r\nlone\rcarriage\r\n\r\n\r\rx\n\r\nlast\r\n";
  const std::vector<std::string> expected = {"first", "lone\rcarriage", "", "\r\rx\n", "last"};
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    ScriptedConnection c;
    if (cut == stream.size()) {
      c.server.ServerSendsBytewise(stream);
    } else {
      c.server.ServerSendsCut(stream, {cut});
    }
    for (const auto& want : expected) {
      std::string line;
      ASSERT_EQ(c.client.ReadLine(&line), kMailOk) << "cut " << cut;
      EXPECT_EQ(line, want) << "cut " << cut;
    }
  }
}

TEST(MailClientLines, LineOverTheMaximumFails) {
  ScriptedConnection c;
  c.client.SetMaxLineLength(1000);
  c.server.ServerSends(std::string(1500, 'x'));
  std::string line;
  EXPECT_EQ(c.client.ReadLine(&line), kSocketLineTooLong);
}

// A line of exactly the maximum whose CR arrives before its LF is still read.
TEST(MailClientLines, LineOfExactlyTheMaximumIsRead) {
  ScriptedConnection c;
  c.client.SetMaxLineLength(1000);
  const std::string body(1000, 'y');
  c.server.ServerSendsCut(body + "\r\n", {1001});
  std::string line;
  ASSERT_EQ(c.client.ReadLine(&line), kMailOk);
  EXPECT_EQ(line, body);
}

TEST(MailClientLines, PeerThatHangsUpClosesTheClient) {
  ScriptedConnection c;
  c.server.ServerSends("partial");
  std::string line;
  EXPECT_EQ(c.client.ReadLine(&line), kSocketClosedByPeer);
  EXPECT_FALSE(c.client.connected());
  EXPECT_EQ(c.client.ReadLine(&line), kSocketNotConnected);
}

TEST(MailClientLines, ReadExactTakesBufferedBytesFirst) {
  ScriptedConnection c;
  c.server.ServerSends("line\r\nABCDEFG");
  std::string line;
  ASSERT_EQ(c.client.ReadLine(&line), kMailOk);
  std::uint8_t bytes[7];
  ASSERT_EQ(c.client.ReadExact(bytes), kMailOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 7), "ABCDEFG");
}

// A system whose random source fails: every fill fails.
class FakeDeadRandomSource final : public security::RandomSource {
 public:
  bool Fill(std::span<std::uint8_t>) override { return false; }
};

// Without random bytes no handshake can start; the switch to TLS fails with
// its own code and no hello goes out, instead of an exception escaping.
TEST(MailClientTls, NoRandomSourceFailsTheSwitchBeforeAnyByte) {
  ScriptedConnection c;
  FakeDeadRandomSource dead;
  c.client.SetRandomSource(dead);
  MailResult r = kMailOk;
  EXPECT_NO_THROW(r = c.client.SetPlain(false));
  EXPECT_EQ(r, kTlsNoRandomSource);
  EXPECT_EQ(c.server.client_sent(), "");
  EXPECT_FALSE(c.client.connected());
}

TEST(MailClientSend, SendLineAddsCrLfAndEmptySendFails) {
  ScriptedConnection c;
  ASSERT_EQ(c.client.SendLine("EHLO x"), kMailOk);
  EXPECT_EQ(c.server.client_sent(), "EHLO x\r\n");
  EXPECT_EQ(c.client.SendAll({}), kSocketZeroLengthSend);
}

// Real sockets from here on.

class WaitCounter : public MailClient {
 public:
  bool KeepWaiting() override { return ++asked_ < 3; }
  int asked_ = 0;
};

TEST(MailClientSockets, SilentServerTimesOutAfterKeepWaitingGivesUp) {
  ScopedSocketLayer layer;
  LoopbackListener silent;
  WaitCounter client;
  client.SetTimeout(1);
  ASSERT_EQ(client.Connect("127.0.0.1", silent.port()), kMailOk);
  const auto start = std::chrono::steady_clock::now();
  std::string line;
  EXPECT_EQ(client.ReadLine(&line), kSocketTimedOut);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(client.asked_, 3);  // two more waits, then stop
  EXPECT_GE(waited, std::chrono::milliseconds(2900));
  EXPECT_LT(waited, std::chrono::seconds(10));
}

TEST(MailClientSockets, SilentServerTimesOutOnceByDefault) {
  ScopedSocketLayer layer;
  LoopbackListener silent;
  MailClient client;
  client.SetTimeout(1);
  ASSERT_EQ(client.Connect("127.0.0.1", silent.port()), kMailOk);
  const auto start = std::chrono::steady_clock::now();
  std::string line;
  EXPECT_EQ(client.ReadLine(&line), kSocketTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(client.connected());
}

TEST(MailClientSockets, RefusedConnectionAndUnstartedLayer) {
  MailClient client;
  ASSERT_FALSE(IsSocketLayerStarted());
  EXPECT_EQ(client.Connect("127.0.0.1", 1), kSocketLayerNotStarted);
  ScopedSocketLayer layer;
  std::uint16_t closed_port;
  {
    LoopbackListener gone;
    closed_port = gone.port();
  }
  std::vector<ConnectionStatus> seen;
  client.SetStatusCallback([&](ConnectionStatus s) { seen.push_back(s); });
  EXPECT_EQ(client.Connect("127.0.0.1", closed_port), 0x80C00013u);
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(seen, (std::vector<ConnectionStatus>{ConnectionStatus::kResolving, ConnectionStatus::kConnecting}));
  EXPECT_EQ(client.Connect("no-such-host.invalid", 25), kSocketHostNotFound);
}

TEST(MailClientSockets, StatusReportsAndLocalNames) {
  ScopedSocketLayer layer;
  LoopbackListener listener;
  MailClient client;
  EXPECT_EQ(client.LocalAddress(), "(unknown)");
  EXPECT_EQ(client.LocalHostName(), "localhost");
  std::vector<ConnectionStatus> seen;
  client.SetStatusCallback([&](ConnectionStatus s) { seen.push_back(s); });
  ASSERT_EQ(client.Connect("localhost", listener.port()), kMailOk);
  EXPECT_EQ(client.LocalAddress(), "127.0.0.1");
  EXPECT_EQ(client.LocalHostName(), "localhost");
  EXPECT_EQ(client.host(), "localhost");
  ASSERT_EQ(client.SendLine("hello"), kMailOk);
  client.Close();
  EXPECT_FALSE(client.connected());
  using S = ConnectionStatus;
  EXPECT_EQ(seen, (std::vector<S>{S::kResolving, S::kConnecting, S::kConnected, S::kWaiting, S::kSending,
                                  S::kConnected, S::kDisconnecting, S::kDisconnected}));
}

// With the graceful flag the client half-closes and reads until the peer is
// done, so what the peer still sends after our end arrives without a reset.
TEST(MailClientSockets, GracefulCloseLetsThePeerFinish) {
  ScopedSocketLayer layer;
  LoopbackListener listener;
  std::atomic<bool> peer_saw_end{false};
  std::atomic<int> peer_send_errno{-1};
  std::thread peer([&] {
    const int fd = ::accept(listener.fd(), nullptr, nullptr);
    char buffer[256];
    while (::recv(fd, buffer, sizeof(buffer), 0) > 0) {
    }
    peer_saw_end = true;
    std::string tail(100000, 'z');
    const ssize_t n = ::send(fd, tail.data(), tail.size(), MSG_NOSIGNAL);
    peer_send_errno = n == static_cast<ssize_t>(tail.size()) ? 0 : errno;
    ::close(fd);
  });
  MailClient client;
  client.SetGracefulClose(true);
  ASSERT_EQ(client.Connect("127.0.0.1", listener.port()), kMailOk);
  ASSERT_EQ(client.SendLine("QUIT"), kMailOk);
  client.Close();
  peer.join();
  EXPECT_TRUE(peer_saw_end);
  EXPECT_EQ(peer_send_errno, 0);
}

// A listener whose queue is full drops further connection requests, so a
// connect to it hangs for the kernel's own minutes: the client gives up
// after its time-out, asking KeepWaiting each time.
TEST(MailClientSockets, ConnectWaitsOnlyForTheTimeOut) {
  ScopedSocketLayer layer;
  LoopbackListener full(/*backlog=*/0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(full.port());
    (void)::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof(target));
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  WaitCounter client;
  client.SetTimeout(1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Connect("127.0.0.1", full.port()), kSocketTimedOut);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(client.asked_, 3);
  EXPECT_GE(waited, std::chrono::milliseconds(2900));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_FALSE(client.connected());
  for (int fd : fillers) ::close(fd);
}

// A peer that stops reading fills the socket buffers; a large send then
// fails at the time-out instead of blocking until the peer reads again.
TEST(MailClientSockets, SendToAPeerThatStopsReadingEndsAtTheTimeOut) {
  ScopedSocketLayer layer;
  LoopbackListener listener;
  MailClient client;
  client.SetTimeout(1);
  ASSERT_EQ(client.Connect("127.0.0.1", listener.port()), kMailOk);
  const int peer = ::accept(listener.fd(), nullptr, nullptr);
  ASSERT_GE(peer, 0);
  // Should the client block after all, resetting the connection ends the
  // send with an error after a while instead of hanging the test.
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const linger reset{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    ::close(peer);
  });
  const std::string big(64 * 1024 * 1024, 'x');
  const auto start = std::chrono::steady_clock::now();
  const MailResult r = client.SendAll({reinterpret_cast<const std::uint8_t*>(big.data()), big.size()});
  const auto waited = std::chrono::steady_clock::now() - start;
  done = true;
  watchdog.join();
  EXPECT_EQ(r, kSocketTimedOut);
  EXPECT_LT(waited, std::chrono::seconds(10));
}

// A line that never ends stops at the reader's limit without a maximum of
// its own; a maximum of its own is honoured.
TEST(MailClientLines, EndlessLineStopsAtTheLimit) {
  ScriptedConnection c;
  for (int i = 0; i < 200; ++i) c.server.ServerSends(std::string(1024, 'a'));
  std::string line;
  EXPECT_EQ(c.client.ReadLine(&line), kSocketLineTooLong);
  EXPECT_GT(c.server.unsent_bytes(), 100u * 1024);
  ScriptedConnection d;
  d.client.SetMaxLineLength(1000);
  d.server.ServerSends(std::string(1500, 'b'));
  d.server.ServerSends("\r\n");
  EXPECT_EQ(d.client.ReadLine(&line), kSocketLineTooLong);
}

}  // namespace
}  // namespace protocols
