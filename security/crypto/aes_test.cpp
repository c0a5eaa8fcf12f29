#include "security/crypto/aes.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "security/crypto/cipher_test_support.h"

namespace security {
namespace {

using testing_cipher::CipherVector;

constexpr CipherVector kAesVectors[] = {
    // FIPS 197, appendix C.1-C.3.
    {"000102030405060708090a0b0c0d0e0f", "00000000000000000000000000000000", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "00000000000000000000000000000000",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00000000000000000000000000000000",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    // NIST SP 800-38A, F.2.1 and F.2.5 (CBC, four blocks).
    {"2b7e151628aed2a6abf7158809cf4f3c", "000102030405060708090a0b0c0d0e0f",
     "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad"
     "2b417be66c3710",
     "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b273bed6b8e3c1743b7116e69e222295163ff1caa1681fac0912"
     "0eca307586e1a7"},
    {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", "000102030405060708090a0b0c0d0e0f",
     "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad"
     "2b417be66c3710",
     "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda"
     "6c19078c6a9d1b"},
};

TEST(AesTest, PublishedVectors) { testing_cipher::ExpectKnownAnswers<AesCbc>(kAesVectors); }

// The same answers from the portable code when AES-NI would be used.
TEST(AesTest, PublishedVectorsPortable) {
  using testing_hex::FromHex;
  for (const CipherVector& v : kAesVectors) {
    SCOPED_TRACE(v.key);
    AesCbc aes(false);
    const auto cipher = testing_cipher::EncryptAll(aes, FromHex(v.key), FromHex(v.iv), FromHex(v.plaintext));
    EXPECT_FALSE(aes.UsesAesNi());
    EXPECT_EQ(testing_hex::ToHex(cipher), v.ciphertext);
    EXPECT_EQ(testing_cipher::DecryptAll(aes, FromHex(v.key), FromHex(v.iv), cipher), FromHex(v.plaintext));
  }
}

TEST(AesTest, RefusesWrongKeyAndIvLengths) {
  AesCbc aes;
  EXPECT_THROW(aes.InitEncrypt(std::vector<std::uint8_t>(20, 1), std::vector<std::uint8_t>(16, 0)),
               std::invalid_argument);
  EXPECT_THROW(aes.InitEncrypt(std::vector<std::uint8_t>(16, 1), std::vector<std::uint8_t>(8, 0)),
               std::invalid_argument);
}

}  // namespace
}  // namespace security
