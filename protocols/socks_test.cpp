#include "protocols/socks.h"

#include <gtest/gtest.h>

#include "protocols/testing/loopback_server.h"
#include "protocols/testing/scripted_server_fake.h"
#include "protocols/socket_layer.h"

namespace protocols {
namespace {

using testing::LoopbackListener;
using testing::ScriptedServerFake;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A client whose "proxy" is the script.
struct Proxied {
  explicit Proxied(SocksVersion version, bool auth = false, std::string user = "", std::string password = "") {
    SocksSettings s;
    s.version = version;
    s.proxy_host = "127.0.0.1";
    s.proxy_port = listener.port();
    s.use_authentication = auth;
    s.user_id = std::move(user);
    s.password = std::move(password);
    client.SetSocks(s);
  }
  ScopedSocketLayer layer;
  LoopbackListener listener;
  MailClient client;
  ScriptedServerFake& server = testing::InstallScriptedServer(client);
};

TEST(Socks4, RequestCarriesPortAddressAndUserId) {
  Proxied p(SocksVersion::kSocks4, false, "bob");
  p.server.ServerSends(Bytes({0, 90, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(p.client.Connect("10.1.2.3", 0x1234), kMailOk);
  EXPECT_EQ(p.server.client_sent(), Bytes({4, 1, 0x12, 0x34, 10, 1, 2, 3, 'b', 'o', 'b', 0}));
  EXPECT_TRUE(p.client.connected());
  EXPECT_EQ(p.client.host(), "10.1.2.3");
}

TEST(Socks4, ReplyCodes) {
  const struct {
    int version, code;
    MailResult result;
  } kReplies[] = {{0, 90, kMailOk},           {4, 90, kMailOk},
                  {0, 91, 0x80C10001},        {0, 92, 0x80C10004},
                  {0, 93, 0x80C100FE},        {0, 94, 0x80C100FF},
                  {5, 90, 0x80C100FD},        {1, 90, 0x80C100FD}};
  for (const auto& r : kReplies) {
    Proxied p(SocksVersion::kSocks4);
    p.server.ServerSends(Bytes({r.version, r.code, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.client.Connect("127.0.0.1", 25), r.result) << r.version << "/" << r.code;
    EXPECT_EQ(p.client.connected(), r.result == kMailOk);
  }
}

// The proxy resolves what we cannot: 0.0.0.1 and the name. Plain SOCKS 4
// cannot do that and fails with the look-up error before sending anything.
TEST(Socks4, UnresolvableHostGoesToTheProxyOnlyIn4A) {
  {
    Proxied p(SocksVersion::kSocks4A, false, "u");
    p.server.ServerSendsBytewise(Bytes({0, 90, 1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(p.client.Connect("mail.no-such-host.invalid", 25), kMailOk);
    EXPECT_EQ(p.server.client_sent(),
              Bytes({4, 1, 0, 25, 0, 0, 0, 1, 'u', 0}) + "mail.no-such-host.invalid" + std::string(1, '\0'));
  }
  {
    Proxied p(SocksVersion::kSocks4);
    EXPECT_EQ(p.client.Connect("mail.no-such-host.invalid", 25), kSocketHostNotFound);
    EXPECT_EQ(p.server.client_sent(), "");
    EXPECT_FALSE(p.client.connected());
  }
  {
    // A host we can resolve goes as an address in 4A too.
    Proxied p(SocksVersion::kSocks4A);
    p.server.ServerSends(Bytes({0, 90, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(p.client.Connect("127.0.0.1", 110), kMailOk);
    EXPECT_EQ(p.server.client_sent(), Bytes({4, 1, 0, 110, 127, 0, 0, 1, 0}));
  }
}

TEST(Socks5, WithoutAuthenticationOffersOnlyMethodZero) {
  Proxied p(SocksVersion::kSocks5);
  p.server.ServerSends(Bytes({5, 255}));
  EXPECT_EQ(p.client.Connect("127.0.0.1", 25), kSocksNoAcceptableMethod);
  EXPECT_EQ(p.server.client_sent(), Bytes({5, 1, 0}));
  EXPECT_FALSE(p.client.connected());
}

// After the 4-byte header a type-3 reply carries 1 + 20 + 2 bytes; the server's
// greeting that follows must come out of the client's line reader intact.
// Bytes a proxy sends behind its reply are no part of the TLS session that
// follows: implicit TLS through the proxy fails before the handshake.
TEST(Socks5, PlaintextBehindTheReplyFailsImplicitTls) {
  Proxied p(SocksVersion::kSocks5);
  ASSERT_EQ(p.client.SetPlain(false), kMailOk);
  p.server.ServerSends(Bytes({5, 0}));
  p.server.ServerSends(Bytes({5, 0, 0, 1, 10, 0, 0, 1, 0, 25}) + "+OK injected\r\n");
  EXPECT_EQ(p.client.Connect("127.0.0.1", 995), kTlsPlaintextAtSwitch);
  EXPECT_EQ(p.server.client_sent(), Bytes({5, 1, 0}) + Bytes({5, 1, 0, 1, 127, 0, 0, 1, 0x03, 0xE3}));
  EXPECT_FALSE(p.client.connected());
  EXPECT_FALSE(p.client.plain());  // implicit TLS stays the setting
}

TEST(Socks5, ReplyWithTwentyByteNameIsSkippedExactly) {
  Proxied p(SocksVersion::kSocks5);
  const std::string name = "proxy.example.net.xy";  // 20 bytes
  ASSERT_EQ(name.size(), 20u);
  p.server.ServerSendsBytewise(Bytes({5, 0}) + Bytes({5, 0, 0, 3, 20}) + name + Bytes({0x04, 0x38}) +
                               "220 ready\r\n");
  ASSERT_EQ(p.client.Connect("127.0.0.1", 587), kMailOk);
  EXPECT_EQ(p.server.client_sent(), Bytes({5, 1, 0}) + Bytes({5, 1, 0, 1, 127, 0, 0, 1, 0x02, 0x4B}));
  std::string line;
  ASSERT_EQ(p.client.ReadLine(&line), kMailOk);
  EXPECT_EQ(line, "220 ready");
}

TEST(Socks5, BoundAddressOfEachTypeIsSkipped) {
  const struct {
    std::string tail;
  } kTails[] = {{Bytes({1, 10, 0, 0, 1, 0, 80})}, {Bytes({4}) + std::string(16, '\x01') + Bytes({0, 80})}};
  for (const auto& t : kTails) {
    Proxied p(SocksVersion::kSocks5);
    p.server.ServerSends(Bytes({5, 0}) + Bytes({5, 0, 0}) + t.tail + "+OK\r\n");
    ASSERT_EQ(p.client.Connect("127.0.0.1", 110), kMailOk);
    std::string line;
    ASSERT_EQ(p.client.ReadLine(&line), kMailOk);
    EXPECT_EQ(line, "+OK");
  }
}

TEST(Socks5, UnresolvableHostIsSentAsName) {
  Proxied p(SocksVersion::kSocks5);
  p.server.ServerSends(Bytes({5, 0, 5, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(p.client.Connect("smtp.no-such-host.invalid", 25), kMailOk);
  const std::string host = "smtp.no-such-host.invalid";
  EXPECT_EQ(p.server.client_sent(),
            Bytes({5, 1, 0}) + Bytes({5, 1, 0, 3, static_cast<int>(host.size())}) + host + Bytes({0, 25}));
}

TEST(Socks5, UserAndPasswordWhenTheProxyAsks) {
  {
    Proxied p(SocksVersion::kSocks5, true, "carol", "pw");
    p.server.ServerSends(Bytes({5, 2, 1, 0, 5, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(p.client.Connect("127.0.0.1", 25), kMailOk);
    EXPECT_EQ(p.server.client_sent(), Bytes({5, 2, 0, 2}) + Bytes({1, 5}) + "carol" + Bytes({2}) + "pw" +
                                          Bytes({5, 1, 0, 1, 127, 0, 0, 1, 0, 25}));
  }
  {
    Proxied p(SocksVersion::kSocks5, true, "carol", "wrong");
    p.server.ServerSends(Bytes({5, 2, 1, 1}));
    EXPECT_EQ(p.client.Connect("127.0.0.1", 25), kSocksAuthenticationRefused);
  }
  {
    Proxied p(SocksVersion::kSocks5, true, "carol", "pw");
    p.server.ServerSends(Bytes({5, 2, 5, 0}));
    EXPECT_EQ(p.client.Connect("127.0.0.1", 25), kSocksBadVersion);
  }
  {
    // The proxy may still choose no authentication.
    Proxied p(SocksVersion::kSocks5, true, "carol", "pw");
    p.server.ServerSends(Bytes({5, 0, 5, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.client.Connect("127.0.0.1", 25), kMailOk);
  }
}

TEST(Socks5, ReplyCodes) {
  for (int code = 1; code <= 10; ++code) {
    Proxied p(SocksVersion::kSocks5);
    p.server.ServerSends(Bytes({5, 0, 5, code, 0, 1, 0, 0, 0, 0, 0, 0}));
    const MailResult want = code <= 8 ? 0x80C10000u + static_cast<unsigned>(code) : kSocksUnknownReply;
    EXPECT_EQ(p.client.Connect("127.0.0.1", 25), want) << code;
  }
  Proxied bad_type(SocksVersion::kSocks5);
  bad_type.server.ServerSends(Bytes({5, 0, 5, 0, 0, 9, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bad_type.client.Connect("127.0.0.1", 25), kSocksUnknownReply);
  Proxied bad_version(SocksVersion::kSocks5);
  bad_version.server.ServerSends(Bytes({4, 0}));
  EXPECT_EQ(bad_version.client.Connect("127.0.0.1", 25), kSocksBadVersion);
}

// Values that do not fit a one-byte length are refused before anything is sent.
TEST(SocksLimits, LongValuesAreRefusedUpFront) {
  const std::string long_value(256, 'a');
  const std::string longest(255, 'a');
  struct Case {
    SocksVersion version;
    std::string user, password, host;
    MailResult result;
  };
  const Case kCases[] = {
      {SocksVersion::kSocks5, long_value, "p", "127.0.0.1", kSocksValueTooLong},
      {SocksVersion::kSocks5, "u", long_value, "127.0.0.1", kSocksValueTooLong},
      {SocksVersion::kSocks5, "u", "p", long_value + ".invalid", kSocksValueTooLong},
      {SocksVersion::kSocks4, long_value, "", "127.0.0.1", kSocksValueTooLong},
      {SocksVersion::kSocks4A, "u", "", long_value, kSocksValueTooLong},
      {SocksVersion::kSocks4A, longest, "", longest, kMailOk},
  };
  for (const auto& c : kCases) {
    Proxied p(c.version, true, c.user, c.password);
    p.server.ServerSends(Bytes({0, 90, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.client.Connect(c.host, 25), c.result);
    if (c.result != kMailOk) {
      EXPECT_EQ(p.server.client_sent(), "");
    }
  }
  // A NUL would end a field early for the proxy: the rest of a SOCKS 4 user
  // id would become the host name, a host name would be cut short.
  const std::string nul_user("bob\0mail.evil.example", 21);
  const std::string nul_host("mail.evil.example\0.good.example", 31);
  const Case kNul[] = {
      {SocksVersion::kSocks4A, nul_user, "", "mail.no-such-host.invalid", kSocksValueHasNul},
      {SocksVersion::kSocks4, nul_user, "", "127.0.0.1", kSocksValueHasNul},
      {SocksVersion::kSocks4A, "u", "", nul_host, kSocksValueHasNul},
      {SocksVersion::kSocks5, "u", "p", nul_host, kSocksValueHasNul},
      {SocksVersion::kSocks5, nul_user, "p", "127.0.0.1", kMailOk},  // sent with its length
  };
  for (const auto& c : kNul) {
    Proxied p(c.version, c.result == kMailOk, c.user, c.password);
    if (c.result == kMailOk) p.server.ServerSends(Bytes({5, 2, 1, 0, 5, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.client.Connect(c.host, 25), c.result);
    if (c.result != kMailOk) {
      EXPECT_EQ(p.server.client_sent(), "");
      EXPECT_EQ(p.server.connections(), 0);
    }
  }
  // Nor is such a name looked up, or read as the address before the NUL.
  Proxied direct(SocksVersion::kNone);
  EXPECT_EQ(direct.client.Connect(std::string("127.0.0.1\0.evil", 15), 25), kSocketHostNotFound);
  EXPECT_EQ(direct.server.connections(), 0);
  // The longest 4A request still fits the 1024-byte buffer.
  EXPECT_LE(BuildSocks4Request(0, 25, longest, longest).size(), kSocks4RequestBufferSize);
}

}  // namespace
}  // namespace protocols
