#pragma once
// StoredPasswordCipher: how a mail password is kept in a settings file.
//
// The stored value is RC4 over a fresh 38-character salt followed by the
// password, so saving the same password twice gives two different values. The
// 20-byte key is bound to the server the password belongs to:
//   bytes 0-15   MD5 of the host's bytes followed by the port as a 32-bit
//                little-endian integer;
//   bytes 16-19  bytes 16-19 of the SHA-1 digest of kServiceName as UTF-16LE
//                (or of caller-given bytes, for another product's accounts).
// Changing the host or port therefore makes a stored password decipher to
// unreadable text; nothing detects that, by design of the format.
//
// This hides a password from a casual look at the file; it is not protection
// against anyone who has the file and this program.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

class StoredPasswordCipher {
 public:
  static constexpr std::size_t kSaltLength = 38;
  static constexpr std::size_t kKeySize = 20;
  using Key = std::array<std::uint8_t, kKeySize>;
  // Fixed, product-specific, exactly 18 characters.
  static constexpr std::u16string_view kServiceName = u"CorvaneVoiceNotes1";

  // Key for this program's settings: the server's host and port and kServiceName.
  StoredPasswordCipher(std::string_view host, std::int32_t port);
  // Key whose bytes 16-19 come from the SHA-1 digest of `tail_source` instead
  // (another product's accounts: its service name as UTF-16LE followed by the
  // account's 16-byte identifier).
  StoredPasswordCipher(std::string_view host, std::int32_t port, std::span<const std::uint8_t> tail_source);

  const Key& key() const { return key_; }

  // The stored form of `password` under a fresh salt (NewSalt).
  std::vector<std::uint8_t> Encipher(std::string_view password) const;
  // The same with a given salt, which must be kSaltLength characters long
  // (throws std::invalid_argument otherwise). For known-answer checks.
  std::vector<std::uint8_t> Encipher(std::string_view password, std::string_view salt) const;

  // The password from its stored form: the deciphered bytes without the salt.
  // A stored value of kSaltLength bytes or fewer gives an empty password.
  std::string Decipher(std::span<const std::uint8_t> stored) const;

  // A fresh salt: a 16-byte identifier from the system time, a monotonic tick
  // count and the kernel's random numbers, written as
  // "{%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x}".
  static std::string NewSalt();

 private:
  Key key_{};
};

}  // namespace settings
