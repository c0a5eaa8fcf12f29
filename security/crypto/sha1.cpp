#include "security/crypto/sha1.h"

#include <cstring>

#include "security/crypto/byte_order_internal.h"

namespace security {
namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void Sha1::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  state_[4] = 0xc3d2e1f0;
  bit_count_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

// The message schedule lives in a 16-word ring; the rounds are unrolled five at
// a time so that the working variables rotate by renaming instead of moves.
#define SHA1_W(t) \
  (w[(t) & 15] = Rotl(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t) & 15], 1))
#define SHA1_R0(v, w_, x, y, z, t) \
  z += ((w_ & (x ^ y)) ^ y) + w[t] + 0x5a827999 + Rotl(v, 5); w_ = Rotl(w_, 30);
#define SHA1_R1(v, w_, x, y, z, t) \
  z += ((w_ & (x ^ y)) ^ y) + SHA1_W(t) + 0x5a827999 + Rotl(v, 5); w_ = Rotl(w_, 30);
#define SHA1_R2(v, w_, x, y, z, t) \
  z += (w_ ^ x ^ y) + SHA1_W(t) + 0x6ed9eba1 + Rotl(v, 5); w_ = Rotl(w_, 30);
#define SHA1_R3(v, w_, x, y, z, t) \
  z += (((w_ | x) & y) | (w_ & x)) + SHA1_W(t) + 0x8f1bbcdc + Rotl(v, 5); w_ = Rotl(w_, 30);
#define SHA1_R4(v, w_, x, y, z, t) \
  z += (w_ ^ x ^ y) + SHA1_W(t) + 0xca62c1d6 + Rotl(v, 5); w_ = Rotl(w_, 30);

#define SHA1_FIVE(R, t)      \
  R(a, b, c, d, e, (t) + 0)  \
  R(e, a, b, c, d, (t) + 1)  \
  R(d, e, a, b, c, (t) + 2)  \
  R(c, d, e, a, b, (t) + 3)  \
  R(b, c, d, e, a, (t) + 4)

void Sha1::Transform(const std::uint8_t block[64]) {
  std::uint32_t w[16];
  for (int k = 0; k < 16; ++k) w[k] = LoadBe32(block + 4 * k);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];

  SHA1_FIVE(SHA1_R0, 0)
  SHA1_FIVE(SHA1_R0, 5)
  SHA1_FIVE(SHA1_R0, 10)
  SHA1_R0(a, b, c, d, e, 15)
  SHA1_R1(e, a, b, c, d, 16)
  SHA1_R1(d, e, a, b, c, 17)
  SHA1_R1(c, d, e, a, b, 18)
  SHA1_R1(b, c, d, e, a, 19)
  SHA1_FIVE(SHA1_R2, 20)
  SHA1_FIVE(SHA1_R2, 25)
  SHA1_FIVE(SHA1_R2, 30)
  SHA1_FIVE(SHA1_R2, 35)
  SHA1_FIVE(SHA1_R3, 40)
  SHA1_FIVE(SHA1_R3, 45)
  SHA1_FIVE(SHA1_R3, 50)
  SHA1_FIVE(SHA1_R3, 55)
  SHA1_FIVE(SHA1_R4, 60)
  SHA1_FIVE(SHA1_R4, 65)
  SHA1_FIVE(SHA1_R4, 70)
  SHA1_FIVE(SHA1_R4, 75)

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
}

#undef SHA1_W
#undef SHA1_R0
#undef SHA1_R1
#undef SHA1_R2
#undef SHA1_R3
#undef SHA1_R4
#undef SHA1_FIVE

void Sha1::Update(std::span<const std::uint8_t> data) {
  const std::uint8_t* p = data.data();
  std::size_t length = data.size();
  std::size_t used = static_cast<std::size_t>((bit_count_ >> 3) & 63);
  bit_count_ += static_cast<std::uint64_t>(length) << 3;
  if (used != 0) {
    std::size_t take = 64 - used;
    if (length < take) {
      if (length != 0) std::memcpy(buffer_ + used, p, length);
      return;
    }
    std::memcpy(buffer_ + used, p, take);
    Transform(buffer_);
    p += take;
    length -= take;
  }
  for (; length >= 64; p += 64, length -= 64) Transform(p);
  if (length != 0) std::memcpy(buffer_, p, length);
}

Sha1::Digest Sha1::Final() {
  std::uint64_t bits = bit_count_;
  std::size_t used = static_cast<std::size_t>((bits >> 3) & 63);
  std::uint8_t pad[72] = {0x80};
  std::size_t pad_length = (used < 56) ? 56 - used : 120 - used;
  std::uint8_t length_bytes[8];
  StoreBe64(length_bytes, bits);
  Update(pad, pad_length);
  Update(length_bytes, 8);
  Digest digest;
  for (int k = 0; k < 5; ++k) StoreBe32(digest.data() + 4 * k, state_[k]);
  return digest;
}

Sha1::Digest Sha1::Hash(std::span<const std::uint8_t> data) {
  Sha1 sha1;
  sha1.Update(data);
  return sha1.Final();
}

}  // namespace security
