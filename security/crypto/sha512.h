#pragma once
// SHA-512 and SHA-384 (FIPS 180-4). SHA-384 is SHA-512 with other initial
// values and a truncated digest, so both share one compression function.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace security {

namespace internal {

// The SHA-512 engine; `digest_size` bytes of the final state make the digest.
class Sha512Engine {
 public:
  void Init(const std::uint64_t (&initial)[8]);
  void Update(const std::uint8_t* data, std::size_t length);
  void Final(std::uint8_t* digest, std::size_t digest_size);

 private:
  void Transform(const std::uint8_t block[128]);
  std::uint64_t state_[8];
  std::uint64_t byte_count_;  // messages beyond 2^64 bytes are out of reach here
  std::uint8_t buffer_[128];
};

}  // namespace internal

class Sha512 {
 public:
  static constexpr std::size_t kDigestSize = 64;
  static constexpr std::size_t kBlockSize = 128;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  Sha512() { Init(); }
  void Init();
  void Update(std::span<const std::uint8_t> data) { engine_.Update(data.data(), data.size()); }
  void Update(const void* data, std::size_t length) { engine_.Update(static_cast<const std::uint8_t*>(data), length); }
  // Finishes and returns the digest; Init must be called before the context is used again.
  Digest Final();

  static Digest Hash(std::span<const std::uint8_t> data);
  static Digest Hash(const void* data, std::size_t length) {
    return Hash(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  }

 private:
  internal::Sha512Engine engine_;
};

class Sha384 {
 public:
  static constexpr std::size_t kDigestSize = 48;
  static constexpr std::size_t kBlockSize = 128;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  Sha384() { Init(); }
  void Init();
  void Update(std::span<const std::uint8_t> data) { engine_.Update(data.data(), data.size()); }
  void Update(const void* data, std::size_t length) { engine_.Update(static_cast<const std::uint8_t*>(data), length); }
  // Finishes and returns the digest; Init must be called before the context is used again.
  Digest Final();

  static Digest Hash(std::span<const std::uint8_t> data);
  static Digest Hash(const void* data, std::size_t length) {
    return Hash(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  }

 private:
  internal::Sha512Engine engine_;
};

}  // namespace security
