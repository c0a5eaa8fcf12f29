#include "security/crypto/des.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "security/crypto/cipher_test_support.h"

namespace security {
namespace {

using testing_cipher::CipherVector;

constexpr CipherVector kDesVectors[] = {
    // The worked example of Grabbe's "DES algorithm illustrated".
    {"133457799bbcdff1", "0000000000000000", "0123456789abcdef", "85e813540f0ab405"},
    // FIPS 81, ECB and CBC examples ("Now is the time for all ").
    {"0123456789abcdef", "0000000000000000", "4e6f772069732074", "3fa40e8a984d4815"},
    {"0123456789abcdef", "1234567890abcdef", "4e6f77206973207468652074696d6520666f7220616c6c20",
     "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"},
    // Parity bits do not matter: 0x13 and 0x12 differ only in the parity bit.
    {"123457799bbcdff0", "0000000000000000", "0123456789abcdef", "85e813540f0ab405"},
};

constexpr CipherVector kTripleDesVectors[] = {
    // NIST SP 800-67 example ("The qufck brown fox jump", three distinct keys), one row per ECB block.
    {"0123456789abcdef23456789abcdef01456789abcdef0123", "0000000000000000", "5468652071756663", "a826fd8ce53b855f"},
    {"0123456789abcdef23456789abcdef01456789abcdef0123", "0000000000000000", "6b2062726f776e20", "cce21c8112256fe6"},
    {"0123456789abcdef23456789abcdef01456789abcdef0123", "0000000000000000", "666f78206a756d70", "68d5c05dd9b6b900"},
    // With k1 = k2 = k3 EDE collapses to single DES.
    {"133457799bbcdff1133457799bbcdff1133457799bbcdff1", "0000000000000000", "0123456789abcdef",
     "85e813540f0ab405"},
};

TEST(DesTest, PublishedVectors) { testing_cipher::ExpectKnownAnswers<DesCbc>(kDesVectors); }

TEST(DesTest, TripleDesPublishedVectors) { testing_cipher::ExpectKnownAnswers<TripleDesCbc>(kTripleDesVectors); }

TEST(DesTest, RefusesWrongKeyLengths) {
  const std::vector<std::uint8_t> iv(8, 0);
  DesCbc des;
  EXPECT_THROW(des.InitEncrypt(std::vector<std::uint8_t>(7, 1), iv), std::invalid_argument);
  TripleDesCbc triple;
  EXPECT_THROW(triple.InitEncrypt(std::vector<std::uint8_t>(16, 1), iv), std::invalid_argument);
  EXPECT_THROW(triple.InitDecrypt(std::vector<std::uint8_t>(24, 1), std::vector<std::uint8_t>(16, 0)),
               std::invalid_argument);
}

}  // namespace
}  // namespace security
