#include "security/crypto/aes_gcm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>

#include "security/crypto/aes.h"
#include "security/crypto/aes_internal.h"
#include "security/crypto/ghash_internal.h"
#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::FromHex;
using testing_hex::ToHex;
using Bytes = std::vector<std::uint8_t>;

struct GcmVector {
  const char* key;
  const char* nonce;
  const char* plaintext;
  const char* aad;
  const char* ciphertext;
  const char* tag;
};

constexpr const char* kPlain60 =
    "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525"
    "b16aedf5aa0de657ba637b39";
constexpr const char* kAad20 = "feedfacedeadbeeffeedfacedeadbeefabaddad2";
constexpr const char* kLongNonce =
    "9313225df88406e555909c5aff5269aa6a7a9538534f7da1e4c303d2a318a728c3c0c95156809539fcf0e2429a6b5254"
    "16aedbf5a0de6a57a637b39b";

// NIST's published GCM test cases 1-6, 9 (192-bit key) and 18 (256-bit key, 60-byte nonce).
constexpr GcmVector kVectors[] = {
    {"00000000000000000000000000000000", "000000000000000000000000", "", "", "",
     "58e2fccefa7e3061367f1d57a4e7455a"},
    {"00000000000000000000000000000000", "000000000000000000000000", "00000000000000000000000000000000", "",
     "0388dace60b6a392f328c2b971b2fe78", "ab6e47d42cec13bdf53a67b21257bddf"},
    {"feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
     "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525"
     "b16aedf5aa0de657ba637b391aafd255",
     "",
     "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac84aa05"
     "1ba30b396a0aac973d58e091473f5985",
     "4d5c2af327cd64a62cf35abd2ba6fab4"},
    {"feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888", kPlain60, kAad20,
     "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac84aa05"
     "1ba30b396a0aac973d58e091",
     "5bc94fbc3221a5db94fae95ae7121a47"},
    {"feffe9928665731c6d6a8f9467308308", "cafebabefacedbad", kPlain60, kAad20,
     "61353b4c2806934a777ff51fa22a4755699b2a714fcdc6f83766e5f97b6c742373806900e49f24b22b097544d4896b42"
     "4989b5e1ebac0f07c23f4598",
     "3612d2e79e3b0785561be14aaca2fccb"},
    {"feffe9928665731c6d6a8f9467308308", kLongNonce, kPlain60, kAad20,
     "8ce24998625615b603a033aca13fb894be9112a5c3a211a8ba262a3cca7e2ca701e4a9a4fba43c90ccdcb281d48c7c6f"
     "d62875d2aca417034c34aee5",
     "619cc5aefffe0bfa462af43c1699d050"},
    {"feffe9928665731c6d6a8f9467308308feffe9928665731c", "cafebabefacedbaddecaf888", kPlain60, kAad20,
     "3980ca0b3c00e841eb06fac4872a2757859e1ceaa6efd984628593b40ca1e19c7d773d00c144c525ac619d18c84a3f47"
     "18e2448b2fe324d9ccda2710",
     "2519498e80f1478f37ba55bd6d27618c"},
    {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308", kLongNonce, kPlain60, kAad20,
     "5a8def2f0c9e53f1f75d7853659e2a20eeb2b22aafde6419a058ab4f6f746bf40fc0c3b780f244452da3ebf1c5d82cde"
     "a2418997200ef82e44ae7e3f",
     "a44a8266ee1c8eb0c8b5d4cf5ae9f19a"},
};

TEST(AesGcmTest, PublishedVectorsOnBothPaths) {
  for (bool hardware : {true, false}) {
    for (const GcmVector& v : kVectors) {
      SCOPED_TRACE(std::string(v.key) + " nonce " + v.nonce + (hardware ? " (hardware allowed)" : " (portable)"));
      const AesGcm gcm(FromHex(v.key), hardware);
      const Bytes plain = FromHex(v.plaintext);
      Bytes sealed(plain.size() + 16);
      gcm.Seal(FromHex(v.nonce), FromHex(v.aad), plain, sealed.data());
      EXPECT_EQ(ToHex(sealed), std::string(v.ciphertext) + v.tag);
      Bytes opened(plain.size());
      ASSERT_TRUE(gcm.Open(FromHex(v.nonce), FromHex(v.aad), sealed, opened.data()));
      EXPECT_EQ(opened, plain);
    }
  }
}

TEST(AesGcmTest, RefusesTamperingShortInputAndBadParameters) {
  const AesGcm gcm(Bytes(16, 0x11));
  const Bytes nonce(12, 2);
  const Bytes aad = FromHex("170303002a");
  const Bytes plain = testing_hex::Bytes("forty-two bytes of record payload, or so");
  Bytes sealed(plain.size() + 16);
  gcm.Seal(nonce, aad, plain, sealed.data());
  for (std::size_t k = 0; k < sealed.size(); ++k) {
    Bytes bad = sealed;
    bad[k] ^= 0x80;
    Bytes out(plain.size(), 0xee);
    EXPECT_FALSE(gcm.Open(nonce, aad, bad, out.data())) << "flipped byte " << k;
    EXPECT_EQ(out, Bytes(plain.size(), 0)) << "plaintext released for byte " << k;
  }
  Bytes out(plain.size());
  Bytes other_aad = aad;
  other_aad[0] ^= 1;
  EXPECT_FALSE(gcm.Open(nonce, other_aad, sealed, out.data()));
  EXPECT_FALSE(gcm.Open(nonce, aad, Bytes(15, 0), out.data()));
  EXPECT_THROW(gcm.Seal({}, aad, plain, sealed.data()), std::invalid_argument);
  EXPECT_THROW(AesGcm(Bytes(20, 0)), std::invalid_argument);
}

// A message whose counter would wrap back to the tag's counter block is
// refused before anything is read (the spans only pretend to be that long).
TEST(AesGcmTest, RefusesMessagesBeyondTheCounter) {
  const AesGcm gcm(Bytes(16, 3));
  std::uint8_t byte = 0;
  const std::size_t limit = ((std::size_t{1} << 32) - 2) * 16;
  EXPECT_THROW(gcm.Seal(Bytes(12, 0), {}, std::span<const std::uint8_t>(&byte, limit + 1), &byte),
               std::invalid_argument);
  EXPECT_THROW(static_cast<void>(gcm.Open(Bytes(12, 0), {}, std::span<const std::uint8_t>(&byte, limit + 17), &byte)),
               std::invalid_argument);
}

// The counter is 32 bits wide and wraps without carrying into the nonce.
TEST(AesGcmTest, CounterWrapsWithinItsLastFourBytes) {
  internal::AesKey aes;
  aes.Schedule(Bytes(16, 5), false);
  std::uint8_t counter[16];
  std::memset(counter, 0xab, 12);
  counter[12] = counter[13] = counter[14] = 0xff;
  counter[15] = 0xfe;
  Bytes zeros(16 * 5, 0), stream(16 * 5);
  aes.Ctr32(counter, zeros.data(), stream.data(), 5);
  EXPECT_EQ(ToHex(Bytes(counter, counter + 16)), "abababababababababababab00000003");
  std::uint8_t block[16];
  std::memset(block, 0xab, 12);
  block[12] = block[13] = block[14] = 0;
  block[15] = 1;  // the fourth block: 0xfffffffe, 0xffffffff, 0, then 1
  std::uint8_t expected[16];
  aes.EncryptBlock(block, expected);
  EXPECT_EQ(Bytes(stream.begin() + 48, stream.begin() + 64), Bytes(expected, expected + 16));
}

// AES-NI and the portable code agree on random keys and data for every key
// size and direction, and so do PCLMULQDQ and the portable GHASH multiply.
TEST(AesGcmTest, HardwareAndPortablePathsAgree) {
  if (!internal::ProcessorHasAesNi() || !internal::ProcessorHasPclmul()) {
    GTEST_SKIP() << "this processor has no AES-NI or PCLMULQDQ";
  }
  std::mt19937_64 rng(21);
  auto random_bytes = [&](std::size_t n) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
  };
  for (std::size_t key_size : {16u, 24u, 32u}) {
    for (int round = 0; round < 20; ++round) {
      const Bytes key = random_bytes(key_size);
      for (bool decrypt : {false, true}) {
        internal::AesKey hardware, portable;
        hardware.Schedule(key, decrypt, true);
        portable.Schedule(key, decrypt, false);
        ASSERT_TRUE(hardware.UsesAesNi());
        ASSERT_FALSE(portable.UsesAesNi());
        const Bytes block = random_bytes(16);
        std::uint8_t a[16], b[16];
        if (decrypt) {
          hardware.DecryptBlock(block.data(), a);
          portable.DecryptBlock(block.data(), b);
        } else {
          hardware.EncryptBlock(block.data(), a);
          portable.EncryptBlock(block.data(), b);
        }
        EXPECT_EQ(Bytes(a, a + 16), Bytes(b, b + 16)) << key_size << (decrypt ? " decrypt" : " encrypt");
      }
      const Bytes nonce = random_bytes(1 + rng() % 20);
      const Bytes aad = random_bytes(rng() % 40);
      const Bytes plain = random_bytes(rng() % 300);
      Bytes fast(plain.size() + 16), slow(plain.size() + 16);
      AesGcm(key, true).Seal(nonce, aad, plain, fast.data());
      AesGcm(key, false).Seal(nonce, aad, plain, slow.data());
      EXPECT_EQ(fast, slow) << "GCM, key size " << key_size;
    }
  }
  for (int round = 0; round < 2000; ++round) {
    std::uint64_t y_hi = rng(), y_lo = rng(), h_hi = rng(), h_lo = rng();
    if (round < 4) {  // the extremes of the carries
      y_hi = y_lo = h_hi = h_lo = ~std::uint64_t{0};
      if (round & 1) y_lo = 1;
      if (round & 2) h_hi = std::uint64_t{1} << 63;
    }
    std::uint64_t a_hi = y_hi, a_lo = y_lo, b_hi = y_hi, b_lo = y_lo;
    internal::GfMultiplyPclmul(&a_hi, &a_lo, h_hi, h_lo);
    internal::GfMultiplyPortable(&b_hi, &b_lo, h_hi, h_lo);
    ASSERT_EQ(a_hi, b_hi) << round;
    ASSERT_EQ(a_lo, b_lo) << round;
  }
}

}  // namespace
}  // namespace security
