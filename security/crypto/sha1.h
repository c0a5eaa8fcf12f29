#pragma once
// SHA-1 (FIPS 180-1).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace security {

class Sha1 {
 public:
  static constexpr std::size_t kDigestSize = 20;
  static constexpr std::size_t kBlockSize = 64;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  Sha1() { Init(); }
  void Init();
  void Update(std::span<const std::uint8_t> data);
  void Update(const void* data, std::size_t length) {
    Update(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  }
  // Finishes and returns the digest; Init must be called before the context is used again.
  Digest Final();

  static Digest Hash(std::span<const std::uint8_t> data);
  static Digest Hash(const void* data, std::size_t length) {
    return Hash(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  }

 private:
  void Transform(const std::uint8_t block[64]);
  std::uint32_t state_[5];
  std::uint64_t bit_count_;
  std::uint8_t buffer_[64];
};

}  // namespace security
