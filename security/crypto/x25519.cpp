#include "security/crypto/x25519.h"

#include <cstring>

#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

using U128 = unsigned __int128;

constexpr std::uint64_t kMask51 = (std::uint64_t{1} << 51) - 1;

// An element of GF(2^255 - 19) as five 51-bit limbs; between operations a
// limb may grow a few bits past 51.
struct Fe {
  std::uint64_t v[5];
};

Fe Load(const std::uint8_t in[32]) {
  auto load64 = [&](int offset) {
    std::uint64_t x = 0;
    for (int k = 7; k >= 0; --k) x = (x << 8) | in[offset + k];
    return x;
  };
  Fe f;
  f.v[0] = load64(0) & kMask51;
  f.v[1] = (load64(6) >> 3) & kMask51;
  f.v[2] = (load64(12) >> 6) & kMask51;
  f.v[3] = (load64(19) >> 1) & kMask51;
  f.v[4] = (load64(24) >> 12) & kMask51;  // drops bit 255
  return f;
}

Fe Carry(Fe f) {
  std::uint64_t c;
  c = f.v[0] >> 51; f.v[0] &= kMask51; f.v[1] += c;
  c = f.v[1] >> 51; f.v[1] &= kMask51; f.v[2] += c;
  c = f.v[2] >> 51; f.v[2] &= kMask51; f.v[3] += c;
  c = f.v[3] >> 51; f.v[3] &= kMask51; f.v[4] += c;
  c = f.v[4] >> 51; f.v[4] &= kMask51; f.v[0] += c * 19;
  c = f.v[0] >> 51; f.v[0] &= kMask51; f.v[1] += c;
  return f;
}

// The canonical value below p, little-endian.
void Store(std::uint8_t out[32], Fe f) {
  f = Carry(Carry(f));
  // f < 2^255 now; subtract p once when f >= p, without a branch.
  std::uint64_t q = (f.v[0] + 19) >> 51;
  q = (f.v[1] + q) >> 51;
  q = (f.v[2] + q) >> 51;
  q = (f.v[3] + q) >> 51;
  q = (f.v[4] + q) >> 51;  // 1 exactly when f >= p
  f.v[0] += 19 * q;
  std::uint64_t c;
  c = f.v[0] >> 51; f.v[0] &= kMask51; f.v[1] += c;
  c = f.v[1] >> 51; f.v[1] &= kMask51; f.v[2] += c;
  c = f.v[2] >> 51; f.v[2] &= kMask51; f.v[3] += c;
  c = f.v[3] >> 51; f.v[3] &= kMask51; f.v[4] += c;
  f.v[4] &= kMask51;  // drops the 2^255 that the added 19 carried up
  const std::uint64_t w0 = f.v[0] | (f.v[1] << 51);
  const std::uint64_t w1 = (f.v[1] >> 13) | (f.v[2] << 38);
  const std::uint64_t w2 = (f.v[2] >> 26) | (f.v[3] << 25);
  const std::uint64_t w3 = (f.v[3] >> 39) | (f.v[4] << 12);
  const std::uint64_t words[4] = {w0, w1, w2, w3};
  for (int w = 0; w < 4; ++w) {
    for (int k = 0; k < 8; ++k) out[8 * w + k] = static_cast<std::uint8_t>(words[w] >> (8 * k));
  }
}

Fe Add(const Fe& a, const Fe& b) {
  Fe r;
  for (int k = 0; k < 5; ++k) r.v[k] = a.v[k] + b.v[k];
  return r;
}

// a - b + 2p keeps every limb positive for inputs of up to 52 bits.
Fe Sub(const Fe& a, const Fe& b) {
  Fe r;
  r.v[0] = a.v[0] + 0xfffffffffffdaULL - b.v[0];
  for (int k = 1; k < 5; ++k) r.v[k] = a.v[k] + 0xffffffffffffeULL - b.v[k];
  return Carry(r);
}

Fe Mul(const Fe& a, const Fe& b) {
  const std::uint64_t b1 = b.v[1] * 19, b2 = b.v[2] * 19, b3 = b.v[3] * 19, b4 = b.v[4] * 19;
  const U128 t0 = U128(a.v[0]) * b.v[0] + U128(a.v[1]) * b4 + U128(a.v[2]) * b3 + U128(a.v[3]) * b2 +
                  U128(a.v[4]) * b1;
  U128 t1 = U128(a.v[0]) * b.v[1] + U128(a.v[1]) * b.v[0] + U128(a.v[2]) * b4 + U128(a.v[3]) * b3 +
            U128(a.v[4]) * b2;
  U128 t2 = U128(a.v[0]) * b.v[2] + U128(a.v[1]) * b.v[1] + U128(a.v[2]) * b.v[0] + U128(a.v[3]) * b4 +
            U128(a.v[4]) * b3;
  U128 t3 = U128(a.v[0]) * b.v[3] + U128(a.v[1]) * b.v[2] + U128(a.v[2]) * b.v[1] + U128(a.v[3]) * b.v[0] +
            U128(a.v[4]) * b4;
  U128 t4 = U128(a.v[0]) * b.v[4] + U128(a.v[1]) * b.v[3] + U128(a.v[2]) * b.v[2] + U128(a.v[3]) * b.v[1] +
            U128(a.v[4]) * b.v[0];
  Fe r;
  r.v[0] = static_cast<std::uint64_t>(t0) & kMask51;
  t1 += static_cast<std::uint64_t>(t0 >> 51);
  r.v[1] = static_cast<std::uint64_t>(t1) & kMask51;
  t2 += static_cast<std::uint64_t>(t1 >> 51);
  r.v[2] = static_cast<std::uint64_t>(t2) & kMask51;
  t3 += static_cast<std::uint64_t>(t2 >> 51);
  r.v[3] = static_cast<std::uint64_t>(t3) & kMask51;
  t4 += static_cast<std::uint64_t>(t3 >> 51);
  r.v[4] = static_cast<std::uint64_t>(t4) & kMask51;
  r.v[0] += static_cast<std::uint64_t>(t4 >> 51) * 19;
  r.v[1] += r.v[0] >> 51;
  r.v[0] &= kMask51;
  return r;
}

Fe Square(const Fe& a) { return Mul(a, a); }

Fe SquareTimes(Fe a, int n) {
  for (int k = 0; k < n; ++k) a = Square(a);
  return a;
}

Fe MulSmall(const Fe& a, std::uint32_t s) {
  Fe r;
  U128 c = 0;
  for (int k = 0; k < 5; ++k) {
    c += U128(a.v[k]) * s;
    r.v[k] = static_cast<std::uint64_t>(c) & kMask51;
    c >>= 51;
  }
  r.v[0] += static_cast<std::uint64_t>(c) * 19;
  return r;
}

// z^(p - 2) = z^(2^255 - 21): the inverse (0 for 0), by a fixed chain.
Fe Invert(const Fe& z) {
  const Fe z2 = Square(z);
  const Fe z9 = Mul(SquareTimes(z2, 2), z);
  const Fe z11 = Mul(z9, z2);
  const Fe z_5_0 = Mul(Square(z11), z9);                    // 2^5 - 1
  const Fe z_10_0 = Mul(SquareTimes(z_5_0, 5), z_5_0);      // 2^10 - 1
  const Fe z_20_0 = Mul(SquareTimes(z_10_0, 10), z_10_0);   // 2^20 - 1
  const Fe z_40_0 = Mul(SquareTimes(z_20_0, 20), z_20_0);   // 2^40 - 1
  const Fe z_50_0 = Mul(SquareTimes(z_40_0, 10), z_10_0);   // 2^50 - 1
  const Fe z_100_0 = Mul(SquareTimes(z_50_0, 50), z_50_0);  // 2^100 - 1
  const Fe z_200_0 = Mul(SquareTimes(z_100_0, 100), z_100_0);
  const Fe z_250_0 = Mul(SquareTimes(z_200_0, 50), z_50_0);
  return Mul(SquareTimes(z_250_0, 5), z11);  // 2^255 - 32 + 11
}

// Swaps a and b when swap is 1, with masks only.
void ConditionalSwap(Fe& a, Fe& b, std::uint64_t swap) {
  const std::uint64_t mask = 0 - swap;
  for (int k = 0; k < 5; ++k) {
    const std::uint64_t t = mask & (a.v[k] ^ b.v[k]);
    a.v[k] ^= t;
    b.v[k] ^= t;
  }
}

}  // namespace

bool X25519(const std::uint8_t scalar[32], const std::uint8_t point[32], std::uint8_t out[32]) {
  std::uint8_t k[32];
  std::memcpy(k, scalar, 32);
  k[0] &= 248;
  k[31] &= 127;
  k[31] |= 64;

  const Fe x1 = Load(point);
  Fe x2 = {{1, 0, 0, 0, 0}};
  Fe z2 = {{0, 0, 0, 0, 0}};
  Fe x3 = x1;
  Fe z3 = {{1, 0, 0, 0, 0}};
  std::uint64_t swap = 0;
  for (int t = 254; t >= 0; --t) {
    const std::uint64_t bit = (k[t >> 3] >> (t & 7)) & 1;
    swap ^= bit;
    ConditionalSwap(x2, x3, swap);
    ConditionalSwap(z2, z3, swap);
    swap = bit;
    const Fe a = Add(x2, z2);
    const Fe aa = Square(a);
    const Fe b = Sub(x2, z2);
    const Fe bb = Square(b);
    const Fe e = Sub(aa, bb);
    const Fe c = Add(x3, z3);
    const Fe d = Sub(x3, z3);
    const Fe da = Mul(d, a);
    const Fe cb = Mul(c, b);
    x3 = Square(Add(da, cb));
    z3 = Mul(x1, Square(Sub(da, cb)));
    x2 = Mul(aa, bb);
    z2 = Mul(e, Add(aa, MulSmall(e, 121665)));
  }
  ConditionalSwap(x2, x3, swap);
  ConditionalSwap(z2, z3, swap);
  Store(out, Mul(x2, Invert(z2)));

  SecureWipe(k, sizeof(k));
  SecureWipe(&x2, sizeof(x2));
  SecureWipe(&z2, sizeof(z2));
  SecureWipe(&x3, sizeof(x3));
  SecureWipe(&z3, sizeof(z3));
  std::uint8_t any = 0;
  for (int i = 0; i < 32; ++i) any |= out[i];
  return any != 0;
}

void X25519PublicKey(const std::uint8_t private_key[32], std::uint8_t public_key[32]) {
  static constexpr std::uint8_t kBasePoint[32] = {9};
  // The base point has large prime order, so the result is never zero.
  static_cast<void>(X25519(private_key, kBasePoint, public_key));
}

}  // namespace security
