// The chain suite: certificates made by the openssl command from
// testdata/chain_cases.txt, every case run through ChainVerifier (result
// code) and the acceptance step (verdict), with the trusted certificates both
// in a system store (as a CA bundle) and in a memory store.

#include "security/certs/chain_verifier.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "security/certs/day_number.h"
#include "security/certs/openssl_test_ca.h"
#include "security/certs/pem.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/certs/system_certificate_store.h"
#include "tests/support/test_environment.h"

namespace security {
namespace {

using testing::OpenSslTestCa;

struct ChainCase {
  std::string name;
  std::string host;
  std::vector<std::string> trusted;
  std::vector<std::string> chain;
  std::uint32_t result = 0;
  bool accept = false;
};

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  if (text == "-") return out;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) out.push_back(item);
  return out;
}

std::vector<std::string> ExtensionLines(const std::vector<std::string>& options, bool* corrupt) {
  std::vector<std::string> lines;
  for (const auto& option : options) {
    if (option == "ca") {
      lines.push_back("basicConstraints = critical,CA:TRUE");
      lines.push_back("keyUsage = critical,keyCertSign,cRLSign");
    } else if (option.rfind("ca-pathlen=", 0) == 0) {
      lines.push_back("basicConstraints = critical,CA:TRUE,pathlen:" + option.substr(11));
      lines.push_back("keyUsage = critical,keyCertSign,cRLSign");
    } else if (option == "endentity") {
      lines.push_back("basicConstraints = CA:FALSE");
    } else if (option.rfind("ext:", 0) == 0) {
      lines.push_back(option.substr(4));
    } else if (option == "ca-nocertsign") {
      lines.push_back("basicConstraints = critical,CA:TRUE");
      lines.push_back("keyUsage = critical,digitalSignature");
    } else if (option == "leaf") {
      lines.push_back("basicConstraints = CA:FALSE");
      lines.push_back("keyUsage = digitalSignature,keyEncipherment");
    } else if (option.rfind("san=", 0) == 0) {
      lines.push_back("subjectAltName = " + option.substr(4));
    } else if (option == "corrupt") {
      *corrupt = true;
    } else if (option != "v1") {
      throw std::runtime_error("unknown option " + option);
    }
  }
  return lines;
}

// Reads the data file, making keys and certificates as it goes; returns the cases.
std::vector<ChainCase> BuildSuite(OpenSslTestCa& ca) {
  std::ifstream in(testing_support::SourceDir() / "security" / "certs" / "testdata" / "chain_cases.txt");
  EXPECT_TRUE(in.good());
  std::vector<ChainCase> cases;
  for (std::string line; std::getline(in, line);) {
    std::stringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty() || w[0][0] == '#') continue;
    if (w[0] == "key" && w.size() == 3) {
      ca.MakeKey(w[1], w[2]);
    } else if (w[0] == "cert" && w.size() >= 8) {
      OpenSslTestCa::CertificateSpec wanted;
      wanted.name = w[1];
      wanted.issuer = w[2];
      wanted.key = w[3];
      wanted.digest = w[4];
      wanted.from_days = std::stoi(w[5]);
      wanted.to_days = std::stoi(w[6]);
      wanted.subject = "/O=Dictalo Tests/CN=" + w[7];
      wanted.extensions = ExtensionLines({w.begin() + 8, w.end()}, &wanted.corrupt_signature);
      ca.Issue(wanted);
    } else if (w[0] == "case" && w.size() == 7) {
      cases.push_back({w[1], w[2], SplitList(w[3]), SplitList(w[4]), static_cast<std::uint32_t>(std::stoul(w[5], nullptr, 16)),
                       w[6] == "accept"});
    } else {
      ADD_FAILURE() << "bad line: " << line;
    }
  }
  return cases;
}

TEST(ChainVerifierTest, ChainSuiteFromOpenSsl) {
  testing_support::ScopedTestHome home;
  OpenSslTestCa ca(home.root() / "ca");
  const std::vector<ChainCase> cases = BuildSuite(ca);
  ASSERT_GE(cases.size(), 70u);
  const double now = CurrentDayNumber();
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + c.name);
    // The trusted certificates as a system bundle, with an empty user folder.
    std::string bundle;
    MemoryCertificateStore trusted_memory;
    for (const auto& name : c.trusted) {
      bundle += ca.Pem(name);
      trusted_memory.Add(Certificate(ca.Der(name)));
    }
    const auto case_dir = home.root() / ("case" + std::to_string(index++));
    std::filesystem::create_directories(case_dir);
    testing_support::WriteFileBytes(case_dir / "bundle.pem", bundle);
    SystemCertificateStore trusted_system({"ROOT"}, {case_dir / "bundle.pem", case_dir / "folders"});
    ASSERT_EQ(trusted_system.Count(), static_cast<int>(c.trusted.size()));

    // Received in the TLS engine's order: the end of the chain first, the server's own last.
    MemoryCertificateStore received;
    for (std::size_t k = c.chain.size(); k-- > 1;) received.Add(Certificate(ca.Der(c.chain[k])));
    if (!c.chain.empty()) received.Add(Certificate(ca.Der(c.chain[0])));

    const AcceptanceResult system_result = CheckServerCertificate(c.host, received, trusted_system, now);
    EXPECT_EQ(system_result.chain_result, c.result) << system_result.reason;
    EXPECT_EQ(system_result.accepted, c.accept) << system_result.reason;
    EXPECT_EQ(system_result.reason.empty(), c.accept);
    const AcceptanceResult memory_result = CheckServerCertificate(c.host, received, trusted_memory, now);
    EXPECT_EQ(memory_result.chain_result, c.result);
    EXPECT_EQ(memory_result.accepted, c.accept);
    if (!c.chain.empty()) {
      EXPECT_EQ(ChainVerifier(trusted_system, received).Verify(Certificate(ca.Der(c.chain[0])), now), c.result);
    }
  }
}

Certificate FromPemFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto blocks = ParsePem(text);
  EXPECT_EQ(blocks.size(), 1u) << path;
  return blocks.empty() ? Certificate() : Certificate(blocks[0].data);
}

// Combinations of constraints across a path, made by a script with the
// openssl command; each case also has its accepted counterpart there.
TEST(ChainVerifierTest, ConstraintCombinationsFromScript) {
  testing_support::ScopedTestHome home;
  const auto dir = home.root() / "constraints";
  const auto script = testing_support::SourceDir() / "security" / "certs" / "testdata" / "constraint_chains.sh";
  const std::string command = "'" + script.string() + "' '" + dir.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(dir / "cases.txt");
  int count = 0;
  int accepted = 0;
  for (std::string line; std::getline(in, line);) {
    std::stringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    ASSERT_EQ(w.size(), 6u) << line;
    SCOPED_TRACE("case " + w[0]);
    MemoryCertificateStore trusted;
    for (const auto& file : SplitList(w[2])) trusted.Add(FromPemFile(dir / file));
    const auto chain = SplitList(w[3]);
    MemoryCertificateStore received;
    for (std::size_t k = chain.size(); k-- > 1;) received.Add(FromPemFile(dir / chain[k]));
    received.Add(FromPemFile(dir / chain[0]));
    const AcceptanceResult result = CheckServerCertificate(w[1], received, trusted, CurrentDayNumber());
    EXPECT_EQ(result.chain_result, std::stoul(w[4], nullptr, 16)) << result.reason;
    EXPECT_EQ(result.accepted, w[5] == "accept") << result.reason;
    ++count;
    accepted += result.accepted ? 1 : 0;
  }
  EXPECT_GE(count, 20);
  EXPECT_GE(accepted, 8);
}

TEST(ChainVerifierTest, DescribesResults) {
  EXPECT_EQ(DescribeChainResult(0), "trusted");
  EXPECT_EQ(DescribeChainResult(kChainIssuerNotFound | kChainExpired),
            "issuer not found among the trusted certificates; certificate expired");
  EXPECT_EQ(DescribeChainResult(kChainNotYetValid), "certificate not yet valid");
  EXPECT_EQ(DescribeChainResult(kChainBadSelfSignature), "self-signed certificate with a bad signature");
  EXPECT_EQ(DescribeChainResult(kChainNameNotPermitted | kChainExpired),
            "name outside the issuer's name constraints; certificate expired");
}

}  // namespace
}  // namespace security
