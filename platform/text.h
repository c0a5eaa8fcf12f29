#pragma once
// Conversions between the program's two kinds of text: wide text (UTF-16, the
// user interface, settings and message model) and narrow text (bytes; UTF-8 for
// file names and files on disk). Every conversion in the program goes through here.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// UTF-8 to UTF-16. Malformed sequences become U+FFFD; nothing is dropped silently.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-16 as little-endian bytes (the form stored files and the launcher's
// copy-data record use), and back; a trailing odd byte is dropped.
std::vector<std::uint8_t> Utf16ToLeBytes(std::u16string_view text);
std::u16string Utf16FromLeBytes(std::span<const std::uint8_t> bytes);

// Narrowing of 8-bit protocol text: each byte becomes one UTF-16 unit (Latin-1).
std::u16string Latin1ToUtf16(std::string_view bytes);
// Each unit above 0xFF becomes '?'.
std::string Utf16ToLatin1(std::u16string_view text);

// ASCII-only case folding, as the program's switches and keys compare.
char16_t AsciiToLower(char16_t c);
char AsciiToLower(char c);
std::u16string AsciiLower(std::u16string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
// Position of needle in haystack ignoring ASCII case, or npos.
std::size_t FindIgnoreAsciiCase(std::u16string_view haystack, std::u16string_view needle, std::size_t from = 0);
std::size_t FindIgnoreAsciiCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

}  // namespace platform
