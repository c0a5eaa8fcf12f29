#include "security/certs/certificate_usage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/certs/name_constraints.h"
#include "security/certs/openssl_test_ca.h"
#include "tests/support/test_environment.h"

namespace security {
namespace {

using testing::OpenSslTestCa;

// The key exchange the engine picks must be one the leaf's keyUsage allows:
// RSA key transport needs keyEncipherment, signed DH parameters
// digitalSignature, a static DH share keyAgreement; no keyUsage allows all.
TEST(CertificateUsageTest, KeyUsageAgainstKeyExchange) {
  testing_support::ScopedTestHome home;
  OpenSslTestCa ca(home.root() / "ca");
  ca.MakeKey("k", "rsa:2048");
  struct Case {
    const char* name;
    const char* key_usage;  // empty: no keyUsage extension
    bool rsa, signed_dh, static_dh;
  };
  const Case cases[] = {
      {"both", "digitalSignature,keyEncipherment", true, true, false},
      {"sign_only", "digitalSignature", false, true, false},
      {"encipher_only", "keyEncipherment", true, false, false},
      {"agreement_only", "keyAgreement", false, false, true},
      {"certsign_only", "keyCertSign", false, false, false},
      {"none", "", true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenSslTestCa::CertificateSpec wanted;
    wanted.name = c.name;
    wanted.key = "k";
    wanted.subject = "/CN=mail.example.test";
    wanted.extensions = {"basicConstraints = CA:FALSE"};
    if (*c.key_usage != '\0') wanted.extensions.push_back(std::string("keyUsage = critical,") + c.key_usage);
    ca.Issue(wanted);
    const Certificate leaf(ca.Der(c.name));
    ASSERT_FALSE(leaf.IsEmpty());
    EXPECT_EQ(KeyUsageAllowsKeyExchange(leaf, KeyExchangeKind::kRsa), c.rsa);
    EXPECT_EQ(KeyUsageAllowsKeyExchange(leaf, KeyExchangeKind::kSignedDiffieHellman), c.signed_dh);
    EXPECT_EQ(KeyUsageAllowsKeyExchange(leaf, KeyExchangeKind::kStaticDiffieHellman), c.static_dh);
  }
}

// DNS subtrees: whole labels only, any case, a final dot ignored, the
// leading-dot form for names strictly below.
TEST(NameConstraintsTest, DnsSubtrees) {
  struct Case {
    const char* name;
    const char* subtree;
    bool inside;
  };
  const Case cases[] = {
      {"example.test", "example.test", true},
      {"mail.example.test", "example.test", true},
      {"a.b.example.test", "example.test", true},
      {"MAIL.Example.TEST", "example.test", true},
      {"mail.example.test", "EXAMPLE.test", true},
      {"mail.example.test.", "example.test", true},
      {"badexample.test", "example.test", false},
      {"example.test.evil", "example.test", false},
      {"test", "example.test", false},
      {"example.test", ".example.test", false},
      {"mail.example.test", ".example.test", true},
      {"mail.Example.test", ".EXAMPLE.TEST", true},
      {"badexample.test", ".example.test", false},
      {"anything.at.all", "", true},
      {"", "example.test", false},
      {"*.example.test", "example.test", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DnsNameInSubtree(c.name, c.subtree), c.inside) << c.name << " in " << c.subtree;
  }
}

TEST(NameConstraintsTest, IpSubtrees) {
  const IpSubtree ten{{10, 0, 0, 0}, {255, 0, 0, 0}};
  const std::vector<std::uint8_t> inside = {10, 200, 3, 4};
  const std::vector<std::uint8_t> outside = {11, 0, 0, 1};
  const std::vector<std::uint8_t> v6(16, 0);
  EXPECT_TRUE(IpAddressInSubtree(inside, ten));
  EXPECT_FALSE(IpAddressInSubtree(outside, ten));
  EXPECT_FALSE(IpAddressInSubtree(v6, ten));
  const IpSubtree all_v6{std::vector<std::uint8_t>(16, 0), std::vector<std::uint8_t>(16, 0)};
  EXPECT_TRUE(IpAddressInSubtree(v6, all_v6));
  EXPECT_FALSE(IpAddressInSubtree(inside, all_v6));
}

}  // namespace
}  // namespace security
