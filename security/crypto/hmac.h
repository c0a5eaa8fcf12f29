#pragma once
// HMAC (RFC 2104) over any hash of this folder with a 64- or 128-byte block.
//
// A key longer than the hash's block is hashed first; a key of at most one
// block, exactly one block included, is used unchanged (zero-padded).
// The key bytes are only read during construction; the object keeps the two
// keyed hash states, so one key can authenticate many messages (Reset).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "security/crypto/md5.h"
#include "security/crypto/secure_wipe.h"
#include "security/crypto/sha1.h"

namespace security {

template <typename Hash>
class Hmac {
 public:
  static constexpr std::size_t kDigestSize = Hash::kDigestSize;
  using Digest = typename Hash::Digest;

  explicit Hmac(std::span<const std::uint8_t> key) {
    std::uint8_t block[Hash::kBlockSize] = {};
    if (key.size() > Hash::kBlockSize) {
      const auto hashed = Hash::Hash(key);
      std::memcpy(block, hashed.data(), hashed.size());
    } else if (!key.empty()) {
      std::memcpy(block, key.data(), key.size());
    }
    std::uint8_t pad[Hash::kBlockSize];
    for (std::size_t k = 0; k < Hash::kBlockSize; ++k) pad[k] = block[k] ^ 0x36;
    keyed_inner_.Update(pad, sizeof(pad));
    for (std::size_t k = 0; k < Hash::kBlockSize; ++k) pad[k] = block[k] ^ 0x5c;
    keyed_outer_.Update(pad, sizeof(pad));
    inner_ = keyed_inner_;
    SecureWipe(block, sizeof(block));
    SecureWipe(pad, sizeof(pad));
  }
  Hmac(const Hmac&) = default;
  Hmac& operator=(const Hmac&) = default;
  // The keyed states are as good as the key.
  ~Hmac() {
    SecureWipe(&keyed_inner_, sizeof(keyed_inner_));
    SecureWipe(&keyed_outer_, sizeof(keyed_outer_));
    SecureWipe(&inner_, sizeof(inner_));
  }

  void Update(std::span<const std::uint8_t> data) { inner_.Update(data); }
  void Update(const void* data, std::size_t length) { inner_.Update(data, length); }

  // Returns the MAC of everything fed since construction or the last Reset,
  // and starts a new message under the same key.
  Digest Final() {
    const auto inner_digest = inner_.Final();
    Hash outer = keyed_outer_;
    outer.Update(inner_digest.data(), inner_digest.size());
    inner_ = keyed_inner_;
    const Digest mac = outer.Final();
    SecureWipe(&outer, sizeof(outer));
    return mac;
  }

  // Drops what was fed since the last Final.
  void Reset() { inner_ = keyed_inner_; }

  static Digest Compute(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
    Hmac mac(key);
    mac.Update(data);
    return mac.Final();
  }

 private:
  Hash keyed_inner_;
  Hash keyed_outer_;
  Hash inner_;
};

// One-call forms used by the TLS record layer and CRAM-MD5: data first, then key.
Md5::Digest HmacMd5(std::span<const std::uint8_t> data, std::span<const std::uint8_t> key);
Sha1::Digest HmacSha1(std::span<const std::uint8_t> data, std::span<const std::uint8_t> key);

// The same writing into `out` (16 bytes for MD5, 20 for SHA-1).
void HmacMd5(const void* data, std::size_t length, const void* key, std::size_t key_length, std::uint8_t* out);
void HmacSha1(const void* data, std::size_t length, const void* key, std::size_t key_length, std::uint8_t* out);

}  // namespace security
