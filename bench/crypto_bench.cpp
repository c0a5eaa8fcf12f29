// Throughput of our hashes and ciphers against OpenSSL's EVP on the same
// buffers, followed by one summary line per primitive and size:
// "ours MB/s, openssl MB/s, ratio" (ratio = OpenSSL speed / ours); then the
// key agreements and signature checks as operations per second.
//
// OpenSSL's hardware paths (AES-NI, SHA extensions, SSSE3/AVX code) are
// masked through OPENSSL_ia32cap so that the baseline is its portable code;
// set DICTALO_BENCH_OPENSSL_FULL=1 to compare against everything it has.

#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "security/crypto/aes.h"
#include "security/crypto/aes_gcm.h"
#include "security/crypto/chacha20_poly1305.h"
#include "security/crypto/des.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/hmac.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc4.h"
#include "security/crypto/sha1.h"
#include "security/crypto/x25519.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSizes[] = {16 * 1024, 1024 * 1024};

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

const Bytes& Buffer(std::size_t size) {
  static std::map<std::size_t, Bytes> buffers;
  auto it = buffers.find(size);
  if (it == buffers.end()) it = buffers.emplace(size, RandomBytes(size, 1)).first;
  return it->second;
}

const Bytes kKey16 = RandomBytes(16, 2);
const Bytes kKey20 = RandomBytes(20, 3);
const Bytes kKey24 = RandomBytes(24, 4);
const Bytes kIv8 = RandomBytes(8, 5);
const Bytes kIv16 = RandomBytes(16, 6);
const Bytes kKey32 = RandomBytes(32, 7);
const Bytes kNonce12 = RandomBytes(12, 8);
const Bytes kAad13 = RandomBytes(13, 9);  // a TLS record header

// One measured operation over `size` bytes; set-up runs once outside the timing.
using Operation = std::function<void(Bytes& work)>;
using Factory = std::function<Operation()>;

struct Primitive {
  const char* name;
  Factory ours;
  Factory openssl;
};

Operation OpenSslDigest(const char* name) {
  std::shared_ptr<EVP_MD> md(EVP_MD_fetch(nullptr, name, nullptr), EVP_MD_free);
  return [md](Bytes& work) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(work.data(), work.size(), out, &length, md.get(), nullptr);
    benchmark::DoNotOptimize(out);
  };
}

// A cipher context set up once and then streamed through, like a TLS connection.
Operation OpenSslCipher(const char* name, const Bytes& key, const Bytes* iv) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  if (cipher == nullptr) return nullptr;
  std::shared_ptr<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EVP_EncryptInit_ex2(ctx.get(), cipher, key.data(), iv != nullptr ? iv->data() : nullptr, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  EVP_CIPHER_free(cipher);  // the context keeps its own reference
  return [ctx](Bytes& work) {
    int length = 0;
    EVP_EncryptUpdate(ctx.get(), work.data(), &length, work.data(), static_cast<int>(work.size()));
    benchmark::DoNotOptimize(work.data());
  };
}

template <typename Cipher>
Operation OursCbc(const Bytes& key, const Bytes& iv) {
  auto cipher = std::make_shared<Cipher>();
  cipher->InitEncrypt(key, iv);
  return [cipher](Bytes& work) {
    std::size_t room = work.size();
    if (!cipher->Encrypt(work.data(), work.size(), work.data(), &room)) std::abort();
    benchmark::DoNotOptimize(work.data());
  };
}

// One AEAD sealing per call, with the nonce set afresh as a record layer does.
Operation OpenSslSeal(const char* name, const Bytes& key) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  if (cipher == nullptr) return nullptr;
  std::shared_ptr<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EVP_EncryptInit_ex2(ctx.get(), cipher, key.data(), nullptr, nullptr);
  EVP_CIPHER_free(cipher);
  auto out = std::make_shared<Bytes>();
  return [ctx, out](Bytes& work) {
    out->resize(work.size() + 16);
    int length = 0;
    EVP_EncryptInit_ex2(ctx.get(), nullptr, nullptr, kNonce12.data(), nullptr);
    EVP_EncryptUpdate(ctx.get(), nullptr, &length, kAad13.data(), static_cast<int>(kAad13.size()));
    EVP_EncryptUpdate(ctx.get(), out->data(), &length, work.data(), static_cast<int>(work.size()));
    EVP_EncryptFinal_ex(ctx.get(), out->data() + length, &length);
    EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, 16, out->data() + work.size());
    benchmark::DoNotOptimize(out->data());
  };
}

Operation OursSeal(std::shared_ptr<security::AeadCipher> aead) {
  auto out = std::make_shared<Bytes>();
  return [aead, out](Bytes& work) {
    out->resize(work.size() + 16);
    aead->Seal(kNonce12, kAad13, work, out->data());
    benchmark::DoNotOptimize(out->data());
  };
}

std::vector<Primitive> Primitives() {
  using security::Md5;
  using security::Sha1;
  return {
      {"MD5",
       [] {
         return Operation([](Bytes& work) { benchmark::DoNotOptimize(Md5::Hash(work.data(), work.size())); });
       },
       [] { return OpenSslDigest("MD5"); }},
      {"SHA-1",
       [] {
         return Operation([](Bytes& work) { benchmark::DoNotOptimize(Sha1::Hash(work.data(), work.size())); });
       },
       [] { return OpenSslDigest("SHA1"); }},
      {"HMAC-SHA-1",
       [] {
         return Operation([](Bytes& work) { benchmark::DoNotOptimize(security::HmacSha1(work, kKey20)); });
       },
       [] {
         return Operation([](Bytes& work) {
           unsigned char out[EVP_MAX_MD_SIZE];
           unsigned int length = 0;
           HMAC(EVP_sha1(), kKey20.data(), static_cast<int>(kKey20.size()), work.data(), work.size(), out, &length);
           benchmark::DoNotOptimize(out);
         });
       }},
      {"RC4",
       [] {
         auto rc4 = std::make_shared<security::Rc4>(kKey16);
         return Operation([rc4](Bytes& work) {
           rc4->Crypt(work);
           benchmark::DoNotOptimize(work.data());
         });
       },
       [] { return OpenSslCipher("RC4", kKey16, nullptr); }},
      {"3DES-CBC", [] { return OursCbc<security::TripleDesCbc>(kKey24, kIv8); },
       [] { return OpenSslCipher("DES-EDE3-CBC", kKey24, &kIv8); }},
      {"AES-128-CBC", [] { return OursCbc<security::AesCbc>(kKey16, kIv16); },
       [] { return OpenSslCipher("AES-128-CBC", kKey16, &kIv16); }},
      {"AES-128-GCM", [] { return OursSeal(std::make_shared<security::AesGcm>(kKey16)); },
       [] { return OpenSslSeal("AES-128-GCM", kKey16); }},
      {"AES-256-GCM", [] { return OursSeal(std::make_shared<security::AesGcm>(kKey32)); },
       [] { return OpenSslSeal("AES-256-GCM", kKey32); }},
      {"ChaCha20-P1305", [] { return OursSeal(std::make_shared<security::ChaCha20Poly1305>(kKey32)); },
       [] { return OpenSslSeal("ChaCha20-Poly1305", kKey32); }},
  };
}

// Key agreement and signature checks: one operation per call.
using KeyOperation = std::function<void()>;
using KeyFactory = std::function<KeyOperation()>;

struct KeyPrimitive {
  const char* name;
  KeyFactory ours;
  KeyFactory openssl;
};

std::shared_ptr<EVP_PKEY> GenerateKey(const char* type, const char* group) {
  return {group == nullptr ? EVP_PKEY_Q_keygen(nullptr, nullptr, type) : EVP_PKEY_Q_keygen(nullptr, nullptr, type, group),
          EVP_PKEY_free};
}

Bytes RawPrivate(EVP_PKEY* key, std::size_t size) {
  Bytes out(size);
  if (EVP_PKEY_get_base_id(key) == EVP_PKEY_X25519) {
    EVP_PKEY_get_raw_private_key(key, out.data(), &size);
    return out;
  }
  BIGNUM* priv = nullptr;
  EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_PRIV_KEY, &priv);
  BN_bn2binpad(priv, out.data(), static_cast<int>(size));
  BN_clear_free(priv);
  return out;
}

Bytes RawPublic(EVP_PKEY* key) {
  Bytes out(200);
  std::size_t length = 0;
  if (EVP_PKEY_get_base_id(key) == EVP_PKEY_X25519) {
    length = out.size();
    EVP_PKEY_get_raw_public_key(key, out.data(), &length);
  } else {
    EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, out.data(), out.size(), &length);
  }
  out.resize(length);
  return out;
}

KeyOperation OpenSslDerive(const char* type, const char* group) {
  auto mine = GenerateKey(type, group);
  auto theirs = GenerateKey(type, group);
  std::shared_ptr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(mine.get(), nullptr), EVP_PKEY_CTX_free);
  EVP_PKEY_derive_init(ctx.get());
  EVP_PKEY_derive_set_peer(ctx.get(), theirs.get());
  return [ctx, mine, theirs] {
    unsigned char secret[128];
    std::size_t length = sizeof(secret);
    EVP_PKEY_derive(ctx.get(), secret, &length);
    benchmark::DoNotOptimize(secret);
  };
}

KeyOperation OursX25519() {
  auto mine = GenerateKey("X25519", nullptr);
  auto theirs = GenerateKey("X25519", nullptr);
  const Bytes private_key = RawPrivate(mine.get(), 32);
  const Bytes peer = RawPublic(theirs.get());
  return [private_key, peer] {
    std::uint8_t secret[32];
    benchmark::DoNotOptimize(security::X25519(private_key.data(), peer.data(), secret));
  };
}

KeyOperation OursEcdh(security::NamedCurve curve, const char* group) {
  auto mine = GenerateKey("EC", group);
  auto theirs = GenerateKey("EC", group);
  const Bytes private_key = RawPrivate(mine.get(), security::EcFieldSize(curve));
  const Bytes peer = RawPublic(theirs.get());
  return [curve, private_key, peer] { benchmark::DoNotOptimize(security::EcdhSharedSecret(curve, private_key, peer)); };
}

// A key, a digest and OpenSSL's DER signature of it.
struct SignedDigest {
  std::shared_ptr<EVP_PKEY> key;
  Bytes digest;
  Bytes signature;
};

SignedDigest SignDigest(const char* group) {
  SignedDigest out{GenerateKey("EC", group), RandomBytes(32, 10), Bytes(256)};
  std::shared_ptr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(out.key.get(), nullptr), EVP_PKEY_CTX_free);
  std::size_t length = out.signature.size();
  EVP_PKEY_sign_init(ctx.get());
  EVP_PKEY_sign(ctx.get(), out.signature.data(), &length, out.digest.data(), out.digest.size());
  out.signature.resize(length);
  return out;
}

KeyOperation OpenSslEcdsaVerify(const char* group) {
  auto s = std::make_shared<SignedDigest>(SignDigest(group));
  std::shared_ptr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(s->key.get(), nullptr), EVP_PKEY_CTX_free);
  EVP_PKEY_verify_init(ctx.get());
  return [s, ctx] {
    if (EVP_PKEY_verify(ctx.get(), s->signature.data(), s->signature.size(), s->digest.data(), s->digest.size()) != 1) {
      std::abort();
    }
  };
}

KeyOperation OursEcdsaVerify(security::NamedCurve curve, const char* group) {
  auto s = std::make_shared<SignedDigest>(SignDigest(group));
  const Bytes point = RawPublic(s->key.get());
  return [s, curve, point] {
    if (!security::EcdsaVerify(curve, point, s->digest, s->signature)) std::abort();
  };
}

std::vector<KeyPrimitive> KeyPrimitives() {
  using security::NamedCurve;
  return {
      {"X25519", [] { return OursX25519(); }, [] { return OpenSslDerive("X25519", nullptr); }},
      {"P-256 ECDH", [] { return OursEcdh(NamedCurve::kP256, "P-256"); }, [] { return OpenSslDerive("EC", "P-256"); }},
      {"P-384 ECDH", [] { return OursEcdh(NamedCurve::kP384, "P-384"); }, [] { return OpenSslDerive("EC", "P-384"); }},
      {"P-256 ECDSA vfy", [] { return OursEcdsaVerify(NamedCurve::kP256, "P-256"); },
       [] { return OpenSslEcdsaVerify("P-256"); }},
      {"P-384 ECDSA vfy", [] { return OursEcdsaVerify(NamedCurve::kP384, "P-384"); },
       [] { return OpenSslEcdsaVerify("P-384"); }},
  };
}

void RunKey(benchmark::State& state, const KeyFactory& factory) {
  KeyOperation operation = factory();
  for (auto _ : state) operation();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void Run(benchmark::State& state, const Factory& factory, std::size_t size) {
  Operation operation = factory();
  if (!operation) {
    state.SkipWithError("not available in this OpenSSL");
    return;
  }
  Bytes work = Buffer(size);
  for (auto _ : state) operation(work);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

// Console output as usual, plus the throughput of every run for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) speed_[run.benchmark_name()] = it->second.value / 1e6;
      const auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) speed_[run.benchmark_name()] = items->second.value;
    }
  }

  double Speed(const std::string& name) const {
    const auto it = speed_.find(name);
    return it == speed_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> speed_;
};

std::string Name(const char* primitive, const char* side, std::size_t size) {
  return std::string(primitive) + "/" + side + "/" + std::to_string(size);
}

}  // namespace

int main(int argc, char** argv) {
  const bool full_openssl = std::getenv("DICTALO_BENCH_OPENSSL_FULL") != nullptr;
  if (!full_openssl && std::getenv("OPENSSL_ia32cap") == nullptr) {
    // libcrypto reads its capability mask when it is loaded, before main, so
    // restart with the mask set: clear AES-NI, PCLMULQDQ, SSSE3 and AVX
    // (CPUID 1 ECX) and AVX2, BMI and the SHA extensions (CPUID 7 EBX).
    setenv("OPENSSL_ia32cap", "~0x1200020200000000:~0x20000128", 1);
    execv("/proc/self/exe", argv);
    std::perror("re-running with OPENSSL_ia32cap");  // carry on with the full baseline
  }
  const char* mask = std::getenv("OPENSSL_ia32cap");
  OSSL_PROVIDER_load(nullptr, "default");
  OSSL_PROVIDER_load(nullptr, "legacy");  // RC4

  const auto primitives = Primitives();
  for (const auto& p : primitives) {
    for (std::size_t size : kSizes) {
      benchmark::RegisterBenchmark(Name(p.name, "ours", size).c_str(),
                                   [&p, size](benchmark::State& state) { Run(state, p.ours, size); });
      benchmark::RegisterBenchmark(Name(p.name, "openssl", size).c_str(),
                                   [&p, size](benchmark::State& state) { Run(state, p.openssl, size); });
    }
  }

  const auto key_primitives = KeyPrimitives();
  for (const auto& p : key_primitives) {
    benchmark::RegisterBenchmark((std::string(p.name) + "/ours").c_str(),
                                 [&p](benchmark::State& state) { RunKey(state, p.ours); });
    benchmark::RegisterBenchmark((std::string(p.name) + "/openssl").c_str(),
                                 [&p](benchmark::State& state) { RunKey(state, p.openssl); });
  }

  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nOpenSSL baseline: %s\n",
              mask == nullptr ? "all CPU features" : (std::string("capabilities masked by OPENSSL_ia32cap=") + mask).c_str());
  for (const auto& p : primitives) {
    for (std::size_t size : kSizes) {
      const double ours = reporter.Speed(Name(p.name, "ours", size));
      const double openssl = reporter.Speed(Name(p.name, "openssl", size));
      if (ours <= 0.0) continue;  // filtered out or failed
      std::printf("%-12s %8zu B: ours %8.1f MB/s, openssl %8.1f MB/s, ratio %5.2f\n", p.name, size, ours, openssl,
                  openssl > 0.0 ? openssl / ours : 0.0);
    }
  }
  for (const auto& p : key_primitives) {
    const double ours = reporter.Speed(std::string(p.name) + "/ours");
    const double openssl = reporter.Speed(std::string(p.name) + "/openssl");
    if (ours <= 0.0) continue;
    std::printf("%-16s ours %9.0f op/s, openssl %9.0f op/s, ratio %5.2f\n", p.name, ours, openssl,
                openssl > 0.0 ? openssl / ours : 0.0);
  }
  return 0;
}
