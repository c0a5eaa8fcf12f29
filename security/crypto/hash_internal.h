#pragma once
// Internal helper of the block-oriented hashes: feeds bytes through a block
// buffer and runs the compression function over every complete block.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace security {

// `used` is the fill of `buffer` before the call; returns the fill after it.
template <std::size_t kBlock, typename Compress>
std::size_t AbsorbBlocks(std::uint8_t* buffer, std::size_t used, const std::uint8_t* p, std::size_t length,
                         Compress compress) {
  if (used != 0) {
    std::size_t take = kBlock - used;
    if (length < take) {
      if (length != 0) std::memcpy(buffer + used, p, length);
      return used + length;
    }
    std::memcpy(buffer + used, p, take);
    compress(buffer);
    p += take;
    length -= take;
  }
  for (; length >= kBlock; p += kBlock, length -= kBlock) compress(p);
  if (length != 0) std::memcpy(buffer, p, length);
  return length;
}

}  // namespace security
