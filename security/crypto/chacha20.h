#pragma once
// ChaCha20 (RFC 8439): 256-bit key, 96-bit nonce, 32-bit block counter.

#include <cstddef>
#include <cstdint>

namespace security {

// XORs the key stream that starts at block `counter` over `length` bytes of
// `in` into `out` (`out` may equal `in`). The counter must not wrap within one
// call: at most (2^32 - counter) * 64 bytes.
void ChaCha20Xor(const std::uint8_t key[32], const std::uint8_t nonce[12], std::uint32_t counter,
                 const std::uint8_t* in, std::uint8_t* out, std::size_t length);

// One 64-byte key stream block.
void ChaCha20Block(const std::uint8_t key[32], const std::uint8_t nonce[12], std::uint32_t counter,
                   std::uint8_t out[64]);

}  // namespace security
