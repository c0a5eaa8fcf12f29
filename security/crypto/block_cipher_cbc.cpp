#include "security/crypto/block_cipher_cbc.h"

#include <stdexcept>

namespace security {

void BlockCipherCbc::InitEncrypt(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv) {
  Init(key, iv, Direction::kEncrypt);
}

void BlockCipherCbc::InitDecrypt(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv) {
  Init(key, iv, Direction::kDecrypt);
}

void BlockCipherCbc::Init(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv, Direction direction) {
  if (iv.size() != block_size_) throw std::invalid_argument("Invalid IV length");
  direction_ = Direction::kNone;  // stays unusable if the key is refused
  ScheduleKey(key, direction == Direction::kDecrypt);
  std::memcpy(chain_, iv.data(), block_size_);
  partial_length_ = 0;
  direction_ = direction;
}

bool BlockCipherCbc::Encrypt(const std::uint8_t* in, std::size_t length, std::uint8_t* out, std::size_t* out_length) {
  return Process(Direction::kEncrypt, in, length, out, out_length);
}

bool BlockCipherCbc::Decrypt(const std::uint8_t* in, std::size_t length, std::uint8_t* out, std::size_t* out_length) {
  return Process(Direction::kDecrypt, in, length, out, out_length);
}

void BlockCipherCbc::RunBlocks(Direction direction, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  if (direction == Direction::kEncrypt) {
    EncryptBlocks(in, out, blocks, chain_);
  } else {
    DecryptBlocks(in, out, blocks, chain_);
  }
}

bool BlockCipherCbc::Process(Direction direction, const std::uint8_t* in, std::size_t length, std::uint8_t* out,
                             std::size_t* out_length) {
  if (direction_ != direction) {
    throw std::logic_error(direction == Direction::kEncrypt ? "Cipher not set up for encryption"
                                                            : "Cipher not set up for decryption");
  }
  const std::size_t block = block_size_;
  const std::size_t produce = (partial_length_ + length) / block * block;
  if (produce > *out_length) {
    *out_length = produce;
    return false;
  }
  if (produce == 0) {
    if (length != 0) std::memcpy(partial_ + partial_length_, in, length);
    partial_length_ += length;
    *out_length = 0;
    return true;
  }

  if (partial_length_ == 0) {
    // Input and output blocks line up, so even in place every block is read before it is overwritten.
    RunBlocks(direction, in, out, produce / block);
    partial_length_ = length - produce;
    if (partial_length_ != 0) std::memcpy(partial_, in + produce, partial_length_);
  } else {
    // Held bytes put the output ahead of the input by less than a block: read
    // each next input block (and the final remainder) before writing the
    // current output block, so that out == in stays safe.
    std::uint8_t current[kMaxBlock];
    std::uint8_t result[kMaxBlock];
    std::size_t consumed = block - partial_length_;
    std::memcpy(current, partial_, partial_length_);
    std::memcpy(current + partial_length_, in, consumed);
    const std::size_t blocks = produce / block;
    for (std::size_t n = 0; n < blocks; ++n) {
      RunBlocks(direction, current, result, 1);
      if (n + 1 < blocks) {
        std::memcpy(current, in + consumed, block);
        consumed += block;
      } else {
        partial_length_ = length - consumed;
        if (partial_length_ != 0) std::memcpy(partial_, in + consumed, partial_length_);
      }
      std::memcpy(out + n * block, result, block);
    }
  }
  *out_length = produce;
  return true;
}

}  // namespace security
