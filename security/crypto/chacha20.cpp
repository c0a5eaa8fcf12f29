#include "security/crypto/chacha20.h"

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/secure_wipe.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define DICTALO_CHACHA_SSE2 1
#endif

namespace security {
namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline void QuarterRound(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
  a += b; d ^= a; d = Rotl(d, 16);
  c += d; b ^= c; b = Rotl(b, 12);
  a += b; d ^= a; d = Rotl(d, 8);
  c += d; b ^= c; b = Rotl(b, 7);
}

void Block(const std::uint32_t input[16], std::uint32_t output[16]) {
  std::uint32_t x[16];
  for (int k = 0; k < 16; ++k) x[k] = input[k];
  for (int round = 0; round < 10; ++round) {
    QuarterRound(x[0], x[4], x[8], x[12]);
    QuarterRound(x[1], x[5], x[9], x[13]);
    QuarterRound(x[2], x[6], x[10], x[14]);
    QuarterRound(x[3], x[7], x[11], x[15]);
    QuarterRound(x[0], x[5], x[10], x[15]);
    QuarterRound(x[1], x[6], x[11], x[12]);
    QuarterRound(x[2], x[7], x[8], x[13]);
    QuarterRound(x[3], x[4], x[9], x[14]);
  }
  for (int k = 0; k < 16; ++k) output[k] = x[k] + input[k];
  SecureWipe(x, sizeof(x));
}

void InitState(const std::uint8_t key[32], const std::uint8_t nonce[12], std::uint32_t counter,
               std::uint32_t state[16]) {
  state[0] = 0x61707865;  // "expand 32-byte k"
  state[1] = 0x3320646e;
  state[2] = 0x79622d32;
  state[3] = 0x6b206574;
  for (int k = 0; k < 8; ++k) state[4 + k] = LoadLe32(key + 4 * k);
  state[12] = counter;
  for (int k = 0; k < 3; ++k) state[13 + k] = LoadLe32(nonce + 4 * k);
}

#if DICTALO_CHACHA_SSE2

inline __m128i Rotl4(__m128i x, int n) { return _mm_or_si128(_mm_slli_epi32(x, n), _mm_srli_epi32(x, 32 - n)); }

inline void QuarterRound4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  a = _mm_add_epi32(a, b); d = Rotl4(_mm_xor_si128(d, a), 16);
  c = _mm_add_epi32(c, d); b = Rotl4(_mm_xor_si128(b, c), 12);
  a = _mm_add_epi32(a, b); d = Rotl4(_mm_xor_si128(d, a), 8);
  c = _mm_add_epi32(c, d); b = Rotl4(_mm_xor_si128(b, c), 7);
}

// Four consecutive blocks at once, word k of block j in lane j of x[k];
// advances the counter in state[12] by four.
void FourBlocksXor(std::uint32_t state[16], const std::uint8_t* in, std::uint8_t* out) {
  __m128i input[16], x[16];
  for (int k = 0; k < 16; ++k) input[k] = _mm_set1_epi32(static_cast<int>(state[k]));
  input[12] = _mm_add_epi32(input[12], _mm_set_epi32(3, 2, 1, 0));
  for (int k = 0; k < 16; ++k) x[k] = input[k];
  for (int round = 0; round < 10; ++round) {
    QuarterRound4(x[0], x[4], x[8], x[12]);
    QuarterRound4(x[1], x[5], x[9], x[13]);
    QuarterRound4(x[2], x[6], x[10], x[14]);
    QuarterRound4(x[3], x[7], x[11], x[15]);
    QuarterRound4(x[0], x[5], x[10], x[15]);
    QuarterRound4(x[1], x[6], x[11], x[12]);
    QuarterRound4(x[2], x[7], x[8], x[13]);
    QuarterRound4(x[3], x[4], x[9], x[14]);
  }
  for (int k = 0; k < 16; ++k) x[k] = _mm_add_epi32(x[k], input[k]);
  // Transpose each group of four words so that each vector holds 16 bytes of one block.
  for (int group = 0; group < 4; ++group) {
    const __m128i* v = x + 4 * group;
    const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]);
    const __m128i t1 = _mm_unpacklo_epi32(v[2], v[3]);
    const __m128i t2 = _mm_unpackhi_epi32(v[0], v[1]);
    const __m128i t3 = _mm_unpackhi_epi32(v[2], v[3]);
    const __m128i blocks[4] = {_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1), _mm_unpacklo_epi64(t2, t3),
                               _mm_unpackhi_epi64(t2, t3)};
    for (int b = 0; b < 4; ++b) {
      const std::size_t offset = 64 * static_cast<std::size_t>(b) + 16 * static_cast<std::size_t>(group);
      const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + offset));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + offset), _mm_xor_si128(data, blocks[b]));
    }
  }
  state[12] += 4;
  SecureWipe(x, sizeof(x));
  SecureWipe(input, sizeof(input));
}

#endif

}  // namespace

void ChaCha20Block(const std::uint8_t key[32], const std::uint8_t nonce[12], std::uint32_t counter,
                   std::uint8_t out[64]) {
  std::uint32_t state[16];
  std::uint32_t block[16];
  InitState(key, nonce, counter, state);
  Block(state, block);
  for (int k = 0; k < 16; ++k) StoreLe32(out + 4 * k, block[k]);
  SecureWipe(state, sizeof(state));
  SecureWipe(block, sizeof(block));
}

void ChaCha20Xor(const std::uint8_t key[32], const std::uint8_t nonce[12], std::uint32_t counter,
                 const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  std::uint32_t state[16];
  std::uint32_t block[16];
  std::uint8_t stream[64];
  InitState(key, nonce, counter, state);
#if DICTALO_CHACHA_SSE2
  for (; length >= 256; in += 256, out += 256, length -= 256) FourBlocksXor(state, in, out);
#endif
  while (length != 0) {
    Block(state, block);
    ++state[12];
    if (length >= 64) {
      for (int k = 0; k < 16; ++k) StoreLe32(out + 4 * k, LoadLe32(in + 4 * k) ^ block[k]);
      in += 64;
      out += 64;
      length -= 64;
      continue;
    }
    for (int k = 0; k < 16; ++k) StoreLe32(stream + 4 * k, block[k]);
    for (std::size_t k = 0; k < length; ++k) out[k] = in[k] ^ stream[k];
    length = 0;
  }
  SecureWipe(state, sizeof(state));
  SecureWipe(block, sizeof(block));
  SecureWipe(stream, sizeof(stream));
}

}  // namespace security
