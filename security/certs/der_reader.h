#pragma once
// A walker over DER (ASN.1 distinguished encoding) data: one element at a time,
// tag, length and contents, with nested readers for constructed elements.
//
// Definite lengths only (up to 4 length bytes); an indefinite length, a length
// running past the data or a truncated header makes Next fail and the reader
// stay failed. The reader never copies: elements are views into the caller's
// bytes, which must outlive them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace security {

namespace der {
// Identifier bytes of the universal types used here.
constexpr std::uint8_t kBoolean = 0x01;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kNull = 0x05;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kUtf8String = 0x0c;
constexpr std::uint8_t kPrintableString = 0x13;
constexpr std::uint8_t kT61String = 0x14;
constexpr std::uint8_t kIa5String = 0x16;
constexpr std::uint8_t kUtcTime = 0x17;
constexpr std::uint8_t kGeneralizedTime = 0x18;
constexpr std::uint8_t kUniversalString = 0x1c;
constexpr std::uint8_t kBmpString = 0x1e;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;
// Context-specific [n]: constructed and primitive forms.
constexpr std::uint8_t ContextConstructed(int n) { return static_cast<std::uint8_t>(0xa0 | n); }
constexpr std::uint8_t ContextPrimitive(int n) { return static_cast<std::uint8_t>(0x80 | n); }
}  // namespace der

struct DerElement {
  std::uint8_t identifier = 0;  // first identifier byte (class, constructed bit, low tag number)
  std::uint32_t tag_number = 0;  // the tag number, also for the high-number form
  std::span<const std::uint8_t> contents;
  std::span<const std::uint8_t> encoded;  // header and contents

  bool Is(std::uint8_t id) const { return identifier == id && (id & 0x1f) != 0x1f; }
};

class DerReader {
 public:
  explicit DerReader(std::span<const std::uint8_t> data) : data_(data) {}

  bool AtEnd() const { return failed_ || pos_ >= data_.size(); }
  bool Failed() const { return failed_; }
  std::size_t Offset() const { return pos_; }

  // The next element, or nothing at the end or on malformed data (then Failed()).
  std::optional<DerElement> Next();
  // The next element only if it has identifier `id`; otherwise nothing and the
  // position stays (not a failure).
  std::optional<DerElement> NextIf(std::uint8_t id);
  // The next element, which must have identifier `id`; otherwise the reader fails.
  std::optional<DerElement> Expect(std::uint8_t id);

 private:
  std::optional<DerElement> Parse(std::size_t* end) const;

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

// Dotted text of an OBJECT IDENTIFIER's contents ("1.2.840.113549.1.1.1"), or
// empty when malformed (empty, an unterminated arc or an arc above 2^32).
std::string OidToText(std::span<const std::uint8_t> contents);

// Contents of an INTEGER as unsigned big-endian bytes without the leading
// zero bytes (one 0 byte for zero). Nothing for empty or negative encodings.
std::optional<std::span<const std::uint8_t>> UnsignedIntegerBytes(std::span<const std::uint8_t> contents);

// The bits of a BIT STRING with no unused bits (the form keys and signatures
// use); nothing otherwise.
std::optional<std::span<const std::uint8_t>> WholeBytesOfBitString(std::span<const std::uint8_t> contents);

}  // namespace security
