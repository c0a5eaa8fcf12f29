#include "security/crypto/idea.h"

#include <stdexcept>

namespace security {
namespace {

// Multiplication modulo 2^16 + 1, where 0 stands for 2^16.
inline std::uint16_t Mul(std::uint16_t a, std::uint16_t b) {
  if (a == 0) return static_cast<std::uint16_t>(1 - b);
  if (b == 0) return static_cast<std::uint16_t>(1 - a);
  const std::uint32_t p = static_cast<std::uint32_t>(a) * b;
  const std::uint16_t lo = static_cast<std::uint16_t>(p);
  const std::uint16_t hi = static_cast<std::uint16_t>(p >> 16);
  return static_cast<std::uint16_t>(lo - hi + (lo < hi ? 1 : 0));
}

// Inverse modulo 2^16 + 1 (a prime) as a^(p-2); 0 (= 2^16 = -1) and 1 are their own inverses.
std::uint16_t MulInverse(std::uint16_t a) {
  if (a <= 1) return a;
  std::uint16_t result = 1;
  std::uint16_t base = a;
  for (std::uint32_t e = 65535; e != 0; e >>= 1) {
    if (e & 1) result = Mul(result, base);
    base = Mul(base, base);
  }
  return result;
}

inline std::uint16_t Neg(std::uint16_t a) { return static_cast<std::uint16_t>(0 - a); }

}  // namespace

void IdeaCbc::ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) {
  if (key.size() != kKeySize) throw std::invalid_argument("Invalid key length");
  std::uint16_t ek[52];
  // Subkeys are successive 16-bit pieces of the key, rotated left by 25 bits after every eight.
  std::uint8_t k[16];
  for (int i = 0; i < 16; ++i) k[i] = key[i];
  for (int n = 0; n < 52; ++n) {
    const int piece = n % 8;
    ek[n] = static_cast<std::uint16_t>((k[2 * piece] << 8) | k[2 * piece + 1]);
    if (piece == 7) {
      std::uint8_t rotated[16];
      // Rotate the 128-bit key left by 25 bits: 3 whole bytes then 1 bit.
      for (int i = 0; i < 16; ++i) {
        const int from = (i + 3) % 16;
        rotated[i] = static_cast<std::uint8_t>((k[from] << 1) | (k[(from + 1) % 16] >> 7));
      }
      for (int i = 0; i < 16; ++i) k[i] = rotated[i];
    }
  }
  if (!for_decryption) {
    for (int n = 0; n < 52; ++n) subkeys_[n] = ek[n];
    return;
  }
  // Decryption round r undoes encryption round 8 - r; the additive keys swap
  // places in the middle rounds because the rounds end with a swap.
  for (int r = 0; r <= 8; ++r) {
    const int src = 6 * (8 - r);
    const bool outer = r == 0 || r == 8;
    subkeys_[6 * r] = MulInverse(ek[src]);
    subkeys_[6 * r + 1] = Neg(ek[src + (outer ? 1 : 2)]);
    subkeys_[6 * r + 2] = Neg(ek[src + (outer ? 2 : 1)]);
    subkeys_[6 * r + 3] = MulInverse(ek[src + 3]);
    if (r < 8) {
      subkeys_[6 * r + 4] = ek[6 * (7 - r) + 4];
      subkeys_[6 * r + 5] = ek[6 * (7 - r) + 5];
    }
  }
}

void IdeaCbc::Crypt(const std::uint8_t in[8], std::uint8_t out[8]) const {
  std::uint16_t x1 = static_cast<std::uint16_t>((in[0] << 8) | in[1]);
  std::uint16_t x2 = static_cast<std::uint16_t>((in[2] << 8) | in[3]);
  std::uint16_t x3 = static_cast<std::uint16_t>((in[4] << 8) | in[5]);
  std::uint16_t x4 = static_cast<std::uint16_t>((in[6] << 8) | in[7]);
  const std::uint16_t* z = subkeys_;
  for (int round = 0; round < 8; ++round, z += 6) {
    x1 = Mul(x1, z[0]);
    x2 = static_cast<std::uint16_t>(x2 + z[1]);
    x3 = static_cast<std::uint16_t>(x3 + z[2]);
    x4 = Mul(x4, z[3]);
    const std::uint16_t t0 = Mul(static_cast<std::uint16_t>(x1 ^ x3), z[4]);
    const std::uint16_t t1 = Mul(static_cast<std::uint16_t>(t0 + (x2 ^ x4)), z[5]);
    const std::uint16_t t2 = static_cast<std::uint16_t>(t0 + t1);
    x1 ^= t1;
    x4 ^= t2;
    const std::uint16_t swapped = static_cast<std::uint16_t>(x2 ^ t2);
    x2 = static_cast<std::uint16_t>(x3 ^ t1);
    x3 = swapped;
  }
  // Output transformation; it undoes the last round's swap of the middle words.
  const std::uint16_t y1 = Mul(x1, z[0]);
  const std::uint16_t y2 = static_cast<std::uint16_t>(x3 + z[1]);
  const std::uint16_t y3 = static_cast<std::uint16_t>(x2 + z[2]);
  const std::uint16_t y4 = Mul(x4, z[3]);
  const std::uint16_t y[4] = {y1, y2, y3, y4};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(y[i] >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(y[i]);
  }
}

}  // namespace security
