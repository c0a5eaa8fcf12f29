#include "security/crypto/des.h"

#include <array>
#include <stdexcept>

#include "security/crypto/byte_order_internal.h"

namespace security {
namespace internal {
namespace {

// Tables of FIPS 46-3; bit numbers count from 1 at the most significant bit.
constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4, 62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8, 57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7,
};

constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

constexpr std::uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr std::uint8_t kPermutation[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10, 2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25,
};

constexpr std::uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,  13, 1,  10, 6, 12, 11, 9,  5,  3,  8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,  15, 12, 8, 2,  4,  9,  1,  7,  5,  11, 3, 14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9,  11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,  6,  10, 2,  8, 5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,  1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15, 0,  3,  4,  7, 2,  12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,  3,  15, 0,  6,  10, 1,  13, 8,  9,  4, 5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6, 8,  5,  3,  15, 13, 0, 14, 9,  14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8, 15, 9,  12, 5,  6,  3, 0,  14, 11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,  13, 0,  11, 7,  4,  9,  1,  10, 14, 3,  5,  12, 2,  15, 8,  6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,  6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// SP[i][w]: S-box i applied to the 6-bit input w, followed by the permutation P,
// so that one round is eight lookups.
using SpTable = std::array<std::array<std::uint32_t, 64>, 8>;

constexpr SpTable MakeSpTable() {
  SpTable sp{};
  for (int box = 0; box < 8; ++box) {
    for (int w = 0; w < 64; ++w) {
      const int row = ((w >> 4) & 2) | (w & 1);
      const int column = (w >> 1) & 15;
      const std::uint32_t s_out = static_cast<std::uint32_t>(kSBoxes[box][row * 16 + column]) << (28 - 4 * box);
      std::uint32_t permuted = 0;
      for (int bit = 0; bit < 32; ++bit) {
        if (s_out & (0x80000000u >> (kPermutation[bit] - 1))) permuted |= 0x80000000u >> bit;
      }
      sp[box][w] = permuted;
    }
  }
  return sp;
}

// A 64-bit bit permutation as eight byte-indexed tables: the result is the OR
// of one entry per input byte.
using ByteTables = std::array<std::array<std::uint64_t, 256>, 8>;

constexpr ByteTables MakeByteTables(bool inverse) {
  // destination[i] = 0-based input bit feeding output bit i (bit 0 = most significant).
  std::array<int, 64> source{};
  for (int i = 0; i < 64; ++i) {
    if (inverse) {
      source[kInitialPermutation[i] - 1] = i;
    } else {
      source[i] = kInitialPermutation[i] - 1;
    }
  }
  ByteTables tables{};
  for (int out_bit = 0; out_bit < 64; ++out_bit) {
    const int in_bit = source[out_bit];
    const int byte = in_bit / 8;
    const int mask = 0x80 >> (in_bit % 8);
    for (int value = 0; value < 256; ++value) {
      if (value & mask) tables[byte][value] |= std::uint64_t{1} << (63 - out_bit);
    }
  }
  return tables;
}

constexpr SpTable kSp = MakeSpTable();
constexpr ByteTables kIp = MakeByteTables(false);
constexpr ByteTables kFp = MakeByteTables(true);

inline std::uint64_t Permute(const ByteTables& tables, const std::uint8_t* bytes) {
  return tables[0][bytes[0]] | tables[1][bytes[1]] | tables[2][bytes[2]] | tables[3][bytes[3]] |
         tables[4][bytes[4]] | tables[5][bytes[5]] | tables[6][bytes[6]] | tables[7][bytes[7]];
}

// f(R, K): the expansion E takes overlapping 6-bit windows of R; rotating R right
// by one puts the window of box i at bits 31-4i .. 26-4i (box 7 wraps around to bit 1).
inline std::uint32_t Feistel(std::uint32_t r, const std::uint8_t* k) {
  const std::uint32_t w = (r >> 1) | (r << 31);
  return kSp[0][((w >> 26) & 63) ^ k[0]] ^ kSp[1][((w >> 22) & 63) ^ k[1]] ^ kSp[2][((w >> 18) & 63) ^ k[2]] ^
         kSp[3][((w >> 14) & 63) ^ k[3]] ^ kSp[4][((w >> 10) & 63) ^ k[4]] ^ kSp[5][((w >> 6) & 63) ^ k[5]] ^
         kSp[6][((w >> 2) & 63) ^ k[6]] ^ kSp[7][(((w << 2) | (w >> 30)) & 63) ^ k[7]];
}

inline void Rounds(const DesKeySchedule& schedule, std::uint32_t& l, std::uint32_t& r) {
  for (int round = 0; round < 16; round += 2) {
    l ^= Feistel(r, schedule.round_keys[round]);
    r ^= Feistel(l, schedule.round_keys[round + 1]);
  }
}

}  // namespace

void DesScheduleKey(const std::uint8_t key[8], bool for_decryption, DesKeySchedule* schedule) {
  auto key_bit = [key](int n) { return (key[(n - 1) / 8] >> (7 - (n - 1) % 8)) & 1; };
  std::uint32_t c = 0;
  std::uint32_t d = 0;
  for (int k = 0; k < 28; ++k) {
    c = (c << 1) | static_cast<std::uint32_t>(key_bit(kPermutedChoice1[k]));
    d = (d << 1) | static_cast<std::uint32_t>(key_bit(kPermutedChoice1[k + 28]));
  }
  for (int round = 0; round < 16; ++round) {
    for (int n = 0; n < kRotations[round]; ++n) {
      c = ((c << 1) | (c >> 27)) & 0x0fffffff;
      d = ((d << 1) | (d >> 27)) & 0x0fffffff;
    }
    const std::uint64_t cd = (static_cast<std::uint64_t>(c) << 28) | d;  // bit 1 of C-D at bit 55
    std::uint8_t* out = schedule->round_keys[for_decryption ? 15 - round : round];
    for (int box = 0; box < 8; ++box) {
      std::uint8_t six = 0;
      for (int k = 0; k < 6; ++k) {
        six = static_cast<std::uint8_t>((six << 1) | ((cd >> (56 - kPermutedChoice2[box * 6 + k])) & 1));
      }
      out[box] = six;
    }
  }
}

void DesCryptBlock(const DesKeySchedule* schedules, int count, const std::uint8_t in[8], std::uint8_t out[8]) {
  const std::uint64_t permuted = Permute(kIp, in);
  std::uint32_t l = static_cast<std::uint32_t>(permuted >> 32);
  std::uint32_t r = static_cast<std::uint32_t>(permuted);
  for (int n = 0; n < count; ++n) {
    Rounds(schedules[n], l, r);
    // Each DES ends by swapping the halves; FP followed by IP cancels out.
    std::swap(l, r);
  }
  std::uint8_t preoutput[8];
  StoreBe32(preoutput, l);
  StoreBe32(preoutput + 4, r);
  StoreBe64(out, Permute(kFp, preoutput));
}

}  // namespace internal

void DesCbc::ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) {
  if (key.size() != kKeySize) throw std::invalid_argument("Invalid key length");
  internal::DesScheduleKey(key.data(), for_decryption, &schedule_);
}

void TripleDesCbc::ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) {
  if (key.size() != kKeySize) throw std::invalid_argument("Invalid key length");
  if (!for_decryption) {
    internal::DesScheduleKey(key.data(), false, &schedules_[0]);
    internal::DesScheduleKey(key.data() + 8, true, &schedules_[1]);
    internal::DesScheduleKey(key.data() + 16, false, &schedules_[2]);
  } else {
    internal::DesScheduleKey(key.data() + 16, true, &schedules_[0]);
    internal::DesScheduleKey(key.data() + 8, false, &schedules_[1]);
    internal::DesScheduleKey(key.data(), true, &schedules_[2]);
  }
}

}  // namespace security
