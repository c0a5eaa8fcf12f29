#include "security/crypto/random_generator.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

// srand/rand share one state in the C library.
std::mutex& CLibraryRandMutex() {
  static std::mutex mutex;
  return mutex;
}

class GetrandomSource final : public RandomSource {
 public:
  bool Fill(std::span<std::uint8_t> out) override {
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t got = getrandom(out.data() + done, out.size() - done, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += static_cast<std::size_t>(got);
    }
    return true;
  }
};

}  // namespace

RandomSource& SystemRandomSource() {
  static GetrandomSource source;
  return source;
}

namespace internal {

std::uint32_t RandomKeyWord(const int (&rand_values)[8]) {
  std::uint64_t value = 0;
  for (int k = 0; k < 4; ++k) {
    // Sum in unsigned arithmetic: two results near RAND_MAX overflow an int.
    const std::uint64_t part = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(rand_values[2 * k])) +
                                static_cast<std::uint32_t>(rand_values[2 * k + 1]) + 1) &
                               0xffff;
    value |= part << (16 * k);
  }
  // Absolute value of the signed reading; the most negative value has no
  // positive counterpart and comes out as 2^63, whose low word is 0.
  const std::uint64_t magnitude = (value >> 63) != 0 ? 0 - value : value;
  return static_cast<std::uint32_t>(magnitude);
}

}  // namespace internal

RandomGenerator::~RandomGenerator() { Unseed(); }

void RandomGenerator::Unseed() {
  SecureWipe(s_, sizeof(s_));
  i_ = 0;
  j_ = 0;
  seeded_ = false;
}

bool RandomGenerator::Seed() {
  std::uint8_t key[kKeyBytes];
  if (!source_->Fill(key)) {
    // Never go on with an old or guessable key.
    SecureWipe(key, sizeof(key));
    Unseed();
    return false;
  }
  KeySchedule(key);
  SecureWipe(key, sizeof(key));
  for (std::size_t n = 0; n < kDiscardedBytes; ++n) NextByte();
  return true;
}

void RandomGenerator::SeedForTesting(unsigned int srand_value) {
  std::uint32_t words[2];
  {
    std::lock_guard<std::mutex> lock(CLibraryRandMutex());
    std::srand(srand_value);
    for (auto& word : words) {
      int values[8];
      for (int& v : values) v = std::rand();
      word = internal::RandomKeyWord(values);
    }
  }
  std::uint8_t key[8];
  for (int k = 0; k < 4; ++k) {
    key[k] = static_cast<std::uint8_t>(words[0] >> (8 * k));
    key[4 + k] = static_cast<std::uint8_t>(words[1] >> (8 * k));
  }
  KeySchedule(key);
}

void RandomGenerator::KeySchedule(std::span<const std::uint8_t> key) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (std::size_t k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + s_[k] + key[k % key.size()]);
    std::swap(s_[k], s_[j]);
  }
  i_ = 0;
  j_ = 0;
  seeded_ = true;
}

std::uint8_t RandomGenerator::NextByte() {
  if (!seeded_ && !Seed()) throw std::runtime_error("No random source");
  i_ = static_cast<std::uint16_t>((i_ + 1) % 256);
  j_ = static_cast<std::uint16_t>((j_ + s_[i_]) % 256);
  std::swap(s_[i_], s_[j_]);
  return s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
}

std::vector<std::uint32_t> RandomGenerator::FillWords(std::size_t n_bytes) {
  std::vector<std::uint32_t> words((n_bytes + 3) / 4, 0);
  for (std::size_t n = 0; n < n_bytes; ++n) {
    words[n / 4] |= static_cast<std::uint32_t>(NextByte()) << (8 * (n % 4));
  }
  return words;
}

BigNumber RandomGenerator::FillBigNumber(std::size_t n_bytes) {
  if ((n_bytes + 3) / 4 > BigNumber::kMaxWords) throw std::overflow_error("Number too large");
  return BigNumber::FromWords(FillWords(n_bytes));
}

}  // namespace security
