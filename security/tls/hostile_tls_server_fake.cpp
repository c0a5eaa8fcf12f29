#include "security/tls/hostile_tls_server_fake.h"

#include <algorithm>

#include "security/certs/certificate.h"
#include "security/crypto/dh.h"
#include "security/crypto/digest.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/x25519.h"
#include "security/crypto/md5.h"
#include "security/crypto/rsa_pss.h"
#include "security/crypto/sha1.h"

namespace security::testing {
namespace {

using Bytes = HostileTlsServerFake::Bytes;

void Put16(Bytes& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void Put24(Bytes& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  Put16(out, v);
}

void PutVector16(Bytes& out, const Bytes& value) {
  Put16(out, value.size());
  out.insert(out.end(), value.begin(), value.end());
}

// The Oakley groups of RFC 2409: the second (1024 bits) for honest
// handshakes, the first (768 bits) as the short prime.
BigNumber Prime1024() {
  return BigNumber::FromHex(
      "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
      "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A637ED6B0BFF5CB6F406B7ED"
      "EE386BFB5A899FA5AE9F24117C4B1FE649286651ECE65381FFFFFFFFFFFFFFFF");
}

// ffdhe2048 (RFC 7919), for TLS 1.2, whose clients want 2048 bits.
BigNumber Prime2048() {
  return BigNumber::FromHex(
      "FFFFFFFFFFFFFFFFADF85458A2BB4A9AAFDC5620273D3CF1D8B9C583CE2D3695A9E13641146433FBCC939DCE249B3EF9"
      "7D2FE363630C75D8F681B202AEC4617AD3DF1ED5D5FD65612433F51F5F066ED0856365553DED1AF3B557135E7F57C935"
      "984F0C70E0E68B77E2A689DAF3EFE8721DF158A136ADE73530ACCA4F483A797ABC0AB182B324FB61D108A94BB2C8E3FB"
      "B96ADAB760D7F4681D4F42A3DE394DF4AE56EDE76372BB190B07A7C8EE0A6D709E02FCE1CDF7E2ECC03404CD28342F61"
      "9172FE9CE98583FF8E4F1232EEF28183C3FE3B1B4C6FAD733BB5FCBC2EC22005C58EF1837D1683B2C6F34A26C1B2EFFA"
      "886B423861285C97FFFFFFFFFFFFFFFF");
}

BigNumber Prime768() {
  return BigNumber::FromHex(
      "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
      "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A3620FFFFFFFFFFFFFFFF");
}

bool IsDh(const SuiteParams& suite) {
  return suite.key_exchange == KeyExchange::kDhe || suite.key_exchange == KeyExchange::kDhAnon;
}

bool IsEcdhe(const SuiteParams& suite) { return suite.key_exchange == KeyExchange::kEcdhe; }

}  // namespace

HostileTlsServerFake::HostileTlsServerFake(Options options) : options_(std::move(options)) {
  ssl3_ = options_.version == 0x0300;
  suite_ = FindSuite(ssl3_ ? Ssl3SuiteTable() : TlsSuiteTable(), options_.suite);
  for (int k = 0; k < 32; ++k) server_random_[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(0xB0 + k);
  const std::size_t tail = std::min<std::size_t>(options_.random_tail.size(), 32);
  std::copy_n(options_.random_tail.begin(), tail, server_random_.end() - static_cast<std::ptrdiff_t>(tail));
  dh_x_ = BigNumber::FromBytes(Bytes(32, 0x5a));
  random_.Seed();
}

HostileTlsServerFake::~HostileTlsServerFake() = default;

bool HostileTlsServerFake::application_data_seen() const {
  return std::find(record_types_.begin(), record_types_.end(), 23) != record_types_.end();
}

void HostileTlsServerFake::FromClient(const std::uint8_t* bytes, std::size_t length) {
  in_.insert(in_.end(), bytes, bytes + length);
  while (!broken_ && in_.size() >= 5) {
    const std::size_t n = static_cast<std::size_t>(in_[3]) << 8 | in_[4];
    if (in_.size() < 5 + n) return;
    const std::uint8_t type = in_[0];
    Bytes fragment(in_.begin() + 5, in_.begin() + 5 + static_cast<std::ptrdiff_t>(n));
    in_.erase(in_.begin(), in_.begin() + 5 + static_cast<std::ptrdiff_t>(n));
    record_types_.push_back(type);
    HandleRecord(type, std::move(fragment));
  }
}

void HostileTlsServerFake::HandleRecord(std::uint8_t type, Bytes fragment) {
  if (read_ != nullptr) {
    std::size_t length = 0;
    if (read_->Unprotect(type, options_.version, read_sequence_++, fragment, &length) != UnprotectResult::kOk) {
      broken_ = true;
      return;
    }
    fragment.resize(length);
  }
  switch (type) {
    case 20: {
      if (suite_ == nullptr || !client_key_exchange_seen_) {
        broken_ = true;
        return;
      }
      const auto keys = Keys();
      if (suite_->IsAead()) {
        read_ = std::make_unique<TlsRecordProtection>(*suite_, keys.client_key, keys.client_iv);
      } else {
        read_ = std::make_unique<TlsRecordProtection>(
            ssl3_, *suite_, keys.client_mac,
            TlsBulkCipher::Create(suite_->cipher, keys.client_key, keys.client_iv, false));
        if (ModernRecords()) read_->UseExplicitIv(&random_);
      }
      read_sequence_ = 0;
      return;
    }
    case 21:
      if (fragment.size() >= 2) alerts_.emplace_back(fragment[0], fragment[1]);
      return;
    case 23:
      application_data_.append(fragment.begin(), fragment.end());
      return;
    case 22: {
      std::size_t at = 0;
      while (!broken_ && at + 4 <= fragment.size()) {
        const std::size_t n =
            static_cast<std::size_t>(fragment[at + 1]) << 16 | static_cast<std::size_t>(fragment[at + 2]) << 8 | fragment[at + 3];
        if (n > fragment.size() - at - 4) {
          broken_ = true;
          return;
        }
        HandleHandshake(Bytes(fragment.begin() + static_cast<std::ptrdiff_t>(at),
                              fragment.begin() + static_cast<std::ptrdiff_t>(at + 4 + n)));
        at += 4 + n;
      }
      return;
    }
    default:
      broken_ = true;
  }
}

// Whether the CertificateVerify signs the transcript with the client
// certificate's key: under TLS 1.2 by the scheme it names (PKCS #1, PSS or
// ECDSA), before that PKCS #1 over MD5 | SHA-1 or ECDSA over SHA-1.
void HostileTlsServerFake::CheckCertificateVerify(const Bytes& body) {
  Certificate client;
  if (ssl3_ || client_chain_.empty() || !client.Parse(client_chain_[0])) return;
  const bool tls12 = options_.version >= 0x0303;
  std::size_t at = 0;
  if (tls12) {
    if (body.size() < 2) return;
    certificate_verify_scheme_ = static_cast<std::uint16_t>(body[0] << 8 | body[1]);
    at = 2;
  }
  if (body.size() < at + 2) return;
  const Bytes signature(body.begin() + static_cast<std::ptrdiff_t>(at + 2), body.end());
  const std::uint16_t scheme = certificate_verify_scheme_;
  if (const auto ec = client.EcKey()) {
    Bytes digest;
    if (!tls12) {
      const auto sha1 = Sha1::Hash(transcript_);
      digest.assign(sha1.begin(), sha1.end());
    } else if (scheme == 0x0403 || scheme == 0x0503) {
      digest = ComputeDigest(scheme == 0x0403 ? DigestKind::kSha256 : DigestKind::kSha384, transcript_);
    } else {
      return;
    }
    certificate_verify_good_ = EcdsaVerify(ec->curve, ec->point, digest, signature);
    return;
  }
  const auto key = client.RsaKey();
  if (!key || !tls12) return;
  const int hash_code = (scheme >> 8) == 0x08 ? (scheme & 0xff) : scheme >> 8;
  const DigestKind kind = hash_code == 4 ? DigestKind::kSha256 : hash_code == 5 ? DigestKind::kSha384 : DigestKind::kSha512;
  const Bytes digest = ComputeDigest(kind, transcript_);
  if ((scheme >> 8) == 0x08) {
    certificate_verify_good_ = RsaPssVerify(*key, signature, kind, digest);
  } else if ((scheme & 0xff) == 0x01) {
    certificate_verify_good_ = RsaVerifyDigest(*key, signature, kind, digest);
  }
}

void HostileTlsServerFake::HandleHandshake(const Bytes& message) {
  const Bytes body(message.begin() + 4, message.end());
  switch (message[0]) {
    case 1:
      if (hello_seen_ || body.size() < 34 || suite_ == nullptr) {
        broken_ = true;
        return;
      }
      std::copy(body.begin() + 2, body.begin() + 34, client_random_.begin());
      hello_seen_ = true;
      Transcript(message);
      SendServerFlight();
      return;
    case 16: {
      Transcript(message);
      client_key_exchange_seen_ = true;
      if (IsEcdhe(*suite_)) {
        if (body.empty() || body[0] != body.size() - 1) {
          broken_ = true;
          return;
        }
        const Bytes point(body.begin() + 1, body.end());
        const Bytes key = EcPrivateKey();
        if (options_.ec_group == 0x001D) {
          pre_master_.assign(32, 0);
          if (point.size() != 32 || !X25519(key.data(), point.data(), pre_master_.data())) {
            broken_ = true;
            return;
          }
        } else {
          const auto shared = EcdhSharedSecret(static_cast<NamedCurve>(options_.ec_group), key, point);
          if (!shared) {
            broken_ = true;
            return;
          }
          pre_master_ = *shared;
        }
      } else if (suite_->key_exchange == KeyExchange::kRsa) {
        const std::size_t skip = ssl3_ ? 0 : 2;
        if (body.size() < skip) {
          broken_ = true;
          return;
        }
        const BigNumber value = BigNumber::FromBytes({body.data() + skip, body.size() - skip});
        if (BigNumber::Compare(value, options_.key.modulus) >= 0) {
          broken_ = true;
          return;
        }
        const auto block = RsaPrivateOperation(options_.key, value).ToBytes(options_.key.modulus.ByteLength());
        pre_master_.assign(block.end() - 48, block.end());
      } else {
        if (body.size() < 2) {
          broken_ = true;
          return;
        }
        const BigNumber yc = BigNumber::FromBytes({body.data() + 2, body.size() - 2});
        pre_master_ = BigNumber::ModExp(yc, dh_x_, DhPrime()).ToMinimalBytes();
      }
      if (options_.extended_master) {
        master_ = DeriveExtendedMasterSecret(Prf(), pre_master_, HandshakeHashOf(Prf(), transcript_));
      } else {
        master_ = ssl3_ ? Ssl3MasterSecret(pre_master_, client_random_, server_random_)
                        : DeriveMasterSecret(Prf(), pre_master_, client_random_, server_random_);
      }
      return;
    }
    case 11: {
      // certificate_list<3>: each certificate<3>.
      client_chain_.clear();
      std::size_t at = 3;
      while (at + 3 <= body.size()) {
        const std::size_t n = static_cast<std::size_t>(body[at]) << 16 | static_cast<std::size_t>(body[at + 1]) << 8 | body[at + 2];
        if (n > body.size() - at - 3) break;
        client_chain_.emplace_back(body.begin() + static_cast<std::ptrdiff_t>(at + 3),
                                   body.begin() + static_cast<std::ptrdiff_t>(at + 3 + n));
        at += 3 + n;
      }
      Transcript(message);
      return;
    }
    case 15: {
      certificate_verify_seen_ = true;
      CheckCertificateVerify(body);
      Transcript(message);
      return;
    }
    case 20: {
      // The client's Finished is taken as it comes: the engine's own tests
      // check it; this server only needs the transcript to answer.
      Transcript(message);
      SendRecord(20, {1});
      const auto keys = Keys();
      write_mac_ = keys.server_mac;
      if (suite_->IsAead()) {
        modern_write_ = std::make_unique<TlsRecordProtection>(*suite_, keys.server_key, keys.server_iv);
      } else if (ModernRecords()) {
        modern_write_ = std::make_unique<TlsRecordProtection>(
            false, *suite_, keys.server_mac,
            TlsBulkCipher::Create(suite_->cipher, keys.server_key, keys.server_iv, true));
        modern_write_->UseExplicitIv(&random_);
      } else {
        write_ = TlsBulkCipher::Create(suite_->cipher, keys.server_key, keys.server_iv, true);
      }
      write_sequence_ = 0;
      Bytes verify;
      if (ssl3_) {
        const auto h = Ssl3HandshakeHash(transcript_, "SRVR", master_);
        verify.assign(h.begin(), h.end());
      } else {
        const auto h = FinishedOf(Prf(), master_, "server finished", transcript_);
        verify.assign(h.begin(), h.end());
      }
      SendRecord(22, Message(20, verify));
      established_ = true;
      return;
    }
    default:
      broken_ = true;
  }
}

Bytes HostileTlsServerFake::Message(std::uint8_t type, const Bytes& body) {
  Bytes m = {type};
  Put24(m, body.size());
  m.insert(m.end(), body.begin(), body.end());
  return m;
}

Bytes HostileTlsServerFake::CertificateMessage(const std::vector<Bytes>& chain) {
  Bytes list;
  for (const auto& der : chain) {
    Put24(list, der.size());
    list.insert(list.end(), der.begin(), der.end());
  }
  Bytes body;
  Put24(body, list.size());
  body.insert(body.end(), list.begin(), list.end());
  return Message(11, body);
}

Bytes HostileTlsServerFake::DhParams(const BigNumber& p) {
  Bytes params;
  PutVector16(params, p.ToMinimalBytes());
  PutVector16(params, {2});
  PutVector16(params, DhPublicValue(p, BigNumber(2), dh_x_).ToMinimalBytes());
  return params;
}

Bytes HostileTlsServerFake::EcPrivateKey() const {
  const std::size_t size = options_.ec_group == 0x0018 ? 48 : 32;
  return Bytes(size, 0x3c);
}

Bytes HostileTlsServerFake::EcdheParams() {
  Bytes point = options_.ec_point;
  if (point.empty()) {
    const Bytes key = EcPrivateKey();
    if (options_.ec_group == 0x001D) {
      point.assign(32, 0);
      X25519PublicKey(key.data(), point.data());
    } else {
      point = EcPublicKey(static_cast<NamedCurve>(options_.ec_group), key);
    }
  }
  Bytes params = {3};  // named_curve
  Put16(params, options_.ec_group);
  params.push_back(static_cast<std::uint8_t>(point.size()));
  params.insert(params.end(), point.begin(), point.end());
  return params;
}

Bytes HostileTlsServerFake::SignedKeyExchange(const Bytes& params) {
  const std::size_t k = options_.key.modulus.ByteLength();
  if (!ssl3_ && options_.version >= 0x0303) {
    // rsa_pkcs1_sha256 over client random | server random | params.
    Bytes signed_part(client_random_.begin(), client_random_.end());
    signed_part.insert(options_.flight == Flight::kKeyExchangeSignedOverSwappedRandoms ? signed_part.begin()
                                                                                        : signed_part.end(),
                       server_random_.begin(), server_random_.end());
    signed_part.insert(signed_part.end(), params.begin(), params.end());
    const auto digest = ComputeDigest(DigestKind::kSha256, signed_part);
    const auto prefix = DigestInfoPrefix(DigestKind::kSha256);
    Bytes info(prefix.begin(), prefix.end());
    info.insert(info.end(), digest.begin(), digest.end());
    const auto signature =
        RsaPrivateOperation(options_.key, BigNumber::FromBytes(Pkcs1Type1Block(info, k))).ToBytes(k);
    Bytes body = params;
    body.insert(body.end(), {0x04, 0x01});
    PutVector16(body, signature);
    return Message(12, body);
  }
  Md5 md5;
  Sha1 sha;
  for (const auto* random : {&client_random_, &server_random_}) {
    md5.Update(random->data(), random->size());
    sha.Update(random->data(), random->size());
  }
  md5.Update(params);
  sha.Update(params);
  const auto a = md5.Final();
  const auto b = sha.Final();
  Bytes hash(a.begin(), a.end());
  hash.insert(hash.end(), b.begin(), b.end());
  const auto signature = RsaPrivateOperation(options_.key, BigNumber::FromBytes(Pkcs1Type1Block(hash, k))).ToBytes(k);
  Bytes body = params;
  PutVector16(body, signature);
  return Message(12, body);
}

void HostileTlsServerFake::SendServerFlight() {
  Bytes hello;
  Put16(hello, options_.version);
  hello.insert(hello.end(), server_random_.begin(), server_random_.end());
  hello.push_back(32);
  for (int k = 0; k < 32; ++k) hello.push_back(static_cast<std::uint8_t>(k));
  Put16(hello, options_.suite);
  hello.push_back(0);
  Bytes extensions = options_.hello_extensions;
  if (options_.extended_master) extensions.insert(extensions.end(), {0x00, 0x17, 0x00, 0x00});
  if (!extensions.empty()) PutVector16(hello, extensions);
  const Bytes server_hello = Message(2, hello);
  const Bytes certificate = CertificateMessage(options_.chain);
  const bool anonymous = suite_->key_exchange == KeyExchange::kDhAnon;
  const Bytes key_exchange = IsEcdhe(*suite_) ? SignedKeyExchange(EcdheParams())
                             : !IsDh(*suite_) ? Bytes()
                             : anonymous   ? Message(12, DhParams(DhPrime()))
                                           : SignedKeyExchange(DhParams(DhPrime()));
  const Bytes done = Message(14, {});
  Bytes request = {1, 1};  // rsa_sign, no authorities
  Put16(request, 0);

  std::vector<Bytes> flight;
  switch (options_.flight) {
    case Flight::kHonest:
    case Flight::kKeyExchangeSignedOverSwappedRandoms:
      flight = {server_hello};
      if (!anonymous) flight.push_back(certificate);
      if (!key_exchange.empty()) flight.push_back(key_exchange);
      if (!options_.certificate_request.empty()) flight.push_back(Message(13, options_.certificate_request));
      flight.push_back(done);
      break;
    case Flight::kCertificateInAnonymousSuite:
      flight = {server_hello, certificate, Message(12, DhParams(Prime1024())), done};
      break;
    case Flight::kTwoCertificates:
      flight = {server_hello, CertificateMessage(options_.other_chain), certificate};
      if (!key_exchange.empty()) flight.push_back(key_exchange);
      flight.push_back(done);
      break;
    case Flight::kTemporaryRsaKey: {
      Bytes params;
      PutVector16(params, (BigNumber(1).ShiftedLeft(511) + BigNumber(0x10001)).ToMinimalBytes());
      PutVector16(params, {1, 0, 1});
      flight = {server_hello, certificate, SignedKeyExchange(params), done};
      break;
    }
    case Flight::kShortDhPrime:
      flight = {server_hello, certificate, SignedKeyExchange(DhParams(Prime768())), done};
      break;
    case Flight::kKeyExchangeBeforeCertificate:
      flight = {server_hello, SignedKeyExchange(DhParams(Prime1024())), certificate, done};
      break;
    case Flight::kDoneWithoutCertificate:
      flight = {server_hello, done};
      break;
    case Flight::kRequestBeforeCertificate:
      flight = {server_hello, Message(13, request), certificate, done};
      break;
    case Flight::kDoneWithoutKeyExchange:
      flight = {server_hello, certificate, done};
      break;
    case Flight::kServerHelloTwice:
      flight = {server_hello, server_hello, certificate, done};
      break;
    case Flight::kCertificateAfterDone:
      flight = {server_hello, certificate};
      if (!key_exchange.empty()) flight.push_back(key_exchange);
      flight.push_back(done);
      flight.push_back(certificate);
      break;
  }
  Bytes record;
  for (const auto& message : flight) {
    Transcript(message);
    record.insert(record.end(), message.begin(), message.end());
  }
  SendRecord(22, record);
}

BigNumber HostileTlsServerFake::DhPrime() const {
  const bool large = options_.dh_bits == 2048 || (options_.dh_bits == 0 && !ssl3_ && options_.version >= 0x0303);
  return large ? Prime2048() : Prime1024();
}

PrfKind HostileTlsServerFake::Prf() const {
  if (ssl3_ || options_.version < 0x0303) return PrfKind::kTls10;
  return suite_->sha384_prf ? PrfKind::kSha384 : PrfKind::kSha256;
}

TlsKeys HostileTlsServerFake::Keys() const {
  return ssl3_ ? Ssl3KeyBlock(master_, client_random_, server_random_, *suite_)
               : DeriveKeyBlock(Prf(), master_, client_random_, server_random_, *suite_);
}

void HostileTlsServerFake::SendProtected(std::uint8_t type, const Bytes& content, bool spoil_mac, int padding_byte) {
  SendRecord(type, content, spoil_mac, padding_byte);
}

void HostileTlsServerFake::SendRecord(std::uint8_t type, const Bytes& content, bool spoil_mac, int padding_byte) {
  Bytes fragment = content;
  if (modern_write_ != nullptr) {
    fragment.resize(modern_write_->ProtectedSize(content.size()));
    modern_write_->Protect(type, options_.version, write_sequence_++, content, fragment.data());
    if (spoil_mac) fragment.back() ^= 1;
  } else if (write_ != nullptr) {
    Bytes mac(suite_->mac_size);
    ComputeRecordMac(ssl3_, suite_->mac, write_mac_, write_sequence_++, type, options_.version, content, mac.data());
    if (spoil_mac && !mac.empty()) mac[0] ^= 1;
    fragment.insert(fragment.end(), mac.begin(), mac.end());
    const std::size_t block = suite_->BlockSize();
    if (block != 0) {
      const std::size_t padding = block - fragment.size() % block;
      fragment.insert(fragment.end(), padding, static_cast<std::uint8_t>(padding - 1));
      if (padding_byte >= 0 && padding_byte <= 255) fragment.back() = static_cast<std::uint8_t>(padding_byte);
    }
    write_->Crypt(fragment.data(), fragment.data(), fragment.size());
  }
  // Records longer than a record may be are cut; the fuzzer asks for any length.
  if (fragment.size() > 0xffff) fragment.resize(0xffff);
  out_.push_back(type);
  Put16(out_, options_.version);
  Put16(out_, fragment.size());
  out_.insert(out_.end(), fragment.begin(), fragment.end());
}

}  // namespace security::testing
