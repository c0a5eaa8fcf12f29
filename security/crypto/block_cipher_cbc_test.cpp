#include "security/crypto/block_cipher_cbc.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "security/crypto/aes.h"
#include "security/crypto/cipher_test_support.h"
#include "security/crypto/des.h"
#include "security/crypto/idea.h"
#include "security/crypto/rc2.h"

namespace security {
namespace {

using testing_cipher::Bytes;

struct CipherCase {
  std::string name;
  std::size_t key_size;
  std::function<std::unique_ptr<BlockCipherCbc>()> make;
};

std::vector<CipherCase> AllCiphers() {
  return {
      {"Des", 8, [] { return std::make_unique<DesCbc>(); }},
      {"TripleDes", 24, [] { return std::make_unique<TripleDesCbc>(); }},
      {"Rc2", 16, [] { return std::make_unique<Rc2Cbc>(); }},
      {"Idea", 16, [] { return std::make_unique<IdeaCbc>(); }},
      {"Aes128", 16, [] { return std::make_unique<AesCbc>(); }},
      {"Aes256", 32, [] { return std::make_unique<AesCbc>(); }},
  };
}

class BlockCipherCbcTest : public ::testing::TestWithParam<CipherCase> {
 protected:
  void SetUp() override {
    cipher_ = GetParam().make();
    block_ = cipher_->BlockSize();
    std::mt19937 rng(7);
    key_ = Random(rng, GetParam().key_size);
    iv_ = Random(rng, block_);
    plain_ = Random(rng, 8 * block_);
    one_shot_ = testing_cipher::EncryptAll(*GetParam().make(), key_, iv_, plain_);
  }

  static Bytes Random(std::mt19937& rng, std::size_t n) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
  }

  std::unique_ptr<BlockCipherCbc> cipher_;
  std::size_t block_ = 0;
  Bytes key_, iv_, plain_, one_shot_;
};

// The record-layer case: block + 2 bytes with room for one block gives one
// block and keeps 2; the next block - 2 bytes complete a second block.
TEST_P(BlockCipherCbcTest, PartialBlockIsHeldForTheNextCall) {
  cipher_->InitEncrypt(key_, iv_);
  Bytes out(2 * block_);
  std::size_t room = block_;
  ASSERT_TRUE(cipher_->Encrypt(plain_.data(), block_ + 2, out.data(), &room));
  EXPECT_EQ(room, block_);
  EXPECT_EQ(cipher_->PendingBytes(), 2u);
  room = block_;
  ASSERT_TRUE(cipher_->Encrypt(plain_.data() + block_ + 2, block_ - 2, out.data() + block_, &room));
  EXPECT_EQ(room, block_);
  EXPECT_EQ(cipher_->PendingBytes(), 0u);
  EXPECT_EQ(out, Bytes(one_shot_.begin(), one_shot_.begin() + 2 * block_));
}

// Too little room: false, the needed size, and nothing consumed.
TEST_P(BlockCipherCbcTest, TooSmallRoomReportsNeededSizeAndConsumesNothing) {
  cipher_->InitEncrypt(key_, iv_);
  Bytes out(plain_.size());
  std::size_t room = 2 * block_ - 1;
  EXPECT_FALSE(cipher_->Encrypt(plain_.data(), 2 * block_, out.data(), &room));
  EXPECT_EQ(room, 2 * block_);
  EXPECT_EQ(cipher_->PendingBytes(), 0u);

  // With held bytes the needed size counts them too.
  room = 0;
  ASSERT_TRUE(cipher_->Encrypt(plain_.data(), 3, out.data(), &room));
  EXPECT_EQ(room, 0u);
  room = block_ - 1;
  EXPECT_FALSE(cipher_->Encrypt(plain_.data() + 3, block_ - 3, out.data(), &room));
  EXPECT_EQ(room, block_);
  EXPECT_EQ(cipher_->PendingBytes(), 3u);

  room = out.size();
  ASSERT_TRUE(cipher_->Encrypt(plain_.data() + 3, plain_.size() - 3, out.data(), &room));
  EXPECT_EQ(out, one_shot_);
}

TEST_P(BlockCipherCbcTest, ZeroLengthProducesNothing) {
  cipher_->InitEncrypt(key_, iv_);
  std::size_t room = 64;
  std::uint8_t out[64];
  EXPECT_TRUE(cipher_->Encrypt(nullptr, 0, out, &room));
  EXPECT_EQ(room, 0u);
  EXPECT_EQ(testing_cipher::EncryptAll(*cipher_, key_, iv_, Bytes{}), Bytes{});
}

// Any split of the stream, in both directions, equals one call: the chaining value carries over.
TEST_P(BlockCipherCbcTest, StreamSplitAtEveryOffsetMatchesOneCall) {
  for (std::size_t split = 0; split <= plain_.size(); ++split) {
    for (bool decrypt : {false, true}) {
      const Bytes& input = decrypt ? one_shot_ : plain_;
      const Bytes& expected = decrypt ? plain_ : one_shot_;
      if (decrypt) {
        cipher_->InitDecrypt(key_, iv_);
      } else {
        cipher_->InitEncrypt(key_, iv_);
      }
      Bytes out(input.size());
      std::size_t first = out.size();
      ASSERT_TRUE(decrypt ? cipher_->Decrypt(input.data(), split, out.data(), &first)
                          : cipher_->Encrypt(input.data(), split, out.data(), &first));
      std::size_t second = out.size() - first;
      ASSERT_TRUE(decrypt ? cipher_->Decrypt(input.data() + split, input.size() - split, out.data() + first, &second)
                          : cipher_->Encrypt(input.data() + split, input.size() - split, out.data() + first, &second));
      EXPECT_EQ(first + second, input.size());
      EXPECT_EQ(out, expected) << "split at " << split << (decrypt ? " (decrypt)" : " (encrypt)");
    }
  }
}

// In place with held bytes: each piece sits in its own buffer that also takes the output.
TEST_P(BlockCipherCbcTest, InPlaceWithAndWithoutHeldBytes) {
  for (bool decrypt : {false, true}) {
    const Bytes& input = decrypt ? one_shot_ : plain_;
    const Bytes& expected = decrypt ? plain_ : one_shot_;
    if (decrypt) {
      cipher_->InitDecrypt(key_, iv_);
    } else {
      cipher_->InitEncrypt(key_, iv_);
    }
    Bytes joined;
    std::size_t pos = 0;
    for (std::size_t piece : {block_, 3 * block_ + 5, block_ - 1, 2 * block_ + 1, block_ - 5}) {
      Bytes buffer(input.begin() + pos, input.begin() + pos + piece);
      buffer.resize(piece + block_);
      std::size_t room = buffer.size();
      ASSERT_TRUE(decrypt ? cipher_->Decrypt(buffer.data(), piece, buffer.data(), &room)
                          : cipher_->Encrypt(buffer.data(), piece, buffer.data(), &room));
      joined.insert(joined.end(), buffer.begin(), buffer.begin() + room);
      pos += piece;
    }
    ASSERT_EQ(pos, input.size());
    EXPECT_EQ(joined, expected) << (decrypt ? "decrypt" : "encrypt");
  }
}

// A context set up for one direction refuses the other; Init starts the stream afresh.
TEST_P(BlockCipherCbcTest, DirectionIsCheckedAndInitResets) {
  std::uint8_t out[32];
  std::size_t room = sizeof(out);
  EXPECT_THROW((void)cipher_->Encrypt(plain_.data(), block_, out, &room), std::logic_error);
  cipher_->InitDecrypt(key_, iv_);
  EXPECT_THROW((void)cipher_->Encrypt(plain_.data(), block_, out, &room), std::logic_error);

  cipher_->InitEncrypt(key_, iv_);
  ASSERT_TRUE(cipher_->Encrypt(plain_.data(), block_ + 3, out, &room));
  EXPECT_THROW((void)cipher_->Decrypt(plain_.data(), block_, out, &room), std::logic_error);
  EXPECT_EQ(testing_cipher::EncryptAll(*cipher_, key_, iv_, plain_), one_shot_);
}

INSTANTIATE_TEST_SUITE_P(AllCiphers, BlockCipherCbcTest, ::testing::ValuesIn(AllCiphers()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace security
