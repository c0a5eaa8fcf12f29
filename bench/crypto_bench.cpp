// Throughput of our hashes and ciphers against OpenSSL's EVP on the same
// buffers, followed by one summary line per primitive and size:
// "ours MB/s, openssl MB/s, ratio" (ratio = OpenSSL speed / ours).
//
// OpenSSL's hardware paths (AES-NI, SHA extensions, SSSE3/AVX code) are
// masked through OPENSSL_ia32cap so that the baseline is its portable code;
// set DICTALO_BENCH_OPENSSL_FULL=1 to compare against everything it has.

#include <benchmark/benchmark.h>
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
#include "security/crypto/des.h"
#include "security/crypto/hmac.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc4.h"
#include "security/crypto/sha1.h"

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
  };
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
  return 0;
}
