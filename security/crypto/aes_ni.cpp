// The AES-NI path. Each function is compiled for the AES instructions on its
// own, so the rest of the program still runs on processors without them; the
// caller checks ProcessorHasAesNi() first.

#include <cstring>

#include "security/crypto/aes_internal.h"
#include "security/crypto/byte_order_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DICTALO_AES_NI 1
#endif

namespace security::internal {

#if DICTALO_AES_NI

bool ProcessorHasAesNi() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
  }();
  return has;
}

namespace {

__attribute__((target("aes,sse2"))) inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("aes,sse2"))) inline __m128i Encrypt(const std::uint8_t* keys, int rounds, __m128i block) {
  block = _mm_xor_si128(block, Load(keys));
  for (int round = 1; round < rounds; ++round) block = _mm_aesenc_si128(block, Load(keys + 16 * round));
  return _mm_aesenclast_si128(block, Load(keys + 16 * rounds));
}

}  // namespace

__attribute__((target("aes,sse2"))) void AesNiEncryptBlock(const std::uint8_t* round_keys, int rounds,
                                                             const std::uint8_t in[16], std::uint8_t out[16]) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Encrypt(round_keys, rounds, Load(in)));
}

__attribute__((target("aes,sse2"))) void AesNiDecryptBlock(const std::uint8_t* round_keys, int rounds,
                                                             const std::uint8_t in[16], std::uint8_t out[16]) {
  __m128i block = _mm_xor_si128(Load(in), Load(round_keys));
  for (int round = 1; round < rounds; ++round) block = _mm_aesdec_si128(block, Load(round_keys + 16 * round));
  block = _mm_aesdeclast_si128(block, Load(round_keys + 16 * rounds));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
}

__attribute__((target("aes,sse2"))) void AesNiCtr32(const std::uint8_t* round_keys, int rounds,
                                                      std::uint8_t counter[16], const std::uint8_t* in,
                                                      std::uint8_t* out, std::size_t blocks) {
  std::uint32_t count = LoadBe32(counter + 12);
  alignas(16) std::uint8_t ctr[4][16];
  for (auto& c : ctr) std::memcpy(c, counter, 12);
  // Four blocks at a time keep the AES units busy.
  while (blocks >= 4) {
    for (int k = 0; k < 4; ++k) StoreBe32(ctr[k] + 12, count + static_cast<std::uint32_t>(k));
    __m128i b0 = _mm_xor_si128(Load(ctr[0]), Load(round_keys));
    __m128i b1 = _mm_xor_si128(Load(ctr[1]), Load(round_keys));
    __m128i b2 = _mm_xor_si128(Load(ctr[2]), Load(round_keys));
    __m128i b3 = _mm_xor_si128(Load(ctr[3]), Load(round_keys));
    for (int round = 1; round < rounds; ++round) {
      const __m128i key = Load(round_keys + 16 * round);
      b0 = _mm_aesenc_si128(b0, key);
      b1 = _mm_aesenc_si128(b1, key);
      b2 = _mm_aesenc_si128(b2, key);
      b3 = _mm_aesenc_si128(b3, key);
    }
    const __m128i last = Load(round_keys + 16 * rounds);
    b0 = _mm_xor_si128(_mm_aesenclast_si128(b0, last), Load(in));
    b1 = _mm_xor_si128(_mm_aesenclast_si128(b1, last), Load(in + 16));
    b2 = _mm_xor_si128(_mm_aesenclast_si128(b2, last), Load(in + 32));
    b3 = _mm_xor_si128(_mm_aesenclast_si128(b3, last), Load(in + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), b1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), b2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), b3);
    count += 4;
    blocks -= 4;
    in += 64;
    out += 64;
  }
  for (; blocks != 0; --blocks, in += 16, out += 16, ++count) {
    StoreBe32(ctr[0] + 12, count);
    const __m128i b = _mm_xor_si128(Encrypt(round_keys, rounds, Load(ctr[0])), Load(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b);
  }
  StoreBe32(counter + 12, count);
}

#else

bool ProcessorHasAesNi() { return false; }
void AesNiEncryptBlock(const std::uint8_t*, int, const std::uint8_t*, std::uint8_t*) {}
void AesNiDecryptBlock(const std::uint8_t*, int, const std::uint8_t*, std::uint8_t*) {}
void AesNiCtr32(const std::uint8_t*, int, std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::size_t) {}

#endif

}  // namespace security::internal
