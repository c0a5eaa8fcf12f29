#include "ctl/cert_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "security/certs/certificate_loader.h"
#include "security/certs/chain_verifier.h"
#include "security/certs/openssl_test_ca.h"
#include "security/certs/server_certificate_acceptance.h"
#include "tests/support/test_environment.h"

namespace ctl {
namespace {

using security::testing::OpenSslTestCa;

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome RunCert(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunCertCommand(args, out, err);
  return {code, out.str(), err.str()};
}

// SSL_CERT_FILE pointed at a file of the test for the scope (the system bundle stays out).
class ScopedBundle {
 public:
  explicit ScopedBundle(const std::filesystem::path& path) {
    if (const char* old = std::getenv("SSL_CERT_FILE")) saved_ = old;
    setenv("SSL_CERT_FILE", path.c_str(), 1);
  }
  ~ScopedBundle() {
    if (saved_) setenv("SSL_CERT_FILE", saved_->c_str(), 1);
    else unsetenv("SSL_CERT_FILE");
  }

 private:
  std::optional<std::string> saved_;
};

class CertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ca_.MakeKey("k", "rsa:2048");
    const std::vector<std::string> ca_ext = {"basicConstraints = critical,CA:TRUE",
                                             "keyUsage = critical,keyCertSign"};
    ca_.Issue({.name = "root", .key = "k", .subject = "/CN=Ctl Root", .extensions = ca_ext});
    ca_.Issue({.name = "inter", .issuer = "root", .key = "k", .subject = "/CN=Ctl Intermediate", .extensions = ca_ext});
    ca_.Issue({.name = "leaf", .issuer = "inter", .key = "k", .subject = "/CN=mail.example.test",
               .extensions = {"subjectAltName = DNS:mail.example.test"}});
    ca_.Write("chain.pem", ca_.Pem("leaf") + ca_.Pem("inter"));
    ca_.Write("empty.pem", "");
  }

  std::string Path(const std::string& name) const { return (ca_.dir() / name).string(); }

  testing_support::ScopedTestHome home_;
  OpenSslTestCa ca_{home_.root() / "ca"};
};

// The suite is named after the command ("dictaloctl cert"), so that its tests
// are selected with the other certificate tests.
using cert = CertCommandTest;

TEST_F(cert, VerifyAgainstATrustFile) {
  const Outcome accepted = RunCert({"verify", "mail.example.test", Path("chain.pem"), "--trust", Path("root.pem")});
  EXPECT_EQ(accepted.code, 0) << accepted.err;
  EXPECT_EQ(accepted.out, "chain result: 0x00000000\naccepted\n");

  const Outcome wrong_host = RunCert({"verify", "--trust", Path("root.pem"), "smtp.example.test", Path("chain.pem")});
  EXPECT_EQ(wrong_host.code, 1);
  EXPECT_EQ(wrong_host.out, "chain result: 0x00000000\nrefused: certificate does not name smtp.example.test\n");

  const Outcome missing = RunCert({"verify", "mail.example.test", Path("leaf.pem"), "--trust", Path("root.pem")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "chain result: 0x00000001\nrefused: issuer not found among the trusted certificates\n");

  EXPECT_EQ(RunCert({"verify", "mail.example.test", Path("empty.pem")}).code, 2);
  EXPECT_EQ(RunCert({"verify", "mail.example.test"}).code, 2);
  EXPECT_EQ(RunCert({"frobnicate"}).code, 2);
}

// Path constraints show in the command's verdict, each beside a chain that passes.
TEST_F(cert, VerifyRefusesWhatTheIssuersForbid) {
  const std::vector<std::string> ca_ext = {"basicConstraints = critical,CA:TRUE", "keyUsage = critical,keyCertSign"};
  auto with = [&](std::vector<std::string> lines, const std::string& more) {
    lines.push_back(more);
    return lines;
  };
  ca_.Issue({.name = "nc", .issuer = "root", .key = "k", .subject = "/CN=Ctl Constrained",
             .extensions = with(ca_ext, "nameConstraints = critical,permitted;DNS:example.test")});
  ca_.Issue({.name = "nc_in", .issuer = "nc", .key = "k", .subject = "/CN=mail.example.test",
             .extensions = {"subjectAltName = DNS:mail.example.test"}});
  ca_.Issue({.name = "nc_out", .issuer = "nc", .key = "k", .subject = "/CN=mail.example.test",
             .extensions = {"subjectAltName = DNS:mail.example.test,DNS:mail.evil.test"}});
  ca_.Issue({.name = "pl0", .issuer = "root", .key = "k", .subject = "/CN=Ctl PathLen0",
             .extensions = {"basicConstraints = critical,CA:TRUE,pathlen:0", "keyUsage = critical,keyCertSign"}});
  ca_.Issue({.name = "pl0_sub", .issuer = "pl0", .key = "k", .subject = "/CN=Ctl Below PathLen0", .extensions = ca_ext});
  ca_.Issue({.name = "pl0_leaf", .issuer = "pl0_sub", .key = "k", .subject = "/CN=mail.example.test",
             .extensions = {"basicConstraints = CA:FALSE"}});
  ca_.Issue({.name = "client", .issuer = "inter", .key = "k", .subject = "/CN=mail.example.test",
             .extensions = {"extendedKeyUsage = clientAuth"}});
  ca_.Issue({.name = "crit", .issuer = "inter", .key = "k", .subject = "/CN=mail.example.test",
             .extensions = {"1.3.6.1.4.1.55555.1 = critical,ASN1:NULL"}});
  ca_.Write("nc_in.chain", ca_.Pem("nc_in") + ca_.Pem("nc"));
  ca_.Write("nc_out.chain", ca_.Pem("nc_out") + ca_.Pem("nc"));
  ca_.Write("pl0.chain", ca_.Pem("pl0_leaf") + ca_.Pem("pl0_sub") + ca_.Pem("pl0"));
  ca_.Write("client.chain", ca_.Pem("client") + ca_.Pem("inter"));
  ca_.Write("crit.chain", ca_.Pem("crit") + ca_.Pem("inter"));
  const auto verify = [&](const std::string& chain) {
    return RunCert({"verify", "mail.example.test", Path(chain), "--trust", Path("root.pem")});
  };
  EXPECT_EQ(verify("nc_in.chain").out, "chain result: 0x00000000\naccepted\n");
  const struct {
    const char* chain;
    const char* out;
  } refused[] = {
      {"nc_out.chain", "chain result: 0x00000400\nrefused: name outside the issuer's name constraints\n"},
      {"pl0.chain", "chain result: 0x00000200\nrefused: issuer's path length constraint exceeded\n"},
      {"client.chain", "chain result: 0x00000800\nrefused: certificate not meant for server authentication\n"},
      {"crit.chain", "chain result: 0x00001000\nrefused: certificate carries an unknown critical extension\n"},
  };
  for (const auto& r : refused) {
    const Outcome outcome = verify(r.chain);
    EXPECT_EQ(outcome.code, 1) << r.chain;
    EXPECT_EQ(outcome.out, r.out) << r.chain;
  }

  // A server certificate trusted by itself is pinned: it is accepted, but
  // what it signs is not.
  ca_.Issue({.name = "minted", .issuer = "leaf", .key = "k", .subject = "/CN=other.example.test",
             .extensions = {"subjectAltName = DNS:other.example.test"}});
  EXPECT_EQ(RunCert({"verify", "mail.example.test", Path("leaf.pem"), "--trust", Path("leaf.pem")}).code, 0);
  EXPECT_EQ(RunCert({"verify", "other.example.test", Path("minted.pem"), "--trust", Path("leaf.pem")}).out,
            "chain result: 0x00000040\nrefused: issuer is not a certification authority\n");
}

// The user ROOT store: import, list, verify through it, duplicates, remove.
TEST_F(cert, ImportListVerifyRemove) {
  ScopedBundle bundle(ca_.dir() / "empty.pem");
  const std::vector<std::string> verify = {"verify", "mail.example.test", Path("chain.pem")};
  EXPECT_EQ(RunCert(verify).out, "chain result: 0x00000001\nrefused: issuer not found among the trusted certificates\n");

  const Outcome imported = RunCert({"import", Path("root.pem")});
  EXPECT_EQ(imported.code, 0) << imported.err;
  EXPECT_EQ(imported.out.rfind("imported: CN=Ctl Root (valid until ", 0), 0u) << imported.out;
  EXPECT_EQ(RunCert({"list"}).out.rfind("0  CN=Ctl Root", 0), 0u);
  EXPECT_EQ(RunCert(verify).code, 0);

  // What the mail client runs after a handshake sees the same store.
  security::MemoryCertificateStore received;
  received.Add(security::LoadCertificateFile(Path("inter.pem")).at(0));
  received.Add(security::LoadCertificateFile(Path("leaf.pem")).at(0));
  EXPECT_TRUE(security::AcceptServerCertificate("MAIL.example.test", received));
  EXPECT_FALSE(security::AcceptServerCertificate("example.test", received));

  const Outcome duplicate = RunCert({"import", Path("root.pem")});
  EXPECT_EQ(duplicate.code, 1);
  EXPECT_NE(duplicate.err.find("Certificate already exists"), std::string::npos) << duplicate.err;

  EXPECT_EQ(RunCert({"remove", "1"}).code, 1);
  EXPECT_EQ(RunCert({"remove", "x"}).code, 1);
  const Outcome removed = RunCert({"remove", "0"});
  EXPECT_EQ(removed.code, 0) << removed.err;
  EXPECT_EQ(RunCert({"list"}).out, "");
  EXPECT_EQ(RunCert(verify).code, 1);
}

// Every certificate of the system's CA bundle parses, and each one is trusted
// as it stands in the real ROOT store (result 0), though none names our host.
TEST_F(cert, SystemBundleRootsAreTrustAnchors) {
  const std::filesystem::path system_bundle = "/etc/ssl/certs/ca-certificates.crt";
  if (!std::filesystem::exists(system_bundle)) GTEST_SKIP() << "no system CA bundle";
  ScopedBundle bundle(system_bundle);
  const std::string text = testing_support::ReadFileBytes(system_bundle);
  std::size_t blocks = 0;
  for (std::size_t pos = 0; (pos = text.find("-----BEGIN CERTIFICATE-----", pos)) != std::string::npos; ++pos) ++blocks;
  const auto roots = security::LoadCertificateFile(system_bundle);
  EXPECT_EQ(roots.size(), blocks);
  ASSERT_FALSE(roots.empty());
  ca_.Write("first.der", std::string(roots.front().Der().text()));
  const Outcome outcome = RunCert({"verify", "mail.example.test", Path("first.der")});
  EXPECT_EQ(outcome.out.rfind("chain result: 0x00000000\nrefused: certificate does not name", 0), 0u) << outcome.out;
  // None of them is refused for its extensions (some may have expired by now).
  security::MemoryCertificateStore all;
  for (const auto& root : roots) all.Add(root);
  for (const auto& root : roots) {
    const std::uint32_t result = security::ChainVerifier(all, all).Verify(root);
    EXPECT_EQ(result & ~(security::kChainExpired | security::kChainNotYetValid), 0u) << root.Subject().text;
  }
}

}  // namespace
}  // namespace ctl
