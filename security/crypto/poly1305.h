#pragma once
// Poly1305 (RFC 8439): a one-time authenticator. A key (r, s) must never
// authenticate two messages; the AEAD derives a fresh one for each nonce.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace security {

class Poly1305 {
 public:
  static constexpr std::size_t kKeySize = 32;
  static constexpr std::size_t kTagSize = 16;
  using Tag = std::array<std::uint8_t, kTagSize>;

  explicit Poly1305(const std::uint8_t key[32]);
  Poly1305(const Poly1305&) = delete;
  Poly1305& operator=(const Poly1305&) = delete;
  ~Poly1305();

  void Update(const std::uint8_t* data, std::size_t length);
  void Update(std::span<const std::uint8_t> data) { Update(data.data(), data.size()); }
  // The tag of everything fed; the object is spent afterwards.
  Tag Final();

  static Tag Compute(const std::uint8_t key[32], std::span<const std::uint8_t> data);

 private:
  void Blocks(const std::uint8_t* data, std::size_t blocks, std::uint64_t high_bit);

  std::uint64_t r_[3];  // r in radix 2^44, clamped
  std::uint64_t h_[3];  // accumulator in radix 2^44
  std::uint64_t pad_[2];  // s
  std::uint8_t buffer_[16];
  std::size_t buffered_ = 0;
};

}  // namespace security
