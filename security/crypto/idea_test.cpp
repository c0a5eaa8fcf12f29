#include "security/crypto/idea.h"

#include <gtest/gtest.h>

#include "security/crypto/cipher_test_support.h"

namespace security {
namespace {

using testing_cipher::CipherVector;

constexpr CipherVector kIdeaVectors[] = {
    // The example of Lai and Massey's IDEA description.
    {"00010002000300040005000600070008", "0000000000000000", "0000000100020003", "11fbed2b01986de5"},
    // Zero words exercise the 0 = 2^16 convention of the multiplication.
    {"00000000000000000000000000000000", "0000000000000000", "0000000000000000", "0001000100000000"},
    // Computed with OpenSSL's IDEA (the system library here is built without it, so the
    // differential test skips): all-ones words, and four CBC blocks under a random key and IV.
    {"ffffffffffffffffffffffffffffffff", "0000000000000000", "ffffffffffffffff", "cd1ab2c1211041fb"},
    {"2bd6459f82c5b300952c49104881ff48", "f0e1d2c3b4a59687",
     "0b30557a9fc4e90e33587da2c7ec11365b80a5caef14395e83a8cdf2173c6186",
     "b340f809e693720fab1caebcd1a4edbc4e60fbc3f74c3bbf52b89be3df27c836"},
};

TEST(IdeaTest, PublishedVectors) { testing_cipher::ExpectKnownAnswers<IdeaCbc>(kIdeaVectors); }

}  // namespace
}  // namespace security
