#pragma once
// Block ciphers in CBC mode behind one interface, so the TLS record layer can
// hold any of them (DES, 3DES-EDE, RC2, IDEA, AES).
//
// A context is set up for one direction with InitEncrypt or InitDecrypt and
// then streams: the chaining value carries over from call to call, and bytes
// that do not fill a whole block are held until the next call. No padding is
// added or removed. Key bytes are only read during Init*.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "security/crypto/secure_wipe.h"

namespace security {

class BlockCipherCbc {
 public:
  // The chaining value and a held partial block are plaintext-derived: clear them.
  virtual ~BlockCipherCbc() {
    SecureWipe(chain_, sizeof(chain_));
    SecureWipe(partial_, sizeof(partial_));
  }
  BlockCipherCbc(const BlockCipherCbc&) = delete;
  BlockCipherCbc& operator=(const BlockCipherCbc&) = delete;

  // 8 for DES, 3DES, RC2 and IDEA, 16 for AES.
  std::size_t BlockSize() const { return block_size_; }

  // Schedules the key and takes the IV (exactly BlockSize() bytes) as the
  // chaining value; any held partial block is dropped. Throws
  // std::invalid_argument when the key or IV length does not suit the cipher.
  void InitEncrypt(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv);
  void InitDecrypt(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv);

  // Encrypts (Decrypts) the held bytes followed by `length` bytes of `in`, as
  // far as they make whole blocks. `*out_length` is the room in `out` on entry.
  // Returns false and stores the needed size in `*out_length` when the whole
  // blocks do not fit (nothing is consumed then); otherwise writes the blocks,
  // keeps the remainder for the next call, stores the produced size and
  // returns true. `out` may equal `in`; other overlaps are not allowed.
  // Throws std::logic_error when the context was not set up for this direction.
  [[nodiscard]] bool Encrypt(const std::uint8_t* in, std::size_t length, std::uint8_t* out, std::size_t* out_length);
  [[nodiscard]] bool Decrypt(const std::uint8_t* in, std::size_t length, std::uint8_t* out, std::size_t* out_length);

  // Bytes held back for the next call (always less than BlockSize()).
  std::size_t PendingBytes() const { return partial_length_; }

 protected:
  explicit BlockCipherCbc(std::size_t block_size) : block_size_(block_size) {}

  // Builds the key schedule for one direction; throws std::invalid_argument on a bad key length.
  virtual void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) = 0;
  // CBC over whole blocks; `chain` (BlockSize() bytes) is read and updated. `out` may equal `in`.
  virtual void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                             std::uint8_t* chain) const = 0;
  virtual void DecryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                             std::uint8_t* chain) const = 0;

 private:
  enum class Direction { kNone, kEncrypt, kDecrypt };

  void Init(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv, Direction direction);
  bool Process(Direction direction, const std::uint8_t* in, std::size_t length, std::uint8_t* out,
               std::size_t* out_length);
  void RunBlocks(Direction direction, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);

  static constexpr std::size_t kMaxBlock = 16;
  std::size_t block_size_;
  Direction direction_ = Direction::kNone;
  std::uint8_t chain_[kMaxBlock] = {};
  std::uint8_t partial_[kMaxBlock] = {};
  std::size_t partial_length_ = 0;
};

// Implementation helper: CBC chaining around a cipher's single-block
// EncryptBlock/DecryptBlock (which must read their whole input before writing).
template <typename Cipher, std::size_t kBlock>
class CbcCipher : public BlockCipherCbc {
 protected:
  CbcCipher() : BlockCipherCbc(kBlock) {}

  void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                     std::uint8_t* chain) const final {
    const auto& cipher = static_cast<const Cipher&>(*this);
    std::uint8_t x[kBlock];
    for (; blocks != 0; --blocks, in += kBlock, out += kBlock) {
      for (std::size_t k = 0; k < kBlock; ++k) x[k] = in[k] ^ chain[k];
      cipher.EncryptBlock(x, chain);
      std::memcpy(out, chain, kBlock);
    }
  }

  void DecryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                     std::uint8_t* chain) const final {
    const auto& cipher = static_cast<const Cipher&>(*this);
    std::uint8_t c[kBlock];
    std::uint8_t p[kBlock];
    for (; blocks != 0; --blocks, in += kBlock, out += kBlock) {
      std::memcpy(c, in, kBlock);
      cipher.DecryptBlock(c, p);
      for (std::size_t k = 0; k < kBlock; ++k) out[k] = p[k] ^ chain[k];
      std::memcpy(chain, c, kBlock);
    }
  }
};

}  // namespace security
