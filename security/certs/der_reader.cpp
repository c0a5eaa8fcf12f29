#include "security/certs/der_reader.h"

namespace security {

std::optional<DerElement> DerReader::Parse(std::size_t* end) const {
  std::size_t p = pos_;
  const std::size_t n = data_.size();
  if (p >= n) return std::nullopt;
  DerElement element;
  element.identifier = data_[p++];
  if ((element.identifier & 0x1f) == 0x1f) {
    // High tag number: base-128 digits, at most four of them.
    std::uint32_t number = 0;
    for (int digits = 0;; ++digits) {
      if (p >= n || digits == 4) return std::nullopt;
      const std::uint8_t b = data_[p++];
      number = (number << 7) | (b & 0x7f);
      if ((b & 0x80) == 0) break;
    }
    element.tag_number = number;
  } else {
    element.tag_number = element.identifier & 0x1f;
  }
  if (p >= n) return std::nullopt;
  std::size_t length = data_[p++];
  if (length & 0x80) {
    const std::size_t count = length & 0x7f;
    if (count == 0 || count > 4) return std::nullopt;  // indefinite or absurd
    length = 0;
    for (std::size_t k = 0; k < count; ++k) {
      if (p >= n) return std::nullopt;
      length = (length << 8) | data_[p++];
    }
  }
  if (length > n - p) return std::nullopt;
  element.contents = data_.subspan(p, length);
  element.encoded = data_.subspan(pos_, p + length - pos_);
  *end = p + length;
  return element;
}

std::optional<DerElement> DerReader::Next() {
  if (AtEnd()) return std::nullopt;
  std::size_t end = 0;
  auto element = Parse(&end);
  if (!element) {
    failed_ = true;
    return std::nullopt;
  }
  pos_ = end;
  return element;
}

std::optional<DerElement> DerReader::NextIf(std::uint8_t id) {
  if (AtEnd()) return std::nullopt;
  std::size_t end = 0;
  auto element = Parse(&end);
  if (!element) {
    failed_ = true;
    return std::nullopt;
  }
  if (!element->Is(id)) return std::nullopt;
  pos_ = end;
  return element;
}

std::optional<DerElement> DerReader::Expect(std::uint8_t id) {
  auto element = Next();
  if (!element || !element->Is(id)) {
    failed_ = true;
    return std::nullopt;
  }
  return element;
}

std::string OidToText(std::span<const std::uint8_t> contents) {
  if (contents.empty() || (contents.back() & 0x80) != 0) return {};
  std::string out;
  std::uint64_t value = 0;
  bool first = true;
  for (std::uint8_t b : contents) {
    value = (value << 7) | (b & 0x7f);
    if (value > 0xffffffffu) return {};
    if (b & 0x80) continue;
    if (first) {
      const std::uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
      out = std::to_string(top) + "." + std::to_string(value - 40 * top);
      first = false;
    } else {
      out += "." + std::to_string(value);
    }
    value = 0;
  }
  return out;
}

std::optional<std::span<const std::uint8_t>> UnsignedIntegerBytes(std::span<const std::uint8_t> contents) {
  if (contents.empty() || (contents[0] & 0x80) != 0) return std::nullopt;
  std::size_t start = 0;
  while (start + 1 < contents.size() && contents[start] == 0) ++start;
  return contents.subspan(start);
}

std::optional<std::span<const std::uint8_t>> WholeBytesOfBitString(std::span<const std::uint8_t> contents) {
  if (contents.empty() || contents[0] != 0) return std::nullopt;
  return contents.subspan(1);
}

}  // namespace security
