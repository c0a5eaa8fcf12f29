// Key schedules and keyed MAC states are cleared when their object goes away:
// each object is built in a buffer of our own, destroyed in place, and the
// buffer is then searched for what the key left behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "security/crypto/aes.h"
#include "security/crypto/aes_gcm.h"
#include "security/crypto/chacha20_poly1305.h"
#include "security/crypto/des.h"
#include "security/crypto/hmac.h"
#include "security/crypto/idea.h"
#include "security/crypto/poly1305.h"
#include "security/crypto/rc2.h"
#include "security/crypto/rc4.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Key(std::size_t n) {
  Bytes key(n);
  for (std::size_t k = 0; k < n; ++k) key[k] = static_cast<std::uint8_t>(0xa5 ^ (k * 37 + 11));
  return key;
}

struct Census {
  std::size_t live;   // non-zero bytes while the object was alive
  std::size_t after;  // non-zero bytes after its destructor ran
};

std::size_t NonZero(const std::uint8_t* p, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t k = 0; k < n; ++k) count += p[k] != 0;
  return count;
}

template <typename T, typename Make>
Census DestroyInPlace(Make make) {
  alignas(T) std::uint8_t storage[sizeof(T)];
  std::memset(storage, 0, sizeof(storage));
  T* object = make(static_cast<void*>(storage));
  const std::size_t live = NonZero(storage, sizeof(storage));
  object->~T();
  return {live, NonZero(storage, sizeof(storage))};
}

// What may stay: the vtable pointer, small non-secret fields (block size,
// direction, round count, flags) and whatever the compiler left in padding
// bytes; far less than any key schedule. The IV is zero so that it does not count.
constexpr std::size_t kAllowedLeftovers = 32;

template <typename Cipher>
void ExpectCbcScheduleWiped(std::size_t key_size, std::size_t block_size) {
  const Bytes key = Key(key_size);
  const Bytes iv(block_size, 0);
  for (bool decrypt : {false, true}) {
    const Census c = DestroyInPlace<Cipher>([&](void* where) {
      auto* cipher = new (where) Cipher();
      if (decrypt) {
        cipher->InitDecrypt(key, iv);
      } else {
        cipher->InitEncrypt(key, iv);
      }
      return cipher;
    });
    EXPECT_GT(c.live, kAllowedLeftovers + 64) << "the schedule should have been filled";
    EXPECT_LE(c.after, kAllowedLeftovers) << (decrypt ? "decryption" : "encryption") << " schedule left behind";
  }
}

TEST(KeyWipeTest, BlockCipherSchedulesAreClearedOnDestruction) {
  ExpectCbcScheduleWiped<AesCbc>(16, 16);
  ExpectCbcScheduleWiped<AesCbc>(32, 16);
  ExpectCbcScheduleWiped<DesCbc>(8, 8);
  ExpectCbcScheduleWiped<TripleDesCbc>(24, 8);
  ExpectCbcScheduleWiped<Rc2Cbc>(16, 8);
  ExpectCbcScheduleWiped<IdeaCbc>(16, 8);
}

// The chaining value and the bytes held back for the next call are gone too: a
// held partial block is plaintext.
TEST(KeyWipeTest, CbcChainAndHeldPlaintextAreClearedOnDestruction) {
  const Bytes key = Key(16);
  const Bytes iv = Key(16);
  const Bytes text(15, 0x5c);
  alignas(AesCbc) std::uint8_t storage[sizeof(AesCbc)];
  std::memset(storage, 0, sizeof(storage));
  auto* cipher = new (storage) AesCbc();
  cipher->InitEncrypt(key, iv);
  std::uint8_t out[16];
  std::size_t out_length = sizeof(out);
  ASSERT_TRUE(cipher->Encrypt(text.data(), text.size(), out, &out_length));
  ASSERT_EQ(cipher->PendingBytes(), text.size());
  auto holds = [&](const Bytes& pattern) {
    return std::search(storage, storage + sizeof(storage), pattern.begin(), pattern.end()) != storage + sizeof(storage);
  };
  ASSERT_TRUE(holds(text));
  ASSERT_TRUE(holds(iv));
  cipher->~AesCbc();
  EXPECT_FALSE(holds(text));
  EXPECT_FALSE(holds(iv));
}

TEST(KeyWipeTest, Rc4StateIsClearedOnDestruction) {
  const Bytes key = Key(16);
  const Census c = DestroyInPlace<Rc4>([&](void* where) {
    auto* rc4 = new (where) Rc4(key);
    std::uint8_t scratch[7] = {};
    rc4->Crypt(scratch, scratch, sizeof(scratch));  // moves i and j off zero
    return rc4;
  });
  EXPECT_GT(c.live, 200u);
  EXPECT_EQ(c.after, 0u);
}

template <typename Hash>
void ExpectHmacWiped() {
  const Bytes key = Key(20);
  const Census c = DestroyInPlace<Hmac<Hash>>([&](void* where) {
    auto* mac = new (where) Hmac<Hash>(key);
    mac->Update(key);
    return mac;
  });
  EXPECT_GT(c.live, 3 * Hash::kDigestSize);
  EXPECT_EQ(c.after, 0u);
}

TEST(KeyWipeTest, HmacStatesAreClearedOnDestruction) {
  ExpectHmacWiped<Md5>();
  ExpectHmacWiped<Sha1>();
  ExpectHmacWiped<Sha256>();
  ExpectHmacWiped<Sha384>();
  ExpectHmacWiped<Sha512>();
}

TEST(KeyWipeTest, AeadKeysAreClearedOnDestruction) {
  const Bytes key = Key(32);
  for (bool hardware : {true, false}) {
    const Census gcm = DestroyInPlace<AesGcm>([&](void* where) { return new (where) AesGcm(key, hardware); });
    EXPECT_GT(gcm.live, kAllowedLeftovers + 200);
    EXPECT_LE(gcm.after, kAllowedLeftovers);
  }
  const Census chacha =
      DestroyInPlace<ChaCha20Poly1305>([&](void* where) { return new (where) ChaCha20Poly1305(key); });
  EXPECT_GT(chacha.live, 32u);
  EXPECT_LE(chacha.after, sizeof(void*));  // the vtable pointer alone
  const Census poly = DestroyInPlace<Poly1305>([&](void* where) {
    auto* mac = new (where) Poly1305(key.data());
    mac->Update(key.data(), 7);
    return mac;
  });
  EXPECT_GT(poly.live, 32u);
  EXPECT_EQ(poly.after, 0u);
}

}  // namespace
}  // namespace security
