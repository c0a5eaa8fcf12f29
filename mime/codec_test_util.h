#pragma once
// Helpers shared by the codec tests: run a streaming filter over input cut into
// chunks of a given size, or cut at given offsets.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "mime/byte_stream.h"
#include "mime/result.h"

namespace mime::testing {

// Feeds `input` to a filter of type Filter (constructed on a sink) in pieces ending at
// `cuts` (ascending offsets), then Finish(). Returns what the sink got.
template <typename Filter>
std::string RunCut(std::string_view input, const std::vector<std::size_t>& cuts) {
  StringSink sink;
  Filter filter(sink);
  std::size_t from = 0;
  auto feed = [&](std::size_t to) {
    if (filter.Write(AsBytes(input.substr(from, to - from))) != kMimeOk) std::abort();
    from = to;
  };
  for (std::size_t c : cuts) feed(c);
  feed(input.size());
  if (filter.Finish() != kMimeOk) std::abort();
  return sink.Take();
}

template <typename Filter>
std::string RunChunked(std::string_view input, std::size_t chunk) {
  std::vector<std::size_t> cuts;
  for (std::size_t c = chunk; c < input.size(); c += chunk) cuts.push_back(c);
  return RunCut<Filter>(input, cuts);
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// A sink that fails once it has taken `limit` bytes.
class FailingSink : public ByteSink {
 public:
  explicit FailingSink(std::size_t limit) : limit_(limit) {}

 protected:
  MimeResult DoWrite(std::span<const std::uint8_t> bytes) override {
    if (taken_ + bytes.size() > limit_) return kMimeErrorWrite;
    taken_ += bytes.size();
    return kMimeOk;
  }

 private:
  std::size_t limit_;
  std::size_t taken_ = 0;
};

inline constexpr std::size_t kChunkSizes[] = {1, 16, 1024, 4096};

}  // namespace mime::testing
