// The SSL 2.0 side of TlsEngine against Ssl2ServerFake: every cipher kind
// with data both ways at several record splits, the master key block and the
// key argument, client certificates, and the texts of every failure.

#include <gtest/gtest.h>

#include "security/tls/ssl2_server_fake.h"
#include "security/tls/tls_engine.h"

namespace security {
namespace {

using testing::Bytes;
using testing::ScriptedTransportFake;
using testing::Ssl2ServerFake;

TEST(Ssl2EngineTest, EveryKindCompletesAndCarriesData) {
  for (const auto& kind : Ssl2KindTable()) {
    for (std::size_t piece : {1, 3, 17, 1 << 20}) {
      SCOPED_TRACE(::testing::Message() << std::hex << kind.code << " piece " << std::dec << piece);
      TlsEngine engine;
      Ssl2ServerFake server({{kind.code}});
      ScriptedTransportFake link(engine, &server, piece);
      engine.SetVersionMask(kProtocolSsl2);
      ASSERT_TRUE(link.Handshake());
      EXPECT_EQ(engine.Protocol(), kProtocolSsl2);
      ASSERT_NE(engine.NegotiatedSsl2Kind(), nullptr);
      EXPECT_EQ(engine.NegotiatedSsl2Kind()->code, kind.code);
      EXPECT_EQ(engine.SessionId().size(), 16u);
      server.SendData("+OK ready\r\n");
      link.PumpAll();
      EXPECT_EQ(link.data, "+OK ready\r\n");
      std::string text(5000, 'q');
      ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
      EXPECT_EQ(server.application_data(), text);
      EXPECT_TRUE(link.errors.empty());
      if (kind.key_arg_size != 0) {
        for (std::size_t k = 2; k < server.padding_lengths.size(); ++k) {
          EXPECT_GE(server.padding_lengths[k], 1u);
          EXPECT_LE(server.padding_lengths[k], 8u);
        }
      }
    }
  }
}

TEST(Ssl2EngineTest, MasterKeyMessageLayout) {
  for (std::uint32_t code : {0x010080u, 0x020080u, 0x0700C0u}) {
    SCOPED_TRACE(code);
    TlsEngine engine;
    Ssl2ServerFake server({{code}});
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(kProtocolSsl2);
    ASSERT_TRUE(link.Handshake());
    const Ssl2Kind& kind = *FindSsl2Kind(code);
    const Bytes& m = server.master_key_message();
    EXPECT_EQ(m[0], 2);
    EXPECT_EQ(static_cast<std::size_t>(m[4] << 8 | m[5]), kind.clear_size);
    EXPECT_EQ(static_cast<std::size_t>(m[8] << 8 | m[9]), kind.key_arg_size);
    EXPECT_EQ(server.master_key().size(), kind.master_key_size);
    const Bytes& block = server.block();
    const Bytes lead = kind.exportable ? Bytes{0x00, 0x02, 0x45, 0x21} : Bytes{0x00, 0x02, 0xE9, 0xE9};
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), lead);
    const std::size_t separator = block.size() - kind.secret_size - 1;
    EXPECT_EQ(block[separator], 0);
    for (std::size_t k = 4; k < separator; ++k) EXPECT_EQ(block[k] & 1, 1) << k;
    if (kind.key_arg_size != 0) {
      EXPECT_EQ(Bytes(m.end() - 8, m.end()), Bytes(8, 0));
    }
  }
}

TEST(Ssl2EngineTest, ClientCertificateAnswersTheRequest) {
  TlsEngine engine;
  Ssl2ServerFake::Options options;
  options.request_certificate = true;
  Ssl2ServerFake server(options);
  ScriptedTransportFake link(engine, &server);
  link.SetClientCertificate("client.crt", "client.key");
  engine.SetVersionMask(kProtocolSsl2);
  ASSERT_TRUE(link.Handshake());
  EXPECT_TRUE(server.client_certificate_good());

  TlsEngine without;
  Ssl2ServerFake asking(options);
  ScriptedTransportFake bare(without, &asking);
  without.SetVersionMask(kProtocolSsl2);
  EXPECT_FALSE(bare.Handshake());
  EXPECT_EQ(asking.errors, std::vector<int>{2});
  EXPECT_EQ(bare.closed, std::vector<int>{0});
}

TEST(Ssl2EngineTest, FailuresRaiseTheirTexts) {
  struct Case {
    Ssl2ServerFake::Options options;
    const char* text;
  } cases[] = {
      {{{0x010080}, false, true}, "Server verify failed"},
      {{{0x010080}, false, false, true}, "Invalid MAC"},
      {{{0x060040}, false, false, true}, "Invalid MAC"},
      {{{0x080080}}, "Unknown cipher suite code 8.0.128"},
      {{{0x010080}, false, false, false, 1}, "No cipher"},
      {{{0x010080}, false, false, false, 2}, "No certificate"},
      {{{0x010080}, false, false, false, 4}, "Bad certificate"},
      {{{0x010080}, false, false, false, 6}, "Unsupported certificate type"},
      {{{0x010080}, false, false, false, 9}, "Unknown error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TlsEngine engine;
    Ssl2ServerFake server(c.options);
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(kProtocolSsl2);
    try {
      link.Handshake();
      ADD_FAILURE() << "no exception";
    } catch (const TlsException& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_FALSE(engine.IsEstablished());
    EXPECT_FALSE(engine.IsSessionOpen());
  }
}

TEST(Ssl2EngineTest, EmptyCipherListAndRefusedCertificate) {
  TlsEngine engine;
  Ssl2ServerFake::Options empty;
  empty.cipher_kinds.clear();
  Ssl2ServerFake server(empty);
  ScriptedTransportFake link(engine, &server);
  engine.SetVersionMask(kProtocolSsl2);
  EXPECT_FALSE(link.Handshake());
  EXPECT_EQ(link.errors, std::vector<int>{40});
  EXPECT_TRUE(engine.IsAborted());

  TlsEngine refusing;
  Ssl2ServerFake other({{0x010080}});
  ScriptedTransportFake refused(refusing, &other);
  refused.refuse_certificates = true;
  refusing.SetVersionMask(kProtocolSsl2);
  EXPECT_FALSE(refused.Handshake());
  EXPECT_EQ(refused.errors, std::vector<int>{42});
  EXPECT_EQ(other.errors, std::vector<int>{4});
}

TEST(Ssl2EngineTest, ServerAnsweringInSsl2WhileNewerVersionsAreEnabledIsRefused) {
  // With SSL 3.0 or TLS 1.0 enabled the hello is a plain ClientHello, so an
  // SSL 2.0 answer (two-byte header, top bit set) is no record at all.
  for (int mask : {3, 5, 7}) {
    SCOPED_TRACE(mask);
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr, 1);
    engine.SetVersionMask(mask);
    engine.Start();
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0][0], 22) << "not an SSL 2.0 hello";
    link.Script({0x80, 0x0b, 0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    link.PumpAll();
    EXPECT_EQ(link.errors, std::vector<int>{20});
    EXPECT_NE(engine.Protocol(), kProtocolSsl2);
    EXPECT_FALSE(engine.IsEstablished());
  }
}

TEST(Ssl2EngineTest, MasterKeyBlockCarriesTheRollbackMarkerOnlyWhenNewerVersionsAreEnabled) {
  // The eight padding bytes before the separator: 0x03 each when the client
  // could have spoken SSL 3.0 or TLS 1.0 (a server that can too then knows
  // the connection was rolled back), random otherwise.
  for (bool newer : {false, true}) {
    SCOPED_TRACE(newer);
    TlsEngine engine;
    Ssl2ServerFake server({{0x0700C0}});
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(kProtocolSsl2);
    engine.Start();
    // The mask as it stands when the master key is sent decides.
    if (newer) engine.SetVersionMask(kProtocolSsl2 | kProtocolSsl3 | kProtocolTls1);
    link.PumpAll();
    ASSERT_TRUE(engine.IsEstablished());
    const Bytes& block = server.block();
    ASSERT_GT(block.size(), 24u + 9u);
    const auto separator = block.end() - 24 - 1;
    EXPECT_EQ(*separator, 0);
    const Bytes marker(separator - 8, separator);
    if (newer) {
      EXPECT_EQ(marker, Bytes(8, 0x03));
    } else {
      EXPECT_NE(marker, Bytes(8, 0x03));
    }
  }
}

TEST(Ssl2EngineTest, MessageOutOfStateIsUnknown) {
  TlsEngine engine;
  ScriptedTransportFake link(engine, nullptr);
  engine.SetVersionMask(kProtocolSsl2);
  engine.Start();
  link.Script({0x80, 0x01, 0x06});  // SERVER-FINISHED before anything
  try {
    link.PumpAll();
    FAIL();
  } catch (const TlsException& e) {
    EXPECT_STREQ(e.what(), "Unknown message 06");
  }
}

}  // namespace
}  // namespace security
