#include "security/crypto/sha256.h"

#include <cstring>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/hash_internal.h"

namespace security {
namespace {

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

void Sha256::Init() {
  static constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(state_, kInitial, sizeof(state_));
  bit_count_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

void Sha256::Transform(const std::uint8_t block[64]) {
  std::uint32_t w[64];
  for (int t = 0; t < 16; ++t) w[t] = LoadBe32(block + 4 * t);
  for (int t = 16; t < 64; ++t) {
    std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
  for (int t = 0; t < 64; ++t) {
    std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + (g ^ (e & (f ^ g))) + kRoundConstants[t] + w[t];
    std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) | (c & (a | b)));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  state_[5] += f;
  state_[6] += g;
  state_[7] += h;
}

void Sha256::Update(std::span<const std::uint8_t> data) {
  std::size_t used = static_cast<std::size_t>((bit_count_ >> 3) & 63);
  bit_count_ += static_cast<std::uint64_t>(data.size()) << 3;
  AbsorbBlocks<64>(buffer_, used, data.data(), data.size(), [this](const std::uint8_t* b) { Transform(b); });
}

Sha256::Digest Sha256::Final() {
  std::uint64_t bits = bit_count_;
  std::size_t used = static_cast<std::size_t>((bits >> 3) & 63);
  std::uint8_t pad[72] = {0x80};
  std::uint8_t length_bytes[8];
  StoreBe64(length_bytes, bits);
  Update(pad, (used < 56) ? 56 - used : 120 - used);
  Update(length_bytes, 8);
  Digest digest;
  for (int k = 0; k < 8; ++k) StoreBe32(digest.data() + 4 * k, state_[k]);
  return digest;
}

Sha256::Digest Sha256::Hash(std::span<const std::uint8_t> data) {
  Sha256 sha;
  sha.Update(data);
  return sha.Final();
}

}  // namespace security
