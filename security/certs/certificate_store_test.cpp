#include "security/certs/certificate_store.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/openssl_test_ca.h"
#include "security/certs/pem.h"
#include "security/certs/system_certificate_store.h"
#include "tests/support/test_environment.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::OpenSslTestCa;

// A small CA: "root" and "impostor" share a name but not a key.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ca_.MakeKey("a", "rsa:1024");
    ca_.MakeKey("b", "rsa:1024");
    const std::vector<std::string> ca_ext = {"basicConstraints = critical,CA:TRUE"};
    ca_.Issue({.name = "root", .key = "a", .subject = "/O=T/CN=Root", .extensions = ca_ext});
    ca_.Issue({.name = "impostor", .key = "b", .subject = "/O=T/CN=Root", .extensions = ca_ext});
    ca_.Issue({.name = "leaf", .issuer = "root", .key = "b", .subject = "/O=T/CN=leaf"});
    ca_.Issue({.name = "expired", .issuer = "root", .key = "b", .subject = "/O=T/CN=old", .from_days = -9, .to_days = -2});
    ca_.Issue({.name = "future", .issuer = "root", .key = "b", .subject = "/O=T/CN=new", .from_days = 2, .to_days = 9});
    ca_.Issue({.name = "self", .key = "b", .subject = "/O=T/CN=self"});
    ca_.Issue({.name = "self_bad", .key = "b", .subject = "/O=T/CN=self", .corrupt_signature = true});
  }

  Certificate Cert(const std::string& name) { return Certificate(ca_.Der(name)); }

  testing_support::ScopedTestHome home_;
  OpenSslTestCa ca_{home_.root() / "ca"};
};

struct VerifyCase {
  const char* certificate;
  std::vector<const char*> stored;
  int status;
  std::uint32_t flags;
};

TEST_F(StoreTest, VerifyStatusesAndFlags) {
  const VerifyCase cases[] = {
      {"leaf", {"root"}, kVerifyStatusIssued, 0},
      {"leaf", {}, kVerifyStatusFailed, kVerifyIssuerNotFound},
      {"leaf", {"impostor"}, kVerifyStatusFailed, kVerifyBadSignature | kVerifyIssuerNotFound},
      // A wrong candidate with the same name before the right one does not spoil the result.
      {"leaf", {"impostor", "root"}, kVerifyStatusIssued, 0},
      {"expired", {"impostor", "root"}, kVerifyStatusFailed, kVerifyExpired},
      {"expired", {"root"}, kVerifyStatusFailed, kVerifyExpired},
      {"future", {"root"}, kVerifyStatusFailed, kVerifyNotYetValid},
      {"self", {}, kVerifyStatusSelfSigned, 0},
      {"self_bad", {"self"}, kVerifyStatusFailed, kVerifyBadSignature},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.certificate + std::string(" against ") + std::to_string(c.stored.size()));
    MemoryCertificateStore store;
    for (const char* name : c.stored) store.Add(Cert(name));
    std::uint32_t flags = 0xffff;
    EXPECT_EQ(store.Verify(Cert(c.certificate), &flags), c.status);
    EXPECT_EQ(flags, c.flags);
  }
}

TEST_F(StoreTest, MemoryStoreKeepsCopiesInOrder) {
  MemoryCertificateStore store;
  Certificate leaf = Cert("leaf");
  const Bytes blob = {1, 2, 3};
  leaf.ImportKeyBlob(blob.data(), blob.size());
  store.Add(Cert("root"));
  store.Add(leaf);
  store.Add(Certificate());  // an unparsable certificate keeps its place
  ASSERT_EQ(store.Count(), 3);
  EXPECT_EQ(store.Get(1)->KeyBlob().ToVector(), blob);
  EXPECT_TRUE(store.Get(2)->IsEmpty());
  EXPECT_EQ(store.Get(3), nullptr);
  EXPECT_EQ(store.FindIssuer(leaf), 0);
  EXPECT_EQ(store.FindIssuer(*store.Get(0)), -1);  // the root itself is not its own issuer
  const CertificatePtr kept = store.Get(0);
  store.Remove(0);
  EXPECT_EQ(kept->Subject().slots[NameFields::kCommonName].text(), "Root");  // still valid after removal
  EXPECT_THROW(store.Remove(5), std::out_of_range);
  MemoryCertificateStore other;
  store.CopyTo(other);
  EXPECT_EQ(other.Count(), 2);
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
}

TEST_F(StoreTest, SystemStoreFolderAndReadOnlyBundle) {
  const auto bundle = home_.root() / "bundle.pem";
  testing_support::WriteFileBytes(bundle, "junk before\n" + ca_.Pem("root") + ca_.Pem("impostor"));
  const SystemStoreLocations locations{bundle, home_.root() / "certificates"};
  SystemCertificateStore store({"ROOT"}, locations);
  EXPECT_EQ(store.Count(), 2);

  store.Add(Cert("self"));
  EXPECT_EQ(store.Count(), 3);
  // The folder's certificates come first; another store object sees the change.
  SystemCertificateStore again({"root"}, locations);
  EXPECT_EQ(again.Get(0)->Subject().slots[NameFields::kCommonName].text(), "self");
  try {
    again.Add(Cert("root"));  // in the bundle
    ADD_FAILURE() << "duplicate added";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Certificate already exists");
  }
  EXPECT_THROW(store.Add(Cert("self")), std::runtime_error);
  const std::string two = ca_.Pem("self") + ca_.Pem("leaf");  // one new, one already there
  EXPECT_EQ(ImportCertificates(Bytes(two.begin(), two.end()), store), 1);
  ASSERT_EQ(store.Count(), 4);
  for (int k = 0; k < 2; ++k) {  // take the imported leaf out again
    if (store.Get(k)->Subject().slots[NameFields::kCommonName].text() == "leaf") {
      store.Remove(k);
      break;
    }
  }
  ASSERT_EQ(store.Count(), 3);
  EXPECT_THROW(store.Remove(1), std::runtime_error);  // bundle entries are read-only
  EXPECT_THROW(store.Remove(3), std::out_of_range);

  // A PEM file dropped into the folder counts too; a left-over temporary does not.
  testing_support::WriteFileBytes(locations.folder / "root" / "extra.pem", ca_.Pem("leaf"));
  testing_support::WriteFileBytes(locations.folder / "root" / ".x.der.tmp", ca_.Read("self.der"));
  EXPECT_EQ(store.Count(), 4);
  std::uint32_t flags = 0;
  EXPECT_EQ(store.Verify(Cert("leaf"), &flags), kVerifyStatusIssued);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(store.FindIssuer(Cert("leaf")), 2);

  store.Remove(0);
  EXPECT_EQ(store.Count(), 3);
  store.Clear();
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(SystemCertificateStore({"CA"}, locations).Count(), 0);
}

TEST_F(StoreTest, LoadsPemDerAndPkcs7) {
  const Bytes root = ca_.Der("root");
  const Bytes leaf = ca_.Der("leaf");
  auto names = [](const std::vector<Certificate>& certificates) {
    std::vector<std::string> out;
    for (const auto& c : certificates) out.emplace_back(c.Subject().slots[NameFields::kCommonName].text());
    return out;
  };
  const std::string pem = ca_.Pem("root") + "comment\n" + EncodePem("PRIVATE KEY", Bytes{1, 2}) + ca_.Pem("leaf");
  EXPECT_EQ(names(LoadCertificates(Bytes(pem.begin(), pem.end()))), (std::vector<std::string>{"Root", "leaf"}));
  EXPECT_EQ(names(LoadCertificates(root)), (std::vector<std::string>{"Root"}));
  EXPECT_EQ(ParsePem(EncodePem("CERTIFICATE", root)).at(0).data, root);

  ca_.Run("crl2pkcs7 -nocrl -certfile root.pem -certfile leaf.pem -outform DER -out bundle.p7b");
  ca_.Run("crl2pkcs7 -nocrl -certfile leaf.pem -out bundle.p7c");
  const std::string p7b = ca_.Read("bundle.p7b");
  const std::string p7c = ca_.Read("bundle.p7c");
  EXPECT_EQ(names(LoadCertificates(Bytes(p7b.begin(), p7b.end()))), (std::vector<std::string>{"Root", "leaf"}));
  EXPECT_EQ(names(LoadCertificates(Bytes(p7c.begin(), p7c.end()))), (std::vector<std::string>{"leaf"}));

  // A "data" ContentInfo carrying a certificate's DER.
  ASSERT_LT(leaf.size(), 65000u);
  auto length = [](std::size_t n) { return Bytes{0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}; };
  Bytes octets = {0x04};
  const Bytes l1 = length(leaf.size());
  octets.insert(octets.end(), l1.begin(), l1.end());
  octets.insert(octets.end(), leaf.begin(), leaf.end());
  Bytes wrapped = {0xa0};
  const Bytes l2 = length(octets.size());
  wrapped.insert(wrapped.end(), l2.begin(), l2.end());
  wrapped.insert(wrapped.end(), octets.begin(), octets.end());
  Bytes body = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x01};
  body.insert(body.end(), wrapped.begin(), wrapped.end());
  Bytes info = {0x30};
  const Bytes l3 = length(body.size());
  info.insert(info.end(), l3.begin(), l3.end());
  info.insert(info.end(), body.begin(), body.end());
  EXPECT_EQ(names(LoadCertificates(info)), (std::vector<std::string>{"leaf"}));
  EXPECT_TRUE(LoadCertificates(Bytes{0x30, 0x00}).empty());
}

}  // namespace
}  // namespace security
