#include "security/crypto/chacha20_poly1305.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "security/crypto/chacha20.h"
#include "security/crypto/hash_test_support.h"
#include "security/crypto/poly1305.h"

namespace security {
namespace {

using testing_hex::FromHex;
using testing_hex::ToHex;
using Bytes = std::vector<std::uint8_t>;

const std::string kSunscreen =
    "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, sunscreen would "
    "be it.";

// RFC 8439, 2.3.2 and 2.4.2.
TEST(ChaCha20Test, RfcBlockAndEncryption) {
  const Bytes key = FromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  std::uint8_t block[64];
  ChaCha20Block(key.data(), FromHex("000000090000004a00000000").data(), 1, block);
  EXPECT_EQ(ToHex(Bytes(block, block + 64)),
            "10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
            "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e");

  const Bytes nonce = FromHex("000000000000004a00000000");
  const Bytes plain = testing_hex::Bytes(kSunscreen);
  const std::string expected =
      "6e2e359a2568f98041ba0728dd0d6981e97e7aec1d4360c20a27afccfd9fae0bf91b65c5524733ab8f593dabcd62b357"
      "1639d624e65152ab8f530c359f0861d807ca0dbf500d6a6156a38e088a22b65e52bc514d16ccf806818ce91ab7793736"
      "5af90bbf74a35be6b40b8eedf2785e42874d";
  Bytes out(plain.size());
  ChaCha20Xor(key.data(), nonce.data(), 1, plain.data(), out.data(), plain.size());
  EXPECT_EQ(ToHex(out), expected);
  // In place, and back again.
  ChaCha20Xor(key.data(), nonce.data(), 1, out.data(), out.data(), out.size());
  EXPECT_EQ(out, plain);
}

// A stream cut anywhere continues where the last piece ended when the
// caller advances the counter by whole blocks.
TEST(ChaCha20Test, BlockBoundariesAndCounter) {
  const Bytes key(32, 7);
  const Bytes nonce(12, 3);
  Bytes whole(300, 0);
  ChaCha20Xor(key.data(), nonce.data(), 5, whole.data(), whole.data(), whole.size());
  Bytes tail(300 - 128, 0);
  ChaCha20Xor(key.data(), nonce.data(), 7, tail.data(), tail.data(), tail.size());
  EXPECT_EQ(Bytes(whole.begin() + 128, whole.end()), tail);
  std::uint8_t block[64];
  ChaCha20Block(key.data(), nonce.data(), 6, block);
  EXPECT_EQ(Bytes(whole.begin() + 64, whole.begin() + 128), Bytes(block, block + 64));

  // Long runs go four blocks at a time; each block must still be the block
  // function's, up to the last counter value.
  Bytes run(64 * 9 + 5, 0);
  ChaCha20Xor(key.data(), nonce.data(), 0xfffffff6u, run.data(), run.data(), run.size());
  for (std::uint32_t b = 0; b < 10; ++b) {
    ChaCha20Block(key.data(), nonce.data(), 0xfffffff6u + b, block);
    const std::size_t end = std::min<std::size_t>(run.size(), 64 * (b + 1));
    EXPECT_EQ(Bytes(run.begin() + 64 * b, run.begin() + end), Bytes(block, block + (end - 64 * b))) << "block " << b;
  }
}

TEST(Poly1305Test, RfcVectorAndFeeding) {
  const Bytes key = FromHex("85d6be7857556d337f4452fe42d506a80103808afb0db2fd4abff6af4149f51b");
  const Bytes message = testing_hex::Bytes("Cryptographic Forum Research Group");
  EXPECT_EQ(ToHex(Poly1305::Compute(key.data(), message)), "a8061dc1305136c6c22b8baf0c0127a9");
  for (std::size_t split = 0; split <= message.size(); ++split) {
    Poly1305 mac(key.data());
    mac.Update(message.data(), split);
    mac.Update(message.data() + split, message.size() - split);
    ASSERT_EQ(ToHex(mac.Final()), "a8061dc1305136c6c22b8baf0c0127a9") << "split at " << split;
  }
}

// Accumulators near 2^130 - 5, where the final reduction must take p off.
TEST(Poly1305Test, FinalReductionEdges) {
  // r = 1 and s = 0: the tag is the sum of the blocks (each with its 2^128 bit) mod p.
  Bytes key(32, 0);
  key[0] = 1;
  // One block of all ones: 2^129 - 1, below p, so its low 128 bits.
  Bytes ones(16, 0xff);
  EXPECT_EQ(ToHex(Poly1305::Compute(key.data(), ones)), "ffffffffffffffffffffffffffffffff");
  // Two such blocks: 2^130 - 2 = p + 3.
  Bytes two(32, 0xff);
  EXPECT_EQ(ToHex(Poly1305::Compute(key.data(), two)), "03000000000000000000000000000000");
  // Blocks 2^129 - 1 and 2^129 - 4 sum to exactly p.
  Bytes exact(32, 0xff);
  exact[16] = 0xfc;
  EXPECT_EQ(ToHex(Poly1305::Compute(key.data(), exact)), "00000000000000000000000000000000");
}

// RFC 8439, 2.8.2.
TEST(ChaCha20Poly1305Test, RfcAeadVector) {
  const ChaCha20Poly1305 aead(FromHex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"));
  const Bytes nonce = FromHex("070000004041424344454647");
  const Bytes aad = FromHex("50515253c0c1c2c3c4c5c6c7");
  const Bytes plain = testing_hex::Bytes(kSunscreen);
  Bytes sealed(plain.size() + 16);
  aead.Seal(nonce, aad, plain, sealed.data());
  EXPECT_EQ(ToHex(sealed),
            "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d63dbea45e8ca9671282fafb69da92728b"
            "1a71de0a9e060b2905d6a5b67ecd3b3692ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc"
            "3ff4def08e4b7a9de576d26586cec64b6116"
            "1ae10b594f09e26a7e902ecbd0600691");
  Bytes opened(plain.size());
  ASSERT_TRUE(aead.Open(nonce, aad, sealed, opened.data()));
  EXPECT_EQ(opened, plain);
}

// Any changed bit of ciphertext, tag, aad or nonce is refused, and nothing
// of the plaintext is released.
TEST(ChaCha20Poly1305Test, RefusesTamperingAndShortInput) {
  const ChaCha20Poly1305 aead(Bytes(32, 0x42));
  const Bytes nonce(12, 1);
  const Bytes aad = FromHex("1703030010");
  const Bytes plain = testing_hex::Bytes("attack at dawn, bring snacks");
  Bytes sealed(plain.size() + 16);
  aead.Seal(nonce, aad, plain, sealed.data());
  for (std::size_t k = 0; k < sealed.size(); ++k) {
    Bytes bad = sealed;
    bad[k] ^= 0x01;
    Bytes out(plain.size(), 0xee);
    EXPECT_FALSE(aead.Open(nonce, aad, bad, out.data())) << "flipped byte " << k;
    EXPECT_EQ(out, Bytes(plain.size(), 0)) << "plaintext released for byte " << k;
  }
  Bytes other_aad = aad;
  other_aad[4] ^= 0x80;
  Bytes out(plain.size());
  EXPECT_FALSE(aead.Open(nonce, other_aad, sealed, out.data()));
  Bytes other_nonce = nonce;
  other_nonce[11] ^= 1;
  EXPECT_FALSE(aead.Open(other_nonce, aad, sealed, out.data()));
  EXPECT_FALSE(aead.Open(nonce, aad, Bytes(15, 0), out.data()));
  EXPECT_THROW(aead.Seal(Bytes(8, 0), aad, plain, sealed.data()), std::invalid_argument);
  EXPECT_THROW(ChaCha20Poly1305(Bytes(16, 0)), std::invalid_argument);
}

// Past 2^32 - 1 blocks the block counter would wrap onto the Poly1305 key
// block; refused before anything is read (the spans only pretend to be that long).
TEST(ChaCha20Poly1305Test, RefusesMessagesBeyondTheCounter) {
  const ChaCha20Poly1305 aead(Bytes(32, 9));
  std::uint8_t byte = 0;
  const std::size_t limit = ((std::size_t{1} << 32) - 1) * 64;
  EXPECT_THROW(aead.Seal(Bytes(12, 0), {}, std::span<const std::uint8_t>(&byte, limit + 1), &byte),
               std::invalid_argument);
  EXPECT_THROW(static_cast<void>(aead.Open(Bytes(12, 0), {}, std::span<const std::uint8_t>(&byte, limit + 17), &byte)),
               std::invalid_argument);
}

// Empty plaintext: the output is the tag alone; in-place sealing and opening.
TEST(ChaCha20Poly1305Test, EmptyAndInPlace) {
  const ChaCha20Poly1305 aead(Bytes(32, 9));
  const Bytes nonce(12, 0);
  Bytes tag(16);
  aead.Seal(nonce, {}, {}, tag.data());
  EXPECT_TRUE(aead.Open(nonce, {}, tag, nullptr));
  Bytes buffer = testing_hex::Bytes("in place please.......");
  const Bytes plain = buffer;
  buffer.resize(buffer.size() + 16);
  aead.Seal(nonce, {}, std::span(buffer.data(), plain.size()), buffer.data());
  EXPECT_NE(Bytes(buffer.begin(), buffer.begin() + plain.size()), plain);
  ASSERT_TRUE(aead.Open(nonce, {}, buffer, buffer.data()));
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + plain.size()), plain);
}

}  // namespace
}  // namespace security
