// TlsEngine over scripted transports: the first flight of every version mask
// byte for byte, the handshake against TlsServerFake with records split at
// every size, the client flight's fixed bytes, and every failure path with its
// alert, onError code and onClosed flag.

#include "security/tls/tls_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "security/tls/tls_server_fake.h"

namespace security {
namespace {

using testing::Bytes;
using testing::ScriptedTransportFake;
using testing::TlsServerFake;

std::vector<std::uint16_t> Codes(std::span<const SuiteParams> table) {
  std::vector<std::uint16_t> codes;
  for (const auto& row : table) codes.push_back(row.code);
  return codes;
}

// The suite codes of a plain ClientHello record.
std::vector<std::uint16_t> HelloCodes(const Bytes& record) {
  const std::size_t at = 5 + 4 + 2 + 32 + 1;
  const std::size_t n = static_cast<std::size_t>(record.at(at)) << 8 | record.at(at + 1);
  std::vector<std::uint16_t> codes;
  for (std::size_t k = 0; k < n; k += 2) codes.push_back(static_cast<std::uint16_t>(record[at + 2 + k] << 8 | record[at + 3 + k]));
  return codes;
}

// The codes a hello offers from `table`: all but the anonymous suites, then
// the renegotiation SCSV.
std::vector<std::uint16_t> OfferedFrom(std::span<const SuiteParams> table) {
  std::vector<std::uint16_t> codes;
  for (const auto& row : table) {
    if (row.key_exchange != KeyExchange::kDhAnon) codes.push_back(row.code);
  }
  codes.push_back(0x00FF);
  return codes;
}

TEST(TlsEngineFirstFlightTest, DefaultIsATls12HelloOfferingNoAnonymousSuiteAndTheScsv) {
  // SSL 2.0 framing beside newer versions would let the path hold the
  // connection down to SSL 2.0, so the default mask sends a plain hello.
  TlsEngine engine;
  ScriptedTransportFake link(engine, nullptr);
  engine.Start();
  ASSERT_EQ(link.sent.size(), 1u);
  const Bytes& r = link.sent[0];
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 3), (Bytes{22, 3, 0}));
  EXPECT_EQ(Bytes(r.begin() + 9, r.begin() + 11), (Bytes{3, 3}));
  EXPECT_EQ(HelloCodes(r), OfferedFrom(TlsSuiteTable()));
  EXPECT_EQ(engine.ReaderState(), std::make_pair(3, 11));
  EXPECT_EQ(engine.Wanted(), 5u);
  for (auto code : HelloCodes(r)) {
    const SuiteParams* row = FindSuite(TlsSuiteTable(), code);
    if (row != nullptr) EXPECT_NE(row->key_exchange, KeyExchange::kDhAnon) << code;
  }
}

// The extensions of a plain ClientHello record: type -> data, in order.
std::vector<std::pair<std::uint16_t, Bytes>> HelloExtensions(const Bytes& record) {
  std::size_t at = 5 + 4 + 2 + 32;
  at += 1 + record.at(at);                                       // session id
  at += 2 + (static_cast<std::size_t>(record.at(at)) << 8 | record.at(at + 1));  // suites
  at += 1 + record.at(at);                                       // compression
  std::vector<std::pair<std::uint16_t, Bytes>> out;
  if (at == record.size()) return out;
  const std::size_t end = at + 2 + (static_cast<std::size_t>(record.at(at)) << 8 | record.at(at + 1));
  EXPECT_EQ(end, record.size());
  at += 2;
  while (at + 4 <= end) {
    const auto type = static_cast<std::uint16_t>(record[at] << 8 | record[at + 1]);
    const std::size_t n = static_cast<std::size_t>(record[at + 2]) << 8 | record[at + 3];
    out.emplace_back(type, Bytes(record.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                 record.begin() + static_cast<std::ptrdiff_t>(at + 4 + n)));
    at += 4 + n;
  }
  return out;
}

const Bytes* FindExtension(const std::vector<std::pair<std::uint16_t, Bytes>>& list, std::uint16_t type) {
  for (const auto& [t, data] : list) {
    if (t == type) return &data;
  }
  return nullptr;
}

TEST(TlsEngineFirstFlightTest, Tls12HelloCarriesItsExtensions) {
  TlsEngine engine;
  ScriptedTransportFake link(engine, nullptr);
  engine.SetServerName("mail.example.com");
  engine.Start();
  const auto extensions = HelloExtensions(link.sent.at(0));
  const Bytes* sni = FindExtension(extensions, 0x0000);
  ASSERT_NE(sni, nullptr);
  const std::string name = "mail.example.com";
  Bytes expected = {0x00, static_cast<std::uint8_t>(name.size() + 3), 0x00, 0x00, static_cast<std::uint8_t>(name.size())};
  expected.insert(expected.end(), name.begin(), name.end());
  EXPECT_EQ(*sni, expected);
  ASSERT_NE(FindExtension(extensions, 0x000A), nullptr);
  EXPECT_EQ(*FindExtension(extensions, 0x000A), (Bytes{0x00, 0x06, 0x00, 0x1D, 0x00, 0x17, 0x00, 0x18}));
  ASSERT_NE(FindExtension(extensions, 0x000B), nullptr);
  EXPECT_EQ(*FindExtension(extensions, 0x000B), (Bytes{0x01, 0x00}));
  ASSERT_NE(FindExtension(extensions, 0x0017), nullptr);
  EXPECT_TRUE(FindExtension(extensions, 0x0017)->empty());
  const Bytes* schemes = FindExtension(extensions, 0x000D);
  ASSERT_NE(schemes, nullptr);
  for (std::uint16_t scheme : {0x0403, 0x0503, 0x0804, 0x0401}) {
    bool found = false;
    for (std::size_t k = 2; k + 1 < schemes->size(); k += 2) found |= ((*schemes)[k] << 8 | (*schemes)[k + 1]) == scheme;
    EXPECT_TRUE(found) << scheme;
  }
  // The SCSV stands for renegotiation_info; the two are never both sent.
  EXPECT_EQ(FindExtension(extensions, 0xFF01), nullptr);
  EXPECT_EQ(HelloCodes(link.sent.at(0)).back(), 0x00FF);
  // AEAD suites lead the offer.
  const auto codes = HelloCodes(link.sent.at(0));
  ASSERT_GE(codes.size(), 6u);
  for (std::size_t k = 0; k < 6; ++k) EXPECT_TRUE(FindSuite(TlsSuiteTable(), codes[k])->IsAead()) << codes[k];
}

TEST(TlsEngineFirstFlightTest, ServerNameOnlyForHostNames) {
  // A fully qualified name's trailing dot is not part of the name servers know.
  {
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr);
    engine.SetServerName("mail.example.com.");
    engine.Start();
    const auto extensions = HelloExtensions(link.sent.at(0));
    const Bytes* sni = FindExtension(extensions, 0x0000);
    ASSERT_NE(sni, nullptr);
    ASSERT_GE(sni->size(), 5u);
    EXPECT_EQ(std::string(sni->begin() + 5, sni->end()), "mail.example.com");
    EXPECT_EQ((*sni)[1], 16 + 3);
  }
  for (const char* host : {"192.0.2.7", "192.0.2.7.", "::1", "2001:db8::1", "", "."}) {
    SCOPED_TRACE(host);
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr);
    engine.SetServerName(host);
    engine.Start();
    EXPECT_EQ(FindExtension(HelloExtensions(link.sent.at(0)), 0x0000), nullptr);
  }
}

TEST(TlsEngineFirstFlightTest, LowerHighestVersionsOfferLess) {
  // TLS 1.0 as the highest: the hello of old, without extensions or TLS 1.2 suites.
  TlsEngine tls10;
  ScriptedTransportFake link10(tls10, nullptr);
  tls10.SetVersionMask(kProtocolTls1);
  tls10.SetHighestTlsVersion(0x0301);
  tls10.Start();
  const Bytes& r10 = link10.sent.at(0);
  EXPECT_EQ(Bytes(r10.begin() + 9, r10.begin() + 11), (Bytes{3, 1}));
  EXPECT_TRUE(HelloExtensions(r10).empty());
  for (auto code : HelloCodes(r10)) {
    const SuiteParams* row = FindSuite(TlsSuiteTable(), code);
    if (row != nullptr) EXPECT_LT(row->catalogue, kSuiteCatalogueSize) << code;
  }
  // TLS 1.1: extensions and ECDHE with CBC, but no suite that needs TLS 1.2.
  TlsEngine tls11;
  ScriptedTransportFake link11(tls11, nullptr);
  tls11.SetHighestTlsVersion(0x0302);
  tls11.Start();
  const Bytes& r11 = link11.sent.at(0);
  EXPECT_EQ(Bytes(r11.begin() + 9, r11.begin() + 11), (Bytes{3, 2}));
  EXPECT_EQ(FindExtension(HelloExtensions(r11), 0x000D), nullptr) << "signature_algorithms is TLS 1.2's";
  const auto codes = HelloCodes(r11);
  EXPECT_NE(std::find(codes.begin(), codes.end(), 0xC013), codes.end());
  for (auto code : codes) {
    const SuiteParams* row = FindSuite(TlsSuiteTable(), code);
    if (row != nullptr) EXPECT_FALSE(row->tls12_only) << code;
  }
  EXPECT_THROW(tls11.SetHighestTlsVersion(0x0304), std::invalid_argument);
  // Strong only keeps every TLS 1.2 suite and drops the weak old ones.
  TlsEngine strong;
  ScriptedTransportFake link_strong(strong, nullptr);
  strong.ApplyStrongOnlyFilter(true);
  strong.Start();
  const auto strong_codes = HelloCodes(link_strong.sent.at(0));
  EXPECT_NE(std::find(strong_codes.begin(), strong_codes.end(), 0xCCA8), strong_codes.end());
  EXPECT_EQ(std::find(strong_codes.begin(), strong_codes.end(), 0x0009), strong_codes.end());
}

TEST(TlsEngineFirstFlightTest, StrongOnlySsl30ListKeepsTenSuitesInOrder) {
  TlsEngine engine;
  ScriptedTransportFake link(engine, nullptr);
  engine.SetVersionMask(kProtocolSsl3);
  engine.ApplyStrongOnlyFilter(true);
  engine.Start();
  const Bytes& r = link.sent.at(0);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 3), (Bytes{22, 3, 0}));
  EXPECT_EQ(Bytes(r.begin() + 9, r.begin() + 11), (Bytes{3, 0}));
  // The two strong anonymous suites (0x0018, 0x001B) are never offered.
  const std::vector<std::uint16_t> expected = {0x0004, 0x0005, 0x0007, 0x000A, 0x0016,
                                               0x0013, 0x0010, 0x000D, 0x00FF};
  EXPECT_EQ(HelloCodes(r), expected);
  EXPECT_EQ(r.at(r.size() - 2), 1);  // one compression method, null
  EXPECT_EQ(r.back(), 0);
  EXPECT_EQ(engine.ReaderState(), std::make_pair(3, 0));
  EXPECT_EQ(engine.Wanted(), 5u);
}

TEST(TlsEngineFirstFlightTest, EveryMaskSendsItsHelloAndSetsItsReaderState) {
  struct Case {
    int mask;
    bool ssl2_framing;
    Bytes version;  // of the hello
    std::size_t offered;  // suites or kinds
    std::pair<int, int> reader;
    std::size_t wanted;
    std::uint8_t record_minor;
  } cases[] = {
      {1, true, {0, 2}, 7 + 1, {2, 0}, 2, 0},
      {3, false, {3, 0}, OfferedFrom(Ssl3SuiteTable()).size(), {3, 0}, 5, 0},
      {7, false, {3, 3}, OfferedFrom(TlsSuiteTable()).size(), {3, 11}, 5, 0},
      {2, false, {3, 0}, OfferedFrom(Ssl3SuiteTable()).size(), {3, 0}, 5, 0},
      {4, false, {3, 3}, OfferedFrom(TlsSuiteTable()).size(), {3, 1}, 5, 1},
      {5, false, {3, 3}, OfferedFrom(TlsSuiteTable()).size(), {3, 1}, 5, 1},
      {6, false, {3, 3}, OfferedFrom(Ssl3SuiteTable()).size(), {3, 11}, 5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr);
    engine.SetVersionMask(c.mask);
    engine.Start();
    const Bytes& r = link.sent.at(0);
    if (c.ssl2_framing) {
      EXPECT_NE(r[0] & 0x80, 0);
      EXPECT_EQ(Bytes(r.begin() + 3, r.begin() + 5), c.version);
      EXPECT_EQ(static_cast<std::size_t>(r[5] << 8 | r[6]), 3 * c.offered);
    } else {
      EXPECT_EQ(r[2], c.record_minor);
      EXPECT_EQ(Bytes(r.begin() + 9, r.begin() + 11), c.version);
      EXPECT_EQ(HelloCodes(r).size(), c.offered);
    }
    EXPECT_EQ(engine.ReaderState(), c.reader);
    EXPECT_EQ(engine.Wanted(), c.wanted);
  }
  for (int bad : {0, 8}) {
    TlsEngine engine;
    engine.SetVersionMask(bad);
    EXPECT_THROW(engine.Start(), TlsException) << bad;
  }
}

TEST(TlsEngineFirstFlightTest, SuiteIndexOutsideTheCatalogueIsRefused) {
  TlsEngine engine;
  try {
    engine.SetSuiteEnabled(44, true);
    FAIL();
  } catch (const TlsException& e) {
    EXPECT_STREQ(e.what(), "Unknown cipher suite code 0.0.44");
  }
  EXPECT_THROW((void)engine.IsSuiteEnabled(-1), TlsException);
  engine.SetSuiteEnabled(43, false);
  EXPECT_FALSE(engine.IsSuiteEnabled(43));
}

struct HandshakeCase {
  int mask;
  std::uint16_t server_version;
  std::uint16_t suite;
  int protocol;
};

TEST(TlsEngineHandshakeTest, CompletesAndCarriesDataWithRecordsSplitAnywhere) {
  const HandshakeCase cases[] = {
      {4, 0x0301, 0x0004, kProtocolTls1},  // RC4-MD5
      {7, 0x0301, 0x002F, kProtocolTls1},  // AES, default mask
      {6, 0x0300, 0x000A, kProtocolSsl3},  // 3.1 hello answered as 3.0
      {6, 0x0301, 0x0005, kProtocolTls1},
      {3, 0x0300, 0x0016, kProtocolSsl3},  // DHE-RSA 3DES
      {7, 0x0300, 0x0013, kProtocolSsl3},  // DHE, SSL 3.0 answer to the default hello
      {5, 0x0301, 0x0033, kProtocolTls1},  // DHE-RSA AES, SSL 2.0 enabled beside TLS 1.0
      {2, 0x0300, 0x0003, kProtocolSsl3},  // export RC4 40
      {4, 0x0301, 0x0008, kProtocolTls1},  // export DES 40
  };
  for (const auto& c : cases) {
    for (std::size_t piece : {1, 2, 3, 5, 7, 16, 1000, 1 << 20}) {
      SCOPED_TRACE(::testing::Message() << "mask " << c.mask << " suite " << c.suite << " piece " << piece);
      TlsEngine engine;
      TlsServerFake server({c.server_version, c.suite});
      ScriptedTransportFake link(engine, &server, piece);
      engine.SetVersionMask(c.mask);
      ASSERT_TRUE(link.Handshake());
      EXPECT_EQ(engine.Protocol(), c.protocol);
      ASSERT_NE(engine.NegotiatedSuite(), nullptr);
      EXPECT_EQ(engine.NegotiatedSuite()->code, c.suite);
      EXPECT_EQ(link.established_calls, 1);
      server.SendApplicationData("220 ready\r\n");
      link.PumpAll();
      EXPECT_EQ(link.data, "220 ready\r\n");
      const std::string line = "EHLO client\r\n";
      ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
      EXPECT_EQ(server.application_data(), line);
      EXPECT_TRUE(link.errors.empty());
    }
  }
}

TEST(TlsEngineHandshakeTest, WriteSplitsIntoRecordsOf4096AndLeavesTheCallersBytes) {
  // CBC records go out 1/n-1 (the first byte alone) in TLS 1.0 and SSL 3.0,
  // so that no record starts with blocks the path could choose; RC4 records
  // are not split.
  struct Case {
    std::uint16_t version;
    std::uint16_t suite;
    std::vector<std::size_t> lengths;
  } cases[] = {
      {0x0301, 0x002F, {1, 4095, 1, 4095, 1, 1807}},
      {0x0300, 0x000A, {1, 4095, 1, 4095, 1, 1807}},
      {0x0301, 0x0005, {4096, 4096, 1808}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.suite);
    TlsEngine engine;
    TlsServerFake server({c.version, c.suite});
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(c.version == 0x0300 ? kProtocolSsl3 : kProtocolTls1);
    ASSERT_TRUE(link.Handshake());
    std::vector<std::uint8_t> data(10000);
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(k * 7);
    const auto copy = data;
    const std::size_t before = link.sent.size();
    ASSERT_TRUE(engine.Write(data.data(), data.size()));
    EXPECT_EQ(link.sent.size(), before + c.lengths.size());
    EXPECT_EQ(server.application_record_lengths, c.lengths);
    EXPECT_EQ(data, copy);
    EXPECT_EQ(server.application_data(), std::string(copy.begin(), copy.end()));
  }
}

TEST(TlsEngineHandshakeTest, RsaPreMasterCarriesTheOfferedVersionInItsFixedBlock) {
  struct Case {
    int mask;
    std::uint16_t server_version;
    Bytes version;
    Bytes lead;
    Bytes tail;
  } cases[] = {
      {6, 0x0300, {3, 3}, {0x00, 0x02, 0xFE, 0xDC}, {0x73, 0x27, 0x39, 0x00}},
      {2, 0x0300, {3, 0}, {0x00, 0x02, 0xFE, 0xDC}, {0x73, 0x27, 0x39, 0x00}},
      {3, 0x0300, {3, 0}, {0x00, 0x02, 0xFE, 0xDC}, {0x73, 0x27, 0x39, 0x00}},
      {4, 0x0301, {3, 3}, {0x00, 0x02, 0x12, 0x34}, {0xFF, 0x32, 0x70, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    TlsEngine engine;
    TlsServerFake server({c.server_version, 0x0004});
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(c.mask);
    ASSERT_TRUE(link.Handshake());
    const Bytes& block = server.client_key_exchange_block();
    EXPECT_EQ(Bytes(server.pre_master().begin(), server.pre_master().begin() + 2), c.version);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), c.lead);
    EXPECT_EQ(Bytes(block.end() - 52, block.end() - 48), c.tail);
    for (std::size_t k = 4; k < block.size() - 52; ++k) EXPECT_NE(block[k], 0) << k;
  }
}

TEST(TlsEngineHandshakeTest, ChainIsPassedFromItsFarEndToTheServersOwn) {
  TlsEngine engine;
  TlsServerFake server({0x0301, 0x0004, {"leaf.crt", "mid.crt", "ca.crt"}});
  ScriptedTransportFake link(engine, &server);
  engine.SetVersionMask(kProtocolTls1);
  ASSERT_TRUE(link.Handshake());
  EXPECT_EQ(link.peer_subjects, (std::vector<std::string>{"CN=Chain Root", "CN=Chain Intermediate", "CN=Chain Leaf"}));

  TlsEngine single;
  TlsServerFake one({0x0301, 0x0004});
  ScriptedTransportFake single_link(single, &one);
  ASSERT_TRUE(single_link.Handshake());
  EXPECT_EQ(single_link.peer_subjects, std::vector<std::string>{"CN=localhost"});
}

TEST(TlsEngineHandshakeTest, RefusedCertificateSendsBadCertificate) {
  TlsEngine engine;
  TlsServerFake server({0x0301, 0x0004});
  ScriptedTransportFake link(engine, &server);
  link.refuse_certificates = true;
  EXPECT_FALSE(link.Handshake());
  EXPECT_EQ(link.errors, std::vector<int>{42});
  EXPECT_EQ(link.closed, std::vector<int>{0});
  EXPECT_EQ(server.alerts, (std::vector<std::pair<int, int>>{{2, 42}}));
}

TEST(TlsEngineHandshakeTest, RequestedCertificateEmptyInTlsError120InSsl3) {
  TlsEngine tls_engine;
  TlsServerFake tls_server({0x0301, 0x0004, {"server.crt"}, "server.key", true});
  ScriptedTransportFake tls(tls_engine, &tls_server);
  tls_engine.SetVersionMask(kProtocolTls1);
  EXPECT_TRUE(tls.Handshake());
  EXPECT_TRUE(tls_server.certificate_message_seen());
  EXPECT_EQ(tls_server.client_certificate_list(), (Bytes{0, 0, 0}));
  EXPECT_EQ(tls.certificate_types, std::vector<int>{0});

  TlsEngine ssl3_engine;
  TlsServerFake ssl3_server({0x0300, 0x0004, {"server.crt"}, "server.key", true});
  ScriptedTransportFake ssl3(ssl3_engine, &ssl3_server);
  ssl3_engine.SetVersionMask(kProtocolSsl3);
  EXPECT_FALSE(ssl3.Handshake());
  EXPECT_EQ(ssl3.errors, std::vector<int>{120});
  EXPECT_EQ(ssl3.closed, (std::vector<int>{1, 0}));
  EXPECT_EQ(ssl3_server.alerts, (std::vector<std::pair<int, int>>{{1, 41}, {1, 0}}));
  EXPECT_EQ(TlsErrorFromAlert(120), 0x80C50078u);
}

TEST(TlsEngineHandshakeTest, ClientCertificateIsSentAndVerifies) {
  for (std::uint16_t version : {0x0300, 0x0301}) {
    SCOPED_TRACE(version);
    TlsEngine engine;
    TlsServerFake server({version, 0x0005, {"server.crt"}, "server.key", true});
    ScriptedTransportFake link(engine, &server);
    link.SetClientCertificate("client.crt", "client.key");
    engine.SetVersionMask(version == 0x0300 ? kProtocolSsl3 : kProtocolTls1);
    ASSERT_TRUE(link.Handshake());
    EXPECT_TRUE(server.certificate_verify_good());
    EXPECT_NE(std::find(link.traces.begin(), link.traces.end(), kTraceCertificateVerify), link.traces.end());
  }
}

TEST(TlsEngineHandshakeTest, FaultyClientKeySendsNoCertificateVerify) {
  // A signature made with a wrong CRT value gives the key away to whoever
  // sees it next to a right one; the engine checks before sending.
  for (std::uint16_t version : {0x0300, 0x0301}) {
    SCOPED_TRACE(version);
    TlsEngine engine;
    TlsServerFake server({version, 0x0005, {"server.crt"}, "server.key", true});
    ScriptedTransportFake link(engine, &server);
    link.SetClientCertificate("client.crt", "client.key");
    RsaPrivateKey faulty = testing::TestKey("client.key");
    faulty.exponent1 = faulty.exponent1 + BigNumber(2);
    link.client_key = EncodeRsaPrivateKeyBlob(faulty);
    engine.SetVersionMask(version == 0x0300 ? kProtocolSsl3 : kProtocolTls1);
    EXPECT_FALSE(link.Handshake());
    EXPECT_EQ(link.errors, std::vector<int>{80});
    EXPECT_EQ(link.closed, std::vector<int>{0});
    EXPECT_FALSE(server.certificate_verify_good());
    EXPECT_EQ(std::find(link.traces.begin(), link.traces.end(), kTraceCertificateVerify), link.traces.end());
  }
}

TEST(TlsEngineHandshakeTest, ServerKeyExchangeSignatureIsChecked) {
  struct Case {
    std::uint16_t version;
    int mask;
    int code;
  } cases[] = {{0x0301, kProtocolTls1, 51}, {0x0300, kProtocolSsl3, 40}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    TlsServerFake::Options options{c.version, 0x0016};
    options.corrupt_key_exchange_signature = true;
    TlsEngine engine;
    TlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(c.mask);
    EXPECT_FALSE(link.Handshake());
    EXPECT_EQ(link.errors, std::vector<int>{c.code});
    EXPECT_EQ(link.closed, std::vector<int>{0});
    EXPECT_EQ(server.alerts, (std::vector<std::pair<int, int>>{{2, c.code}}));
    EXPECT_EQ(server.pre_master().size(), 0u) << "no key exchange after a bad signature";
  }
}

TEST(TlsEngineHandshakeTest, FinishedMismatchEndsTheHandshake) {
  struct Case {
    std::uint16_t version;
    int mask;
    int code;
  } cases[] = {{0x0301, kProtocolTls1, 51}, {0x0300, kProtocolSsl3, 40}};
  for (const auto& c : cases) {
    TlsServerFake::Options options{c.version, 0x0004};
    options.corrupt_finished = true;
    TlsEngine engine;
    TlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(c.mask);
    EXPECT_FALSE(link.Handshake());
    EXPECT_EQ(link.errors, std::vector<int>{c.code});
    EXPECT_EQ(link.closed, std::vector<int>{0});
    EXPECT_EQ(link.established_calls, 0);
  }
}

TEST(TlsEngineRecordTest, PlainTextGreetingOnTlsPortIsBadRecordMac) {
  for (const std::string greeting : {"220 mail.example.org ESMTP\r\n", "+OK POP3 ready\r\n"}) {
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr);
    engine.SetVersionMask(kProtocolTls1);
    engine.Start();
    link.Script(Bytes(greeting.begin(), greeting.end()));
    link.PumpAll();
    EXPECT_EQ(link.errors, std::vector<int>{20});
    EXPECT_EQ(link.closed, std::vector<int>{0});
    EXPECT_EQ(link.sent.back(), (Bytes{21, 3, 1, 0, 2, 2, 20}));
    EXPECT_FALSE(engine.IsSessionOpen());
  }
}

TEST(TlsEngineRecordTest, ReceivedAlertsEndTheSessionWithTheirCode) {
  struct Case {
    Bytes alert;
    std::vector<int> errors;
    std::vector<int> closed;
  } cases[] = {
      {{21, 3, 1, 0, 2, 2, 48}, {48}, {0}},
      {{21, 3, 1, 0, 2, 1, 0}, {}, {1}},  // warning close_notify
      {{21, 3, 1, 0, 2, 2, 40}, {40}, {0}},
  };
  for (const auto& c : cases) {
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr, 3);
    engine.SetVersionMask(kProtocolTls1);
    engine.Start();
    link.Script(c.alert);
    link.PumpAll();
    EXPECT_EQ(link.errors, c.errors);
    EXPECT_EQ(link.closed, c.closed);
  }
  EXPECT_EQ(TlsErrorFromAlert(48), 0x80C50030u);
}

TEST(TlsEngineRecordTest, BadPaddingIsReportedExactlyLikeABadMac) {
  using Spoil = TlsServerFake::Spoil;
  struct Case {
    std::uint16_t version;
    std::uint16_t suite;
    Spoil spoil;
    std::vector<int> errors;  // empty: accepted
  } cases[] = {
      {0x0301, 0x002F, Spoil::kMac, {20}},
      {0x0301, 0x002F, Spoil::kPaddingByte, {20}},
      {0x0301, 0x002F, Spoil::kPaddingLength, {20}},
      {0x0301, 0x002F, Spoil::kLongPadding, {}},   // TLS allows padding beyond a block
      {0x0300, 0x000A, Spoil::kMac, {20}},
      {0x0300, 0x000A, Spoil::kPaddingByte, {}},   // SSL 3.0 padding bytes are arbitrary
      {0x0300, 0x000A, Spoil::kPaddingLength, {20}},
      {0x0300, 0x000A, Spoil::kLongPadding, {0}},  // beyond block size - 1
      {0x0301, 0x0004, Spoil::kMac, {20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.version << " " << c.suite << " " << static_cast<int>(c.spoil));
    TlsEngine engine;
    TlsServerFake server({c.version, c.suite});
    ScriptedTransportFake link(engine, &server);
    engine.SetVersionMask(c.version == 0x0300 ? kProtocolSsl3 : kProtocolTls1);
    ASSERT_TRUE(link.Handshake());
    server.SendSpoiltRecord(23, Bytes(40, 'x'), c.spoil);
    link.PumpAll();
    EXPECT_EQ(link.errors, c.errors);
    if (c.errors.empty()) {
      EXPECT_EQ(link.data, std::string(40, 'x'));
    } else {
      EXPECT_EQ(link.closed, std::vector<int>{0});
      EXPECT_TRUE(link.data.empty());
    }
  }
}

Bytes Joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The handshake record's content sent again as one record per byte.
Bytes OneBytePerRecord(const Bytes& record) {
  Bytes out;
  for (std::size_t i = 5; i < record.size(); ++i) out.insert(out.end(), {record[0], record[1], record[2], 0, 1, record[i]});
  return out;
}

TEST(TlsEngineRecordTest, MessagesOutOfPlaceOrTooLongAreRefused) {
  // ServerHello body: version, random, empty session id, suite, compression.
  auto server_hello = [](std::uint8_t minor, std::uint16_t suite, std::size_t claimed_extra, std::size_t sid) {
    Bytes body = {3, minor};
    body.insert(body.end(), 32, 0x11);
    body.push_back(static_cast<std::uint8_t>(sid));
    body.insert(body.end(), sid, 0x22);
    body.insert(body.end(), {static_cast<std::uint8_t>(suite >> 8), static_cast<std::uint8_t>(suite), 0});
    Bytes message = {2, 0, 0, static_cast<std::uint8_t>(body.size() + claimed_extra)};
    message.insert(message.end(), body.begin(), body.end());
    Bytes record = {22, 3, minor, 0, static_cast<std::uint8_t>(message.size())};
    record.insert(record.end(), message.begin(), message.end());
    return record;
  };
  struct Case {
    const char* what;
    int mask;
    Bytes script;
    std::vector<int> errors;
    Bytes alert;  // the last record sent
  } cases[] = {
      {"message longer than the handshake can hold, TLS", 4, {22, 3, 1, 0, 4, 2, 1, 0, 1}, {50}, {21, 3, 1, 0, 2, 2, 50}},
      {"change_cipher_spec between the pieces of a message", 4, Joined(server_hello(1, 4, 10, 0), {20, 3, 1, 0, 1, 1}),
       {10}, {21, 3, 1, 0, 2, 2, 10}},
      {"alert between the pieces of a message header", 4, {22, 3, 1, 0, 2, 2, 0, 21, 3, 1, 0, 2, 1, 0}, {10},
       {21, 3, 1, 0, 2, 2, 10}},
      {"message longer than its record, SSL 3.0", 2, server_hello(0, 4, 10, 0), {40}, {21, 3, 0, 0, 2, 2, 40}},
      {"TLS ServerHello of version 3.0", 4, server_hello(0, 4, 0, 0), {47}, {21, 3, 1, 0, 2, 2, 47}},
      // The same, one byte per record: joined, then judged like the whole.
      {"TLS ServerHello of version 3.0 in one-byte records", 4, OneBytePerRecord(server_hello(0, 4, 0, 0)), {47},
       {21, 3, 1, 0, 2, 2, 47}},
      {"session id of 33 bytes", 4, server_hello(1, 4, 0, 33), {47}, {21, 3, 1, 0, 2, 2, 47}},
      {"HelloRequest, TLS", 4, {22, 3, 1, 0, 4, 0, 0, 0, 0}, {10}, {21, 3, 1, 0, 2, 2, 10}},
      {"HelloRequest, SSL 3.0", 2, {22, 3, 0, 0, 4, 0, 0, 0, 0}, {40}, {21, 3, 0, 0, 2, 2, 40}},
      {"change_cipher_spec before the handshake", 4, {20, 3, 1, 0, 1, 1}, {10}, {21, 3, 1, 0, 2, 2, 10}},
      {"application data before the handshake", 4, {23, 3, 1, 0, 2, 'h', 'i'}, {10}, {21, 3, 1, 0, 2, 2, 10}},
      {"suite that was not offered", 4, server_hello(1, 0x0009, 0, 0), {47}, {21, 3, 1, 0, 2, 2, 47}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TlsEngine engine;
    ScriptedTransportFake link(engine, nullptr);
    engine.SetVersionMask(c.mask);
    if (std::string(c.what) == "suite that was not offered") engine.ApplyStrongOnlyFilter(true);
    engine.Start();
    link.Script(c.script);
    link.PumpAll();
    EXPECT_EQ(link.errors, c.errors);
    EXPECT_EQ(link.closed, std::vector<int>{0});
    EXPECT_EQ(link.sent.back(), c.alert);
    EXPECT_FALSE(engine.IsEstablished());
  }
}

TEST(TlsEngineRecordTest, UnknownSuiteCodeRaisesItsText) {
  TlsEngine engine;
  ScriptedTransportFake link(engine, nullptr);
  engine.SetVersionMask(kProtocolTls1);
  engine.Start();
  Bytes body = {3, 1};
  body.insert(body.end(), 32, 0);
  body.insert(body.end(), {0, 0x00, 0xFF, 0});
  Bytes record = {22, 3, 1, 0, static_cast<std::uint8_t>(body.size() + 4), 2, 0, 0, static_cast<std::uint8_t>(body.size())};
  record.insert(record.end(), body.begin(), body.end());
  link.Script(record);
  try {
    link.PumpAll();
    FAIL() << "no exception";
  } catch (const TlsException& e) {
    EXPECT_STREQ(e.what(), "Unknown cipher suite code 0.0.255");
  }
  EXPECT_FALSE(engine.IsSessionOpen());
}

TEST(TlsEngineBufferSetTest, SharedSetServesOneConnectionAtATime) {
  TlsBufferSet set;
  TlsEngine first(&set);
  TlsEngine second(&set);
  first.SetVersionMask(kProtocolTls1);
  second.SetVersionMask(kProtocolTls1);
  first.Start();
  EXPECT_THROW(second.Start(), TlsException) << "the same thread would wait for ever";
  std::atomic<bool> started{false};
  std::thread other([&] {
    second.Start();
    started = true;
    second.Close();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(started) << "the second connection waits for the first";
  first.Close();
  other.join();
  EXPECT_TRUE(started);
}

TEST(TlsEngineBufferSetTest, AnEndedConnectionLeavesNothingInTheSharedBuffers) {
  // The next connection (of any engine) gets these buffers: no transcript,
  // record or key material of this one may stay in them.
  auto all_zero = [](const std::uint8_t* p, std::size_t n) { return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; }); };
  for (bool orderly : {true, false}) {
    SCOPED_TRACE(orderly);
    TlsBufferSet set;
    TlsEngine engine(&set);
    TlsServerFake::Options options{0x0301, 0x002F};
    options.corrupt_finished = !orderly;
    TlsServerFake server(options);
    ScriptedTransportFake link(engine, &server);
    EXPECT_EQ(link.Handshake(), orderly);
    if (orderly) {
      server.SendApplicationData("250 secret reply\r\n");
      link.PumpAll();
      ASSERT_TRUE(engine.Write(reinterpret_cast<const std::uint8_t*>("AUTH PLAIN c2VjcmV0\r\n"), 22));
      engine.Close();
    }
    EXPECT_FALSE(engine.IsSessionOpen());
    EXPECT_TRUE(all_zero(set.Transcript(), TlsBufferSet::kTranscriptSize));
    EXPECT_TRUE(all_zero(set.Receive(), TlsBufferSet::kReceiveSize));
    EXPECT_TRUE(all_zero(set.Send(), TlsBufferSet::kSendSize));
    EXPECT_TRUE(all_zero(set.Scratch(), TlsBufferSet::kScratchSize));
  }
}

TEST(TlsEngineBufferSetTest, CloseSendsCloseNotifyAndReportsAnOrderlyEnd) {
  TlsEngine engine;
  TlsServerFake server({0x0301, 0x0005});
  ScriptedTransportFake link(engine, &server);
  ASSERT_TRUE(link.Handshake());
  engine.Close();
  EXPECT_EQ(server.alerts, (std::vector<std::pair<int, int>>{{1, 0}}));
  EXPECT_EQ(link.closed, std::vector<int>{1});
  EXPECT_FALSE(engine.IsEstablished());
  EXPECT_FALSE(engine.Write(reinterpret_cast<const std::uint8_t*>("x"), 1));
}

}  // namespace
}  // namespace security
