#include "security/crypto/rc2.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "security/crypto/cipher_test_support.h"

namespace security {
namespace {

using testing_cipher::Bytes;
using testing_hex::FromHex;
using testing_hex::ToHex;

struct Rc2Vector {
  int effective_bits;  // 0: 8 x key length
  const char* key;
  const char* plaintext;
  const char* ciphertext;
};

// RFC 2268, section 5 (single blocks, so a zero IV makes CBC a plain block operation).
constexpr Rc2Vector kRfc2268Vectors[] = {
    {63, "0000000000000000", "0000000000000000", "ebb773f993278eff"},
    {64, "ffffffffffffffff", "ffffffffffffffff", "278b27e42e2f0d49"},
    {64, "3000000000000000", "1000000000000001", "30649edf9be7d2c2"},
    {64, "88", "0000000000000000", "61a8a244adacccf0"},
    {64, "88bca90e90875a", "0000000000000000", "6ccf4308974c267f"},
    {64, "88bca90e90875a7f0f79c384627bafb2", "0000000000000000", "1a807d272bbe5db1"},
    {128, "88bca90e90875a7f0f79c384627bafb2", "0000000000000000", "2269552ab0f85ca6"},
    {129, "88bca90e90875a7f0f79c384627bafb216f80a6f85920584c42fceb0be255daf1e", "0000000000000000",
     "5b78d3a43dfff1f1"},
    // Effective bits taken from the key length: the 8-byte row above and the 16-byte 128-bit row.
    {0, "ffffffffffffffff", "ffffffffffffffff", "278b27e42e2f0d49"},
    {0, "88bca90e90875a7f0f79c384627bafb2", "0000000000000000", "2269552ab0f85ca6"},
};

TEST(Rc2Test, Rfc2268Vectors) {
  const Bytes iv(8, 0);
  for (const auto& v : kRfc2268Vectors) {
    SCOPED_TRACE(v.key);
    Rc2Cbc rc2(v.effective_bits);
    const Bytes plain = FromHex(v.plaintext);
    EXPECT_EQ(ToHex(testing_cipher::EncryptAll(rc2, FromHex(v.key), iv, plain)), v.ciphertext);
    EXPECT_EQ(testing_cipher::DecryptAll(rc2, FromHex(v.key), iv, FromHex(v.ciphertext)), plain);
  }
}

TEST(Rc2Test, KeyLengthsOneTo128Only) {
  const Bytes iv(8, 0);
  Rc2Cbc rc2;
  EXPECT_THROW(rc2.InitEncrypt(Bytes{}, iv), std::invalid_argument);
  EXPECT_THROW(rc2.InitEncrypt(Bytes(129, 1), iv), std::invalid_argument);
  EXPECT_NO_THROW(rc2.InitEncrypt(Bytes(128, 1), iv));
  EXPECT_NO_THROW(rc2.InitEncrypt(Bytes(1, 1), iv));
}

}  // namespace
}  // namespace security
