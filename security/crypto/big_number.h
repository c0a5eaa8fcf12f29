#pragma once
// BigNumber: the multi-precision integer of the RSA, Diffie-Hellman and DSA
// arithmetic.
//
// A value is a sign and up to kMaxWords 32-bit words, least significant first.
// The word count is kept normalised (no leading zero words) but never below 1,
// so a new value, and zero, is one word long. Every operation whose result
// would not fit kMaxWords words (12288 bits) throws std::overflow_error
// ("Number too large"); that bounds moduli at 4096 bits with room for their
// products. Division or reduction by zero throws std::domain_error
// ("Division by zero").
//
// Values are plain objects: copying copies the words; nothing is shared.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace security {

class BigNumber {
 public:
  static constexpr std::size_t kMaxWords = 384;

  BigNumber() = default;
  explicit BigNumber(std::uint64_t value);

  // Big-endian unsigned bytes; leading zero bytes are allowed.
  static BigNumber FromBytes(std::span<const std::uint8_t> bytes);
  // Hexadecimal digits, an optional leading '-', optional "0x"; whitespace is
  // skipped. Any other character throws std::invalid_argument ("Invalid hex number").
  static BigNumber FromHex(std::string_view text);
  // A value from words, least significant first.
  static BigNumber FromWords(std::span<const std::uint32_t> words);

  // Magnitude as big-endian bytes, 4 per word, most significant word first
  // (so the length is 4 * WordCount(), with leading zero bytes).
  std::vector<std::uint8_t> ToBytes() const;
  // Magnitude as exactly `length` big-endian bytes, left-padded with zeros.
  // Throws std::length_error ("Buffer too small") when the value needs more.
  std::vector<std::uint8_t> ToBytes(std::size_t length) const;
  // Magnitude as big-endian bytes without leading zeros (one 0 byte for zero).
  std::vector<std::uint8_t> ToMinimalBytes() const;
  // Lowercase hex without leading zeros, '-' in front of negative values.
  std::string ToHex() const;

  std::size_t WordCount() const { return count_; }
  std::uint32_t Word(std::size_t index) const { return index < count_ ? words_[index] : 0; }
  std::span<const std::uint32_t> Words() const { return {words_.data(), count_}; }
  bool IsNegative() const { return negative_; }
  bool IsZero() const { return count_ == 1 && words_[0] == 0; }
  bool IsOdd() const { return (words_[0] & 1) != 0; }
  std::size_t BitLength() const;
  std::size_t ByteLength() const { return (BitLength() + 7) / 8; }
  bool Bit(std::size_t index) const;

  BigNumber Negated() const;
  BigNumber Abs() const;

  // Signed three-way comparison: -1, 0 or 1.
  static int Compare(const BigNumber& a, const BigNumber& b);
  // Comparison of magnitudes only.
  static int CompareMagnitude(const BigNumber& a, const BigNumber& b);

  static BigNumber Add(const BigNumber& a, const BigNumber& b);
  static BigNumber Subtract(const BigNumber& a, const BigNumber& b);
  static BigNumber Multiply(const BigNumber& a, const BigNumber& b);
  // Truncating division: a = quotient * b + remainder, the remainder taking
  // the sign of a (as C's / and %). Either output may be null.
  static void DivMod(const BigNumber& a, const BigNumber& b, BigNumber* quotient, BigNumber* remainder);
  // a mod m in [0, m) for a positive m.
  static BigNumber Mod(const BigNumber& a, const BigNumber& m);
  // a * b mod m, in [0, m).
  static BigNumber ModMultiply(const BigNumber& a, const BigNumber& b, const BigNumber& m);
  // x with a * x = 1 mod m, in [0, m); throws std::domain_error
  // ("No inverse") when gcd(a, m) is not 1.
  static BigNumber ModInverse(const BigNumber& a, const BigNumber& m);
  // base ^ exponent mod modulus for a non-negative exponent and a positive
  // modulus. Odd moduli use Montgomery multiplication with a sliding window;
  // even ones a plain square-and-multiply. Timing depends on the exponent's
  // bits: not hardened against timing observers.
  static BigNumber ModExp(const BigNumber& base, const BigNumber& exponent, const BigNumber& modulus);

  BigNumber ShiftedLeft(std::size_t bits) const;
  BigNumber ShiftedRight(std::size_t bits) const;

  friend bool operator==(const BigNumber& a, const BigNumber& b) { return Compare(a, b) == 0; }
  friend BigNumber operator+(const BigNumber& a, const BigNumber& b) { return Add(a, b); }
  friend BigNumber operator-(const BigNumber& a, const BigNumber& b) { return Subtract(a, b); }
  friend BigNumber operator*(const BigNumber& a, const BigNumber& b) { return Multiply(a, b); }

 private:
  // Sets the count from `words` significant words and drops leading zeros.
  void Normalize(std::size_t words);
  static void CheckFits(std::size_t words);

  std::array<std::uint32_t, kMaxWords> words_ = {};
  std::size_t count_ = 1;
  bool negative_ = false;
};

}  // namespace security
