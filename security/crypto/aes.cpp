#include "security/crypto/aes.h"

#include <utility>

#include <array>
#include <stdexcept>

#include "security/crypto/byte_order_internal.h"
#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

constexpr std::uint8_t XTime(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0));
}

constexpr std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  for (; b != 0; b >>= 1, a = XTime(a)) {
    if (b & 1) product ^= a;
  }
  return product;
}

struct Tables {
  std::array<std::uint8_t, 256> sbox{};
  std::array<std::uint8_t, 256> inverse_sbox{};
  std::array<std::array<std::uint32_t, 256>, 4> encrypt{};  // Te0..Te3
  std::array<std::array<std::uint32_t, 256>, 4> decrypt{};  // Td0..Td3
};

constexpr std::uint32_t Rotr8(std::uint32_t x) { return (x >> 8) | (x << 24); }

constexpr Tables MakeTables() {
  Tables t{};
  // Multiplicative inverses by walking powers of the generator 3.
  std::array<std::uint8_t, 256> exp{};
  std::array<std::uint8_t, 256> log{};
  std::uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = x;
    log[x] = static_cast<std::uint8_t>(i);
    x = Multiply(x, 3);
  }
  for (int v = 0; v < 256; ++v) {
    const std::uint8_t inverse = v == 0 ? 0 : exp[(255 - log[v]) % 255];
    std::uint8_t s = inverse;
    std::uint8_t rotated = inverse;
    for (int k = 0; k < 4; ++k) {
      rotated = static_cast<std::uint8_t>((rotated << 1) | (rotated >> 7));
      s ^= rotated;
    }
    s ^= 0x63;
    t.sbox[v] = s;
    t.inverse_sbox[s] = static_cast<std::uint8_t>(v);
  }
  for (int v = 0; v < 256; ++v) {
    const std::uint8_t s = t.sbox[v];
    std::uint32_t e = (static_cast<std::uint32_t>(Multiply(s, 2)) << 24) | (static_cast<std::uint32_t>(s) << 16) |
                      (static_cast<std::uint32_t>(s) << 8) | Multiply(s, 3);
    const std::uint8_t is = t.inverse_sbox[v];
    std::uint32_t d = (static_cast<std::uint32_t>(Multiply(is, 14)) << 24) |
                      (static_cast<std::uint32_t>(Multiply(is, 9)) << 16) |
                      (static_cast<std::uint32_t>(Multiply(is, 13)) << 8) | Multiply(is, 11);
    for (int k = 0; k < 4; ++k) {
      t.encrypt[k][v] = e;
      t.decrypt[k][v] = d;
      e = Rotr8(e);
      d = Rotr8(d);
    }
  }
  return t;
}

constexpr Tables kTables = MakeTables();
constexpr auto& kSbox = kTables.sbox;
constexpr auto& kInverseSbox = kTables.inverse_sbox;
constexpr auto& kTe0 = kTables.encrypt[0];
constexpr auto& kTe1 = kTables.encrypt[1];
constexpr auto& kTe2 = kTables.encrypt[2];
constexpr auto& kTe3 = kTables.encrypt[3];
constexpr auto& kTd0 = kTables.decrypt[0];
constexpr auto& kTd1 = kTables.decrypt[1];
constexpr auto& kTd2 = kTables.decrypt[2];
constexpr auto& kTd3 = kTables.decrypt[3];

inline std::uint32_t SubWord(std::uint32_t w) {
  return (static_cast<std::uint32_t>(kSbox[w >> 24]) << 24) | (static_cast<std::uint32_t>(kSbox[(w >> 16) & 255]) << 16) |
         (static_cast<std::uint32_t>(kSbox[(w >> 8) & 255]) << 8) | kSbox[w & 255];
}

inline std::uint32_t InvMixColumn(std::uint32_t w) {
  return kTd0[kSbox[w >> 24]] ^ kTd1[kSbox[(w >> 16) & 255]] ^ kTd2[kSbox[(w >> 8) & 255]] ^ kTd3[kSbox[w & 255]];
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
    for (int i = 0, j = rounds; i < j; ++i, --j) {
      for (int k = 0; k < 4; ++k) std::swap(w[4 * i + k], w[4 * j + k]);
    }
    for (int round = 1; round < rounds; ++round) {
      for (int k = 0; k < 4; ++k) w[4 * round + k] = InvMixColumn(w[4 * round + k]);
    }
  }
  *rounds_out = rounds;
}

void SoftwareEncrypt(const std::uint32_t* rk, int rounds, const std::uint8_t in[16], std::uint8_t out[16]) {
  std::uint32_t s0 = LoadBe32(in) ^ rk[0];
  std::uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
  std::uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
  std::uint32_t s3 = LoadBe32(in + 12) ^ rk[3];
  for (int round = 1; round < rounds; ++round) {
    rk += 4;
    const std::uint32_t t0 = kTe0[s0 >> 24] ^ kTe1[(s1 >> 16) & 255] ^ kTe2[(s2 >> 8) & 255] ^ kTe3[s3 & 255] ^ rk[0];
    const std::uint32_t t1 = kTe0[s1 >> 24] ^ kTe1[(s2 >> 16) & 255] ^ kTe2[(s3 >> 8) & 255] ^ kTe3[s0 & 255] ^ rk[1];
    const std::uint32_t t2 = kTe0[s2 >> 24] ^ kTe1[(s3 >> 16) & 255] ^ kTe2[(s0 >> 8) & 255] ^ kTe3[s1 & 255] ^ rk[2];
    const std::uint32_t t3 = kTe0[s3 >> 24] ^ kTe1[(s0 >> 16) & 255] ^ kTe2[(s1 >> 8) & 255] ^ kTe3[s2 & 255] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t k) {
    return ((static_cast<std::uint32_t>(kSbox[a >> 24]) << 24) | (static_cast<std::uint32_t>(kSbox[(b >> 16) & 255]) << 16) |
            (static_cast<std::uint32_t>(kSbox[(c >> 8) & 255]) << 8) | kSbox[d & 255]) ^
           k;
  };
  StoreBe32(out, last(s0, s1, s2, s3, rk[0]));
  StoreBe32(out + 4, last(s1, s2, s3, s0, rk[1]));
  StoreBe32(out + 8, last(s2, s3, s0, s1, rk[2]));
  StoreBe32(out + 12, last(s3, s0, s1, s2, rk[3]));
}

void SoftwareDecrypt(const std::uint32_t* rk, int rounds, const std::uint8_t in[16], std::uint8_t out[16]) {
  std::uint32_t s0 = LoadBe32(in) ^ rk[0];
  std::uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
  std::uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
  std::uint32_t s3 = LoadBe32(in + 12) ^ rk[3];
  for (int round = 1; round < rounds; ++round) {
    rk += 4;
    const std::uint32_t t0 = kTd0[s0 >> 24] ^ kTd1[(s3 >> 16) & 255] ^ kTd2[(s2 >> 8) & 255] ^ kTd3[s1 & 255] ^ rk[0];
    const std::uint32_t t1 = kTd0[s1 >> 24] ^ kTd1[(s0 >> 16) & 255] ^ kTd2[(s3 >> 8) & 255] ^ kTd3[s2 & 255] ^ rk[1];
    const std::uint32_t t2 = kTd0[s2 >> 24] ^ kTd1[(s1 >> 16) & 255] ^ kTd2[(s0 >> 8) & 255] ^ kTd3[s3 & 255] ^ rk[2];
    const std::uint32_t t3 = kTd0[s3 >> 24] ^ kTd1[(s2 >> 16) & 255] ^ kTd2[(s1 >> 8) & 255] ^ kTd3[s0 & 255] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t k) {
    return ((static_cast<std::uint32_t>(kInverseSbox[a >> 24]) << 24) |
            (static_cast<std::uint32_t>(kInverseSbox[(b >> 16) & 255]) << 16) |
            (static_cast<std::uint32_t>(kInverseSbox[(c >> 8) & 255]) << 8) | kInverseSbox[d & 255]) ^
           k;
  };
  StoreBe32(out, last(s0, s3, s2, s1, rk[0]));
  StoreBe32(out + 4, last(s1, s0, s3, s2, rk[1]));
  StoreBe32(out + 8, last(s2, s1, s0, s3, rk[2]));
  StoreBe32(out + 12, last(s3, s2, s1, s0, rk[3]));
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
