// Client certificates with EC keys and RSA-PSS signatures: the key files
// users keep (SEC 1, PKCS #8), the key blob the engine takes, and the
// CertificateVerify the engine makes with them, checked by the server fake
// against the certificate's key.

#include <gtest/gtest.h>

#include <string>

#include "security/crypto/ec_private_key.h"
#include "security/tls/hostile_tls_server_fake.h"
#include "security/tls/tls_client_credentials.h"
#include "security/tls/tls_engine.h"
#include "security/tls/tls_server_fake.h"

namespace security {
namespace {

using testing::Bytes;
using testing::HostileTlsServerFake;
using testing::ReadTlsTestFile;
using testing::ScriptedTransportFake;
using testing::TestCertificate;
using testing::TestKey;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(ClientCertificateTest, EcKeysLoadFromSec1AndPkcs8) {
  const auto p256 = LoadEcPrivateKey(ReadTlsTestFile("client-ec256.key"));
  ASSERT_TRUE(p256.has_value());
  EXPECT_EQ(p256->curve, NamedCurve::kP256);
  const auto p384 = LoadEcPrivateKey(ReadTlsTestFile("client-ec384.key"));
  ASSERT_TRUE(p384.has_value());
  EXPECT_EQ(p384->curve, NamedCurve::kP384);
  // Each key is the one its certificate holds.
  EXPECT_EQ(EcPublicKey(p256->curve, p256->scalar), TestCertificate("client-ec256.crt").EcKey()->point);
  EXPECT_EQ(EcPublicKey(p384->curve, p384->scalar), TestCertificate("client-ec384.crt").EcKey()->point);

  // "openssl ecparam -genkey" writes the curve's parameters block first.
  const std::string with_parameters =
      "-----BEGIN EC PARAMETERS-----\nBggqhkjOPQMBBw==\n-----END EC PARAMETERS-----\n" +
      Text(ReadTlsTestFile("client-ec256.key"));
  const auto after_parameters = LoadEcPrivateKey(FromText(with_parameters));
  ASSERT_TRUE(after_parameters.has_value());
  EXPECT_EQ(after_parameters->scalar, p256->scalar);

  // The RSA loader takes no EC key and the EC loader no RSA key.
  EXPECT_FALSE(LoadRsaPrivateKey(ReadTlsTestFile("client-ec256.key")));
  EXPECT_FALSE(LoadRsaPrivateKey(ReadTlsTestFile("client-ec384.key")));
  EXPECT_FALSE(LoadEcPrivateKey(ReadTlsTestFile("client.key")));
}

// SEC 1 DER built by hand: version, scalar, optional curve and public key.
Bytes Sec1(std::uint8_t version, const Bytes& scalar, const Bytes& curve_oid, const Bytes& point) {
  Bytes body = {0x02, 0x01, version, 0x04, static_cast<std::uint8_t>(scalar.size())};
  body.insert(body.end(), scalar.begin(), scalar.end());
  if (!curve_oid.empty()) {
    body.insert(body.end(), {0xa0, static_cast<std::uint8_t>(curve_oid.size() + 2), 0x06,
                             static_cast<std::uint8_t>(curve_oid.size())});
    body.insert(body.end(), curve_oid.begin(), curve_oid.end());
  }
  if (!point.empty()) {
    body.insert(body.end(), {0xa1, static_cast<std::uint8_t>(point.size() + 3), 0x03,
                             static_cast<std::uint8_t>(point.size() + 1), 0x00});
    body.insert(body.end(), point.begin(), point.end());
  }
  Bytes out = {0x30, static_cast<std::uint8_t>(body.size())};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

TEST(ClientCertificateTest, DamagedEcKeysAreRefused) {
  const Bytes p256_oid = {0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};
  const Bytes p521_oid = {0x2b, 0x81, 0x04, 0x00, 0x23};
  Bytes scalar(32, 0);
  scalar[31] = 5;
  const Bytes point = EcPublicKey(NamedCurve::kP256, scalar);
  Bytes other_scalar = scalar;
  other_scalar[31] = 6;
  const Bytes other_point = EcPublicKey(NamedCurve::kP256, other_scalar);

  // The good form first, so that each refusal below is for its one change.
  const auto good = LoadEcPrivateKey(Sec1(1, scalar, p256_oid, point));
  ASSERT_TRUE(good.has_value());
  EXPECT_EQ(good->scalar, scalar);
  // A scalar without its leading zero bytes is padded back.
  const auto short_scalar = LoadEcPrivateKey(Sec1(1, Bytes{5}, p256_oid, {}));
  ASSERT_TRUE(short_scalar.has_value());
  EXPECT_EQ(short_scalar->scalar, scalar);

  EXPECT_FALSE(LoadEcPrivateKey(Sec1(2, scalar, p256_oid, point))) << "version 2";
  EXPECT_FALSE(LoadEcPrivateKey(Sec1(1, scalar, {}, point))) << "no curve anywhere";
  EXPECT_FALSE(LoadEcPrivateKey(Sec1(1, scalar, p521_oid, {}))) << "a curve we do not know";
  EXPECT_FALSE(LoadEcPrivateKey(Sec1(1, scalar, p256_oid, other_point))) << "public key of another scalar";
  EXPECT_FALSE(LoadEcPrivateKey(Sec1(1, Bytes(32, 0), p256_oid, {}))) << "zero scalar";
  EXPECT_FALSE(LoadEcPrivateKey(Sec1(1, Bytes(33, 1), p256_oid, {}))) << "scalar too long";
  EXPECT_FALSE(LoadEcPrivateKey(Sec1(1, Bytes(32, 0xff), p256_oid, {}))) << "scalar above the order";
}

struct Credentials {
  const char* certificate;
  const char* key;
};

Bytes KeyBlob(const std::string& key_file) {
  const Bytes file = ReadTlsTestFile(key_file);
  if (const auto ec = LoadEcPrivateKey(file)) return EncodeEcPrivateKeyBlob(*ec);
  return EncodeRsaPrivateKeyBlob(*LoadRsaPrivateKey(file));
}

Bytes Request(std::uint16_t version, const Bytes& types, const Bytes& schemes) {
  Bytes request = {static_cast<std::uint8_t>(types.size())};
  request.insert(request.end(), types.begin(), types.end());
  if (version >= 0x0303) {
    request.push_back(static_cast<std::uint8_t>(schemes.size() >> 8));
    request.push_back(static_cast<std::uint8_t>(schemes.size()));
    request.insert(request.end(), schemes.begin(), schemes.end());
  }
  request.insert(request.end(), {0, 0});  // no authorities
  return request;
}

// Which signature the engine makes for each key and each list of schemes the
// server takes; the fake checks every signature against the certificate.
TEST(ClientCertificateTest, CertificateVerifyFitsTheKeyAndTheServersSchemes) {
  const Bytes rsa_and_ecdsa = {1, 64};
  struct Case {
    const char* what;
    std::uint16_t version;
    Credentials credentials;
    Bytes types;
    Bytes schemes;
    bool sent;
    std::uint16_t scheme;
  } cases[] = {
      {"RSA, PSS SHA-256 only", 0x0303, {"client.crt", "client.key"}, {1}, {0x08, 0x04}, true, 0x0804},
      {"RSA, PSS SHA-512 has no room in 1024 bits, SHA-384 has", 0x0303, {"client.crt", "client.key"}, {1},
       {0x08, 0x06, 0x08, 0x05}, true, 0x0805},
      {"RSA, PSS SHA-512 only", 0x0303, {"client.crt", "client.key"}, {1}, {0x08, 0x06}, false, 0},
      // A 512-bit key has no room for a SHA-384 or SHA-512 DigestInfo.
      {"RSA 512, PKCS #1 SHA-512 and SHA-384 only", 0x0303, {"weak512.crt", "weak512.key"}, {1},
       {0x06, 0x01, 0x05, 0x01}, false, 0},
      {"RSA 512, SHA-256 after the longer ones", 0x0303, {"weak512.crt", "weak512.key"}, {1},
       {0x06, 0x01, 0x04, 0x01}, true, 0x0401},
      {"RSA, PKCS #1 before PSS", 0x0303, {"client.crt", "client.key"}, {1}, {0x08, 0x04, 0x05, 0x01}, true,
       0x0501},
      {"P-256, its own hash", 0x0303, {"client-ec256.crt", "client-ec256.key"}, rsa_and_ecdsa,
       {0x04, 0x01, 0x05, 0x03, 0x04, 0x03}, true, 0x0403},
      {"P-384, its own hash", 0x0303, {"client-ec384.crt", "client-ec384.key"}, rsa_and_ecdsa,
       {0x04, 0x03, 0x05, 0x03}, true, 0x0503},
      {"P-384, SHA-256 only", 0x0303, {"client-ec384.crt", "client-ec384.key"}, rsa_and_ecdsa, {0x04, 0x03}, true,
       0x0403},
      {"P-256, RSA schemes only", 0x0303, {"client-ec256.crt", "client-ec256.key"}, rsa_and_ecdsa,
       {0x04, 0x01, 0x08, 0x04}, false, 0},
      {"P-256, ecdsa_sign not among the types", 0x0303, {"client-ec256.crt", "client-ec256.key"}, {1},
       {0x04, 0x03}, false, 0},
      {"P-256 under TLS 1.1", 0x0302, {"client-ec256.crt", "client-ec256.key"}, {64}, {}, true, 0},
      {"P-384 under TLS 1.0", 0x0301, {"client-ec384.crt", "client-ec384.key"}, {1, 2, 64}, {}, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HostileTlsServerFake::Options options;
    options.version = c.version;
    options.suite = 0x002F;
    options.chain = {TestCertificate("server.crt").Der().ToVector()};
    options.key = TestKey("server.key");
    options.certificate_request = Request(c.version, c.types, c.schemes);
    TlsEngine engine;
    HostileTlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    link.client_certificate = TestCertificate(c.credentials.certificate).Der().ToVector();
    link.client_key = KeyBlob(c.credentials.key);
    ASSERT_TRUE(link.Handshake());
    EXPECT_EQ(server.client_certificate_count(), c.sent ? 1u : 0u);
    EXPECT_EQ(server.certificate_verify_seen(), c.sent);
    EXPECT_EQ(server.certificate_verify_scheme(), c.scheme);
    if (c.sent) EXPECT_TRUE(server.certificate_verify_good());
    ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>("hi"), 2));
    EXPECT_EQ(server.application_data(), "hi");
  }
}

// A key that is not the certificate's makes a signature that fails the
// engine's own check: nothing is signed on the wire, internal_error instead.
// SSL 3.0 takes no EC key at all.
TEST(ClientCertificateTest, MismatchedOrUnusableEcKeys) {
  HostileTlsServerFake::Options options;
  options.version = 0x0303;
  options.suite = 0x002F;
  options.chain = {TestCertificate("server.crt").Der().ToVector()};
  options.key = TestKey("server.key");
  options.certificate_request = Request(0x0303, {64}, {0x04, 0x03, 0x05, 0x03});
  {
    TlsEngine engine;
    HostileTlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    link.client_certificate = TestCertificate("client-ec384.crt").Der().ToVector();
    link.client_key = KeyBlob("client-ec256.key");
    EXPECT_FALSE(link.Handshake());
    EXPECT_EQ(link.errors, std::vector<int>{80});
    EXPECT_FALSE(server.certificate_verify_seen());
    EXPECT_EQ(server.alerts(), (std::vector<std::pair<int, int>>{{2, 80}}));
  }
  {
    options.version = 0x0300;
    options.suite = 0x000A;
    options.certificate_request = {2, 1, 64, 0, 0};
    TlsEngine engine;
    engine.SetVersionMask(kProtocolSsl3);
    HostileTlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    link.client_certificate = TestCertificate("client-ec256.crt").Der().ToVector();
    link.client_key = KeyBlob("client-ec256.key");
    EXPECT_FALSE(link.Handshake());
    EXPECT_EQ(link.errors, std::vector<int>{120});  // no certificate it could use
    EXPECT_EQ(server.client_certificate_count(), 0u);
  }
}

}  // namespace
}  // namespace security
