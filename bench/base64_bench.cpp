// Our streaming base64 encoder and decoder against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock (the whole-buffer routines a coreutils-style tool would use), on
// the same 1 MiB of data in the same process. Prints our time over OpenSSL's.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mime/base64.h"

namespace {

constexpr std::size_t kInputSize = 1 << 20;
constexpr std::size_t kBlock = 4096;  // bodies are read in blocks of this size

const std::string& Input() {
  static const std::string data = [] {
    std::mt19937 gen(42);
    std::string s(kInputSize, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
  }();
  return data;
}

const std::string& Encoded(std::size_t line_length) {
  static std::map<std::size_t, std::string> cache;
  auto it = cache.find(line_length);
  if (it == cache.end()) it = cache.emplace(line_length, mime::Base64Encode(Input(), line_length)).first;
  return it->second;
}

class DiscardSink : public mime::ByteSink {
 protected:
  mime::MimeResult DoWrite(std::span<const std::uint8_t> bytes) override {
    benchmark::DoNotOptimize(bytes.data());
    return mime::kMimeOk;
  }
};

template <typename Filter>
void RunStreaming(benchmark::State& state, const std::string& input, Filter& filter) {
  for (std::size_t at = 0; at < input.size(); at += kBlock) {
    if (filter.Write(mime::AsBytes(std::string_view(input).substr(at, kBlock))) != mime::kMimeOk) {
      state.SkipWithError("write failed");
    }
  }
  if (filter.Finish() != mime::kMimeOk) state.SkipWithError("finish failed");
}

void BM_OursEncode76(benchmark::State& state) {
  for (auto _ : state) {
    DiscardSink sink;
    mime::Base64Encoder encoder(sink, mime::kBase64BodyLineLength);
    RunStreaming(state, Input(), encoder);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void BM_OursEncodeOneLine(benchmark::State& state) {
  for (auto _ : state) {
    DiscardSink sink;
    mime::Base64Encoder encoder(sink, mime::kBase64SingleLine);
    RunStreaming(state, Input(), encoder);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void BM_OpenSslEncodeBlock(benchmark::State& state) {
  std::vector<unsigned char> out(kInputSize / 3 * 4 + 8);
  const auto* in = reinterpret_cast<const unsigned char*>(Input().data());
  for (auto _ : state) {
    // Block by block as well, so both sides see the same access pattern (4095 is a
    // multiple of 3, so the blocks join without padding).
    unsigned char* o = out.data();
    for (std::size_t at = 0; at < kInputSize; at += 4095) {
      int n = static_cast<int>(std::min<std::size_t>(4095, kInputSize - at));
      o += EVP_EncodeBlock(o, in + at, n);
    }
    benchmark::DoNotOptimize(o);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void BM_OursDecode(benchmark::State& state) {
  const std::string& encoded = Encoded(mime::kBase64SingleLine);
  for (auto _ : state) {
    DiscardSink sink;
    mime::Base64Decoder decoder(sink);
    RunStreaming(state, encoded, decoder);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void BM_OpenSslDecodeBlock(benchmark::State& state) {
  const std::string& encoded = Encoded(mime::kBase64SingleLine);
  std::vector<unsigned char> out(kInputSize + 8);
  const auto* in = reinterpret_cast<const unsigned char*>(encoded.data());
  for (auto _ : state) {
    unsigned char* o = out.data();
    for (std::size_t at = 0; at < encoded.size(); at += kBlock) {
      int n = static_cast<int>(std::min<std::size_t>(kBlock, encoded.size() - at));
      o += EVP_DecodeBlock(o, in + at, n);
    }
    benchmark::DoNotOptimize(o);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

BENCHMARK(BM_OursEncode76);
BENCHMARK(BM_OursEncodeOneLine);
BENCHMARK(BM_OpenSslEncodeBlock);
BENCHMARK(BM_OursDecode);
BENCHMARK(BM_OpenSslDecodeBlock);

// Keeps each benchmark's time per iteration for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    auto ratio = [&](const char* ours, const char* theirs) {
      auto a = times_.find(ours), b = times_.find(theirs);
      if (a == times_.end() || b == times_.end() || b->second <= 0) return;
      std::printf("ratio %s / %s = %.2f\n", ours, theirs, a->second / b->second);
    };
    ratio("BM_OursEncode76", "BM_OpenSslEncodeBlock");
    ratio("BM_OursEncodeOneLine", "BM_OpenSslEncodeBlock");
    ratio("BM_OursDecode", "BM_OpenSslDecodeBlock");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Both sides must agree before their speed means anything.
  std::string theirs(kInputSize / 3 * 4 + 8, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(theirs.data()),
                          reinterpret_cast<const unsigned char*>(Input().data()), static_cast<int>(kInputSize));
  theirs.resize(static_cast<std::size_t>(n));
  if (theirs != Encoded(mime::kBase64SingleLine)) {
    std::fprintf(stderr, "our encoding differs from OpenSSL's\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
