#pragma once
// Test support: HostileTlsServerFake, the server side of SSL 3.0 and TLS 1.0
// to 1.2 for the engine's tests and its fuzzer. It completes honest RSA and DHE
// handshakes, after which it sends whatever records it is told to (protected
// with the session's keys, spoilt, or raw); on demand it instead sends one of
// the server flights an attacker on the path would: a certificate in an
// anonymous suite, two Certificate messages, a short temporary RSA key under a
// suite that is no export suite, a short DH prime, messages out of order.
//
// No real server misbehaves on demand, hence the fake. It keeps what the
// client sent (alerts, record types, application data) for the caller to
// check, and reports no test failures itself, so the fuzzer can use it too.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "security/crypto/big_number.h"
#include "security/crypto/random_generator.h"
#include "security/crypto/rsa.h"
#include "security/tls/tls_key_derivation.h"
#include "security/tls/tls_record_protection.h"
#include "security/tls/tls_suites.h"

namespace security::testing {

class HostileTlsServerFake {
 public:
  using Bytes = std::vector<std::uint8_t>;

  enum class Flight {
    kHonest,
    kCertificateInAnonymousSuite,  // ServerHello for the suite, Certificate, DH parameters, ServerHelloDone
    kTwoCertificates,              // the `other_chain` first, then the real chain
    kTemporaryRsaKey,              // a signed 512-bit ServerKeyExchange RSA key
    kShortDhPrime,                 // a signed 768-bit DH prime
    kKeyExchangeBeforeCertificate,
    kDoneWithoutCertificate,
    kRequestBeforeCertificate,
    kDoneWithoutKeyExchange,       // a DHE suite without its ServerKeyExchange
    kServerHelloTwice,
    kCertificateAfterDone,
    kKeyExchangeSignedOverSwappedRandoms,  // server random first: a signature lifted from another handshake
  };

  struct Options {
    std::uint16_t version = 0x0301;  // 0x0300 answers as SSL 3.0
    std::uint16_t suite = 0x002F;
    Flight flight = Flight::kHonest;
    std::vector<Bytes> chain;        // DER, the server's own first
    RsaPrivateKey key;               // for chain[0]
    std::vector<Bytes> other_chain;  // kTwoCertificates: sent first
    Bytes random_tail;               // replaces the end of the server random (a downgrade sentinel)
    Bytes hello_extensions;          // ServerHello extensions block, sent as given when not empty
    int dh_bits = 0;                 // 1024 or 2048; 0: 2048 under TLS 1.2, else 1024
    bool extended_master = false;    // echo extended_master_secret and derive the master secret by it
    std::uint16_t ec_group = 0x001D; // ECDHE suites: x25519, 0x0017 P-256 or 0x0018 P-384
    Bytes ec_point;                  // ECDHE: sent instead of the server's own point when not empty
    Bytes certificate_request;       // a CertificateRequest body sent before ServerHelloDone when not empty
  };

  explicit HostileTlsServerFake(Options options);
  ~HostileTlsServerFake();

  // Bytes from the client; replies are queued for TakeOutput.
  void FromClient(const std::uint8_t* bytes, std::size_t length);
  Bytes TakeOutput() { return std::exchange(out_, {}); }

  // After an honest handshake: a record protected with the session's keys;
  // `spoil_mac` flips a MAC bit, `padding_byte` (block ciphers) replaces the
  // padding length byte before encryption when it is 0-255.
  void SendProtected(std::uint8_t type, const Bytes& content, bool spoil_mac = false, int padding_byte = -1);
  void SendRaw(const Bytes& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

  bool established() const { return established_; }
  bool known_suite() const { return suite_ != nullptr; }
  const std::vector<std::pair<int, int>>& alerts() const { return alerts_; }
  // The content type of every record the client sent.
  const std::vector<int>& record_types() const { return record_types_; }
  bool application_data_seen() const;
  const std::string& application_data() const { return application_data_; }
  bool client_key_exchange_seen() const { return client_key_exchange_seen_; }
  // The certificates of the client's Certificate message (none when it was empty or not sent).
  std::size_t client_certificate_count() const { return client_chain_.size(); }
  bool certificate_verify_seen() const { return certificate_verify_seen_; }
  // The scheme of a TLS 1.2 CertificateVerify, and whether its signature
  // (of any version from TLS 1.0) is good for the client certificate's key
  // over the transcript.
  std::uint16_t certificate_verify_scheme() const { return certificate_verify_scheme_; }
  bool certificate_verify_good() const { return certificate_verify_good_; }

 private:
  void HandleRecord(std::uint8_t type, Bytes fragment);
  void HandleHandshake(const Bytes& message);
  void CheckCertificateVerify(const Bytes& body);
  void SendServerFlight();
  Bytes Message(std::uint8_t type, const Bytes& body);
  Bytes CertificateMessage(const std::vector<Bytes>& chain);
  Bytes SignedKeyExchange(const Bytes& params);
  Bytes DhParams(const BigNumber& p);
  Bytes EcdheParams();
  Bytes EcPrivateKey() const;
  void SendRecord(std::uint8_t type, const Bytes& content, bool spoil_mac = false, int padding_byte = -1);
  void Transcript(const Bytes& message) { transcript_.insert(transcript_.end(), message.begin(), message.end()); }
  TlsKeys Keys() const;
  PrfKind Prf() const;
  BigNumber DhPrime() const;
  // TLS 1.1 and later records, written by the record layer itself.
  bool ModernRecords() const { return !ssl3_ && options_.version >= 0x0302; }

  Options options_;
  bool ssl3_ = false;
  const SuiteParams* suite_ = nullptr;
  std::array<std::uint8_t, 32> client_random_{};
  std::array<std::uint8_t, 32> server_random_{};
  Bytes in_, out_, transcript_, pre_master_;
  MasterSecret master_{};
  BigNumber dh_x_;
  bool hello_seen_ = false;
  std::vector<Bytes> client_chain_;
  bool certificate_verify_seen_ = false;
  std::uint16_t certificate_verify_scheme_ = 0;
  bool certificate_verify_good_ = false;
  bool established_ = false;
  bool client_key_exchange_seen_ = false;
  bool broken_ = false;  // the client's bytes made no sense; everything after is ignored
  std::vector<std::pair<int, int>> alerts_;
  std::vector<int> record_types_;
  std::string application_data_;
  std::unique_ptr<TlsRecordProtection> read_;
  std::unique_ptr<TlsBulkCipher> write_;
  std::unique_ptr<TlsRecordProtection> modern_write_;
  RandomGenerator random_;
  Bytes write_mac_;
  std::uint64_t read_sequence_ = 0;
  std::uint64_t write_sequence_ = 0;
};

}  // namespace security::testing
