#pragma once
// Test support (header only): Ssl2ServerFake, a minimal SSL 2.0 server for
// the engine's tests. No server here speaks SSL 2.0 any more, so this fake is
// the only peer of that protocol: SERVER-HELLO, SERVER-VERIFY,
// REQUEST-CERTIFICATE, SERVER-FINISHED and ERROR, its record protection, and
// knobs to spoil each of them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/crypto/digest.h"
#include "security/crypto/md5.h"
#include "security/tls/tls_server_fake.h"

namespace security::testing {

class Ssl2ServerFake {
 public:
  struct Options {
    std::vector<std::uint32_t> cipher_kinds = {0x010080};  // the server's list; the client takes the first
    bool request_certificate = false;
    bool wrong_verify = false;
    bool corrupt_mac = false;
    int error_instead_of_hello = -1;  // send ERROR with this code instead of SERVER-HELLO
  };

  explicit Ssl2ServerFake(Options options) : options_(std::move(options)), key_(TestKey("server.key")) {
    for (int k = 0; k < 16; ++k) connection_id_.push_back(static_cast<std::uint8_t>(0xC0 + k));
  }

  void FromClient(const std::uint8_t* bytes, std::size_t length) {
    in_.insert(in_.end(), bytes, bytes + length);
    while (in_.size() >= 2) {
      const bool two = (in_[0] & 0x80) != 0;
      const std::size_t header = two ? 2 : 3;
      if (in_.size() < header) return;
      const std::size_t n = two ? (static_cast<std::size_t>(in_[0] & 0x7f) << 8 | in_[1])
                                : (static_cast<std::size_t>(in_[0] & 0x3f) << 8 | in_[1]);
      const std::size_t padding = two ? 0 : in_[2];
      if (in_.size() < header + n) return;
      Bytes record(in_.begin() + static_cast<std::ptrdiff_t>(header), in_.begin() + static_cast<std::ptrdiff_t>(header + n));
      in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(header + n));
      padding_lengths.push_back(padding);
      HandleRecord(record, padding);
    }
  }

  Bytes TakeOutput() { return std::exchange(out_, {}); }

  void SendData(const std::string& text) { Send(Bytes(text.begin(), text.end())); }
  void SendMessage(const Bytes& message) { Send(message); }

  const std::string& application_data() const { return application_data_; }
  const Bytes& client_hello() const { return client_hello_; }
  const Bytes& master_key() const { return master_key_; }
  const Bytes& master_key_message() const { return master_key_message_; }
  const Bytes& block() const { return block_; }
  bool client_certificate_good() const { return client_certificate_good_; }
  bool finished() const { return finished_; }
  std::vector<std::size_t> padding_lengths;
  std::vector<int> errors;  // ERROR codes received

 private:
  void HandleRecord(Bytes record, std::size_t padding) {
    const std::uint32_t sequence = read_sequence_++;
    if (decrypt_ != nullptr) {
      decrypt_->Crypt(record.data(), record.data(), record.size());
      const Bytes data(record.begin() + 16, record.end());
      const auto mac = Ssl2Mac(keys_.client_write_key, data, sequence);
      EXPECT_EQ(Bytes(record.begin(), record.begin() + 16), Bytes(mac.begin(), mac.end())) << "client MAC";
      record.assign(record.begin() + 16, record.end() - static_cast<std::ptrdiff_t>(padding));
    }
    if (finished_) {
      application_data_.append(record.begin(), record.end());
      return;
    }
    switch (record.at(0)) {
      case 0:
        errors.push_back(record.at(1) << 8 | record.at(2));
        return;
      case 1: HandleHello(record); return;
      case 2: HandleMasterKey(record); return;
      case 3:
        EXPECT_EQ(Bytes(record.begin() + 1, record.end()), connection_id_) << "CLIENT-FINISHED";
        if (options_.request_certificate) {
          Bytes request = {7, 1};
          for (int k = 0; k < 16; ++k) request.push_back(static_cast<std::uint8_t>(0x70 + k));
          certificate_challenge_.assign(request.begin() + 2, request.end());
          Send(request);
        } else {
          SendFinished();
        }
        return;
      case 8: HandleClientCertificate(record); return;
      default: ADD_FAILURE() << "unexpected client message " << int(record[0]);
    }
  }

  void HandleHello(const Bytes& hello) {
    client_hello_ = hello;
    const std::size_t challenge_length = static_cast<std::size_t>(hello[7]) << 8 | hello[8];
    challenge_.assign(hello.end() - static_cast<std::ptrdiff_t>(challenge_length), hello.end());
    if (options_.error_instead_of_hello >= 0) {
      Send({0, 0, static_cast<std::uint8_t>(options_.error_instead_of_hello)});
      return;
    }
    certificate_ = TestCertificate("server.crt").Der().ToVector();
    Bytes body = {4, 0, 1, 0, 2};
    Put16(body, certificate_.size());
    Put16(body, options_.cipher_kinds.size() * 3);
    Put16(body, connection_id_.size());
    body.insert(body.end(), certificate_.begin(), certificate_.end());
    for (auto kind : options_.cipher_kinds) {
      body.insert(body.end(), {std::uint8_t(kind >> 16), std::uint8_t(kind >> 8), std::uint8_t(kind)});
    }
    body.insert(body.end(), connection_id_.begin(), connection_id_.end());
    Send(body);
  }

  void HandleMasterKey(const Bytes& m) {
    master_key_message_ = m;
    const std::uint32_t code = static_cast<std::uint32_t>(m[1]) << 16 | m[2] << 8 | m[3];
    kind_ = FindSsl2Kind(code);
    ASSERT_NE(kind_, nullptr);
    const std::size_t clear = static_cast<std::size_t>(m[4]) << 8 | m[5];
    const std::size_t encrypted = static_cast<std::size_t>(m[6]) << 8 | m[7];
    const std::size_t argument = static_cast<std::size_t>(m[8]) << 8 | m[9];
    const Bytes clear_key(m.begin() + 10, m.begin() + 10 + static_cast<std::ptrdiff_t>(clear));
    const Bytes secret(m.begin() + 10 + static_cast<std::ptrdiff_t>(clear),
                       m.begin() + 10 + static_cast<std::ptrdiff_t>(clear + encrypted));
    const Bytes key_argument(m.begin() + 10 + static_cast<std::ptrdiff_t>(clear + encrypted),
                             m.begin() + 10 + static_cast<std::ptrdiff_t>(clear + encrypted + argument));
    block_ = RsaPrivateOperation(key_, BigNumber::FromBytes(secret)).ToBytes(key_.modulus.ByteLength());
    master_key_ = clear_key;
    master_key_.insert(master_key_.end(), block_.end() - static_cast<std::ptrdiff_t>(kind_->secret_size), block_.end());
    keys_ = Ssl2KeyMaterial(master_key_, challenge_, connection_id_, kind_->cipher);
    encrypt_ = TlsBulkCipher::Create(kind_->cipher, keys_.client_read_key, key_argument, true);
    decrypt_ = TlsBulkCipher::Create(kind_->cipher, keys_.client_write_key, key_argument, false);
    Bytes verify = {5};
    verify.insert(verify.end(), challenge_.begin(), challenge_.end());
    if (options_.wrong_verify) verify.back() ^= 1;
    Send(verify);
  }

  void HandleClientCertificate(const Bytes& m) {
    const std::size_t certificate_length = static_cast<std::size_t>(m[2]) << 8 | m[3];
    const std::size_t response_length = static_cast<std::size_t>(m[4]) << 8 | m[5];
    const Certificate certificate(Bytes(m.begin() + 6, m.begin() + 6 + static_cast<std::ptrdiff_t>(certificate_length)));
    const Bytes response(m.begin() + 6 + static_cast<std::ptrdiff_t>(certificate_length),
                         m.begin() + 6 + static_cast<std::ptrdiff_t>(certificate_length + response_length));
    Md5 md5;
    md5.Update(keys_.client_read_key);
    md5.Update(keys_.client_write_key);
    md5.Update(certificate_challenge_);
    md5.Update(certificate_);
    const auto digest = md5.Final();
    client_certificate_good_ = RsaVerifyDigest(*certificate.RsaKey(), response, DigestKind::kMd5, digest);
    SendFinished();
  }

  void SendFinished() {
    Bytes finished = {6};
    for (int k = 0; k < 16; ++k) finished.push_back(static_cast<std::uint8_t>(0x30 + k));
    Send(finished);
    finished_ = true;
  }

  void Send(const Bytes& content) {
    const std::uint32_t sequence = write_sequence_++;
    if (encrypt_ == nullptr) {
      out_.push_back(static_cast<std::uint8_t>(0x80 | content.size() >> 8));
      out_.push_back(static_cast<std::uint8_t>(content.size()));
      out_.insert(out_.end(), content.begin(), content.end());
      return;
    }
    const std::size_t block = encrypt_->BlockSize();
    const std::size_t padding = block == 0 ? 0 : (8 - content.size() % 8) % 8;
    Bytes data = content;
    data.insert(data.end(), padding, 0x55);
    auto mac = Ssl2Mac(keys_.client_read_key, data, sequence);
    if (options_.corrupt_mac) mac[3] ^= 1;
    Bytes record(mac.begin(), mac.end());
    record.insert(record.end(), data.begin(), data.end());
    encrypt_->Crypt(record.data(), record.data(), record.size());
    if (block == 0) {
      out_.push_back(static_cast<std::uint8_t>(0x80 | record.size() >> 8));
      out_.push_back(static_cast<std::uint8_t>(record.size()));
    } else {
      out_.push_back(static_cast<std::uint8_t>((record.size() >> 8) & 0x3f));
      out_.push_back(static_cast<std::uint8_t>(record.size()));
      out_.push_back(static_cast<std::uint8_t>(padding));
    }
    out_.insert(out_.end(), record.begin(), record.end());
  }

  Options options_;
  RsaPrivateKey key_;
  const Ssl2Kind* kind_ = nullptr;
  Bytes in_, out_, client_hello_, challenge_, connection_id_, certificate_, master_key_, master_key_message_, block_;
  Bytes certificate_challenge_;
  Ssl2SessionKeys keys_;
  std::unique_ptr<TlsBulkCipher> encrypt_;
  std::unique_ptr<TlsBulkCipher> decrypt_;
  std::uint32_t read_sequence_ = 0;
  std::uint32_t write_sequence_ = 0;
  bool finished_ = false;
  bool client_certificate_good_ = false;
  std::string application_data_;
};

}  // namespace security::testing
