#pragma once
// Test helpers shared by the hash tests: hex conversion and the three ways of
// feeding a message (whole, byte by byte, split at every offset).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace security::testing_hex {

inline std::vector<std::uint8_t> FromHex(std::string_view hex) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;  // spaces and separators are for readability only
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

template <typename Bytes>
std::string ToHex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Hashes `message` whole, byte by byte and split in two at every offset, and
// expects the same digest each time.
template <typename Hash>
void ExpectDigestForEveryFeeding(const std::vector<std::uint8_t>& message, const std::string& expected_hex) {
  EXPECT_EQ(ToHex(Hash::Hash(message.data(), message.size())), expected_hex) << "one-shot";
  Hash whole;
  whole.Update(message.data(), message.size());
  EXPECT_EQ(ToHex(whole.Final()), expected_hex) << "whole";
  Hash bytewise;
  for (std::uint8_t b : message) bytewise.Update(&b, 1);
  EXPECT_EQ(ToHex(bytewise.Final()), expected_hex) << "byte by byte";
  for (std::size_t split = 0; split <= message.size(); ++split) {
    Hash h;
    h.Update(message.data(), split);
    h.Update(message.data() + split, message.size() - split);
    ASSERT_EQ(ToHex(h.Final()), expected_hex) << "split at " << split;
  }
}

}  // namespace security::testing_hex
