#include "security/idea.h"

#include <gtest/gtest.h>

#include "security/cipher_test_support.h"

namespace security {
namespace {

using testing_cipher::CipherVector;

constexpr CipherVector kIdeaVectors[] = {
    // The example of Lai and Massey's IDEA description.
    {"00010002000300040005000600070008", "0000000000000000", "0000000100020003", "11fbed2b01986de5"},
    // Zero words exercise the 0 = 2^16 convention of the multiplication.
    {"00000000000000000000000000000000", "0000000000000000", "0000000000000000", "0001000100000000"},
};

TEST(IdeaTest, PublishedVectors) { testing_cipher::ExpectKnownAnswers<IdeaCbc>(kIdeaVectors); }

}  // namespace
}  // namespace security
