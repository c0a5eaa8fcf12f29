#pragma once
// Internal GHASH of AES-GCM: multiplication by the hash key H in GF(2^128).
// Uses PCLMULQDQ when the processor has it; the portable code multiplies
// with integer multiplications on spread-out bits, so neither path looks up
// a table by secret data.

#include <cstddef>
#include <cstdint>

namespace security::internal {

bool ProcessorHasPclmul();

class Ghash {
 public:
  // `h` is E(K, 0^128). allow_hardware false keeps to the portable code.
  explicit Ghash(const std::uint8_t h[16], bool allow_hardware = true);
  Ghash(const Ghash&) = delete;
  Ghash& operator=(const Ghash&) = delete;
  ~Ghash();

  // Absorbs `length` bytes, the last partial block padded with zeros.
  void AbsorbPadded(const std::uint8_t* data, std::size_t length);
  // Absorbs the block of the two bit lengths and writes Y.
  void Finish(std::uint64_t aad_bytes, std::uint64_t text_bytes, std::uint8_t out[16]);

  bool UsesPclmul() const { return hardware_; }

 private:
  void Block(const std::uint8_t block[16]);

  std::uint64_t h_hi_, h_lo_;
  std::uint64_t y_hi_ = 0, y_lo_ = 0;
  bool hardware_;
};

// Y * H in GCM's bit order, both as big-endian halves (hi = bytes 0-7);
// exposed for the tests that hold the two paths against each other.
void GfMultiplyPortable(std::uint64_t* y_hi, std::uint64_t* y_lo, std::uint64_t h_hi, std::uint64_t h_lo);
void GfMultiplyPclmul(std::uint64_t* y_hi, std::uint64_t* y_lo, std::uint64_t h_hi, std::uint64_t h_lo);

}  // namespace security::internal
