#include "security/crypto/aes.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

// The portable cipher computes the S-box instead of looking it up: the
// inverse in GF(2^8) as x^254 followed by the affine map, on eight bytes at
// a time packed in a 64-bit word. No memory access or branch depends on key
// or data, at the price of speed; processors with AES-NI never come here.

constexpr std::uint64_t kLowBits = 0x0101010101010101;

inline std::uint64_t XTime8(std::uint64_t a) {
  return ((a & 0x7f7f7f7f7f7f7f7f) << 1) ^ (((a >> 7) & kLowBits) * 0x1b);
}

// Byte-wise product in GF(2^8) of eight bytes by eight bytes.
inline std::uint64_t Multiply8(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  for (int bit = 0; bit < 8; ++bit) {
    product ^= a & (((b >> bit) & kLowBits) * 0xff);
    a = XTime8(a);
  }
  return product;
}

// Squaring is linear in GF(2^8): bit i moves to x^(2i), and x^8..x^14 fold
// back to 0x1b, 0x6c, 0xab and 0x9a.
inline std::uint64_t Square8(std::uint64_t a) {
  std::uint64_t r = (a & kLowBits) | ((a << 1) & (kLowBits << 2)) | ((a << 2) & (kLowBits << 4)) |
                    ((a << 3) & (kLowBits << 6));
  r ^= (((a >> 4) & kLowBits) * 0xff) & (kLowBits * 0x1b);
  r ^= (((a >> 5) & kLowBits) * 0xff) & (kLowBits * 0x6c);
  r ^= (((a >> 6) & kLowBits) * 0xff) & (kLowBits * 0xab);
  r ^= (((a >> 7) & kLowBits) * 0xff) & (kLowBits * 0x9a);
  return r;
}

// x^254: the inverse of every non-zero byte, 0 for 0.
inline std::uint64_t Inverse8(std::uint64_t x) {
  const std::uint64_t x2 = Square8(x);
  const std::uint64_t x3 = Multiply8(x2, x);
  const std::uint64_t x6 = Square8(x3);
  const std::uint64_t x12 = Square8(x6);
  const std::uint64_t x15 = Multiply8(x12, x3);
  const std::uint64_t x30 = Square8(x15);
  const std::uint64_t x60 = Square8(x30);
  const std::uint64_t x120 = Square8(x60);
  const std::uint64_t x240 = Square8(x120);
  const std::uint64_t x252 = Multiply8(x240, x12);
  return Multiply8(x252, x2);
}

// Rotates every byte left by n bits.
inline std::uint64_t RotateBytes(std::uint64_t x, int n) {
  const std::uint64_t stay = kLowBits * static_cast<std::uint8_t>(0xff << n);
  const std::uint64_t wrap = kLowBits * static_cast<std::uint8_t>((1u << n) - 1);
  return ((x << n) & stay) | ((x >> (8 - n)) & wrap);
}

inline std::uint64_t SubBytes8(std::uint64_t x) {
  const std::uint64_t b = Inverse8(x);
  return b ^ RotateBytes(b, 1) ^ RotateBytes(b, 2) ^ RotateBytes(b, 3) ^ RotateBytes(b, 4) ^ (kLowBits * 0x63);
}

inline std::uint64_t InvSubBytes8(std::uint64_t x) {
  return Inverse8(RotateBytes(x, 1) ^ RotateBytes(x, 3) ^ RotateBytes(x, 6) ^ (kLowBits * 0x05));
}

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = (v << 8) | p[k];
  return v;
}

inline void Store64(std::uint8_t* p, std::uint64_t v) {
  for (int k = 0; k < 8; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// The state is 16 bytes in column order: s[4 * column + row].
void SubBytes(std::uint8_t s[16]) {
  Store64(s, SubBytes8(Load64(s)));
  Store64(s + 8, SubBytes8(Load64(s + 8)));
}

void InvSubBytes(std::uint8_t s[16]) {
  Store64(s, InvSubBytes8(Load64(s)));
  Store64(s + 8, InvSubBytes8(Load64(s + 8)));
}

void ShiftRows(std::uint8_t s[16]) {
  std::uint8_t t[16];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) t[4 * c + r] = s[4 * ((c + r) % 4) + r];
  }
  std::memcpy(s, t, 16);
}

void InvShiftRows(std::uint8_t s[16]) {
  std::uint8_t t[16];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) t[4 * ((c + r) % 4) + r] = s[4 * c + r];
  }
  std::memcpy(s, t, 16);
}

inline std::uint8_t XTime(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((0 - (x >> 7)) & 0x1b));
}

void MixColumn(std::uint8_t* a) {
  const std::uint8_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
  const std::uint8_t t = a0 ^ a1 ^ a2 ^ a3;
  a[0] = static_cast<std::uint8_t>(a0 ^ t ^ XTime(a0 ^ a1));
  a[1] = static_cast<std::uint8_t>(a1 ^ t ^ XTime(a1 ^ a2));
  a[2] = static_cast<std::uint8_t>(a2 ^ t ^ XTime(a2 ^ a3));
  a[3] = static_cast<std::uint8_t>(a3 ^ t ^ XTime(a3 ^ a0));
}

// InvMixColumns as a multiplication by {04}x^2 + {05} followed by MixColumns.
void InvMixColumn(std::uint8_t* a) {
  const std::uint8_t u = XTime(XTime(a[0] ^ a[2]));
  const std::uint8_t v = XTime(XTime(a[1] ^ a[3]));
  a[0] ^= u;
  a[1] ^= v;
  a[2] ^= u;
  a[3] ^= v;
  MixColumn(a);
}

void AddRoundKey(std::uint8_t s[16], const std::uint32_t* rk) {
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) s[4 * c + r] ^= static_cast<std::uint8_t>(rk[c] >> (24 - 8 * r));
  }
}

std::uint32_t SubWord(std::uint32_t w) { return static_cast<std::uint32_t>(SubBytes8(w)); }

std::uint32_t InvMixColumnWord(std::uint32_t w) {
  std::uint8_t column[4];
  StoreBe32(column, w);
  InvMixColumn(column);
  return LoadBe32(column);
}

void SoftwareSchedule(std::span<const std::uint8_t> key, bool for_decryption, std::uint32_t* w, int* rounds_out) {
  const std::size_t nk = key.size() / 4;
  const int rounds = static_cast<int>(nk) + 6;
  const std::size_t total = 4 * (static_cast<std::size_t>(rounds) + 1);
  for (std::size_t i = 0; i < nk; ++i) w[i] = LoadBe32(key.data() + 4 * i);
  std::uint32_t rcon = 1;
  for (std::size_t i = nk; i < total; ++i) {
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord((temp << 8) | (temp >> 24)) ^ (rcon << 24);
      rcon = XTime(static_cast<std::uint8_t>(rcon));
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  if (for_decryption) {
    // The equivalent inverse cipher: keys in reverse order, the inner ones
    // through InvMixColumns (the order AES-NI expects as well).
    for (int i = 0, j = rounds; i < j; ++i, --j) {
      for (int k = 0; k < 4; ++k) std::swap(w[4 * i + k], w[4 * j + k]);
    }
    for (int round = 1; round < rounds; ++round) {
      for (int k = 0; k < 4; ++k) w[4 * round + k] = InvMixColumnWord(w[4 * round + k]);
    }
  }
  *rounds_out = rounds;
}

void SoftwareEncrypt(const std::uint32_t* rk, int rounds, const std::uint8_t in[16], std::uint8_t out[16]) {
  std::uint8_t s[16];
  std::memcpy(s, in, 16);
  AddRoundKey(s, rk);
  for (int round = 1; round < rounds; ++round) {
    SubBytes(s);
    ShiftRows(s);
    for (int c = 0; c < 4; ++c) MixColumn(s + 4 * c);
    AddRoundKey(s, rk + 4 * round);
  }
  SubBytes(s);
  ShiftRows(s);
  AddRoundKey(s, rk + 4 * rounds);
  std::memcpy(out, s, 16);
  SecureWipe(s, sizeof(s));
}

void SoftwareDecrypt(const std::uint32_t* rk, int rounds, const std::uint8_t in[16], std::uint8_t out[16]) {
  std::uint8_t s[16];
  std::memcpy(s, in, 16);
  AddRoundKey(s, rk);
  for (int round = 1; round < rounds; ++round) {
    InvSubBytes(s);
    InvShiftRows(s);
    for (int c = 0; c < 4; ++c) InvMixColumn(s + 4 * c);
    AddRoundKey(s, rk + 4 * round);
  }
  InvSubBytes(s);
  InvShiftRows(s);
  AddRoundKey(s, rk + 4 * rounds);
  std::memcpy(out, s, 16);
  SecureWipe(s, sizeof(s));
}

}  // namespace

namespace internal {

AesKey::~AesKey() {
  SecureWipe(words_, sizeof(words_));
  SecureWipe(bytes_, sizeof(bytes_));
}

void AesKey::Schedule(std::span<const std::uint8_t> key, bool for_decryption, bool allow_hardware) {
  if (key.size() != 16 && key.size() != 24 && key.size() != 32) throw std::invalid_argument("Invalid key length");
  SoftwareSchedule(key, for_decryption, words_, &rounds_);
  hardware_ = allow_hardware && ProcessorHasAesNi();
  SecureWipe(bytes_, sizeof(bytes_));
  if (hardware_) {
    // AES-NI takes the same round keys in byte order.
    for (int k = 0; k < 4 * (rounds_ + 1); ++k) StoreBe32(bytes_ + 4 * k, words_[k]);
  }
}

void AesKey::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  if (hardware_) {
    AesNiEncryptBlock(bytes_, rounds_, in, out);
  } else {
    SoftwareEncrypt(words_, rounds_, in, out);
  }
}

void AesKey::DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  if (hardware_) {
    AesNiDecryptBlock(bytes_, rounds_, in, out);
  } else {
    SoftwareDecrypt(words_, rounds_, in, out);
  }
}

void AesKey::Ctr32(std::uint8_t counter[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const {
  if (hardware_) {
    AesNiCtr32(bytes_, rounds_, counter, in, out, blocks);
    return;
  }
  std::uint8_t stream[16];
  std::uint32_t count = LoadBe32(counter + 12);
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    SoftwareEncrypt(words_, rounds_, counter, stream);
    for (int k = 0; k < 16; ++k) out[k] = in[k] ^ stream[k];
    StoreBe32(counter + 12, ++count);
  }
  SecureWipe(stream, sizeof(stream));
}

}  // namespace internal

void AesCbc::ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) {
  key_.Schedule(key, for_decryption, allow_hardware_);
}

}  // namespace security
