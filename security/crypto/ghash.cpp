#include "security/crypto/ghash_internal.h"

#include <cstring>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/secure_wipe.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DICTALO_PCLMUL 1
#endif

namespace security::internal {
namespace {

using U128 = unsigned __int128;

// Low 64 bits of the carry-less product. The operands are split into four
// interleaved bit sets (every fourth bit), so each integer product sums at
// most 16 one-bit terms per position: the carries stay inside the three
// unused bits between positions and are masked off. No branch or memory
// access depends on the values.
std::uint64_t CarrylessLow(std::uint64_t x, std::uint64_t y) {
  constexpr std::uint64_t m0 = 0x1111111111111111, m1 = 0x2222222222222222;
  constexpr std::uint64_t m2 = 0x4444444444444444, m3 = 0x8888888888888888;
  const std::uint64_t x0 = x & m0, x1 = x & m1, x2 = x & m2, x3 = x & m3;
  const std::uint64_t y0 = y & m0, y1 = y & m1, y2 = y & m2, y3 = y & m3;
  std::uint64_t z0 = (x0 * y0) ^ (x1 * y3) ^ (x2 * y2) ^ (x3 * y1);
  std::uint64_t z1 = (x0 * y1) ^ (x1 * y0) ^ (x2 * y3) ^ (x3 * y2);
  std::uint64_t z2 = (x0 * y2) ^ (x1 * y1) ^ (x2 * y0) ^ (x3 * y3);
  std::uint64_t z3 = (x0 * y3) ^ (x1 * y2) ^ (x2 * y1) ^ (x3 * y0);
  return (z0 & m0) | (z1 & m1) | (z2 & m2) | (z3 & m3);
}

std::uint64_t ReverseBits(std::uint64_t x) {
  x = ((x >> 1) & 0x5555555555555555) | ((x & 0x5555555555555555) << 1);
  x = ((x >> 2) & 0x3333333333333333) | ((x & 0x3333333333333333) << 2);
  x = ((x >> 4) & 0x0f0f0f0f0f0f0f0f) | ((x & 0x0f0f0f0f0f0f0f0f) << 4);
  return __builtin_bswap64(x);
}

// The full 128-bit carry-less product; the high half through bit reversal.
U128 Carryless(std::uint64_t x, std::uint64_t y) {
  const std::uint64_t low = CarrylessLow(x, y);
  const std::uint64_t high = ReverseBits(CarrylessLow(ReverseBits(x), ReverseBits(y))) >> 1;
  return (U128(high) << 64) | low;
}

// GCM keeps the coefficient of x^0 in the top bit, so the 255-bit product of
// two such values is one bit short of its place; after the shift the low half
// holds x^128..x^255, folded back with x^128 = x^7 + x^2 + x + 1. Bits that
// the right shifts push out come back in through the left shifts first.
void Reduce(U128 high, U128 low, std::uint64_t* y_hi, std::uint64_t* y_lo) {
  high = (high << 1) | (low >> 127);
  low <<= 1;
  const U128 v = low ^ (low << 127) ^ (low << 126) ^ (low << 121);
  const U128 r = high ^ v ^ (v >> 1) ^ (v >> 2) ^ (v >> 7);
  *y_hi = static_cast<std::uint64_t>(r >> 64);
  *y_lo = static_cast<std::uint64_t>(r);
}

}  // namespace

void GfMultiplyPortable(std::uint64_t* y_hi, std::uint64_t* y_lo, std::uint64_t h_hi, std::uint64_t h_lo) {
  const U128 hh = Carryless(*y_hi, h_hi);
  const U128 ll = Carryless(*y_lo, h_lo);
  const U128 mid = Carryless(*y_hi, h_lo) ^ Carryless(*y_lo, h_hi);
  Reduce(hh ^ (mid >> 64), ll ^ (mid << 64), y_hi, y_lo);
}

#if DICTALO_PCLMUL

bool ProcessorHasPclmul() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  }();
  return has;
}

__attribute__((target("pclmul,sse2"))) void GfMultiplyPclmul(std::uint64_t* y_hi, std::uint64_t* y_lo,
                                                                std::uint64_t h_hi, std::uint64_t h_lo) {
  const __m128i y = _mm_set_epi64x(static_cast<long long>(*y_hi), static_cast<long long>(*y_lo));
  const __m128i h = _mm_set_epi64x(static_cast<long long>(h_hi), static_cast<long long>(h_lo));
  const __m128i ll = _mm_clmulepi64_si128(y, h, 0x00);
  const __m128i hh = _mm_clmulepi64_si128(y, h, 0x11);
  const __m128i mid = _mm_xor_si128(_mm_clmulepi64_si128(y, h, 0x01), _mm_clmulepi64_si128(y, h, 0x10));
  std::uint64_t parts[6];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(parts), ll);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(parts + 2), hh);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(parts + 4), mid);
  const U128 m = (U128(parts[5]) << 64) | parts[4];
  Reduce(((U128(parts[3]) << 64) | parts[2]) ^ (m >> 64), ((U128(parts[1]) << 64) | parts[0]) ^ (m << 64), y_hi,
         y_lo);
}

#else

bool ProcessorHasPclmul() { return false; }
void GfMultiplyPclmul(std::uint64_t* y_hi, std::uint64_t* y_lo, std::uint64_t h_hi, std::uint64_t h_lo) {
  GfMultiplyPortable(y_hi, y_lo, h_hi, h_lo);
}

#endif

Ghash::Ghash(const std::uint8_t h[16], bool allow_hardware)
    : h_hi_(LoadBe64(h)), h_lo_(LoadBe64(h + 8)), hardware_(allow_hardware && ProcessorHasPclmul()) {}

Ghash::~Ghash() { SecureWipe(this, sizeof(*this)); }

void Ghash::Block(const std::uint8_t block[16]) {
  y_hi_ ^= LoadBe64(block);
  y_lo_ ^= LoadBe64(block + 8);
  if (hardware_) {
    GfMultiplyPclmul(&y_hi_, &y_lo_, h_hi_, h_lo_);
  } else {
    GfMultiplyPortable(&y_hi_, &y_lo_, h_hi_, h_lo_);
  }
}

void Ghash::AbsorbPadded(const std::uint8_t* data, std::size_t length) {
  for (; length >= 16; data += 16, length -= 16) Block(data);
  if (length != 0) {
    std::uint8_t last[16] = {};
    std::memcpy(last, data, length);
    Block(last);
    SecureWipe(last, sizeof(last));
  }
}

void Ghash::Finish(std::uint64_t aad_bytes, std::uint64_t text_bytes, std::uint8_t out[16]) {
  std::uint8_t lengths[16];
  StoreBe64(lengths, aad_bytes * 8);
  StoreBe64(lengths + 8, text_bytes * 8);
  Block(lengths);
  StoreBe64(out, y_hi_);
  StoreBe64(out + 8, y_lo_);
}

}  // namespace security::internal
