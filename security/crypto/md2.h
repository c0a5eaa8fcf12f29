#pragma once
// MD2 (RFC 1319). Only needed to check old md2WithRSAEncryption certificate
// signatures, so it is offered as a one-shot digest only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace security {

class Md2 {
 public:
  static constexpr std::size_t kDigestSize = 16;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  static Digest Hash(std::span<const std::uint8_t> data);
  static Digest Hash(const void* data, std::size_t length) {
    return Hash(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  }
};

}  // namespace security
