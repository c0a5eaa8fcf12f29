// TlsEngine against a server on the path that misbehaves: every hostile
// flight must end the handshake with its alert and error code before any
// application data leaves the client; an honest flight from the same fake
// completes, so the refusals are the engine's doing.

#include <gtest/gtest.h>

#include "security/certs/certificate_store.h"
#include "security/certs/chain_verifier.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/random_generator.h"
#include "security/tls/hostile_tls_server_fake.h"
#include "security/tls/tls_engine.h"
#include "security/tls/tls_server_fake.h"

namespace security {
namespace {

using testing::Bytes;
using testing::HostileTlsServerFake;
using testing::ScriptedTransportFake;
using testing::TestCertificate;
using testing::TestKey;
using Flight = HostileTlsServerFake::Flight;

HostileTlsServerFake::Options Hostile(std::uint16_t version, std::uint16_t suite, Flight flight,
                                      const std::string& certificate = "server.crt",
                                      const std::string& key = "server.key") {
  HostileTlsServerFake::Options options;
  options.version = version;
  options.suite = suite;
  options.flight = flight;
  options.chain = {TestCertificate(certificate).Der().ToVector()};
  options.key = TestKey(key);
  options.other_chain = {TestCertificate("client.crt").Der().ToVector()};
  return options;
}

int MaskFor(std::uint16_t version) { return version == 0x0300 ? kProtocolSsl3 : kProtocolTls1; }

TEST(HostileServerTest, HonestFlightsFromTheFakeComplete) {
  for (std::uint16_t version : {0x0300, 0x0301}) {
    for (std::uint16_t suite : {0x000A, 0x0016, 0x0004}) {
      SCOPED_TRACE(::testing::Message() << version << " " << suite);
      TlsEngine engine;
      HostileTlsServerFake server(Hostile(version, suite, Flight::kHonest));
      ScriptedTransportFake link(engine, &server, 7);
      engine.SetVersionMask(MaskFor(version));
      ASSERT_TRUE(link.Handshake());
      server.SendProtected(23, {'o', 'k'});
      link.PumpAll();
      EXPECT_EQ(link.data, "ok");
      ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>("hi"), 2));
      EXPECT_EQ(server.application_data(), "hi");
    }
  }
}

struct HostileCase {
  const char* what;
  std::uint16_t version;
  std::uint16_t suite;
  Flight flight;
  int alert;  // on the wire
  int code;   // reported through onError
  const char* certificate = "server.crt";
  const char* key = "server.key";
};

void ExpectRefused(const HostileCase& c) {
  SCOPED_TRACE(::testing::Message() << c.what << ", version " << c.version << ", suite " << c.suite);
  TlsEngine engine;
  HostileTlsServerFake server(Hostile(c.version, c.suite, c.flight, c.certificate, c.key));
  ScriptedTransportFake link(engine, &server);
  engine.SetVersionMask(MaskFor(c.version));
  EXPECT_FALSE(link.Handshake());
  EXPECT_EQ(link.errors, std::vector<int>{c.code});
  EXPECT_EQ(link.closed, std::vector<int>{0});
  EXPECT_EQ(server.alerts(), (std::vector<std::pair<int, int>>{{2, c.alert}}));
  EXPECT_EQ(link.established_calls, 0);
  EXPECT_FALSE(engine.IsEstablished());
  EXPECT_FALSE(engine.Write(reinterpret_cast<const std::uint8_t*>("MAIL FROM"), 9));
  EXPECT_FALSE(server.application_data_seen()) << "application data left the client";
}

TEST(HostileServerTest, AnonymousSuitesAreNeitherOfferedNorTaken) {
  // Anonymous suites can never pass the certificate acceptance: a server
  // choosing one, with or without a certificate, gets illegal_parameter.
  const HostileCase cases[] = {
      {"certificate in an anonymous suite", 0x0301, 0x0034, Flight::kCertificateInAnonymousSuite, 47, 47},
      {"certificate in an anonymous suite", 0x0300, 0x0018, Flight::kCertificateInAnonymousSuite, 47, 47},
      {"plain anonymous suite", 0x0301, 0x003A, Flight::kHonest, 47, 47},
  };
  for (const auto& c : cases) ExpectRefused(c);
}

TEST(HostileServerTest, SecondCertificateMessageIsUnexpected) {
  // The key would come from the first chain and acceptance would look at the
  // second: a path attacker's own certificate first, the real server's after.
  for (std::uint16_t version : {0x0300, 0x0301}) {
    for (std::uint16_t suite : {0x000A, 0x0016}) {
      ExpectRefused({"two Certificate messages", version, suite, Flight::kTwoCertificates, 10, 10});
      TlsEngine engine;
      HostileTlsServerFake server(Hostile(version, suite, Flight::kTwoCertificates));
      ScriptedTransportFake link(engine, &server);
      engine.SetVersionMask(MaskFor(version));
      link.Handshake();
      const std::string first = TestCertificate("client.crt").Subject().text;
      EXPECT_EQ(link.peer_subjects, std::vector<std::string>{first});
      ASSERT_EQ(engine.ServerChain().size(), 1u);
      EXPECT_EQ(engine.ServerCertificate()->Subject().text, first);
      EXPECT_FALSE(server.client_key_exchange_seen());
    }
  }
}

TEST(HostileServerTest, TemporaryRsaKeyOutsideExportSuitesIsUnexpected) {
  for (std::uint16_t version : {0x0300, 0x0301}) {
    for (std::uint16_t suite : {0x000A, 0x0004}) {
      ExpectRefused({"512-bit temporary RSA key", version, suite, Flight::kTemporaryRsaKey, 10, 10});
    }
  }
}

TEST(HostileServerTest, ShortKeysAndPrimesAreInsufficientSecurity) {
  // SSL 3.0 has no insufficient_security alert: handshake_failure goes on
  // the wire, 71 to the owner.
  const HostileCase cases[] = {
      {"768-bit DH prime", 0x0301, 0x0033, Flight::kShortDhPrime, 71, 71},
      {"768-bit DH prime", 0x0300, 0x0016, Flight::kShortDhPrime, 40, 71},
      {"512-bit certificate key", 0x0301, 0x002F, Flight::kHonest, 71, 71, "weak512.crt", "weak512.key"},
      {"512-bit certificate key", 0x0300, 0x000A, Flight::kHonest, 40, 71, "weak512.crt", "weak512.key"},
      {"512-bit certificate key signing DHE", 0x0301, 0x0033, Flight::kHonest, 71, 71, "weak512.crt", "weak512.key"},
  };
  for (const auto& c : cases) ExpectRefused(c);
}

TEST(HostileServerTest, MessagesOutOfOrderAreUnexpected) {
  for (std::uint16_t version : {0x0300, 0x0301}) {
    const HostileCase cases[] = {
        {"ServerKeyExchange before Certificate", version, 0x0016, Flight::kKeyExchangeBeforeCertificate, 10, 10},
        {"ServerHelloDone without Certificate", version, 0x000A, Flight::kDoneWithoutCertificate, 10, 10},
        {"CertificateRequest before Certificate", version, 0x000A, Flight::kRequestBeforeCertificate, 10, 10},
        {"DHE without ServerKeyExchange", version, 0x0016, Flight::kDoneWithoutKeyExchange, 10, 10},
        {"ServerHello twice", version, 0x000A, Flight::kServerHelloTwice, 10, 10},
        {"Certificate after ServerHelloDone", version, 0x000A, Flight::kCertificateAfterDone, 10, 10},
    };
    for (const auto& c : cases) ExpectRefused(c);
  }
}

// A certificate whose key usage forbids what the suite does with the key is
// refused before the client sends anything keyed to it.
TEST(HostileServerTest, KeyUsageMustFitTheKeyExchange) {
  const HostileCase cases[] = {
      {"sign-only key for RSA key exchange", 0x0301, 0x002F, Flight::kHonest, 43, 43, "sign-only.crt"},
      {"sign-only key for RSA key exchange", 0x0300, 0x000A, Flight::kHonest, 43, 43, "sign-only.crt"},
      {"encipher-only key signing DHE", 0x0301, 0x0033, Flight::kHonest, 43, 43, "encipher-only.crt"},
  };
  for (const auto& c : cases) ExpectRefused(c);
  // The fitting use of each still completes.
  const std::pair<std::uint16_t, const char*> fitting[] = {{0x002F, "encipher-only.crt"}, {0x0033, "sign-only.crt"}};
  for (const auto& [suite, certificate] : fitting) {
    SCOPED_TRACE(certificate);
    TlsEngine engine;
    HostileTlsServerFake server(Hostile(0x0301, suite, Flight::kHonest, certificate));
    ScriptedTransportFake link(engine, &server);
    EXPECT_TRUE(link.Handshake());
  }
}

// A system without a random source gets no handshake at all, rather than one
// keyed with something guessable.
class FailingRandomSourceFake : public RandomSource {
 public:
  bool Fill(std::span<std::uint8_t>) override { return false; }
};

TEST(HostileServerTest, NoRandomSourceMeansNoHandshake) {
  FailingRandomSourceFake failing;
  TlsEngine engine;
  engine.Random() = RandomGenerator(failing);
  HostileTlsServerFake server(Hostile(0x0301, 0x002F, Flight::kHonest));
  ScriptedTransportFake link(engine, &server);
  EXPECT_THROW(engine.Start(), TlsNoRandomSource);
  EXPECT_EQ(link.errors, std::vector<int>{80});
  EXPECT_FALSE(engine.IsEstablished());
  EXPECT_TRUE(server.record_types().empty()) << "nothing may leave without a key";
}

TEST(HostileServerTest, AcceptanceChecksTheCertificateWhoseKeyIsUsed) {
  TlsEngine engine;
  auto options = Hostile(0x0301, 0x002F, Flight::kHonest);
  options.chain = {TestCertificate("leaf.crt").Der().ToVector(), TestCertificate("mid.crt").Der().ToVector(),
                   TestCertificate("ca.crt").Der().ToVector()};
  HostileTlsServerFake server(options);
  ScriptedTransportFake link(engine, &server);
  ASSERT_TRUE(link.Handshake());
  ASSERT_NE(engine.ServerCertificate(), nullptr);
  EXPECT_EQ(engine.ServerCertificate()->Subject().text, "CN=Chain Leaf");

  // A store that holds more than this connection's chain is emptied first.
  MemoryCertificateStore received;
  received.Add(TestCertificate("server.crt"));
  engine.CopyServerChainTo(received);
  const auto held = received.All();
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held.back()->Subject().text, "CN=Chain Leaf");

  MemoryCertificateStore trusted;
  trusted.Add(TestCertificate("ca.crt"));
  const double now = CurrentDayNumber();
  EXPECT_EQ(CheckServerCertificate("x", *engine.ServerCertificate(), received, trusted, now).chain_result,
            kChainTrusted);

  // A trusted certificate for the host added last does not stand in for the
  // leaf the engine named.
  MemoryCertificateStore localhost_trusted;
  localhost_trusted.Add(TestCertificate("server.crt"));
  received.Add(TestCertificate("server.crt"));
  EXPECT_TRUE(CheckServerCertificate("localhost", received, localhost_trusted, now).accepted);
  EXPECT_FALSE(
      CheckServerCertificate("localhost", *engine.ServerCertificate(), received, localhost_trusted, now).accepted);
  // Nor is a leaf accepted that did not come with the chain.
  MemoryCertificateStore chain_only;
  engine.CopyServerChainTo(chain_only);
  EXPECT_FALSE(CheckServerCertificate("localhost", TestCertificate("server.crt"), chain_only, localhost_trusted, now)
                   .accepted);
}

// TLS 1.1 and 1.2 answers to the default hello: explicit CBC IVs, AES-GCM,
// the SHA-256 and SHA-384 PRFs, signed DHE parameters; data flows both ways.
TEST(HostileServerTest, HonestTls11And12FlightsComplete) {
  const std::pair<std::uint16_t, std::uint16_t> cases[] = {
      {0x0302, 0x002F}, {0x0302, 0x000A}, {0x0302, 0x0033}, {0x0303, 0x009C}, {0x0303, 0x009D},
      {0x0303, 0x003C}, {0x0303, 0x009E}, {0x0303, 0x009F}, {0x0303, 0x006B}, {0x0303, 0x0004},
  };
  for (const auto& [version, suite] : cases) {
    SCOPED_TRACE(::testing::Message() << version << " " << suite);
    TlsEngine engine;
    HostileTlsServerFake server(Hostile(version, suite, Flight::kHonest));
    ScriptedTransportFake link(engine, &server, 7);
    ASSERT_TRUE(link.Handshake());
    EXPECT_EQ(engine.NegotiatedVersion(), version);
    server.SendProtected(23, {'o', 'k'});
    link.PumpAll();
    EXPECT_EQ(link.data, "ok");
    const std::string text(5000, 'x');
    ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(server.application_data(), text);
    // Under TLS 1.1 and later no record is split to hide the CBC chain.
    EXPECT_EQ(std::count(server.record_types().begin(), server.record_types().end(), 23), 2);
  }
}

HostileCase WithHello(const char* what, std::uint16_t version, std::uint16_t suite, int alert) {
  return {what, version, suite, Flight::kHonest, alert, alert};
}

void ExpectRefusedWith(const HostileCase& c, const Bytes& random_tail, const Bytes& extensions, int dh_bits = 0) {
  SCOPED_TRACE(::testing::Message() << c.what << ", version " << c.version << ", suite " << c.suite);
  TlsEngine engine;
  auto options = Hostile(c.version, c.suite, c.flight);
  options.random_tail = random_tail;
  options.hello_extensions = extensions;
  options.dh_bits = dh_bits;
  HostileTlsServerFake server(options);
  ScriptedTransportFake link(engine, &server);
  EXPECT_FALSE(link.Handshake());
  EXPECT_EQ(link.errors, std::vector<int>{c.code});
  EXPECT_EQ(server.alerts(), (std::vector<std::pair<int, int>>{{2, c.alert}}));
  EXPECT_FALSE(server.client_key_exchange_seen() && c.alert != 71 && c.alert != 51);
  EXPECT_FALSE(server.application_data_seen());
}

// What a path attacker rewriting the ServerHello or replaying parameters of
// another handshake would send to a client that offered TLS 1.2.
TEST(HostileServerTest, Tls12ServerHelloAndKeyExchangeAttacksAreRefused) {
  const Bytes sentinel = {'D', 'O', 'W', 'N', 'G', 'R', 'D', 0x00};
  ExpectRefusedWith(WithHello("downgrade sentinel in a TLS 1.0 answer", 0x0301, 0x002F, 47), sentinel, {});
  ExpectRefusedWith(WithHello("downgrade sentinel in a TLS 1.1 answer", 0x0302, 0x002F, 47), sentinel, {});
  // The TLS 1.3 server's mark for a TLS 1.2 answer is no downgrade for a TLS 1.2 client.
  {
    auto options = Hostile(0x0303, 0x009C, Flight::kHonest);
    options.random_tail = {'D', 'O', 'W', 'N', 'G', 'R', 'D', 0x01};
    TlsEngine engine;
    HostileTlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    EXPECT_TRUE(link.Handshake());
  }
  const Bytes alpn = {0x00, 0x10, 0x00, 0x05, 0x00, 0x03, 0x02, 'h', '2'};
  ExpectRefusedWith(WithHello("extension never offered", 0x0303, 0x009C, 110), {}, alpn);
  const Bytes signature_algorithms = {0x00, 0x0D, 0x00, 0x04, 0x00, 0x02, 0x04, 0x01};
  ExpectRefusedWith(WithHello("signature_algorithms answered", 0x0303, 0x009C, 110), {}, signature_algorithms);
  const Bytes ems_twice = {0x00, 0x17, 0x00, 0x00, 0x00, 0x17, 0x00, 0x00};
  ExpectRefusedWith(WithHello("extended_master_secret twice", 0x0303, 0x009C, 47), {}, ems_twice);
  const Bytes cut_short = {0x00, 0x17, 0x00, 0x04, 0x00};
  ExpectRefusedWith(WithHello("extension longer than the block", 0x0303, 0x009C, 50), {}, cut_short);
  const Bytes renegotiated = {0xFF, 0x01, 0x00, 0x03, 0x02, 0xAA, 0xBB};
  ExpectRefusedWith(WithHello("renegotiation_info with a previous Finished", 0x0303, 0x009C, 40), {}, renegotiated);
  ExpectRefusedWith(WithHello("AES-GCM suite under TLS 1.1", 0x0302, 0x009C, 47), {}, {});
  ExpectRefusedWith(WithHello("1024-bit DH group under TLS 1.2", 0x0303, 0x009E, 71), {}, {}, 1024);
  ExpectRefusedWith({"DHE parameters signed over swapped randoms", 0x0303, 0x009E,
                     Flight::kKeyExchangeSignedOverSwappedRandoms, 51, 51},
                    {}, {});
  ExpectRefusedWith({"ECDHE parameters signed over swapped randoms", 0x0303, 0xC02F,
                     Flight::kKeyExchangeSignedOverSwappedRandoms, 51, 51},
                    {}, {});
  // A version above the one offered.
  TlsEngine engine;
  engine.SetHighestTlsVersion(0x0302);
  HostileTlsServerFake server(Hostile(0x0303, 0x002F, Flight::kHonest));
  ScriptedTransportFake link(engine, &server);
  EXPECT_FALSE(link.Handshake());
  EXPECT_EQ(server.alerts(), (std::vector<std::pair<int, int>>{{2, 47}}));
  EXPECT_FALSE(server.client_key_exchange_seen());
}

// The extended master secret is used exactly when the server echoes it: a
// server that does not know it, and one that does, both finish (the
// Finished messages agree only when both derived the same master secret).
TEST(HostileServerTest, ExtendedMasterSecretFollowsTheServersAnswer) {
  for (std::uint16_t version : {0x0302, 0x0303}) {
    for (bool echoed : {false, true}) {
      SCOPED_TRACE(::testing::Message() << version << " " << echoed);
      auto options = Hostile(version, 0x002F, Flight::kHonest);
      options.extended_master = echoed;
      options.hello_extensions = {0xFF, 0x01, 0x00, 0x01, 0x00};
      TlsEngine engine;
      HostileTlsServerFake server(options);
      ScriptedTransportFake link(engine, &server);
      EXPECT_TRUE(link.Handshake());
      EXPECT_EQ(engine.UsedExtendedMasterSecret(), echoed);
    }
  }
}

// ECDHE against the fake on every group we offer, under TLS 1.2 and 1.1.
TEST(HostileServerTest, HonestEcdheOnEveryGroupCompletes) {
  for (std::uint16_t version : {0x0302, 0x0303}) {
    for (std::uint16_t group : {0x001D, 0x0017, 0x0018}) {
      SCOPED_TRACE(::testing::Message() << version << " " << group);
      auto options = Hostile(version, version == 0x0303 ? 0xC02F : 0xC013, Flight::kHonest);
      options.ec_group = group;
      TlsEngine engine;
      HostileTlsServerFake server(options);
      ScriptedTransportFake link(engine, &server);
      ASSERT_TRUE(link.Handshake());
      EXPECT_EQ(engine.KeyExchangeGroup(), group == 0x001D ? "x25519" : group == 0x0017 ? "secp256r1" : "secp384r1");
      ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>("hi"), 2));
      EXPECT_EQ(server.application_data(), "hi");
    }
  }
}

// Server points that would leak the client's key or fix the shared secret
// are refused before the client sends its share.
TEST(HostileServerTest, InvalidEcdhePointsAndGroupsAreRefused) {
  auto p256_point = [](std::uint8_t fill) {
    Bytes point(65, fill);
    point[0] = 4;
    return point;
  };
  // A point on P-256 with its Y changed is on no curve we know.
  Bytes off_curve = EcPublicKey(NamedCurve::kP256, Bytes(32, 0x3c));
  off_curve.back() ^= 1;
  Bytes compressed = EcPublicKey(NamedCurve::kP256, Bytes(32, 0x3c));
  compressed.resize(33);
  compressed[0] = 2;
  struct Case {
    const char* what;
    std::uint16_t group;
    Bytes point;
    bool shared_secret_refused;  // the point passes the form check; X25519 then gives all zeros
  } cases[] = {
      {"P-256 point off the curve", 0x0017, off_curve, false},
      {"P-256 point at infinity", 0x0017, {0x00}, false},
      {"P-256 point of zeros", 0x0017, p256_point(0), false},
      {"compressed P-256 point", 0x0017, compressed, false},
      {"P-384 group with a P-256 point", 0x0018, EcPublicKey(NamedCurve::kP256, Bytes(32, 0x3c)), false},
      {"X25519 key of 31 bytes", 0x001D, Bytes(31, 9), false},
      {"X25519 key of 33 bytes", 0x001D, Bytes(33, 9), false},
      {"group never offered (secp521r1)", 0x0019, p256_point(1), false},
      {"X25519 small-order point (zero)", 0x001D, Bytes(32, 0), true},
      {"X25519 small-order point (one)", 0x001D, [] { Bytes b(32, 0); b[0] = 1; return b; }(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto options = Hostile(0x0303, 0xC02F, Flight::kHonest);
    options.ec_group = c.group;
    options.ec_point = c.point;
    TlsEngine engine;
    HostileTlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    EXPECT_FALSE(link.Handshake());
    EXPECT_EQ(link.errors, std::vector<int>{47});
    EXPECT_EQ(server.alerts(), (std::vector<std::pair<int, int>>{{2, 47}}));
    EXPECT_FALSE(server.client_key_exchange_seen());
  }
}

// The suite names the kind of key that signs the ECDHE parameters.
TEST(HostileServerTest, EcdsaSuiteWithAnRsaCertificateIsRefused) {
  ExpectRefused({"ECDHE-ECDSA suite, RSA certificate", 0x0303, 0xC02B, Flight::kHonest, 43, 43});
}

// A TLS 1.2 CertificateRequest lists signature schemes between the types
// and the authorities; the CertificateVerify names the scheme it used and
// signs the transcript's hash with it. With no scheme our keys can make, the
// client answers with an empty Certificate and signs nothing.
TEST(HostileServerTest, Tls12CertificateRequestAndVerify) {
  struct Case {
    const char* what;
    std::uint16_t version;
    Bytes schemes;
    std::size_t certificates;
    std::uint16_t scheme;  // 0: no TLS 1.2 CertificateVerify expected
  } cases[] = {
      {"PSS first, then PKCS #1 SHA-384", 0x0303, {0x08, 0x04, 0x05, 0x01, 0x04, 0x01}, 1, 0x0401},
      {"PKCS #1 SHA-512 only", 0x0303, {0x06, 0x01}, 1, 0x0601},
      {"ECDSA only", 0x0303, {0x04, 0x03}, 0, 0},
      {"TLS 1.1 request, no schemes", 0x0302, {}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto options = Hostile(c.version, 0x002F, Flight::kHonest);
    Bytes request = {1, 1};  // rsa_sign
    if (c.version >= 0x0303) {
      request.push_back(static_cast<std::uint8_t>(c.schemes.size() >> 8));
      request.push_back(static_cast<std::uint8_t>(c.schemes.size()));
      request.insert(request.end(), c.schemes.begin(), c.schemes.end());
    }
    request.insert(request.end(), {0, 0});  // no authorities
    options.certificate_request = request;
    TlsEngine engine;
    HostileTlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    link.client_certificate = TestCertificate("client.crt").Der().ToVector();
    link.client_key = EncodeRsaPrivateKeyBlob(TestKey("client.key"));
    ASSERT_TRUE(link.Handshake());
    EXPECT_EQ(server.client_certificate_count(), c.certificates);
    EXPECT_EQ(server.certificate_verify_seen(), c.certificates != 0);
    EXPECT_EQ(server.certificate_verify_scheme(), c.scheme);
    if (c.scheme != 0) EXPECT_TRUE(server.certificate_verify_good());
  }
}

}  // namespace
}  // namespace security
