#include "security/crypto/montgomery_internal.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace security::internal {
namespace {

using Limb = std::uint64_t;
using Wide = unsigned __int128;

std::vector<Limb> ToLimbs(const BigNumber& a, std::size_t k) {
  std::vector<Limb> out(k, 0);
  const auto words = a.Words();
  for (std::size_t i = 0; i < words.size() && i / 2 < k; ++i) {
    out[i / 2] |= static_cast<Limb>(words[i]) << (32 * (i % 2));
  }
  return out;
}

// a >= b over k limbs.
bool GreaterOrEqual(const Limb* a, const Limb* b, std::size_t k) {
  for (std::size_t i = k; i-- > 0;) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return true;
}

void SubtractInPlace(Limb* a, const Limb* b, std::size_t k) {
  Limb borrow = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const Wide diff = static_cast<Wide>(a[i]) - b[i] - borrow;
    a[i] = static_cast<Limb>(diff);
    borrow = static_cast<Limb>(diff >> 64) & 1;
  }
}

}  // namespace

Montgomery::Montgomery(const BigNumber& modulus) : modulus_(modulus) {
  if (!modulus.IsOdd() || modulus.IsNegative()) throw std::domain_error("Even modulus");
  k_ = (modulus.WordCount() + 1) / 2;
  if (k_ > kMaxLimbs) throw std::overflow_error("Number too large");
  n_ = ToLimbs(modulus, k_);
  // Newton's iteration for n0^-1 mod 2^64: each step doubles the correct bits
  // (n0 is its own inverse modulo 8).
  Limb inverse = n_[0];
  for (int step = 0; step < 5; ++step) inverse *= 2 - n_[0] * inverse;
  n0_inverse_ = 0 - inverse;
  rr_ = ToLimbs(BigNumber::Mod(BigNumber(1).ShiftedLeft(128 * k_), modulus), k_);
}

void Montgomery::Reduce(Limb* t, Limb* out) const {
  const std::size_t k = k_;
  const Limb* n = n_.data();
  Limb top = 0;  // carry beyond t[i + k], added one position further up
  for (std::size_t i = 0; i < k; ++i) {
    const Limb m = t[i] * n0_inverse_;
    Wide carry = 0;
    Limb* row = t + i;
    for (std::size_t j = 0; j < k; ++j) {
      carry += static_cast<Wide>(m) * n[j] + row[j];
      row[j] = static_cast<Limb>(carry);
      carry >>= 64;
    }
    const Wide sum = static_cast<Wide>(row[k]) + static_cast<Limb>(carry) + top;
    row[k] = static_cast<Limb>(sum);
    top = static_cast<Limb>(sum >> 64);
  }
  Limb* high = t + k;
  if (top != 0 || GreaterOrEqual(high, n, k)) SubtractInPlace(high, n, k);
  std::copy_n(high, k, out);
}

void Montgomery::Multiply(const Limb* a, const Limb* b, Limb* out) const {
  const std::size_t k = k_;
  std::array<Limb, 2 * kMaxLimbs + 1> t;
  std::fill_n(t.begin(), 2 * k, 0);
  for (std::size_t i = 0; i < k; ++i) {
    Wide carry = 0;
    const Limb ai = a[i];
    Limb* row = t.data() + i;
    for (std::size_t j = 0; j < k; ++j) {
      carry += static_cast<Wide>(ai) * b[j] + row[j];
      row[j] = static_cast<Limb>(carry);
      carry >>= 64;
    }
    row[k] = static_cast<Limb>(carry);
  }
  Reduce(t.data(), out);
}

void Montgomery::Square(const Limb* a, Limb* out) const {
  const std::size_t k = k_;
  std::array<Limb, 2 * kMaxLimbs + 1> t;
  std::fill_n(t.begin(), 2 * k, 0);
  // Cross products a[i] * a[j] for i < j, once each.
  for (std::size_t i = 0; i + 1 < k; ++i) {
    Wide carry = 0;
    const Limb ai = a[i];
    for (std::size_t j = i + 1; j < k; ++j) {
      carry += static_cast<Wide>(ai) * a[j] + t[i + j];
      t[i + j] = static_cast<Limb>(carry);
      carry >>= 64;
    }
    t[i + k] = static_cast<Limb>(carry);
  }
  // Double them and add the squares on the diagonal.
  Limb shifted_out = 0;
  for (std::size_t i = 0; i < 2 * k; ++i) {
    const Limb v = t[i];
    t[i] = (v << 1) | shifted_out;
    shifted_out = v >> 63;
  }
  Wide carry = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const Wide square = static_cast<Wide>(a[i]) * a[i];
    carry += static_cast<Wide>(t[2 * i]) + static_cast<Limb>(square);
    t[2 * i] = static_cast<Limb>(carry);
    carry >>= 64;
    carry += static_cast<Wide>(t[2 * i + 1]) + static_cast<Limb>(square >> 64);
    t[2 * i + 1] = static_cast<Limb>(carry);
    carry >>= 64;
  }
  Reduce(t.data(), out);
}

std::vector<Limb> Montgomery::ToMontgomery(const BigNumber& a) const {
  std::vector<Limb> plain = ToLimbs(BigNumber::Mod(a, modulus_), k_);
  std::vector<Limb> out(k_);
  Multiply(plain.data(), rr_.data(), out.data());
  return out;
}

BigNumber Montgomery::FromMontgomery(const Limb* a) const {
  std::vector<Limb> one(k_, 0);
  one[0] = 1;
  std::vector<Limb> plain(k_);
  Multiply(a, one.data(), plain.data());
  std::vector<std::uint32_t> words(2 * k_);
  for (std::size_t i = 0; i < k_; ++i) {
    words[2 * i] = static_cast<std::uint32_t>(plain[i]);
    words[2 * i + 1] = static_cast<std::uint32_t>(plain[i] >> 32);
  }
  return BigNumber::FromWords(words);
}

BigNumber Montgomery::Exponentiate(const BigNumber& base, const BigNumber& exponent) const {
  const std::size_t bits = exponent.BitLength();
  if (bits == 0) return BigNumber::Mod(BigNumber(1), modulus_);
  const int window = bits > 671 ? 6 : bits > 239 ? 5 : bits > 79 ? 4 : bits > 23 ? 3 : 1;
  const std::size_t k = k_;

  // Odd powers base^1, base^3, ..., base^(2^window - 1) in Montgomery form.
  const std::size_t table_size = std::size_t{1} << (window - 1);
  std::vector<Limb> table(table_size * k);
  const std::vector<Limb> g = ToMontgomery(base);
  std::copy(g.begin(), g.end(), table.begin());
  if (table_size > 1) {
    std::vector<Limb> g2(k);
    Square(g.data(), g2.data());
    for (std::size_t i = 1; i < table_size; ++i) {
      Multiply(&table[(i - 1) * k], g2.data(), &table[i * k]);
    }
  }

  std::vector<Limb> acc(k);
  bool acc_is_one = true;
  std::size_t i = bits;  // bits still to consume are i-1 .. 0
  while (i > 0) {
    if (!exponent.Bit(i - 1)) {
      if (!acc_is_one) Square(acc.data(), acc.data());
      --i;
      continue;
    }
    // The longest window ending on a set bit: bits i-1 down to low.
    std::size_t low = i >= static_cast<std::size_t>(window) ? i - window : 0;
    while (!exponent.Bit(low)) ++low;
    unsigned value = 0;
    for (std::size_t b = i; b-- > low;) value = (value << 1) | (exponent.Bit(b) ? 1u : 0u);
    const Limb* power = &table[((value - 1) / 2) * k];
    if (acc_is_one) {
      std::copy_n(power, k, acc.begin());
      acc_is_one = false;
    } else {
      for (std::size_t s = low; s < i; ++s) Square(acc.data(), acc.data());
      Multiply(acc.data(), power, acc.data());
    }
    i = low;
  }
  return FromMontgomery(acc.data());
}

}  // namespace security::internal
