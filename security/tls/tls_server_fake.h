#pragma once
// Test support (header only): TlsServerFake, the server side of an SSL 3.0 /
// TLS 1.0 handshake for the engine's scripted-transport tests, and
// ScriptedTransportFake, which connects a TlsEngine to scripted server bytes
// delivered in pieces of a chosen size.
//
// Real servers are in the integration tests; this fake exists for what they
// cannot do on demand: corrupt a padding, a MAC or a signature, reorder
// messages, or cut records at every offset. It handles RSA, ephemeral DH and
// anonymous DH suites, optional client certificates, and echoes nothing: the
// application data it receives is kept for the test to read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "security/crypto/big_number.h"
#include "security/certs/certificate.h"
#include "security/certs/certificate_loader.h"
#include "security/crypto/dh.h"
#include "security/crypto/md5.h"
#include "security/crypto/rsa.h"
#include "security/crypto/sha1.h"
#include "security/tls/tls_client_credentials.h"
#include "security/tls/tls_engine.h"
#include "security/tls/tls_key_derivation.h"
#include "security/tls/tls_record_protection.h"
#include "security/tls/tls_suites.h"
#include "tests/support/test_environment.h"

namespace security::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadTlsTestFile(const std::string& name) {
  std::ifstream in(testing_support::SourceDir() / "security" / "tls" / "testdata" / name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Certificate TestCertificate(const std::string& name) { return LoadCertificates(ReadTlsTestFile(name)).at(0); }

inline RsaPrivateKey TestKey(const std::string& name) { return *LoadRsaPrivateKey(ReadTlsTestFile(name)); }

// The 1024-bit MODP group of RFC 2409 (second Oakley group).
inline BigNumber TestDhPrime() {
  return BigNumber::FromHex(
      "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
      "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A637ED6B0BFF5CB6F406B7ED"
      "EE386BFB5A899FA5AE9F24117C4B1FE649286651ECE65381FFFFFFFFFFFFFFFF");
}

inline void Put16(Bytes& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
inline void Put24(Bytes& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  Put16(out, v);
}

class TlsServerFake {
 public:
  struct Options {
    std::uint16_t version = 0x0301;  // 0x0300 answers as SSL 3.0
    std::uint16_t suite = 0x0004;
    std::vector<std::string> chain = {"server.crt"};  // the server's own first
    std::string key = "server.key";
    bool request_certificate = false;
    bool corrupt_key_exchange_signature = false;
    bool corrupt_finished = false;
  };

  explicit TlsServerFake(Options options) : options_(std::move(options)), key_(TestKey(options_.key)) {
    ssl3_ = options_.version == 0x0300;
    suite_ = FindSuite(ssl3_ ? Ssl3SuiteTable() : TlsSuiteTable(), options_.suite);
    EXPECT_NE(suite_, nullptr) << "suite not in the table";
    for (int k = 0; k < 32; ++k) server_random_[k] = static_cast<std::uint8_t>(0xA0 + k);
  }

  // Bytes from the client; replies are queued in Output().
  void FromClient(const std::uint8_t* bytes, std::size_t length) {
    in_.insert(in_.end(), bytes, bytes + length);
    while (true) {
      if (in_.empty()) return;
      if (!hello_seen_ && (in_[0] & 0x80) != 0) {
        if (in_.size() < 2) return;
        const std::size_t n = static_cast<std::size_t>(in_[0] & 0x7f) << 8 | in_[1];
        if (in_.size() < 2 + n) return;
        Bytes body(in_.begin() + 2, in_.begin() + 2 + static_cast<std::ptrdiff_t>(n));
        in_.erase(in_.begin(), in_.begin() + 2 + static_cast<std::ptrdiff_t>(n));
        HandleCompatibleHello(body);
        continue;
      }
      if (in_.size() < 5) return;
      const std::size_t n = static_cast<std::size_t>(in_[3]) << 8 | in_[4];
      if (in_.size() < 5 + n) return;
      const std::uint8_t type = in_[0];
      record_versions.push_back(static_cast<std::uint16_t>(in_[1] << 8 | in_[2]));
      Bytes fragment(in_.begin() + 5, in_.begin() + 5 + static_cast<std::ptrdiff_t>(n));
      in_.erase(in_.begin(), in_.begin() + 5 + static_cast<std::ptrdiff_t>(n));
      HandleRecord(type, fragment);
    }
  }

  Bytes TakeOutput() { return std::exchange(out_, {}); }

  // Records sent to the client after the handshake.
  void SendApplicationData(const std::string& text) {
    SendRecord(23, Bytes(text.begin(), text.end()));
  }
  void SendAlert(std::uint8_t level, std::uint8_t description) { SendRecord(21, {level, description}); }
  // A protected record whose padding or MAC is spoilt on purpose.
  enum class Spoil { kNone, kPaddingByte, kPaddingLength, kMac, kLongPadding };
  void SendSpoiltRecord(std::uint8_t type, const Bytes& content, Spoil spoil) { SendRecord(type, content, spoil); }
  void SendRaw(const Bytes& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

  bool established() const { return established_; }
  const std::string& application_data() const { return application_data_; }
  const Bytes& client_hello() const { return client_hello_; }
  bool compatible_hello() const { return compatible_hello_; }
  const Bytes& pre_master() const { return pre_master_; }
  const Bytes& client_key_exchange_block() const { return cke_block_; }
  bool certificate_message_seen() const { return certificate_message_seen_; }
  const Bytes& client_certificate_list() const { return client_certificate_list_; }
  bool certificate_verify_good() const { return certificate_verify_good_; }
  std::vector<std::uint16_t> record_versions;            // of every client record
  std::vector<std::size_t> application_record_lengths;   // content lengths
  std::vector<std::pair<int, int>> alerts;                // received (level, description)

 private:
  void Transcript(const Bytes& message) { transcript_.insert(transcript_.end(), message.begin(), message.end()); }

  void HandleCompatibleHello(const Bytes& body) {
    compatible_hello_ = true;
    client_hello_ = body;
    Transcript(body);
    const std::size_t cipher_kinds = static_cast<std::size_t>(body[3]) << 8 | body[4];
    const std::size_t challenge = static_cast<std::size_t>(body[7]) << 8 | body[8];
    client_random_.fill(0);
    std::copy(body.end() - static_cast<std::ptrdiff_t>(challenge), body.end(),
              client_random_.end() - static_cast<std::ptrdiff_t>(challenge));
    (void)cipher_kinds;
    hello_seen_ = true;
    SendServerFlight();
  }

  void HandleRecord(std::uint8_t type, Bytes fragment) {
    if (read_ != nullptr) {
      std::size_t length = 0;
      const auto result = read_->Unprotect(type, read_version_, read_sequence_++, fragment, &length);
      EXPECT_EQ(result, UnprotectResult::kOk) << "client record does not check";
      fragment.resize(length);
    }
    switch (type) {
      case 20: {
        const auto keys = Keys();
        read_ = std::make_unique<TlsRecordProtection>(
            ssl3_, *suite_, keys.client_mac, TlsBulkCipher::Create(suite_->cipher, keys.client_key, keys.client_iv, false));
        read_version_ = ssl3_ ? 0x0300 : 0x0301;
        read_sequence_ = 0;
        return;
      }
      case 21:
        alerts.emplace_back(fragment.at(0), fragment.at(1));
        return;
      case 23:
        application_record_lengths.push_back(fragment.size());
        application_data_.append(fragment.begin(), fragment.end());
        return;
      case 22: {
        std::size_t at = 0;
        while (at + 4 <= fragment.size()) {
          const std::size_t n = static_cast<std::size_t>(fragment[at + 1]) << 16 | fragment[at + 2] << 8 | fragment[at + 3];
          Bytes message(fragment.begin() + static_cast<std::ptrdiff_t>(at),
                        fragment.begin() + static_cast<std::ptrdiff_t>(at + 4 + n));
          HandleHandshake(message);
          at += 4 + n;
        }
        return;
      }
    }
  }

  void HandleHandshake(const Bytes& message) {
    const Bytes body(message.begin() + 4, message.end());
    switch (message[0]) {
      case 1:
        client_hello_ = body;
        std::copy(body.begin() + 2, body.begin() + 34, client_random_.begin());
        hello_seen_ = true;
        Transcript(message);
        SendServerFlight();
        return;
      case 11:
        certificate_message_seen_ = true;
        client_certificate_list_ = body;
        Transcript(message);
        return;
      case 16: {
        Transcript(message);
        if (suite_->key_exchange == KeyExchange::kRsa) {
          const Bytes encrypted(body.begin() + (ssl3_ ? 0 : 2), body.end());
          cke_block_ = RsaPrivateOperation(key_, BigNumber::FromBytes(encrypted)).ToBytes(key_.modulus.ByteLength());
          pre_master_.assign(cke_block_.end() - 48, cke_block_.end());
        } else {
          const Bytes yc(body.begin() + 2, body.end());
          pre_master_ = BigNumber::ModExp(BigNumber::FromBytes(yc), dh_x_, TestDhPrime()).ToMinimalBytes();
        }
        master_ = ssl3_ ? Ssl3MasterSecret(pre_master_, client_random_, server_random_)
                        : TlsMasterSecret(pre_master_, client_random_, server_random_);
        return;
      }
      case 15: {
        // Check the client's signature over the transcript so far.
        const auto certificate = LoadCertificates(Bytes(client_certificate_list_.begin() + 6, client_certificate_list_.end()));
        const auto hash = ssl3_ ? Ssl3HandshakeHash(transcript_, "", master_) : TlsHandshakeHash(transcript_);
        const Bytes signature(body.begin() + 2, body.end());
        if (!certificate.empty()) {
          const auto block = RsaRecoverSignatureBlock(*certificate[0].RsaKey(), signature);
          const auto payload = block ? ParsePkcs1Type1Block(*block) : std::nullopt;
          certificate_verify_good_ = payload && Bytes(hash.begin(), hash.end()) == *payload;
        }
        Transcript(message);
        return;
      }
      case 20: {
        Bytes expected;
        if (ssl3_) {
          const auto h = Ssl3HandshakeHash(transcript_, "CLNT", master_);
          expected.assign(h.begin(), h.end());
        } else {
          const auto h = TlsFinished(master_, "client finished", transcript_);
          expected.assign(h.begin(), h.end());
        }
        EXPECT_EQ(body, expected) << "client Finished";
        Transcript(message);
        SendRecord(20, {1});
        const auto keys = Keys();
        write_mac_ = keys.server_mac;
        write_ = TlsBulkCipher::Create(suite_->cipher, keys.server_key, keys.server_iv, true);
        write_sequence_ = 0;
        Bytes verify;
        if (ssl3_) {
          const auto h = Ssl3HandshakeHash(transcript_, "SRVR", master_);
          verify.assign(h.begin(), h.end());
        } else {
          const auto h = TlsFinished(master_, "server finished", transcript_);
          verify.assign(h.begin(), h.end());
        }
        if (options_.corrupt_finished) verify[0] ^= 1;
        SendRecord(22, Message(20, verify));
        established_ = true;
        return;
      }
    }
  }

  Bytes Message(std::uint8_t type, const Bytes& body) {
    Bytes m = {type};
    Put24(m, body.size());
    m.insert(m.end(), body.begin(), body.end());
    return m;
  }

  void SendServerFlight() {
    Bytes flight;
    auto add = [&](const Bytes& m) {
      Transcript(m);
      flight.insert(flight.end(), m.begin(), m.end());
    };
    Bytes hello;
    Put16(hello, options_.version);
    hello.insert(hello.end(), server_random_.begin(), server_random_.end());
    hello.push_back(32);
    for (int k = 0; k < 32; ++k) hello.push_back(static_cast<std::uint8_t>(k));
    Put16(hello, options_.suite);
    hello.push_back(0);
    add(Message(2, hello));
    if (suite_->key_exchange != KeyExchange::kDhAnon) {
      Bytes list;
      for (const auto& name : options_.chain) {
        const auto der = TestCertificate(name).Der().ToVector();
        Put24(list, der.size());
        list.insert(list.end(), der.begin(), der.end());
      }
      Bytes certificate;
      Put24(certificate, list.size());
      certificate.insert(certificate.end(), list.begin(), list.end());
      add(Message(11, certificate));
    }
    if (suite_->key_exchange == KeyExchange::kDhe || suite_->key_exchange == KeyExchange::kDhAnon) {
      Bytes x(32, 0x5a);
      dh_x_ = BigNumber::FromBytes(x);
      const BigNumber p = TestDhPrime();
      const auto ys = DhPublicValue(p, BigNumber(2), dh_x_).ToMinimalBytes();
      Bytes params;
      const auto pb = p.ToMinimalBytes();
      Put16(params, pb.size());
      params.insert(params.end(), pb.begin(), pb.end());
      Put16(params, 1);
      params.push_back(2);
      Put16(params, ys.size());
      params.insert(params.end(), ys.begin(), ys.end());
      Bytes body = params;
      if (suite_->key_exchange == KeyExchange::kDhe) {
        Md5 md5;
        Sha1 sha;
        for (auto* h : {&client_random_, &server_random_}) {
          md5.Update(h->data(), 32);
          sha.Update(h->data(), 32);
        }
        md5.Update(params);
        sha.Update(params);
        Bytes hash;
        const auto a = md5.Final();
        const auto b = sha.Final();
        hash.insert(hash.end(), a.begin(), a.end());
        hash.insert(hash.end(), b.begin(), b.end());
        const std::size_t k = key_.modulus.ByteLength();
        auto signature = RsaPrivateOperation(key_, BigNumber::FromBytes(Pkcs1Type1Block(hash, k))).ToBytes(k);
        if (options_.corrupt_key_exchange_signature) signature[k / 2] ^= 0x40;
        Put16(body, signature.size());
        body.insert(body.end(), signature.begin(), signature.end());
      }
      add(Message(12, body));
    }
    if (options_.request_certificate) {
      Bytes request = {1, 1};  // one type: rsa_sign
      Put16(request, 0);
      add(Message(13, request));
    }
    add(Message(14, {}));
    SendRecord(22, flight);
  }

  TlsKeys Keys() const {
    return ssl3_ ? Ssl3KeyBlock(master_, client_random_, server_random_, *suite_)
                 : TlsKeyBlock(master_, client_random_, server_random_, *suite_);
  }

  void SendRecord(std::uint8_t type, const Bytes& content, Spoil spoil = Spoil::kNone) {
    Bytes fragment = content;
    if (write_ != nullptr) {
      Bytes mac(suite_->mac_size);
      ComputeRecordMac(ssl3_, suite_->mac, write_mac_, write_sequence_++, type, options_.version, content,
                       mac.data());
      if (spoil == Spoil::kMac) mac[0] ^= 1;
      fragment.insert(fragment.end(), mac.begin(), mac.end());
      const std::size_t block = suite_->BlockSize();
      if (block != 0) {
        const std::size_t padding = block - fragment.size() % block + (spoil == Spoil::kLongPadding ? block : 0);
        fragment.insert(fragment.end(), padding, static_cast<std::uint8_t>(padding - 1));
        if (spoil == Spoil::kPaddingByte && padding >= 2) fragment[fragment.size() - 2] ^= 0x01;
        if (spoil == Spoil::kPaddingLength) fragment.back() = 0xff;
      }
      write_->Crypt(fragment.data(), fragment.data(), fragment.size());
    }
    Frame(type, fragment);
  }

  void Frame(std::uint8_t type, const Bytes& fragment) {
    out_.push_back(type);
    Put16(out_, options_.version);
    Put16(out_, fragment.size());
    out_.insert(out_.end(), fragment.begin(), fragment.end());
  }

  Options options_;
  RsaPrivateKey key_;
  bool ssl3_ = false;
  const SuiteParams* suite_ = nullptr;
  std::array<std::uint8_t, 32> client_random_{};
  std::array<std::uint8_t, 32> server_random_{};
  Bytes in_, out_, transcript_, client_hello_, pre_master_, cke_block_, client_certificate_list_;
  bool hello_seen_ = false;
  bool compatible_hello_ = false;
  bool certificate_message_seen_ = false;
  bool certificate_verify_good_ = false;
  bool established_ = false;
  std::string application_data_;
  MasterSecret master_{};
  BigNumber dh_x_;
  std::unique_ptr<TlsRecordProtection> read_;
  std::unique_ptr<TlsBulkCipher> write_;
  Bytes write_mac_;
  std::uint16_t read_version_ = 0;
  std::uint64_t read_sequence_ = 0;
  std::uint64_t write_sequence_ = 0;
};

// Connects a TlsEngine to a TlsServerFake (or to scripted bytes alone) and
// records everything the engine reports. Server bytes reach the engine in
// pieces of at most `piece` bytes, so records arrive split at any offset.
class ScriptedTransportFake {
 public:
  // `server` is a TlsServerFake, an Ssl2ServerFake or null (scripted bytes only).
  template <typename Server>
  ScriptedTransportFake(TlsEngine& engine, Server* server, std::size_t piece = 1 << 20) : engine_(engine), piece_(piece) {
    if (server != nullptr) {
      to_server_ = [server](const std::uint8_t* b, std::size_t n) { server->FromClient(b, n); };
      from_server_ = [server] { return server->TakeOutput(); };
    }
    Install();
  }
  ScriptedTransportFake(TlsEngine& engine, std::nullptr_t, std::size_t piece = 1 << 20) : engine_(engine), piece_(piece) {
    Install();
  }

  void Install() {
    TlsCallbacks c;
    c.onData = [this](TlsEngine&, const std::uint8_t* b, std::size_t n) { data.append(reinterpret_cast<const char*>(b), n); };
    c.onReceive = [this](TlsEngine&, std::uint8_t* d, std::size_t max, std::size_t* count) {
      Collect();
      const std::size_t n = std::min({max, piece_, queue_.size()});
      std::copy(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n), d);
      queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
      *count = n;
      return n == 0 ? -1 : 0;
    };
    c.onSend = [this](TlsEngine&, const std::uint8_t* b, std::size_t n) {
      sent.emplace_back(b, b + n);
      if (to_server_) to_server_(b, n);
    };
    c.onClosed = [this](TlsEngine&, int flag) { closed.push_back(flag); };
    c.onEstablished = [this](TlsEngine&) { ++established_calls; };
    c.onPeerCertificate = [this](TlsEngine&, const Certificate& certificate, int* accept) {
      peer_subjects.push_back(certificate.Subject().text);
      *accept = refuse_certificates ? 0 : 1;
    };
    c.onClientCertificate = [this](TlsEngine&, std::uint8_t* certificate, std::size_t* certificate_length,
                                   std::uint8_t* key, std::size_t* key_length, int type) {
      certificate_types.push_back(type);
      if (client_certificate.empty() || client_certificate.size() > *certificate_length ||
          client_key.size() > *key_length) {
        *certificate_length = *key_length = 0;
        return;
      }
      std::copy(client_certificate.begin(), client_certificate.end(), certificate);
      std::copy(client_key.begin(), client_key.end(), key);
      *certificate_length = client_certificate.size();
      *key_length = client_key.size();
    };
    c.onError = [this](TlsEngine&, int code) { errors.push_back(code); };
    c.onTrace = [this](TlsEngine&, int event, int) { traces.push_back(event); };
    engine_.SetCallbacks(c);
  }

  void Script(const Bytes& bytes) { queue_.insert(queue_.end(), bytes.begin(), bytes.end()); }
  void Collect() {
    if (!from_server_) return;
    const auto more = from_server_();
    queue_.insert(queue_.end(), more.begin(), more.end());
  }
  // Pumps while the session is open and bytes are waiting.
  void PumpAll() {
    Collect();
    while (engine_.IsSessionOpen() && !queue_.empty()) {
      engine_.Pump();
      Collect();
    }
  }
  bool Handshake() {
    engine_.Start();
    PumpAll();
    return engine_.IsEstablished();
  }
  void SetClientCertificate(const std::string& certificate, const std::string& key) {
    client_certificate = TestCertificate(certificate).Der().ToVector();
    RsaPrivateKey k = TestKey(key);
    client_key = EncodeRsaPrivateKeyBlob(k);
  }

  std::vector<Bytes> sent;
  std::string data;
  std::vector<int> closed;
  std::vector<int> errors;
  std::vector<int> traces;
  std::vector<std::string> peer_subjects;
  std::vector<int> certificate_types;
  int established_calls = 0;
  bool refuse_certificates = false;
  Bytes client_certificate;
  Bytes client_key;

 private:
  TlsEngine& engine_;
  std::function<void(const std::uint8_t*, std::size_t)> to_server_;
  std::function<Bytes()> from_server_;
  std::size_t piece_;
  std::deque<std::uint8_t> queue_;
};

}  // namespace security::testing
