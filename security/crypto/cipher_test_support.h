#pragma once
// Test helpers for the CBC block ciphers: whole-buffer encryption and
// decryption through the streaming interface, and known-answer rows.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "security/crypto/block_cipher_cbc.h"
#include "security/crypto/hash_test_support.h"

namespace security::testing_cipher {

using Bytes = std::vector<std::uint8_t>;

// One known answer: CBC under key and IV; with a zero IV and one block it is a plain block vector.
struct CipherVector {
  const char* key;
  const char* iv;
  const char* plaintext;
  const char* ciphertext;
};

inline Bytes EncryptAll(BlockCipherCbc& cipher, const Bytes& key, const Bytes& iv, const Bytes& data) {
  cipher.InitEncrypt(key, iv);
  Bytes out(data.size());
  std::size_t room = out.size();
  EXPECT_TRUE(cipher.Encrypt(data.data(), data.size(), out.data(), &room));
  out.resize(room);
  return out;
}

inline Bytes DecryptAll(BlockCipherCbc& cipher, const Bytes& key, const Bytes& iv, const Bytes& data) {
  cipher.InitDecrypt(key, iv);
  Bytes out(data.size());
  std::size_t room = out.size();
  EXPECT_TRUE(cipher.Decrypt(data.data(), data.size(), out.data(), &room));
  out.resize(room);
  return out;
}

// Encrypts each row's plaintext to its ciphertext and decrypts it back.
template <typename Cipher, typename Rows>
void ExpectKnownAnswers(const Rows& rows) {
  using testing_hex::FromHex;
  using testing_hex::ToHex;
  for (const CipherVector& v : rows) {
    SCOPED_TRACE(v.key);
    Cipher cipher;
    const Bytes plain = FromHex(v.plaintext);
    EXPECT_EQ(ToHex(EncryptAll(cipher, FromHex(v.key), FromHex(v.iv), plain)), v.ciphertext);
    EXPECT_EQ(DecryptAll(cipher, FromHex(v.key), FromHex(v.iv), FromHex(v.ciphertext)), plain);
  }
}

}  // namespace security::testing_cipher
