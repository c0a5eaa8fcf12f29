#include "security/crypto/big_number.h"

#include <algorithm>
#include <stdexcept>

#include "security/crypto/montgomery_internal.h"

namespace security {

using U32 = std::uint32_t;
using U64 = std::uint64_t;

namespace {

// Magnitude helpers on little-endian word arrays.

// out = a + b for a of na words and b of nb words (na >= nb); returns the carry.
U32 AddWords(const U32* a, std::size_t na, const U32* b, std::size_t nb, U32* out) {
  U64 carry = 0;
  for (std::size_t i = 0; i < na; ++i) {
    carry += static_cast<U64>(a[i]) + (i < nb ? b[i] : 0);
    out[i] = static_cast<U32>(carry);
    carry >>= 32;
  }
  return static_cast<U32>(carry);
}

// out = a - b for |a| >= |b|, na >= nb.
void SubtractWords(const U32* a, std::size_t na, const U32* b, std::size_t nb, U32* out) {
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < na; ++i) {
    std::int64_t diff = static_cast<std::int64_t>(a[i]) - (i < nb ? b[i] : 0) + borrow;
    out[i] = static_cast<U32>(diff);
    borrow = diff < 0 ? -1 : 0;
  }
}

int CompareWords(const U32* a, std::size_t na, const U32* b, std::size_t nb) {
  if (na != nb) return na < nb ? -1 : 1;
  for (std::size_t i = na; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

std::size_t SignificantWords(const U32* a, std::size_t n) {
  while (n > 1 && a[n - 1] == 0) --n;
  return n;
}

// Knuth's algorithm D: q = u / v, r = u mod v, for v of n >= 1 significant words
// and u of m >= n words. q needs m - n + 1 words, r needs n words.
void DivideWords(const U32* u, std::size_t m, const U32* v, std::size_t n, U32* q, U32* r) {
  if (n == 1) {
    U64 rem = 0;
    for (std::size_t i = m; i-- > 0;) {
      const U64 cur = (rem << 32) | u[i];
      q[i] = static_cast<U32>(cur / v[0]);
      rem = cur % v[0];
    }
    r[0] = static_cast<U32>(rem);
    return;
  }
  const int shift = __builtin_clz(v[n - 1]);
  std::vector<U32> vn(n);
  std::vector<U32> un(m + 1);
  for (std::size_t i = n - 1; i > 0; --i) {
    vn[i] = shift == 0 ? v[i] : (v[i] << shift) | (v[i - 1] >> (32 - shift));
  }
  vn[0] = v[0] << shift;
  un[m] = shift == 0 ? 0 : u[m - 1] >> (32 - shift);
  for (std::size_t i = m - 1; i > 0; --i) {
    un[i] = shift == 0 ? u[i] : (u[i] << shift) | (u[i - 1] >> (32 - shift));
  }
  un[0] = u[0] << shift;

  const U64 base = U64{1} << 32;
  for (std::size_t j = m - n + 1; j-- > 0;) {
    const U64 top = (static_cast<U64>(un[j + n]) << 32) | un[j + n - 1];
    U64 qhat = top / vn[n - 1];
    U64 rhat = top % vn[n - 1];
    while (qhat >= base || qhat * vn[n - 2] > ((rhat << 32) | un[j + n - 2])) {
      --qhat;
      rhat += vn[n - 1];
      if (rhat >= base) break;
    }
    // Multiply and subtract.
    std::int64_t borrow = 0;
    U64 carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const U64 product = qhat * vn[i] + carry;
      carry = product >> 32;
      const std::int64_t t = static_cast<std::int64_t>(un[i + j]) - static_cast<std::int64_t>(product & 0xffffffffu) + borrow;
      un[i + j] = static_cast<U32>(t);
      borrow = t >> 32;
    }
    const std::int64_t t = static_cast<std::int64_t>(un[j + n]) - static_cast<std::int64_t>(carry) + borrow;
    un[j + n] = static_cast<U32>(t);
    q[j] = static_cast<U32>(qhat);
    if (t < 0) {
      // qhat was one too large: add v back.
      q[j] -= 1;
      U64 c = 0;
      for (std::size_t i = 0; i < n; ++i) {
        c += static_cast<U64>(un[i + j]) + vn[i];
        un[i + j] = static_cast<U32>(c);
        c >>= 32;
      }
      un[j + n] = static_cast<U32>(un[j + n] + c);
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    r[i] = shift == 0 ? un[i] : (un[i] >> shift) | (un[i + 1] << (32 - shift));
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

BigNumber::BigNumber(std::uint64_t value) {
  words_[0] = static_cast<U32>(value);
  words_[1] = static_cast<U32>(value >> 32);
  Normalize(2);
}

void BigNumber::CheckFits(std::size_t words) {
  if (words > kMaxWords) throw std::overflow_error("Number too large");
}

void BigNumber::Normalize(std::size_t words) {
  count_ = SignificantWords(words_.data(), std::max<std::size_t>(words, 1));
  if (IsZero()) negative_ = false;
}

BigNumber BigNumber::FromBytes(std::span<const std::uint8_t> bytes) {
  std::size_t start = 0;
  while (start < bytes.size() && bytes[start] == 0) ++start;
  const std::size_t length = bytes.size() - start;
  CheckFits((length + 3) / 4);
  BigNumber result;
  for (std::size_t k = 0; k < length; ++k) {
    const std::size_t from_end = length - 1 - k;
    result.words_[from_end / 4] |= static_cast<U32>(bytes[start + k]) << (8 * (from_end % 4));
  }
  result.Normalize((length + 3) / 4);
  return result;
}

BigNumber BigNumber::FromWords(std::span<const std::uint32_t> words) {
  std::size_t n = words.size();
  while (n > 1 && words[n - 1] == 0) --n;
  CheckFits(n);
  BigNumber result;
  std::copy_n(words.begin(), n, result.words_.begin());
  result.Normalize(n);
  return result;
}

BigNumber BigNumber::FromHex(std::string_view text) {
  bool negative = false;
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r')) ++pos;
  if (pos < text.size() && text[pos] == '-') {
    negative = true;
    ++pos;
  }
  if (text.size() - pos >= 2 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) pos += 2;
  std::vector<int> digits;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    const int d = HexDigit(c);
    if (d < 0) throw std::invalid_argument("Invalid hex number");
    digits.push_back(d);
  }
  std::size_t first = 0;
  while (first < digits.size() && digits[first] == 0) ++first;
  const std::size_t n = digits.size() - first;
  CheckFits((n + 7) / 8);
  BigNumber result;
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t from_end = n - 1 - k;
    result.words_[from_end / 8] |= static_cast<U32>(digits[first + k]) << (4 * (from_end % 8));
  }
  result.Normalize((n + 7) / 8);
  result.negative_ = negative && !result.IsZero();
  return result;
}

std::vector<std::uint8_t> BigNumber::ToBytes() const {
  std::vector<std::uint8_t> out(4 * count_);
  for (std::size_t i = 0; i < count_; ++i) {
    const U32 w = words_[count_ - 1 - i];
    out[4 * i] = static_cast<std::uint8_t>(w >> 24);
    out[4 * i + 1] = static_cast<std::uint8_t>(w >> 16);
    out[4 * i + 2] = static_cast<std::uint8_t>(w >> 8);
    out[4 * i + 3] = static_cast<std::uint8_t>(w);
  }
  return out;
}

std::vector<std::uint8_t> BigNumber::ToBytes(std::size_t length) const {
  if (ByteLength() > length) throw std::length_error("Buffer too small");
  std::vector<std::uint8_t> out(length, 0);
  for (std::size_t k = 0; k < length && k < 4 * count_; ++k) {
    out[length - 1 - k] = static_cast<std::uint8_t>(words_[k / 4] >> (8 * (k % 4)));
  }
  return out;
}

std::vector<std::uint8_t> BigNumber::ToMinimalBytes() const { return ToBytes(std::max<std::size_t>(ByteLength(), 1)); }

std::string BigNumber::ToHex() const {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = count_; i-- > 0;) {
    for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kDigits[(words_[i] >> shift) & 0xf]);
  }
  const std::size_t first = out.find_first_not_of('0');
  out = first == std::string::npos ? "0" : out.substr(first);
  return negative_ ? "-" + out : out;
}

std::size_t BigNumber::BitLength() const {
  const U32 top = words_[count_ - 1];
  if (top == 0) return 0;
  return 32 * (count_ - 1) + (32 - static_cast<std::size_t>(__builtin_clz(top)));
}

bool BigNumber::Bit(std::size_t index) const {
  const std::size_t word = index / 32;
  return word < count_ && ((words_[word] >> (index % 32)) & 1) != 0;
}

BigNumber BigNumber::Negated() const {
  BigNumber result = *this;
  result.negative_ = !negative_ && !IsZero();
  return result;
}

BigNumber BigNumber::Abs() const {
  BigNumber result = *this;
  result.negative_ = false;
  return result;
}

int BigNumber::CompareMagnitude(const BigNumber& a, const BigNumber& b) {
  return CompareWords(a.words_.data(), a.count_, b.words_.data(), b.count_);
}

int BigNumber::Compare(const BigNumber& a, const BigNumber& b) {
  if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;
  const int magnitude = CompareMagnitude(a, b);
  return a.negative_ ? -magnitude : magnitude;
}

BigNumber BigNumber::Add(const BigNumber& a, const BigNumber& b) {
  BigNumber result;
  if (a.negative_ == b.negative_) {
    const BigNumber& longer = a.count_ >= b.count_ ? a : b;
    const BigNumber& shorter = a.count_ >= b.count_ ? b : a;
    const U32 carry = AddWords(longer.words_.data(), longer.count_, shorter.words_.data(), shorter.count_,
                                result.words_.data());
    std::size_t n = longer.count_;
    if (carry != 0) {
      CheckFits(n + 1);
      result.words_[n++] = carry;
    }
    result.Normalize(n);
    result.negative_ = a.negative_ && !result.IsZero();
    return result;
  }
  // Different signs: subtract the smaller magnitude from the larger.
  const int order = CompareMagnitude(a, b);
  if (order == 0) return BigNumber();
  const BigNumber& larger = order > 0 ? a : b;
  const BigNumber& smaller = order > 0 ? b : a;
  SubtractWords(larger.words_.data(), larger.count_, smaller.words_.data(), smaller.count_, result.words_.data());
  result.Normalize(larger.count_);
  result.negative_ = larger.negative_ && !result.IsZero();
  return result;
}

BigNumber BigNumber::Subtract(const BigNumber& a, const BigNumber& b) { return Add(a, b.Negated()); }

BigNumber BigNumber::Multiply(const BigNumber& a, const BigNumber& b) {
  if (a.IsZero() || b.IsZero()) return BigNumber();
  const std::size_t n = a.count_ + b.count_;
  CheckFits(n - 1);
  std::vector<U32> product(n, 0);
  for (std::size_t i = 0; i < a.count_; ++i) {
    U64 carry = 0;
    const U64 ai = a.words_[i];
    for (std::size_t j = 0; j < b.count_; ++j) {
      carry += ai * b.words_[j] + product[i + j];
      product[i + j] = static_cast<U32>(carry);
      carry >>= 32;
    }
    product[i + b.count_] = static_cast<U32>(carry);
  }
  const std::size_t significant = SignificantWords(product.data(), n);
  CheckFits(significant);
  BigNumber result;
  std::copy_n(product.begin(), significant, result.words_.begin());
  result.Normalize(significant);
  result.negative_ = a.negative_ != b.negative_;
  return result;
}

void BigNumber::DivMod(const BigNumber& a, const BigNumber& b, BigNumber* quotient, BigNumber* remainder) {
  if (b.IsZero()) throw std::domain_error("Division by zero");
  BigNumber q;
  BigNumber r;
  if (CompareMagnitude(a, b) < 0) {
    r = a;
  } else {
    DivideWords(a.words_.data(), a.count_, b.words_.data(), b.count_, q.words_.data(), r.words_.data());
    q.Normalize(a.count_ - b.count_ + 1);
    r.Normalize(b.count_);
    q.negative_ = (a.negative_ != b.negative_) && !q.IsZero();
    r.negative_ = a.negative_ && !r.IsZero();
  }
  if (quotient != nullptr) *quotient = q;
  if (remainder != nullptr) *remainder = r;
}

BigNumber BigNumber::Mod(const BigNumber& a, const BigNumber& m) {
  if (m.IsNegative() || m.IsZero()) throw std::domain_error("Division by zero");
  BigNumber r;
  DivMod(a, m, nullptr, &r);
  if (r.IsNegative()) r = Add(r, m);
  return r;
}

BigNumber BigNumber::ModMultiply(const BigNumber& a, const BigNumber& b, const BigNumber& m) {
  return Mod(Multiply(Mod(a, m), Mod(b, m)), m);
}

BigNumber BigNumber::ModInverse(const BigNumber& a, const BigNumber& m) {
  if (m.IsNegative() || m.IsZero()) throw std::domain_error("Division by zero");
  // Extended Euclid on (a mod m, m), keeping only the coefficient of a.
  BigNumber r0 = m;
  BigNumber r1 = Mod(a, m);
  BigNumber t0;
  BigNumber t1(1);
  while (!r1.IsZero()) {
    BigNumber q;
    BigNumber r2;
    DivMod(r0, r1, &q, &r2);
    BigNumber t2 = Subtract(t0, Multiply(q, t1));
    r0 = r1;
    r1 = r2;
    t0 = t1;
    t1 = t2;
  }
  if (!(r0 == BigNumber(1))) throw std::domain_error("No inverse");
  return Mod(t0, m);
}

BigNumber BigNumber::ModExp(const BigNumber& base, const BigNumber& exponent, const BigNumber& modulus) {
  if (modulus.IsNegative() || modulus.IsZero()) throw std::domain_error("Division by zero");
  if (exponent.IsNegative()) throw std::domain_error("Negative exponent");
  if (modulus == BigNumber(1)) return BigNumber();
  if (modulus.IsOdd() && (modulus.count_ + 1) / 2 <= internal::Montgomery::kMaxLimbs) {
    return internal::Montgomery(modulus).Exponentiate(base, exponent);
  }
  BigNumber result(1);
  const BigNumber b = Mod(base, modulus);
  for (std::size_t i = exponent.BitLength(); i-- > 0;) {
    result = ModMultiply(result, result, modulus);
    if (exponent.Bit(i)) result = ModMultiply(result, b, modulus);
  }
  return result;
}

BigNumber BigNumber::ShiftedLeft(std::size_t bits) const {
  if (IsZero()) return *this;
  const std::size_t word_shift = bits / 32;
  const int bit_shift = static_cast<int>(bits % 32);
  const std::size_t n = count_ + word_shift + 1;
  std::vector<U32> out(n, 0);
  for (std::size_t i = 0; i < count_; ++i) {
    out[i + word_shift] |= words_[i] << bit_shift;
    if (bit_shift != 0) out[i + word_shift + 1] |= words_[i] >> (32 - bit_shift);
  }
  const std::size_t significant = SignificantWords(out.data(), n);
  CheckFits(significant);
  BigNumber result;
  std::copy_n(out.begin(), significant, result.words_.begin());
  result.Normalize(significant);
  result.negative_ = negative_;
  return result;
}

BigNumber BigNumber::ShiftedRight(std::size_t bits) const {
  const std::size_t word_shift = bits / 32;
  const int bit_shift = static_cast<int>(bits % 32);
  BigNumber result;
  if (word_shift >= count_) return result;
  const std::size_t n = count_ - word_shift;
  for (std::size_t i = 0; i < n; ++i) {
    U32 w = words_[i + word_shift] >> bit_shift;
    if (bit_shift != 0 && i + word_shift + 1 < count_) w |= words_[i + word_shift + 1] << (32 - bit_shift);
    result.words_[i] = w;
  }
  result.Normalize(n);
  result.negative_ = negative_ && !result.IsZero();
  return result;
}

}  // namespace security
