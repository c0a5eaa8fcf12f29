// dictaloctl tls-probe without a TLS server: its usage errors, a refused
// connection, and a plain-text server on a real local socket (what a user
// sees when the port is not a TLS port).

#include "ctl/tls_probe_command.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "ctl/tls_probe_common.h"
#include "protocols/testing/loopback_server.h"

namespace ctl {
namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result Probe(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunTlsProbeCommand(args, out, err);
  return {status, out.str(), err.str()};
}

// A listener on 127.0.0.1 that greets the first client with `greeting` and
// reads until the client goes away.
class GreetingServer {
 public:
  explicit GreetingServer(std::string greeting) : greeting_(std::move(greeting)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    socklen_t length = sizeof(address);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    ::listen(fd_, 1);
    thread_ = std::thread([this] {
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      (void)!::write(client, greeting_.data(), greeting_.size());
      char buffer[512];
      while (::read(client, buffer, sizeof(buffer)) > 0) {
      }
      ::close(client);
    });
  }
  ~GreetingServer() {
    thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }

 private:
  std::string greeting_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(TlsProbeCommandTest, UsageErrorsExitWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"localhost"}, {"localhost", "0"}, {"localhost", "443", "--versions", "9"},
           {"localhost", "443", "--versions", "tls1.3"}, {"localhost", "443", "--versions", "tls1.2,"},
           {"localhost", "443", "--versions"}, {"localhost", "443", "--bogus"}, {"localhost", "443", "extra"},
           {"localhost", "25", "--starttls", "imap"}, {"localhost", "25", "--starttls"},
           {"localhost", "25", "--starttls", "smtp", "--round-trip", "10"}}) {
    const auto r = Probe(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage: dictaloctl tls-probe"), std::string::npos) << r.err;
  }
  const auto missing = Probe({"localhost", "443", "--client-cert", "/nonexistent.pem", "--client-key", "/nonexistent.key"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("--client-cert needs a certificate"), std::string::npos) << missing.err;
}

TEST(TlsProbeCommandTest, VersionChoicesByMaskOrName) {
  struct Case {
    const char* text;
    int mask;
    std::uint16_t highest;
  } cases[] = {
      {"7", 7, 0x0303},        {"4", 4, 0x0303},         {"tls1.2", 4, 0x0303},
      {"tls1.1", 4, 0x0302},   {"tls1.0", 4, 0x0301},    {"ssl3,tls1.0", 6, 0x0301},
      {"tls1.0,tls1.2", 4, 0x0303}, {"ssl2,ssl3", 3, 0x0303},
  };
  for (const auto& c : cases) {
    int mask = 0;
    std::uint16_t highest = 0;
    ASSERT_TRUE(ParseVersionChoice(c.text, &mask, &highest)) << c.text;
    EXPECT_EQ(mask, c.mask) << c.text;
    EXPECT_EQ(highest, c.highest) << c.text;
  }
  int mask = 0;
  std::uint16_t highest = 0;
  for (const char* bad : {"", "0", "8", "tls1", "TLS1.2", "tls1.2,,ssl3", "sslv3"}) {
    EXPECT_FALSE(ParseVersionChoice(bad, &mask, &highest)) << bad;
  }
}

TEST(TlsProbeCommandTest, PlainTextServerGivesBadRecordMac) {
  GreetingServer server("220 mail.example.org ESMTP ready\r\n");
  const auto r = Probe({"127.0.0.1", std::to_string(server.port()), "--versions", "4", "--trace"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("handshake failed: 0x80C50014 (bad_record_mac)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("alert: 20 bad_record_mac"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("trace: 1 client hello sent"), std::string::npos) << r.out;
}

TEST(TlsProbeCommandTest, SilentServerAndRefusedConnectionExitWithOne) {
  int port = 0;
  {
    GreetingServer silent("");
    port = silent.port();
    const auto first = Probe({"127.0.0.1", std::to_string(port), "--timeout", "2"});
    EXPECT_EQ(first.status, 1) << "a server that never answers: the handshake times out";
    EXPECT_NE(first.out.find("handshake failed: 0x80C5012A"), std::string::npos) << first.out;
  }
  const auto r = Probe({"127.0.0.1", std::to_string(port)});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot connect"), std::string::npos) << r.err;
}

// A hostile server puts bytes in clear right behind its go-ahead for TLS, in
// the same write. The probe must not start TLS over them: it reports the
// failure and sends nothing more, neither a TLS hello nor anything else.
TEST(TlsProbeCommandTest, PlaintextBehindTheGoAheadStopsTheProbe) {
  struct Case {
    const char* protocol;
    std::vector<std::string> replies;
  };
  const Case cases[] = {
      {"smtp", {"220 hostile ESMTP\r\n", "250-hostile\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n",
                "220 ready\r\n250 injected\r\n"}},
      {"pop3", {"+OK hostile\r\n", "+OK\r\nUSER\r\nSTLS\r\n.\r\n", "+OK\r\n+OK injected\r\n"}},
  };
  for (const Case& c : cases) {
    protocols::testing::ScriptedTcpServerFake server(c.replies, 1500);
    const auto r = Probe({"127.0.0.1", std::to_string(server.port()), "--starttls", c.protocol, "--timeout", "5"});
    EXPECT_EQ(r.status, 1) << c.protocol;
    EXPECT_NE(r.out.find("handshake failed: 0x80C5012C (plaintext after the go-ahead)"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("protocol:"), std::string::npos) << r.out;
    EXPECT_EQ(server.ReceivedAfterLastReply(), "") << c.protocol;
    EXPECT_NE(server.Received().find(std::string(c.protocol) == "smtp" ? "STARTTLS\r\n" : "STLS\r\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace ctl
