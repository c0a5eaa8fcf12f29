#pragma once
// The random number generator of the TLS engine: an RC4 key stream keyed with
// 256 bits from the operating system's random source (getrandom), with the
// first kDiscardedBytes of the stream thrown away because early RC4 output
// leaks key bytes and the first bytes drawn end up in the public hello.
//
// Every random byte of a handshake (client randoms, pre-master secrets,
// padding, private exponents) comes from NextByte. The engine calls Reseed
// before each handshake so that no two connections share key stream.
//
// There is no fallback: when the system source fails, Seed and Reseed return
// false and leave the generator unseeded, and NextByte on an unseeded
// generator that cannot seed throws std::runtime_error("No random source").
//
// A generator is not thread-safe; each TlsEngine owns one.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "security/crypto/big_number.h"

namespace security {

// Where a generator takes its key from.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Fills all of `out`, or returns false.
  virtual bool Fill(std::span<std::uint8_t> out) = 0;
};

// getrandom(2), blocking until the kernel pool is ready; one per process.
RandomSource& SystemRandomSource();

class RandomGenerator {
 public:
  static constexpr std::size_t kKeyBytes = 32;
  static constexpr std::size_t kDiscardedBytes = 3072;

  RandomGenerator() : source_(&SystemRandomSource()) {}
  // Keys from `source`, which must outlive the generator.
  explicit RandomGenerator(RandomSource& source) : source_(&source) {}
  ~RandomGenerator();

  // A fresh key from the source, the RC4 key schedule over it, i = j = 0, and
  // the first kDiscardedBytes of output dropped. False (and unseeded) when
  // the source fails.
  bool Seed();
  // The same as Seed; what the engine calls at the start of every connection.
  bool Reseed() { return Seed(); }

  bool IsSeeded() const { return seeded_; }

  // The next RC4 output byte; seeds first if the generator is not seeded, and
  // throws std::runtime_error when that fails.
  std::uint8_t NextByte();

  // n_bytes random bytes as 32-bit words, each filled from four NextByte
  // calls least significant byte first; a final partial word holds the
  // remaining n_bytes mod 4 bytes in its low bytes.
  std::vector<std::uint32_t> FillWords(std::size_t n_bytes);

  // The same words as a BigNumber (Diffie-Hellman private exponents); throws
  // std::overflow_error beyond the BigNumber capacity.
  BigNumber FillBigNumber(std::size_t n_bytes);

  // For tests only: a reproducible stream from srand(srand_value): two key
  // words from eight rand() calls each, the RC4 key schedule over their 8
  // bytes (word 0 least significant byte first, then word 1), i = j = 0,
  // nothing discarded. Never use it for a real connection.
  void SeedForTesting(unsigned int srand_value);

 private:
  void KeySchedule(std::span<const std::uint8_t> key);
  void Unseed();

  RandomSource* source_;
  std::uint8_t s_[256] = {};
  std::uint16_t i_ = 0;  // used modulo 256
  std::uint16_t j_ = 0;
  bool seeded_ = false;
};

namespace internal {

// One key word from eight successive rand() results: four 16-bit values
// (r[2k] + r[2k+1] + 1) mod 65536 make a signed 64-bit number (first value
// least significant); the word is its absolute value modulo 2^32.
std::uint32_t RandomKeyWord(const int (&rand_values)[8]);

}  // namespace internal

}  // namespace security
