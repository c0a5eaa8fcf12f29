#include "security/crypto/hmac.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/crypto/hash_test_support.h"
#include "security/crypto/sha256.h"

namespace security {
namespace {

using testing_hex::Bytes;
using testing_hex::FromHex;
using testing_hex::ToHex;

struct HmacVector {
  std::vector<std::uint8_t> key;
  std::vector<std::uint8_t> data;
  const char* mac;
};

std::vector<std::uint8_t> Repeat(std::uint8_t byte, std::size_t count) { return std::vector<std::uint8_t>(count, byte); }

std::vector<std::uint8_t> Counting(std::size_t from, std::size_t count) {
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k < count; ++k) out.push_back(static_cast<std::uint8_t>(from + k));
  return out;
}

// RFC 2202, sections 2 and 3; cases 6 and 7 use an 80-byte key that must be hashed first.
const std::vector<HmacVector>& Rfc2202Md5() {
  static const std::vector<HmacVector> v = {
      {Repeat(0x0b, 16), Bytes("Hi There"), "9294727a3638bb1c13f48ef8158bfc9d"},
      {Bytes("Jefe"), Bytes("what do ya want for nothing?"), "750c783e6ab0b503eaa86e310a5db738"},
      {Repeat(0xaa, 16), Repeat(0xdd, 50), "56be34521d144c88dbb8c733f0e8b3f6"},
      {Counting(1, 25), Repeat(0xcd, 50), "697eaf0aca3a3aea3a75164746ffaa79"},
      {Repeat(0x0c, 16), Bytes("Test With Truncation"), "56461ef2342edc00f9bab995690efd4c"},
      {Repeat(0xaa, 80), Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {Repeat(0xaa, 80), Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "6f630fad67cda0ee1fb1f562db3aa53e"},
  };
  return v;
}

const std::vector<HmacVector>& Rfc2202Sha1() {
  static const std::vector<HmacVector> v = {
      {Repeat(0x0b, 20), Bytes("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
      {Bytes("Jefe"), Bytes("what do ya want for nothing?"), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {Repeat(0xaa, 20), Repeat(0xdd, 50), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {Counting(1, 25), Repeat(0xcd, 50), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {Repeat(0x0c, 20), Bytes("Test With Truncation"), "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {Repeat(0xaa, 80), Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {Repeat(0xaa, 80), Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  return v;
}

TEST(HmacTest, Rfc2202Md5) {
  for (const auto& v : Rfc2202Md5()) {
    EXPECT_EQ(ToHex(HmacMd5(v.data, v.key)), v.mac);
    std::uint8_t out[16];
    HmacMd5(v.data.data(), v.data.size(), v.key.data(), v.key.size(), out);
    EXPECT_EQ(ToHex(std::vector<std::uint8_t>(out, out + 16)), v.mac);
  }
}

TEST(HmacTest, Rfc2202Sha1) {
  for (const auto& v : Rfc2202Sha1()) {
    EXPECT_EQ(ToHex(HmacSha1(v.data, v.key)), v.mac);
    std::uint8_t out[20];
    HmacSha1(v.data.data(), v.data.size(), v.key.data(), v.key.size(), out);
    EXPECT_EQ(ToHex(std::vector<std::uint8_t>(out, out + 20)), v.mac);
  }
}

// A 64-byte key fills the block as it is; from 65 bytes on the key is replaced by its digest.
// Expected MACs come from an independent HMAC implementation.
TEST(HmacTest, KeyOfExactlyOneBlockIsUsedUnchangedAndLongerKeysAreHashed) {
  const auto key64 = Counting(0, 64);
  const auto key65 = Counting(0, 65);
  const auto data = Bytes("sample");
  EXPECT_EQ(ToHex(HmacMd5(data, key64)), "579f2060fd85cb6736044e19168a0a1a");
  EXPECT_EQ(ToHex(HmacMd5(data, key65)), "692a4f757e9c6e61041c49eebd2bdfc5");
  EXPECT_EQ(ToHex(HmacSha1(data, key64)), "6c032aec11a5ea233c1b87c856102cc7e71cb274");
  EXPECT_EQ(ToHex(HmacSha1(data, key65)), "8aab399f479494a63d48c900d09cd7346b431e8c");

  const auto md5_of_key65 = Md5::Hash(key65);
  EXPECT_EQ(HmacMd5(data, key65), HmacMd5(data, md5_of_key65));
  const auto md5_of_key64 = Md5::Hash(key64);
  EXPECT_NE(HmacMd5(data, key64), HmacMd5(data, md5_of_key64));
}

// Final starts a new message under the same key; Reset drops a half-fed one.
TEST(HmacTest, ContextReusesKeyAcrossMessages) {
  const auto key = Bytes("Jefe");
  Hmac<Sha1> mac(key);
  mac.Update(Bytes("what do ya want "));
  mac.Update(Bytes("for nothing?"));
  EXPECT_EQ(ToHex(mac.Final()), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
  mac.Update(Bytes("junk"));
  mac.Reset();
  mac.Update(Bytes("what do ya want for nothing?"));
  EXPECT_EQ(ToHex(mac.Final()), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
}

// RFC 4231 test case 2 shows the template works for other hashes too.
TEST(HmacTest, GenericOverSha256) {
  EXPECT_EQ(ToHex(Hmac<Sha256>::Compute(Bytes("Jefe"), Bytes("what do ya want for nothing?"))),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

}  // namespace
}  // namespace security
