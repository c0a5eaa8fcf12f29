#include "security/crypto/random_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <thread>
#include <vector>

#include "security/crypto/rc4.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Take(RandomGenerator& generator, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) b = generator.NextByte();
  return out;
}

// The generator's stream written out independently: srand, sixteen rand() calls
// folded into two words, their bytes as an RC4 key.
Bytes ExpectedStream(unsigned int seed, std::size_t n) {
  std::srand(seed);
  std::uint8_t key[8];
  for (int word = 0; word < 2; ++word) {
    std::int64_t value = 0;
    for (int part = 0; part < 4; ++part) {
      const long long a = std::rand();
      const long long b = std::rand();
      value |= static_cast<std::int64_t>((a + b + 1) % 65536) << (16 * part);
    }
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    for (int k = 0; k < 4; ++k) key[4 * word + k] = static_cast<std::uint8_t>(magnitude >> (8 * k));
  }
  Rc4 rc4(key);
  Bytes stream(n, 0);
  rc4.Crypt(stream);
  return stream;
}

TEST(RandomGeneratorTest, StreamIsRc4KeyedFromRandWords) {
  for (unsigned int seed : {0u, 1u, 42u, 0xdeadbeefu}) {
    RandomGenerator generator;
    generator.SeedForTesting(seed);
    EXPECT_EQ(Take(generator, 600), ExpectedStream(seed, 600)) << "seed " << seed;
  }
}

struct KeyWordCase {
  int rand_values[8];
  std::uint32_t word;
};

// Hand-worked folds: all zero; all parts 0xffff (the number -1); a large
// positive number; the most negative number, which has no absolute value in 64 bits.
constexpr KeyWordCase kKeyWordCases[] = {
    {{0, 0, 0, 0, 0, 0, 0, 0}, 0x00010001u},
    {{0x7fff, 0x7fff, 0x7fff, 0x7fff, 0x7fff, 0x7fff, 0x7fff, 0x7fff}, 1u},
    {{0x1233, 0, 0x5677, 0, 0, 0, 0x0fff, 0x6000}, 0x56781234u},
    {{0x7fff, 0x8000, 0x7fff, 0x8000, 0x7fff, 0x8000, 0x7fff, 0}, 0u},
    // Results near RAND_MAX: the sums must not overflow.
    {{0x7fffffff, 0x7fffffff, 0, 0, 0, 0, 0, 0}, 0x0001ffffu},
};

TEST(RandomGeneratorTest, KeyWordFolding) {
  for (const auto& c : kKeyWordCases) EXPECT_EQ(internal::RandomKeyWord(c.rand_values), c.word);
}

TEST(RandomGeneratorTest, NextByteSeedsAnUnseededGenerator) {
  RandomGenerator generator;
  EXPECT_FALSE(generator.IsSeeded());
  generator.NextByte();
  EXPECT_TRUE(generator.IsSeeded());
}

// Hands out fixed keys in turn, counting calls; or fails like a system
// without a random source.
class FakeRandomSource final : public RandomSource {
 public:
  explicit FakeRandomSource(std::vector<Bytes> keys) : keys_(std::move(keys)) {}
  bool Fill(std::span<std::uint8_t> out) override {
    ++calls;
    requested = out.size();
    if (next_ >= keys_.size()) return false;
    const Bytes& key = keys_[next_++];
    if (key.size() != out.size()) return false;
    std::copy(key.begin(), key.end(), out.begin());
    return true;
  }
  int calls = 0;
  std::size_t requested = 0;

 private:
  std::vector<Bytes> keys_;
  std::size_t next_ = 0;
};

Bytes KeyOf(std::uint8_t first) {
  Bytes key(RandomGenerator::kKeyBytes);
  for (std::size_t k = 0; k < key.size(); ++k) key[k] = static_cast<std::uint8_t>(first + 7 * k);
  return key;
}

// RC4 under `key` with the early stream dropped, written out independently.
Bytes DroppedRc4Stream(const Bytes& key, std::size_t n) {
  Rc4 rc4(key);
  Bytes stream(RandomGenerator::kDiscardedBytes + n, 0);
  rc4.Crypt(stream);
  return Bytes(stream.begin() + RandomGenerator::kDiscardedBytes, stream.end());
}

Bytes StreamFromKey(const Bytes& key, std::size_t n) {
  FakeRandomSource source({key});
  RandomGenerator generator(source);
  EXPECT_TRUE(generator.Seed());
  return Take(generator, n);
}

// Two generators differ because each takes all 256 bits of its key from the
// system source, not because of the time or its address: the same source
// bytes give the same stream, and a change in any one key byte another one.
TEST(RandomGeneratorTest, TwoGeneratorsGiveDifferentSequences) {
  RandomGenerator first;
  RandomGenerator second;
  ASSERT_TRUE(first.Seed());
  ASSERT_TRUE(second.Seed());
  EXPECT_NE(Take(first, 32), Take(second, 32));

  const Bytes key = KeyOf(1);
  const Bytes stream = StreamFromKey(key, 32);
  EXPECT_EQ(StreamFromKey(key, 32), stream);
  for (std::size_t k = 0; k < key.size(); ++k) {
    Bytes changed = key;
    changed[k] ^= 0x01;
    EXPECT_NE(StreamFromKey(changed, 32), stream) << "key byte " << k << " is ignored";
  }
}

// The stream is RC4 under the system key with the early output (which leaks
// key bytes and goes out in the hello) dropped.
TEST(RandomGeneratorTest, SeedDropsEarlyKeyStream) {
  const Bytes key = KeyOf(9);
  FakeRandomSource source({key});
  RandomGenerator generator(source);
  ASSERT_TRUE(generator.Seed());
  EXPECT_EQ(source.requested, RandomGenerator::kKeyBytes);
  EXPECT_EQ(Take(generator, 64), DroppedRc4Stream(key, 64));
}

// Reseed takes a whole new key; a connection never continues the last one's stream.
TEST(RandomGeneratorTest, ReseedTakesAFreshKey) {
  const Bytes first_key = KeyOf(3);
  const Bytes second_key = KeyOf(200);
  FakeRandomSource source({first_key, second_key});
  RandomGenerator generator(source);
  ASSERT_TRUE(generator.Seed());
  EXPECT_EQ(Take(generator, 16), DroppedRc4Stream(first_key, 16));
  ASSERT_TRUE(generator.Reseed());
  EXPECT_EQ(source.calls, 2);
  EXPECT_EQ(Take(generator, 16), DroppedRc4Stream(second_key, 16));
}

// Without a system source there is no stream at all: no silent fallback to a
// guessable seed, and no carrying on with an old key after a failed reseed.
TEST(RandomGeneratorTest, FailingSourceIsReported) {
  FakeRandomSource dead({});
  RandomGenerator generator(dead);
  EXPECT_FALSE(generator.Seed());
  EXPECT_FALSE(generator.IsSeeded());
  EXPECT_THROW(generator.NextByte(), std::runtime_error);
  EXPECT_THROW(generator.FillBigNumber(16), std::runtime_error);

  FakeRandomSource once({KeyOf(5)});
  RandomGenerator reseeded(once);
  ASSERT_TRUE(reseeded.Seed());
  reseeded.NextByte();
  EXPECT_FALSE(reseeded.Reseed());
  EXPECT_FALSE(reseeded.IsSeeded());
  EXPECT_THROW(reseeded.NextByte(), std::runtime_error);
}

// Bytes go into words least significant first; a partial last word uses its low bytes
// and exactly n bytes are consumed.
TEST(RandomGeneratorTest, FillWordsByteOrder) {
  for (std::size_t n : {0u, 1u, 4u, 10u, 64u, 67u}) {
    RandomGenerator filler;
    RandomGenerator reference;
    filler.SeedForTesting(99);
    reference.SeedForTesting(99);
    const auto words = filler.FillWords(n);
    const Bytes bytes = Take(reference, n);
    ASSERT_EQ(words.size(), (n + 3) / 4);
    std::vector<std::uint32_t> expected((n + 3) / 4, 0);
    for (std::size_t k = 0; k < n; ++k) expected[k / 4] |= static_cast<std::uint32_t>(bytes[k]) << (8 * (k % 4));
    EXPECT_EQ(words, expected) << n;
    EXPECT_EQ(filler.NextByte(), reference.NextByte()) << n;
  }
}

// FillBigNumber is FillWords read as a number: same words, same bytes consumed.
TEST(RandomGeneratorTest, FillBigNumberMatchesFillWords) {
  for (std::size_t n : {1u, 7u, 48u}) {
    RandomGenerator filler;
    RandomGenerator reference;
    filler.SeedForTesting(5);
    reference.SeedForTesting(5);
    const BigNumber number = filler.FillBigNumber(n);
    EXPECT_EQ(number, BigNumber::FromWords(reference.FillWords(n))) << n;
    EXPECT_LE(number.ByteLength(), n);
    EXPECT_EQ(filler.NextByte(), reference.NextByte()) << n;
  }
}

// Seeding from many threads at once: the lock keeps each srand/rand run whole.
TEST(RandomGeneratorTest, ConcurrentSeedingKeepsRandSequencesWhole) {
  const Bytes expected = ExpectedStream(4242, 16);
  std::vector<int> mismatches(4, 0);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &expected, &mismatches, &ready] {
      ready.fetch_add(1);
      while (ready.load() < 4) {
      }
      for (int round = 0; round < 20000; ++round) {
        RandomGenerator generator;
        generator.SeedForTesting(4242);
        if (Take(generator, 16) != expected) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace security
