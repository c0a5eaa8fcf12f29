#include "security/crypto/poly1305.h"

#include <cstring>

#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

using U128 = unsigned __int128;

constexpr std::uint64_t kMask44 = (std::uint64_t{1} << 44) - 1;
constexpr std::uint64_t kMask42 = (std::uint64_t{1} << 42) - 1;

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = (v << 8) | p[k];
  return v;
}

inline void Store64(std::uint8_t* p, std::uint64_t v) {
  for (int k = 0; k < 8; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

}  // namespace

Poly1305::Poly1305(const std::uint8_t key[32]) {
  const std::uint64_t t0 = Load64(key);
  const std::uint64_t t1 = Load64(key + 8);
  // Clamping clears the bits that would let the products below overflow.
  r_[0] = t0 & 0xffc0fffffffULL;
  r_[1] = ((t0 >> 44) | (t1 << 20)) & 0xfffffc0ffffULL;
  r_[2] = (t1 >> 24) & 0x00ffffffc0fULL;
  h_[0] = h_[1] = h_[2] = 0;
  pad_[0] = Load64(key + 16);
  pad_[1] = Load64(key + 24);
  std::memset(buffer_, 0, sizeof(buffer_));
}

Poly1305::~Poly1305() { SecureWipe(this, sizeof(*this)); }

void Poly1305::Blocks(const std::uint8_t* data, std::size_t blocks, std::uint64_t high_bit) {
  const std::uint64_t r0 = r_[0], r1 = r_[1], r2 = r_[2];
  // 2^132 = 4 * 2^130 = 20 (mod p), which folds the products above 2^130.
  const std::uint64_t s1 = r1 * 20, s2 = r2 * 20;
  std::uint64_t h0 = h_[0], h1 = h_[1], h2 = h_[2];
  for (; blocks != 0; --blocks, data += 16) {
    const std::uint64_t t0 = Load64(data);
    const std::uint64_t t1 = Load64(data + 8);
    h0 += t0 & kMask44;
    h1 += ((t0 >> 44) | (t1 << 20)) & kMask44;
    h2 += ((t1 >> 24) & kMask42) | high_bit;
    const U128 d0 = U128(h0) * r0 + U128(h1) * s2 + U128(h2) * s1;
    U128 d1 = U128(h0) * r1 + U128(h1) * r0 + U128(h2) * s2;
    U128 d2 = U128(h0) * r2 + U128(h1) * r1 + U128(h2) * r0;
    std::uint64_t c = static_cast<std::uint64_t>(d0 >> 44);
    h0 = static_cast<std::uint64_t>(d0) & kMask44;
    d1 += c;
    c = static_cast<std::uint64_t>(d1 >> 44);
    h1 = static_cast<std::uint64_t>(d1) & kMask44;
    d2 += c;
    c = static_cast<std::uint64_t>(d2 >> 42);
    h2 = static_cast<std::uint64_t>(d2) & kMask42;
    h0 += c * 5;
    c = h0 >> 44;
    h0 &= kMask44;
    h1 += c;
  }
  h_[0] = h0;
  h_[1] = h1;
  h_[2] = h2;
}

void Poly1305::Update(const std::uint8_t* data, std::size_t length) {
  if (buffered_ != 0) {
    const std::size_t take = std::min(length, sizeof(buffer_) - buffered_);
    std::memcpy(buffer_ + buffered_, data, take);
    buffered_ += take;
    data += take;
    length -= take;
    if (buffered_ < sizeof(buffer_)) return;
    Blocks(buffer_, 1, std::uint64_t{1} << 40);
    buffered_ = 0;
  }
  const std::size_t whole = length / 16;
  if (whole != 0) Blocks(data, whole, std::uint64_t{1} << 40);
  data += whole * 16;
  length -= whole * 16;
  if (length != 0) {
    std::memcpy(buffer_, data, length);
    buffered_ = length;
  }
}

Poly1305::Tag Poly1305::Final() {
  if (buffered_ != 0) {
    // A short last block carries its 1 bit right after its bytes.
    buffer_[buffered_] = 1;
    std::memset(buffer_ + buffered_ + 1, 0, sizeof(buffer_) - buffered_ - 1);
    Blocks(buffer_, 1, 0);
    buffered_ = 0;
  }
  std::uint64_t h0 = h_[0], h1 = h_[1], h2 = h_[2];
  std::uint64_t c = h1 >> 44;
  h1 &= kMask44;
  h2 += c;
  c = h2 >> 42;
  h2 &= kMask42;
  h0 += c * 5;
  c = h0 >> 44;
  h0 &= kMask44;
  h1 += c;
  c = h1 >> 44;
  h1 &= kMask44;
  h2 += c;
  c = h2 >> 42;
  h2 &= kMask42;
  h0 += c * 5;
  c = h0 >> 44;
  h0 &= kMask44;
  h1 += c;

  // h - p = h + 5 - 2^130; keep it when that does not borrow.
  std::uint64_t g0 = h0 + 5;
  c = g0 >> 44;
  g0 &= kMask44;
  std::uint64_t g1 = h1 + c;
  c = g1 >> 44;
  g1 &= kMask44;
  const std::uint64_t g2 = h2 + c - (std::uint64_t{1} << 42);
  const std::uint64_t use_g = (g2 >> 63) - 1;  // all ones when no borrow
  h0 = (h0 & ~use_g) | (g0 & use_g);
  h1 = (h1 & ~use_g) | (g1 & use_g);
  h2 = (h2 & ~use_g) | (g2 & use_g & kMask42);

  const std::uint64_t t0 = pad_[0], t1 = pad_[1];
  h0 += t0 & kMask44;
  c = h0 >> 44;
  h0 &= kMask44;
  h1 += (((t0 >> 44) | (t1 << 20)) & kMask44) + c;
  c = h1 >> 44;
  h1 &= kMask44;
  h2 += (t1 >> 24) + c;
  h2 &= kMask42;

  Tag tag;
  Store64(tag.data(), h0 | (h1 << 44));
  Store64(tag.data() + 8, (h1 >> 20) | (h2 << 24));
  h_[0] = h_[1] = h_[2] = 0;
  return tag;
}

Poly1305::Tag Poly1305::Compute(const std::uint8_t key[32], std::span<const std::uint8_t> data) {
  Poly1305 mac(key);
  mac.Update(data);
  return mac.Final();
}

}  // namespace security
