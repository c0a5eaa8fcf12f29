#pragma once
// Internal to BigNumber: Montgomery arithmetic modulo an odd number on 64-bit
// limbs (least significant first), with products through unsigned __int128.
// Values in Montgomery form are arrays of Limbs() limbs, each below the modulus.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "security/crypto/big_number.h"

namespace security::internal {

class Montgomery {
 public:
  // Largest modulus: half the BigNumber capacity, so that R^2 fits.
  static constexpr std::size_t kMaxLimbs = BigNumber::kMaxWords / 4;

  // `modulus` must be odd, positive and at most kMaxLimbs limbs long.
  explicit Montgomery(const BigNumber& modulus);

  std::size_t Limbs() const { return k_; }

  // out = a * b / R mod n; out may alias a or b.
  void Multiply(const std::uint64_t* a, const std::uint64_t* b, std::uint64_t* out) const;
  // out = a * a / R mod n; out may alias a.
  void Square(const std::uint64_t* a, std::uint64_t* out) const;

  // a (any non-negative value) into Montgomery form.
  std::vector<std::uint64_t> ToMontgomery(const BigNumber& a) const;
  BigNumber FromMontgomery(const std::uint64_t* a) const;

  // base ^ exponent mod n with a sliding window.
  BigNumber Exponentiate(const BigNumber& base, const BigNumber& exponent) const;

 private:
  // Reduces the 2k-limb product t (destroyed) into out.
  void Reduce(std::uint64_t* t, std::uint64_t* out) const;

  std::size_t k_;
  std::vector<std::uint64_t> n_;
  std::vector<std::uint64_t> rr_;  // R^2 mod n, plain form
  std::uint64_t n0_inverse_;        // -n^-1 mod 2^64
  BigNumber modulus_;
};

}  // namespace security::internal
