#include "security/certs/certificate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/certs/day_number.h"
#include "security/certs/der_reader.h"
#include "security/certs/openssl_test_ca.h"
#include "tests/support/test_environment.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::OpenSslTestCa;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  return out;
}

// The value after "name=" on openssl's output line, e.g. "Modulus=ABCD".
std::string ValueAfter(const std::string& text, const std::string& name) {
  const auto start = text.find(name + "=");
  const auto end = text.find('\n', start);
  return text.substr(start + name.size() + 1, end - start - name.size() - 1);
}

class CertificateTest : public ::testing::Test {
 protected:
  testing_support::ScopedTestHome home_;
  OpenSslTestCa ca_{home_.root() / "ca"};
};

TEST_F(CertificateTest, ReadsEveryFieldOpenSslWrote) {
  ca_.MakeKey("k", "rsa:2048");
  ca_.Issue({.name = "root",
             .key = "k",
             .digest = "sha256",
             .subject = "/C=DE/ST=Bavaria/L=Munich/O=Dictalo Tests/OU=Certificates/CN=Test Root/emailAddress=ca@example.test",
             .extensions = {"basicConstraints = critical,CA:TRUE", "keyUsage = critical,keyCertSign,cRLSign",
                            "subjectKeyIdentifier = hash", "subjectAltName = DNS:a.example.test,IP:10.1.2.3"}});
  Certificate cert(ca_.Der("root"));
  ASSERT_FALSE(cert.IsEmpty());
  EXPECT_EQ(cert.Version(), 3);
  EXPECT_EQ(cert.SignatureKind(), kSha256WithRsa);
  EXPECT_EQ(cert.KeyKind(), kRsaEncryption);
  const auto& subject = cert.Subject();
  const char* expected_slots[] = {"DE", "Bavaria", "Munich", "Dictalo Tests", "Certificates", "Test Root",
                                  "ca@example.test"};
  for (int k = 0; k < NameFields::kSlotCount; ++k) EXPECT_EQ(subject.slots[k].text(), expected_slots[k]) << k;
  EXPECT_EQ(subject.text,
            "C=DE, ST=Bavaria, L=Munich, O=Dictalo Tests, OU=Certificates, CN=Test Root, emailAddress=ca@example.test");
  EXPECT_TRUE(cert.IsSelfIssued());
  EXPECT_TRUE(cert.VerifySelf());

  // Serial, modulus and dates as openssl reports them.
  const std::string serial = ca_.Run("x509 -in root.pem -noout -serial");
  EXPECT_EQ(cert.SerialNumber().ToVector(), FromHex(ValueAfter(serial, "serial")));
  const std::string modulus = ca_.Run("x509 -in root.pem -noout -modulus");
  std::uint8_t n[512];
  std::uint8_t e[8];
  std::size_t n_length = sizeof(n);
  std::size_t e_length = sizeof(e);
  ASSERT_EQ(cert.GetRsaKey(n, &n_length, e, &e_length), 1);
  EXPECT_EQ(Bytes(n, n + n_length), FromHex(ValueAfter(modulus, "Modulus")));
  EXPECT_EQ(Bytes(e, e + e_length), (Bytes{0x01, 0x00, 0x01}));
  const std::string dates = ca_.Run("x509 -in root.pem -noout -startdate -enddate -dateopt iso_8601");
  const std::string not_before = ValueAfter(dates, "notBefore");  // "2026-12-07 14:31:00Z"
  EXPECT_NEAR(cert.NotBefore(),
              DayNumberFromCivil(std::stoi(not_before.substr(0, 4)), std::stoi(not_before.substr(5, 2)),
                                 std::stoi(not_before.substr(8, 2)), std::stoi(not_before.substr(11, 2)),
                                 std::stoi(not_before.substr(14, 2)), std::stoi(not_before.substr(17, 2))),
              1e-6);
  EXPECT_NEAR(cert.NotAfter() - cert.NotBefore(), 366.0, 1e-6);

  std::vector<std::string> names;
  for (const auto& extension : cert.Extensions()) names.push_back(extension.name);
  EXPECT_EQ(names, (std::vector<std::string>{"BasicConstraints", "KeyUsage", "SubjectKeyIdentifier", "SubjectAltName"}));
  EXPECT_TRUE(cert.Extensions()[0].critical);
  EXPECT_TRUE(cert.IsCa());
  EXPECT_TRUE(cert.AllowsCertificateSigning());
  EXPECT_EQ(cert.DnsNames(), (std::vector<std::string>{"a.example.test"}));
  EXPECT_EQ(cert.IpAddresses(), (std::vector<Bytes>{{10, 1, 2, 3}}));
}

// A buffer that is too small copies nothing and reports the sizes needed.
TEST_F(CertificateTest, KeyBuffersTooSmallReportTheSizes) {
  ca_.MakeKey("k", "rsa:1024");
  ca_.Issue({.name = "c", .key = "k", .subject = "/CN=c"});
  const Certificate cert(ca_.Der("c"));
  std::uint8_t n[128] = {};
  std::uint8_t e[2] = {};
  std::size_t n_length = sizeof(n);
  std::size_t e_length = sizeof(e);
  EXPECT_EQ(cert.GetRsaKey(n, &n_length, e, &e_length), 0);
  EXPECT_EQ(n_length, 128u);
  EXPECT_EQ(e_length, 3u);
  EXPECT_EQ(n[0], 0);
  std::size_t p_length = 100;
  std::size_t g_length = 100;
  std::size_t y_length = 100;
  EXPECT_EQ(cert.GetDhKey(n, &p_length, n, &g_length, n, &y_length), 0);
  EXPECT_EQ(p_length, 0u);
  EXPECT_EQ(cert.Version(), 1);
  EXPECT_TRUE(cert.Extensions().empty());
}

TEST_F(CertificateTest, DsaAndDiffieHellmanKeys) {
  ca_.MakeKey("dsa", "dsa:1024");
  ca_.Issue({.name = "dsa", .key = "dsa", .digest = "sha1", .subject = "/CN=dsa"});
  const Certificate dsa(ca_.Der("dsa"));
  EXPECT_EQ(dsa.KeyKind(), kIdDsa);
  EXPECT_EQ(dsa.SignatureKind(), kDsaWithSha1);
  EXPECT_TRUE(dsa.VerifySelf());
  std::uint8_t buffer[4][256];
  std::size_t lengths[4] = {256, 256, 256, 256};
  ASSERT_EQ(dsa.GetDsaKey(buffer[0], &lengths[0], buffer[1], &lengths[1], buffer[2], &lengths[2], buffer[3], &lengths[3]),
            1);
  EXPECT_EQ(lengths[0], 128u);
  EXPECT_EQ(lengths[1], 20u);

  ca_.Run("genpkey -algorithm DHX -pkeyopt dh_rfc5114:2 -out dh.key");
  ca_.Run("pkey -in dh.key -pubout -out dh.pub");
  ca_.Run("x509 -new -subj /CN=dh -CA dsa.pem -CAkey dsa.key -sha1 -force_pubkey dh.pub -outform DER -out dh.der");
  const Certificate dh(ca_.Der("dh"));
  ASSERT_FALSE(dh.IsEmpty());
  EXPECT_EQ(dh.KeyKind(), kDhPublicNumber);
  EXPECT_TRUE(dh.VerifySignedBy(dsa));
  std::size_t p_length = 0;
  std::size_t g_length = 0;
  std::size_t y_length = 0;
  EXPECT_EQ(dh.GetDhKey(nullptr, &p_length, nullptr, &g_length, nullptr, &y_length), 0);
  EXPECT_EQ(p_length, 256u);
  EXPECT_GT(y_length, 200u);
}

// Signature kinds by digest; a signature only verifies with its issuer's key and its own bytes.
TEST_F(CertificateTest, SignatureKindsAndVerification) {
  ca_.MakeKey("a", "rsa:1024");
  ca_.MakeKey("b", "rsa:1024");
  ca_.Issue({.name = "root", .key = "a", .subject = "/CN=root", .extensions = {"basicConstraints = CA:TRUE"}});
  ca_.Issue({.name = "other", .key = "b", .subject = "/CN=root", .extensions = {"basicConstraints = CA:TRUE"}});
  const Certificate root(ca_.Der("root"));
  const Certificate other(ca_.Der("other"));
  const struct {
    const char* digest;
    int kind;
  } cases[] = {{"md5", kMd5WithRsa}, {"sha1", kSha1WithRsa}, {"sha256", kSha256WithRsa}, {"sha384", kSha384WithRsa},
               {"sha512", kSha512WithRsa}};
  for (const auto& c : cases) {
    const std::string name = std::string("leaf_") + c.digest;
    ca_.Issue({.name = name, .issuer = "root", .key = "b", .digest = c.digest, .subject = "/CN=" + name});
    const Certificate leaf(ca_.Der(name));
    EXPECT_EQ(leaf.SignatureKind(), c.kind) << c.digest;
    EXPECT_TRUE(leaf.VerifySignedBy(root)) << c.digest;
    EXPECT_FALSE(leaf.VerifySignedBy(other)) << c.digest;
    EXPECT_FALSE(leaf.IsSelfIssued());
  }
  ca_.Issue({.name = "bad", .issuer = "root", .key = "b", .subject = "/CN=bad", .corrupt_signature = true});
  EXPECT_FALSE(Certificate(ca_.Der("bad")).VerifySignedBy(root));
  EXPECT_FALSE(Certificate().VerifySignedBy(root));
}

// P-256 and P-384 keys as openssl wrote them, and ECDSA signatures along a
// chain: a P-384 root signing with SHA-384 and SHA-256, checked against the
// issuer's key only.
TEST_F(CertificateTest, EllipticCurveKeysAndEcdsaSignatures) {
  ca_.MakeKey("root", "ec:P-384");
  ca_.MakeKey("leaf", "ec:P-256");
  ca_.MakeKey("other", "ec:P-256");
  ca_.MakeKey("rsa", "rsa:2048");
  ca_.MakeKey("p521", "ec:P-521");
  const std::vector<std::string> ca_extensions = {"basicConstraints = critical,CA:TRUE"};
  ca_.Issue({.name = "root", .key = "root", .digest = "sha384", .subject = "/CN=EC Root", .extensions = ca_extensions});
  ca_.Issue({.name = "leaf", .issuer = "root", .key = "leaf", .digest = "sha256", .subject = "/CN=EC Leaf"});
  ca_.Issue({.name = "leaf384", .issuer = "root", .key = "leaf", .digest = "sha384", .subject = "/CN=EC Leaf 384"});
  ca_.Issue({.name = "bad", .issuer = "root", .key = "leaf", .subject = "/CN=Bad", .corrupt_signature = true});
  ca_.Issue({.name = "other", .key = "other", .digest = "sha256", .subject = "/CN=Other", .extensions = ca_extensions});
  ca_.Issue({.name = "rsa_leaf", .issuer = "root", .key = "rsa", .subject = "/CN=RSA under EC"});
  ca_.Issue({.name = "p521", .key = "p521", .digest = "sha256", .subject = "/CN=P-521"});

  const Certificate root(ca_.Der("root"));
  const Certificate leaf(ca_.Der("leaf"));
  ASSERT_FALSE(root.IsEmpty());
  ASSERT_FALSE(leaf.IsEmpty());
  EXPECT_EQ(root.KeyKind(), kIdEcPublicKey);
  EXPECT_EQ(root.SignatureKind(), kEcdsaWithSha384);
  EXPECT_EQ(leaf.SignatureKind(), kEcdsaWithSha256);
  const auto root_key = root.EcKey();
  const auto leaf_key = leaf.EcKey();
  ASSERT_TRUE(root_key && leaf_key);
  EXPECT_EQ(root_key->curve, NamedCurve::kP384);
  EXPECT_EQ(leaf_key->curve, NamedCurve::kP256);
  // The point is the one openssl prints for the key.
  const std::string pub = ca_.Run("pkey -in leaf.key -pubout -outform DER");
  EXPECT_EQ(Bytes(pub.end() - 65, pub.end()), leaf_key->point);

  EXPECT_TRUE(root.VerifySelf());
  EXPECT_TRUE(leaf.VerifySignedBy(root));
  EXPECT_TRUE(Certificate(ca_.Der("leaf384")).VerifySignedBy(root));
  EXPECT_TRUE(Certificate(ca_.Der("rsa_leaf")).VerifySignedBy(root));
  EXPECT_FALSE(Certificate(ca_.Der("bad")).VerifySignedBy(root));
  EXPECT_FALSE(leaf.VerifySignedBy(Certificate(ca_.Der("other"))));
  EXPECT_FALSE(leaf.VerifySignedBy(leaf));
  // A curve the program does not know gives no key and verifies nothing.
  const Certificate p521(ca_.Der("p521"));
  EXPECT_FALSE(p521.IsEmpty());
  EXPECT_FALSE(p521.EcKey().has_value());
  EXPECT_FALSE(p521.VerifySelf());
  EXPECT_FALSE(root.RsaKey().has_value());
}

TEST_F(CertificateTest, MalformedInputLeavesTheCertificateEmpty) {
  ca_.MakeKey("k", "rsa:1024");
  ca_.Issue({.name = "c", .key = "k", .subject = "/CN=c", .extensions = {"subjectAltName = DNS:x"}});
  const Bytes der = ca_.Der("c");
  for (std::size_t length = 0; length < der.size(); ++length) {
    Certificate cert;
    EXPECT_FALSE(cert.Parse(der.data(), length)) << length;
    EXPECT_TRUE(cert.IsEmpty());
  }
  Bytes trailing = der;
  trailing.push_back(0);
  EXPECT_FALSE(Certificate().Parse(trailing));
  // Longer than 32768 bytes: ignored even if the certificate inside is fine.
  Bytes padded(der);
  padded.resize(Certificate::kMaxDerSize + 1, 0);
  EXPECT_FALSE(Certificate().Parse(padded));
  EXPECT_TRUE(Certificate().Parse(der));
}

TEST_F(CertificateTest, KeyBlobExportImport) {
  Certificate cert;
  const Bytes blob = {1, 0, 1, 7};
  EXPECT_EQ(cert.ImportKeyBlob(blob.data(), blob.size()), 1);
  std::size_t length = 2;
  std::uint8_t out[8];
  EXPECT_EQ(cert.ExportKeyBlob(out, &length), 0);
  EXPECT_EQ(length, 4u);
  length = sizeof(out);
  EXPECT_EQ(cert.ExportKeyBlob(out, &length), 1);
  EXPECT_EQ(Bytes(out, out + length), blob);
  const Bytes too_long(Certificate::kMaxKeyBlobSize + 1, 1);
  EXPECT_EQ(cert.ImportKeyBlob(too_long.data(), too_long.size()), 0);
  EXPECT_EQ(cert.KeyBlob().ToVector(), blob);
}

struct TimeCase {
  bool generalized;
  const char* text;
  int year, month, day, hour, minute, second;
};

constexpr TimeCase kTimeCases[] = {
    {false, "491231235959Z", 2049, 12, 31, 23, 59, 59},
    {false, "500101000000Z", 1950, 1, 1, 0, 0, 0},
    {false, "000229120000Z", 2000, 2, 29, 12, 0, 0},
    {false, "9912311200Z", 1999, 12, 31, 12, 0, 0},        // no seconds
    {false, "991231120000+0130", 1999, 12, 31, 10, 30, 0},  // offset east of UTC
    {true, "20500101000000Z", 2050, 1, 1, 0, 0, 0},
    {true, "18991230000000Z", 1899, 12, 30, 0, 0, 0},
};

TEST(DayNumberTest, CertificateTimes) {
  EXPECT_EQ(DayNumberFromCivil(1899, 12, 30), 0.0);
  EXPECT_EQ(DayNumberFromCivil(1900, 1, 1, 12), 2.5);
  for (const auto& c : kTimeCases) {
    const auto value = c.generalized ? ParseGeneralizedTime(c.text) : ParseUtcTime(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*value, DayNumberFromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second)) << c.text;
  }
  for (const char* bad : {"", "4912312359Y", "491331235959Z", "49123123595", "abcdefghijklZ"}) {
    EXPECT_FALSE(ParseUtcTime(bad).has_value()) << bad;
  }
  EXPECT_EQ(DayNumberToText(DayNumberFromCivil(2049, 12, 31, 23, 59, 59)), "2049-12-31 23:59:59 UTC");
}

TEST(DerReaderTest, ElementsOidsAndLimits) {
  // SEQUENCE { OID 1.2.840.113549.1.1.11, NULL }, then a long-form length and a high tag number.
  const Bytes data = {0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x0b, 0x05, 0x00,
                      0x04, 0x81, 0x01, 0xaa, 0x1f, 0x81, 0x01, 0x00};
  DerReader reader(data);
  const auto sequence = reader.Expect(der::kSequence);
  ASSERT_TRUE(sequence);
  DerReader inner(sequence->contents);
  EXPECT_EQ(OidToText(inner.Expect(der::kOid)->contents), "1.2.840.113549.1.1.11");
  EXPECT_TRUE(inner.Expect(der::kNull));
  EXPECT_TRUE(inner.AtEnd());
  EXPECT_EQ(reader.Expect(der::kOctetString)->contents.size(), 1u);
  const auto high = reader.Next();
  ASSERT_TRUE(high);
  EXPECT_EQ(high->tag_number, 129u);
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.Failed());

  for (const Bytes& bad : {Bytes{0x30, 0x80, 0x00, 0x00}, Bytes{0x30, 0x05, 0x00}, Bytes{0x30, 0x85, 1, 1, 1, 1, 1},
                           Bytes{0x30}}) {
    DerReader r(bad);
    EXPECT_FALSE(r.Next());
    EXPECT_TRUE(r.Failed());
  }
  EXPECT_EQ(OidToText(Bytes{0x2a, 0x86}), "");
  EXPECT_EQ(AttributeName("2.5.4.11"), "OrganizationUnit");
  EXPECT_EQ(AttributeName("1.2.840.113549.1.9.1"), "UnknownField");
}

}  // namespace
}  // namespace security
