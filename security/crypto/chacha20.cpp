#include "security/crypto/chacha20.h"

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/secure_wipe.h"

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
