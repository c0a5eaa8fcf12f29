// The TLS engine against real servers, through `dictaloctl tls-probe`: openssl
// s_server (TLS 1.0, AES, DHE with RSA and DSS; TLS 1.1 and 1.2 with RSA and
// ECDSA certificates), gnutls-serv (RC4, 3DES) and
// the JDK's TLS stack (SSL 3.0, single DES). Every suite moves 1 MB of
// application data both ways; client certificates are asked for by openssl
// and by the JDK. Servers that speak only anonymous suites find nothing in
// common with the client, which never offers them.
//
// The servers are started and stopped (by pid) by tests/peers/tls_*_server.sh
// around one probe run; keys are made once by tests/peers/tls_certs.sh.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

using testing_support::RunProgram;

constexpr const char* kRoundTrip = "1048576";

std::filesystem::path Ctl() {
  // DICTALO_CTL lets a build run these tests with another dictaloctl.
  if (const char* ctl = std::getenv("DICTALO_CTL")) return ctl;
  return testing_support::BinaryDir() / "dictaloctl";
}

std::filesystem::path Peers() { return testing_support::SourceDir() / "tests" / "peers"; }
std::string KeyDir() { return (testing_support::BinaryDir().parent_path() / "tls-peer-keys").string(); }

struct PeerRun {
  std::string script;                     // tls_openssl_server.sh, ...
  std::vector<std::string> server_args;   // after "run DIR PORT"
  std::vector<std::string> probe_args;    // after "tls-probe localhost PORT"
};

testing_support::RunResult RunPeer(const PeerRun& run, int port) {
  std::vector<std::string> args = {"run", KeyDir(), std::to_string(port)};
  args.insert(args.end(), run.server_args.begin(), run.server_args.end());
  args.insert(args.end(), {"--", Ctl().string(), "tls-probe", "localhost", std::to_string(port), "--trust",
                           KeyDir() + "/servers.crt"});
  args.insert(args.end(), run.probe_args.begin(), run.probe_args.end());
  return RunProgram(Peers() / run.script, args, std::chrono::seconds(120));
}

struct SuiteCase {
  const char* script;
  std::vector<std::string> server;  // server arguments
  const char* mask;
  const char* protocol;  // expected "protocol: ..." line
  const char* suite;     // expected "suite: ..." line
  const char* certificate;  // expected "certificate: ..." line
};

void ExpectRoundTrip(const SuiteCase& c, int port) {
  SCOPED_TRACE(std::string(c.script) + " " + c.suite + " mask " + c.mask);
  const auto r = RunPeer({c.script, c.server, {"--versions", c.mask, "--round-trip", kRoundTrip}}, port);
  ASSERT_NE(r.status, 3) << "peer did not start: " << r.err;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(std::string("protocol: ") + c.protocol + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("suite: ") + c.suite + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("certificate: ") + c.certificate), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("round trip: ") + kRoundTrip + " bytes"), std::string::npos) << r.out;
}

const char* kOpenssl = "tls_openssl_server.sh";
const char* kGnutls = "tls_gnutls_server.sh";
const char* kJava = "tls_java_server.sh";
const char* kAccepted = "accepted";

TEST(TlsInteropTest, OpensslTls10SuitesRoundTripOneMegabyte) {
  const SuiteCase cases[] = {
      {kOpenssl, {"AES128-SHA"}, "4", "TLS 1.0", "0x002F AES128-SHA", kAccepted},
      {kOpenssl, {"AES256-SHA"}, "7", "TLS 1.0", "0x0035 AES256-SHA", kAccepted},
      {kOpenssl, {"DHE-RSA-AES128-SHA"}, "7", "TLS 1.0", "0x0033 DHE-RSA-AES128-SHA", kAccepted},
      {kOpenssl, {"DHE-RSA-AES256-SHA"}, "4", "TLS 1.0", "0x0039 DHE-RSA-AES256-SHA", kAccepted},
      {kOpenssl, {"DHE-DSS-AES128-SHA"}, "4", "TLS 1.0", "0x0032 DHE-DSS-AES128-SHA", kAccepted},
      {kOpenssl, {"DHE-DSS-AES256-SHA"}, "7", "TLS 1.0", "0x0038 DHE-DSS-AES256-SHA", kAccepted},
  };
  int port = 20431;
  for (const auto& c : cases) ExpectRoundTrip(c, port++);
}

TEST(TlsInteropTest, GnutlsRc4And3desSuitesRoundTripOneMegabyte) {
  const SuiteCase cases[] = {
      {kGnutls, {"+ARCFOUR-128:+MD5:+RSA"}, "4", "TLS 1.0", "0x0004 RC4-MD5", kAccepted},
      {kGnutls, {"+ARCFOUR-128:+SHA1:+RSA"}, "7", "TLS 1.0", "0x0005 RC4-SHA", kAccepted},
      {kGnutls, {"+3DES-CBC:+SHA1:+RSA"}, "6", "TLS 1.0", "0x000A DES-CBC3-SHA", kAccepted},
      {kGnutls, {"+3DES-CBC:+SHA1:+DHE-RSA"}, "4", "TLS 1.0", "0x0016 EDH-RSA-DES-CBC3-SHA", kAccepted},
  };
  int port = 20441;
  for (const auto& c : cases) ExpectRoundTrip(c, port++);
}

TEST(TlsInteropTest, JdkSsl30SuitesRoundTripOneMegabyte) {
  // Masks 2 (SSL 3.0) and 3 (SSL 2.0 and 3.0: the hello is a plain SSL 3.0 one).
  const SuiteCase cases[] = {
      {kJava, {"SSLv3", "SSL_RSA_WITH_RC4_128_MD5"}, "2", "SSL 3.0", "0x0004 RC4-MD5", kAccepted},
      {kJava, {"SSLv2Hello,SSLv3", "SSL_RSA_WITH_DES_CBC_SHA"}, "3", "SSL 3.0", "0x0009 DES-CBC-SHA", kAccepted},
      {kJava, {"SSLv2Hello,SSLv3", "SSL_RSA_WITH_3DES_EDE_CBC_SHA"}, "3", "SSL 3.0", "0x000A DES-CBC3-SHA", kAccepted},
      {kJava, {"SSLv3", "SSL_DHE_RSA_WITH_3DES_EDE_CBC_SHA"}, "2", "SSL 3.0", "0x0016 EDH-RSA-DES-CBC3-SHA", kAccepted},
      {kJava, {"SSLv3", "SSL_DHE_RSA_WITH_DES_CBC_SHA"}, "2", "SSL 3.0", "0x0015 EDH-RSA-DES-CBC-SHA", kAccepted},
  };
  int port = 20451;
  for (const auto& c : cases) ExpectRoundTrip(c, port++);
}

TEST(TlsInteropTest, JdkAnswersTheDefaultHelloWithTls10) {
  const SuiteCase cases[] = {
      {kJava, {"SSLv2Hello,SSLv3,TLSv1", "TLS_RSA_WITH_AES_128_CBC_SHA"}, "7", "TLS 1.0", "0x002F AES128-SHA", kAccepted},
      {kJava, {"SSLv2Hello,TLSv1", "SSL_RSA_WITH_DES_CBC_SHA"}, "7", "TLS 1.0", "0x0009 DES-CBC-SHA", kAccepted},
  };
  int port = 20461;
  for (const auto& c : cases) ExpectRoundTrip(c, port++);
}

TEST(TlsInteropTest, ServersOfAnonymousSuitesOnlyAreRefused) {
  // An anonymous suite cannot pass the certificate acceptance, so the client
  // never offers one: such a server has no suite in common with it.
  const PeerRun runs[] = {
      {kOpenssl, {"ADH-AES128-SHA"}, {"--versions", "4"}},
      {kOpenssl, {"ADH-AES256-SHA"}, {"--versions", "7"}},
      {kGnutls, {"+ARCFOUR-128:+MD5:+ANON-DH"}, {"--versions", "7"}},
      {kJava, {"SSLv3", "SSL_DH_anon_WITH_RC4_128_MD5"}, {"--versions", "2"}},
      {kJava, {"SSLv3", "SSL_DH_anon_WITH_3DES_EDE_CBC_SHA"}, {"--versions", "2"}},
  };
  int port = 20501;
  for (const auto& run : runs) {
    SCOPED_TRACE(run.script + " " + run.server_args.front());
    const auto r = RunPeer(run, port++);
    ASSERT_NE(r.status, 3) << "peer did not start: " << r.err;
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("handshake failed: 0x80C5"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("suite: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("round trip"), std::string::npos) << r.out;
  }
}

TEST(TlsInteropTest, ClientCertificateSentWhenTheServerRequiresOne) {
  const std::vector<std::string> credentials = {"--client-cert", KeyDir() + "/client.crt", "--client-key",
                                                KeyDir() + "/client.key", "--round-trip", "65536", "--trace"};
  std::vector<std::string> ssl3_credentials = credentials;
  ssl3_credentials.insert(ssl3_credentials.end(), {"--versions", "2"});
  struct Case {
    PeerRun run;
    const char* protocol;
  } cases[] = {
      {{kOpenssl, {"AES128-SHA", "--require-cert"}, credentials}, "TLS 1.0"},
      {{kJava, {"SSLv3", "SSL_RSA_WITH_RC4_128_MD5", "--require-cert"}, ssl3_credentials}, "SSL 3.0"},
      {{kJava, {"SSLv2Hello,TLSv1", "SSL_RSA_WITH_3DES_EDE_CBC_SHA", "--require-cert"}, credentials}, "TLS 1.0"},
  };
  int port = 20471;
  for (auto& c : cases) {
    SCOPED_TRACE(c.run.script);
    const auto r = RunPeer(c.run, port++);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("trace: 2 client certificate sent"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("trace: 4 certificate verify sent"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("protocol: ") + c.protocol), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("round trip: 65536 bytes"), std::string::npos) << r.out;
  }
}

TEST(TlsInteropTest, CertificateRequestedAndNoneConfigured) {
  // TLS 1.0 answers with an empty Certificate and goes on when the server
  // only asks; SSL 3.0 gives up with error 120.
  const auto tls = RunPeer({kOpenssl, {"AES128-SHA", "--request-cert"}, {"--versions", "4", "--round-trip", "4096"}}, 20481);
  EXPECT_EQ(tls.status, 0) << tls.out << tls.err;
  EXPECT_NE(tls.out.find("round trip: 4096 bytes reversed"), std::string::npos) << tls.out;

  const auto ssl3 = RunPeer({kJava, {"SSLv3", "SSL_RSA_WITH_RC4_128_MD5", "--require-cert"}, {"--versions", "2"}}, 20482);
  EXPECT_EQ(ssl3.status, 1) << ssl3.out << ssl3.err;
  EXPECT_NE(ssl3.out.find("handshake failed: 0x80C50078"), std::string::npos) << ssl3.out;

  // A TLS server insisting on a certificate refuses the empty one with its own alert.
  const auto refused = RunPeer({kOpenssl, {"AES128-SHA", "--require-cert"}, {"--versions", "4", "--trace"}}, 20483);
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("handshake failed: 0x80C5"), std::string::npos) << refused.out;
}

TEST(TlsInteropTest, NoCommonSuiteOrVersionFailsWithTheServersAlert) {
  // The openssl server speaks only TLS 1.0 AES: the SSL 3.0 list (mask 6)
  // shares nothing with it; a strong-only client still finds AES.
  const auto none = RunPeer({kOpenssl, {"AES128-SHA"}, {"--versions", "6"}}, 20491);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("handshake failed: 0x80C50028"), std::string::npos) << none.out;
  const auto strong = RunPeer({kOpenssl, {"AES128-SHA"}, {"--strong"}}, 20492);
  EXPECT_EQ(strong.status, 0) << strong.out;
  // A server restricted to DES while the client offers only strong suites.
  const auto weak = RunPeer({kJava, {"SSLv3", "SSL_RSA_WITH_DES_CBC_SHA"}, {"--versions", "2", "--strong"}}, 20493);
  EXPECT_EQ(weak.status, 1) << weak.out;
}

// TLS 1.1 and 1.2 servers of one version each, with certificates made for
// the run (tests/peers/tls12_openssl_server.sh).
struct ModernCase {
  const char* version;  // tls1_2 or tls1_1
  const char* key;      // rsa, ec256, ec384
  const char* ciphers;
  const char* protocol;
  const char* suite;
  const char* group;      // expected "group: " line, or null for none
  const char* signature;  // expected "signature: " line, or null for none
  const char* groups = nullptr;  // the server's ECDHE groups (OpenSSL names), or its default
  const char* sigalgs = nullptr;  // the server's signature schemes (OpenSSL names), or its default
};

void ExpectModernRoundTrip(const ModernCase& c, int port) {
  SCOPED_TRACE(std::string(c.version) + " " + c.key + " " + c.suite);
  std::vector<std::string> args = {"run", KeyDir(), std::to_string(port), c.version, c.key, c.ciphers};
  if (c.groups != nullptr) args.insert(args.end(), {"--groups", c.groups});
  if (c.sigalgs != nullptr) args.insert(args.end(), {"--sigalgs", c.sigalgs});
  args.insert(args.end(), {"--", Ctl().string(), "tls-probe", "localhost", std::to_string(port), "--trust",
                           KeyDir() + "/tls12-servers.crt", "--round-trip", kRoundTrip});
  const auto r = RunProgram(Peers() / "tls12_openssl_server.sh", args, std::chrono::seconds(120));
  ASSERT_NE(r.status, 3) << "peer did not start: " << r.err;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(std::string("protocol: ") + c.protocol + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("suite: ") + c.suite + "\n"), std::string::npos) << r.out;
  if (c.group != nullptr) {
    EXPECT_NE(r.out.find(std::string("group: ") + c.group + "\n"), std::string::npos) << r.out;
  } else {
    EXPECT_EQ(r.out.find("group: "), std::string::npos) << r.out;
  }
  if (c.signature != nullptr) EXPECT_NE(r.out.find(std::string("signature: ") + c.signature), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("certificate: accepted"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("round trip: ") + kRoundTrip + " bytes"), std::string::npos) << r.out;
}

TEST(TlsInteropTest, OpensslTls12RsaAndDheSuitesRoundTripOneMegabyte) {
  const ModernCase cases[] = {
      {"tls1_2", "rsa", "AES128-GCM-SHA256", "TLS 1.2", "0x009C AES128-GCM-SHA256", nullptr, nullptr},
      {"tls1_2", "rsa", "AES256-GCM-SHA384", "TLS 1.2", "0x009D AES256-GCM-SHA384", nullptr, nullptr},
      {"tls1_2", "rsa", "AES128-SHA256", "TLS 1.2", "0x003C AES128-SHA256", nullptr, nullptr},
      {"tls1_2", "rsa", "AES256-SHA", "TLS 1.2", "0x0035 AES256-SHA", nullptr, nullptr},
      {"tls1_2", "rsa", "DHE-RSA-AES128-GCM-SHA256", "TLS 1.2", "0x009E DHE-RSA-AES128-GCM-SHA256", "dh2048",
       "0x0804 rsa_pss_rsae_sha256"},
      {"tls1_2", "rsa", "DHE-RSA-AES256-GCM-SHA384", "TLS 1.2", "0x009F DHE-RSA-AES256-GCM-SHA384", "dh2048",
       "0x0804 rsa_pss_rsae_sha256"},
      {"tls1_2", "rsa", "DHE-RSA-AES256-SHA256", "TLS 1.2", "0x006B DHE-RSA-AES256-SHA256", "dh2048", nullptr},
      {"tls1_1", "rsa", "AES128-SHA:@SECLEVEL=0", "TLS 1.1", "0x002F AES128-SHA", nullptr, nullptr},
      {"tls1_1", "rsa", "DHE-RSA-AES256-SHA:@SECLEVEL=0", "TLS 1.1", "0x0039 DHE-RSA-AES256-SHA", "dh2048", nullptr},
  };
  int port = 28710;
  for (const auto& c : cases) ExpectModernRoundTrip(c, port++);
}

TEST(TlsInteropTest, OpensslEcdheSuitesRoundTripOneMegabyte) {
  const ModernCase cases[] = {
      {"tls1_2", "rsa", "ECDHE-RSA-AES128-GCM-SHA256", "TLS 1.2", "0xC02F ECDHE-RSA-AES128-GCM-SHA256", "x25519",
       "0x0804 rsa_pss_rsae_sha256"},
      {"tls1_2", "rsa", "ECDHE-RSA-AES256-GCM-SHA384", "TLS 1.2", "0xC030 ECDHE-RSA-AES256-GCM-SHA384", "secp256r1",
       nullptr, "P-256"},
      {"tls1_2", "rsa", "ECDHE-RSA-CHACHA20-POLY1305", "TLS 1.2", "0xCCA8 ECDHE-RSA-CHACHA20-POLY1305", "secp384r1",
       nullptr, "P-384"},
      {"tls1_2", "rsa", "ECDHE-RSA-AES256-SHA384", "TLS 1.2", "0xC028 ECDHE-RSA-AES256-SHA384", "x25519", nullptr},
      {"tls1_2", "ec256", "ECDHE-ECDSA-AES128-GCM-SHA256", "TLS 1.2", "0xC02B ECDHE-ECDSA-AES128-GCM-SHA256", "x25519",
       "0x0403 ecdsa_secp256r1_sha256"},
      {"tls1_2", "ec256", "ECDHE-ECDSA-CHACHA20-POLY1305", "TLS 1.2", "0xCCA9 ECDHE-ECDSA-CHACHA20-POLY1305",
       "secp256r1", nullptr, "P-256"},
      {"tls1_2", "ec384", "ECDHE-ECDSA-AES256-GCM-SHA384", "TLS 1.2", "0xC02C ECDHE-ECDSA-AES256-GCM-SHA384",
       "secp384r1", nullptr, "P-384"},
      {"tls1_2", "ec384", "ECDHE-ECDSA-AES128-SHA256", "TLS 1.2", "0xC023 ECDHE-ECDSA-AES128-SHA256", "x25519", nullptr},
      {"tls1_1", "ec256", "ECDHE-ECDSA-AES128-SHA:@SECLEVEL=0", "TLS 1.1", "0xC009 ECDHE-ECDSA-AES128-SHA", "secp256r1",
       nullptr, "P-256"},
      {"tls1_1", "rsa", "ECDHE-RSA-AES256-SHA:@SECLEVEL=0", "TLS 1.1", "0xC014 ECDHE-RSA-AES256-SHA", "x25519", nullptr},
      // Every signature scheme the client offers, one server at a time.
      {"tls1_2", "ec384", "ECDHE-ECDSA-AES128-GCM-SHA256", "TLS 1.2", "0xC02B ECDHE-ECDSA-AES128-GCM-SHA256", "x25519",
       "0x0503 ecdsa_secp384r1_sha384", nullptr, "ECDSA+SHA384"},
      {"tls1_2", "rsa", "ECDHE-RSA-AES128-GCM-SHA256", "TLS 1.2", "0xC02F ECDHE-RSA-AES128-GCM-SHA256", "x25519",
       "0x0805 rsa_pss_rsae_sha384", nullptr, "RSA-PSS+SHA384"},
      {"tls1_2", "rsa", "ECDHE-RSA-AES128-GCM-SHA256", "TLS 1.2", "0xC02F ECDHE-RSA-AES128-GCM-SHA256", "x25519",
       "0x0806 rsa_pss_rsae_sha512", nullptr, "RSA-PSS+SHA512"},
      {"tls1_2", "rsa", "ECDHE-RSA-AES128-GCM-SHA256", "TLS 1.2", "0xC02F ECDHE-RSA-AES128-GCM-SHA256", "x25519",
       "0x0401 rsa_pkcs1_sha256", nullptr, "RSA+SHA256"},
      {"tls1_2", "rsa", "DHE-RSA-AES128-GCM-SHA256", "TLS 1.2", "0x009E DHE-RSA-AES128-GCM-SHA256", "dh2048",
       "0x0601 rsa_pkcs1_sha512", nullptr, "RSA+SHA512"},
  };
  int port = 28720;
  for (const auto& c : cases) ExpectModernRoundTrip(c, port++);
}

TEST(TlsInteropTest, GnutlsTls12ChaCha20RoundTripsOneMegabyte) {
  const SuiteCase c = {kGnutls, {"+VERS-TLS1.2:-VERS-TLS1.0:+CHACHA20-POLY1305:+AEAD:+ECDHE-RSA"}, "4", "TLS 1.2",
                       "0xCCA8 ECDHE-RSA-CHACHA20-POLY1305", kAccepted};
  ExpectRoundTrip(c, 28735);
}

// Under TLS 1.2 the CertificateVerify names its signature scheme and signs
// the whole transcript's hash; openssl checks it against the client's key.
TEST(TlsInteropTest, ClientCertificateUnderTls12) {
  for (const char* ciphers : {"ECDHE-RSA-AES128-GCM-SHA256", "AES256-GCM-SHA384"}) {
    SCOPED_TRACE(ciphers);
    const int port = std::string(ciphers)[0] == 'E' ? 28738 : 28739;
    const std::vector<std::string> args = {
        "run", KeyDir(), std::to_string(port), "tls1_2", "rsa", ciphers, "--require-cert", "--", Ctl().string(),
        "tls-probe", "localhost", std::to_string(port), "--trust", KeyDir() + "/tls12-servers.crt", "--client-cert",
        KeyDir() + "/client.crt", "--client-key", KeyDir() + "/client.key", "--round-trip", "65536", "--trace"};
    const auto r = RunProgram(Peers() / "tls12_openssl_server.sh", args, std::chrono::seconds(120));
    ASSERT_NE(r.status, 3) << "peer did not start: " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("trace: 4 certificate verify sent"), std::string::npos);
    EXPECT_NE(r.out.find("protocol: TLS 1.2\n"), std::string::npos);
    EXPECT_NE(r.out.find("round trip: 65536 bytes"), std::string::npos);
  }
}

}  // namespace
