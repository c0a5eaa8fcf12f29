#pragma once
// The random number generator of the TLS engine: an RC4 key stream whose
// 8-byte key comes from the C library generator, seeded per instance.
//
// Every random byte of a handshake (client randoms, pre-master secrets,
// padding, private exponents) comes from NextByte. A generator is not
// thread-safe; each TlsEngine owns one. Seeding itself takes a process-wide
// lock, because srand/rand share one state in the C library.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "security/crypto/big_number.h"

namespace security {

class RandomGenerator {
 public:
  RandomGenerator() = default;

  // srand(millisecond tick count XOR this object's address); two key words
  // from eight rand() calls each; the RC4 key schedule over their 8 bytes
  // (word 0 least significant byte first, then word 1); i = j = 0. The key
  // words are also mixed with bytes from the operating system's random
  // source when it answers, so that the key does not hinge on a guessable seed.
  void Seed();

  bool IsSeeded() const { return seeded_; }

  // The next RC4 output byte; seeds first if Seed was never called.
  std::uint8_t NextByte();

  // n_bytes random bytes as 32-bit words, each filled from four NextByte
  // calls least significant byte first; a final partial word holds the
  // remaining n_bytes mod 4 bytes in its low bytes.
  std::vector<std::uint32_t> FillWords(std::size_t n_bytes);

  // The same words as a BigNumber (Diffie-Hellman private exponents); throws
  // std::overflow_error beyond the BigNumber capacity.
  BigNumber FillBigNumber(std::size_t n_bytes);

  // For tests only: Seed with a fixed srand value and no operating-system
  // bytes, so that a sequence can be reproduced and checked.
  void SeedForTesting(unsigned int srand_value);

 private:
  void SeedFromRand(unsigned int srand_value, bool mix_system_entropy);

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
