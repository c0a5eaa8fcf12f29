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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
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

// ------------------------------------------------------------------------
// Client certificates with EC keys and RSA-PSS, and server_name, against
// openssl s_server started here with the options each case needs.

// Keys made once in the build tree: a test CA, client certificates it issued
// (RSA 2048, P-256 in a SEC 1 "EC PRIVATE KEY" file, P-384 in a PKCS #8
// "PRIVATE KEY" file), an RSA server certificate, and two more server
// certificates told apart by server_name.
std::string EngineKeyDir() {
  static const std::string dir = [] {
    const auto path = testing_support::BinaryDir().parent_path() / "tls-engine-keys";
    std::filesystem::create_directories(path);
    const char* script = R"(set -eu
cd "$1"
exec 9>.lock
flock 9
[ -f done ] && exit 0
q() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }
q openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 -subj "/CN=Dictalo Engine Test CA" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign,cRLSign
issue() {  # NAME KEYFILE SUBJECT
  q openssl req -new -key "$2" -out "$1.csr" -subj "$3"
  q openssl x509 -req -in "$1.csr" -CA ca.crt -CAkey ca.key -CAcreateserial -out "$1.crt" -days 3650 -sha256
}
q openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out client-rsa.key
issue client-rsa client-rsa.key /CN=dictalo-rsa-client
q openssl ecparam -name prime256v1 -genkey -out client-ec256.key
issue client-ec256 client-ec256.key /CN=dictalo-ec256-client
q openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out client-ec384.key
issue client-ec384 client-ec384.key /CN=dictalo-ec384-client
for name in server default-name sni-name; do
  q openssl req -x509 -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.crt" -days 3650 -subj "/CN=dictalo-$name"
done
touch done
)";
    const auto r = RunProgram("/bin/bash", {"-c", script, "make-keys", path.string()}, std::chrono::seconds(120));
    EXPECT_EQ(r.status, 0) << r.err;
    return path.string();
  }();
  return dir;
}

bool Accepting(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return ok;
}

// openssl s_server on 127.0.0.1:port with `options`, answering each line
// reversed; stopped (by its pid) when the object goes.
std::unique_ptr<testing_support::ChildProcess> StartServer(int port, std::vector<std::string> options) {
  std::vector<std::string> args = {"s_server", "-accept", "127.0.0.1:" + std::to_string(port), "-rev"};
  args.insert(args.end(), options.begin(), options.end());
  auto server = std::make_unique<testing_support::ChildProcess>("/usr/bin/openssl", args);
  const bool up = testing_support::WaitUntil([&] { return !server->Running() || Accepting(port); });
  EXPECT_TRUE(up && server->Running()) << "s_server did not start: " << server->Errors() << server->Output();
  return server;
}

testing_support::RunResult Probe(const std::string& host, int port, std::vector<std::string> options) {
  std::vector<std::string> args = {"tls-probe", host, std::to_string(port)};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(Ctl(), args, std::chrono::seconds(60));
}

std::vector<std::string> ServerRequiringCertificate(const std::string& dir, const char* version) {
  return {version, "-cert", dir + "/server.crt", "-key", dir + "/server.key", "-Verify", "1", "-CAfile",
          dir + "/ca.crt"};
}

std::vector<std::string> ClientCredentials(const std::string& dir, const char* name) {
  return {"--trust", dir + "/server.crt", "--client-cert", dir + "/" + name + ".crt", "--client-key",
          dir + "/" + name + ".key", "--round-trip", "65536", "--trace"};
}

void ExpectClientCertificateAccepted(const testing_support::RunResult& r, const char* protocol) {
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("trace: 2 client certificate sent"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("trace: 4 certificate verify sent"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("protocol: ") + protocol + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("round trip: 65536 bytes"), std::string::npos) << r.out;
}

// The server takes only RSA-PSS signatures from clients: the RSA client key
// signs its CertificateVerify with PSS, which openssl checks.
TEST(TlsInteropTest, RsaClientCertificateSignsWithPssWhenTheServerTakesOnlyThat) {
  const std::string dir = EngineKeyDir();
  struct Case {
    std::vector<std::string> sigalgs;
  } cases[] = {
      {{"-sigalgs", "rsa_pss_rsae_sha256", "-client_sigalgs", "rsa_pss_rsae_sha256"}},
      {{"-client_sigalgs", "rsa_pss_rsae_sha512:rsa_pss_rsae_sha384"}},
  };
  int port = 47201;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sigalgs.back());
    auto options = ServerRequiringCertificate(dir, "-tls1_2");
    options.insert(options.end(), c.sigalgs.begin(), c.sigalgs.end());
    const auto server = StartServer(port, options);
    ExpectClientCertificateAccepted(Probe("localhost", port, ClientCredentials(dir, "client-rsa")), "TLS 1.2");
    ++port;
  }
}

// ECDSA client certificates on P-256 and P-384 (the key files as openssl
// writes them), under TLS 1.2 with the server's default or a narrowed list
// of schemes, and under TLS 1.1; a server that takes no ECDSA signature gets
// no certificate, and refuses the handshake.
TEST(TlsInteropTest, EcdsaClientCertificates) {
  const std::string dir = EngineKeyDir();
  struct Case {
    const char* client;
    const char* version;
    std::vector<std::string> server_options;
    const char* protocol;  // null: the server refuses the handshake
  } cases[] = {
      {"client-ec256", "-tls1_2", {}, "TLS 1.2"},
      {"client-ec384", "-tls1_2", {}, "TLS 1.2"},
      {"client-ec384", "-tls1_2", {"-client_sigalgs", "ECDSA+SHA256"}, "TLS 1.2"},
      {"client-ec256", "-tls1_2", {"-client_sigalgs", "ECDSA+SHA384:RSA+SHA256"}, "TLS 1.2"},
      {"client-ec256", "-tls1_1", {"-cipher", "AES128-SHA:@SECLEVEL=0"}, "TLS 1.1"},
      {"client-ec384", "-tls1_2", {"-client_sigalgs", "RSA+SHA256:rsa_pss_rsae_sha256"}, nullptr},
  };
  int port = 47210;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.client) + " " + c.version + " " +
                 (c.server_options.empty() ? std::string() : c.server_options.back()));
    auto options = ServerRequiringCertificate(dir, c.version);
    options.insert(options.end(), c.server_options.begin(), c.server_options.end());
    const auto server = StartServer(port, options);
    const auto r = Probe("localhost", port, ClientCredentials(dir, c.client));
    if (c.protocol != nullptr) {
      ExpectClientCertificateAccepted(r, c.protocol);
    } else {
      EXPECT_EQ(r.status, 1) << r.out << r.err;
      EXPECT_EQ(r.out.find("trace: 4 certificate verify sent"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("handshake failed: 0x80C5"), std::string::npos) << r.out;
    }
    ++port;
  }
}

// The server shows its second certificate only to a client naming it in
// server_name, and ends the handshake for any other name. tls-probe names
// the host it connects to; an address is no name, and a TLS 1.0 hello
// carries no extensions, so both get the first certificate.
TEST(TlsInteropTest, ServerNameChoosesTheServersCertificate) {
  const std::string dir = EngineKeyDir();
  const std::vector<std::string> options = {"-tls1_2", "-cert", dir + "/default-name.crt", "-key",
                                            dir + "/default-name.key", "-servername", "localhost", "-cert2",
                                            dir + "/sni-name.crt", "-key2", dir + "/sni-name.key",
                                            "-servername_fatal"};
  struct Case {
    const char* host;
    std::vector<std::string> probe;
    const char* subject;
  } cases[] = {
      {"localhost", {}, "dictalo-sni-name"},
      {"127.0.0.1", {}, "dictalo-default-name"},
      {"localhost", {"--versions", "tls1.0"}, "dictalo-default-name"},
  };
  int port = 47220;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.host) + (c.probe.empty() ? "" : " TLS 1.0"));
    auto server_options = options;
    if (!c.probe.empty()) server_options[0] = "-tls1";
    if (!c.probe.empty()) server_options.insert(server_options.end(), {"-cipher", "AES128-SHA:@SECLEVEL=0"});
    const auto server = StartServer(port, server_options);
    auto probe = c.probe;
    probe.insert(probe.end(), {"--round-trip", "4096"});
    const auto r = Probe(c.host, port, probe);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const auto subject = r.out.find("subject: ");
    ASSERT_NE(subject, std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.subject, subject), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("round trip: 4096 bytes"), std::string::npos) << r.out;
    ++port;
  }
}

}  // namespace
