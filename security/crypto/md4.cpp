#include "security/crypto/md4.h"

#include <cstring>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/hash_internal.h"

namespace security {
namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (x & z) | (y & z); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }

}  // namespace

void Md4::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  bit_count_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

void Md4::Transform(const std::uint8_t block[64]) {
  std::uint32_t x[16];
  for (int k = 0; k < 16; ++k) x[k] = LoadLe32(block + 4 * k);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

  static constexpr int kShift1[4] = {3, 7, 11, 19};
  for (int k = 0; k < 16; k += 4) {
    a = Rotl(a + F(b, c, d) + x[k], kShift1[0]);
    d = Rotl(d + F(a, b, c) + x[k + 1], kShift1[1]);
    c = Rotl(c + F(d, a, b) + x[k + 2], kShift1[2]);
    b = Rotl(b + F(c, d, a) + x[k + 3], kShift1[3]);
  }
  static constexpr int kShift2[4] = {3, 5, 9, 13};
  for (int k = 0; k < 4; ++k) {
    a = Rotl(a + G(b, c, d) + x[k] + 0x5a827999, kShift2[0]);
    d = Rotl(d + G(a, b, c) + x[k + 4] + 0x5a827999, kShift2[1]);
    c = Rotl(c + G(d, a, b) + x[k + 8] + 0x5a827999, kShift2[2]);
    b = Rotl(b + G(c, d, a) + x[k + 12] + 0x5a827999, kShift2[3]);
  }
  static constexpr int kShift3[4] = {3, 9, 11, 15};
  static constexpr int kOrder3[4] = {0, 2, 1, 3};
  for (int k : kOrder3) {
    a = Rotl(a + H(b, c, d) + x[k] + 0x6ed9eba1, kShift3[0]);
    d = Rotl(d + H(a, b, c) + x[k + 8] + 0x6ed9eba1, kShift3[1]);
    c = Rotl(c + H(d, a, b) + x[k + 4] + 0x6ed9eba1, kShift3[2]);
    b = Rotl(b + H(c, d, a) + x[k + 12] + 0x6ed9eba1, kShift3[3]);
  }

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md4::Update(std::span<const std::uint8_t> data) {
  std::size_t used = static_cast<std::size_t>((bit_count_ >> 3) & 63);
  bit_count_ += static_cast<std::uint64_t>(data.size()) << 3;
  AbsorbBlocks<64>(buffer_, used, data.data(), data.size(), [this](const std::uint8_t* b) { Transform(b); });
}

Md4::Digest Md4::Final() {
  std::uint64_t bits = bit_count_;
  std::size_t used = static_cast<std::size_t>((bits >> 3) & 63);
  std::uint8_t pad[72] = {0x80};
  std::uint8_t length_bytes[8];
  StoreLe64(length_bytes, bits);
  Update(pad, (used < 56) ? 56 - used : 120 - used);
  Update(length_bytes, 8);
  Digest digest;
  for (int k = 0; k < 4; ++k) StoreLe32(digest.data() + 4 * k, state_[k]);
  return digest;
}

Md4::Digest Md4::Hash(std::span<const std::uint8_t> data) {
  Md4 md4;
  md4.Update(data);
  return md4.Final();
}

}  // namespace security
