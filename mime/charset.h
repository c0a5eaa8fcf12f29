#pragma once
// Conversion between the model's wide text and the bytes of a named character set.
//
// "utf-8", "utf-16" (big-endian without a byte order mark on output; a mark is
// honoured on input), "utf-16le", "utf-16be", "us-ascii" and "iso-8859-1" are
// converted here; every other name the C library's iconv knows ("iso-8859-15",
// "windows-1252", "koi8-r", ...) goes through iconv. Names compare without case.

#include <cstddef>
#include <string>
#include <string_view>

namespace mime {

// True when text can be converted to and from `charset`.
bool IsSupportedCharset(std::string_view charset);

// The charset a write uses for bodies and encoded words: "us-ascii" when none is
// named, "utf-8" when the name is not supported (the label then says "utf-8" too,
// so the bytes always match their label).
std::string ResolveWriteCharset(std::string_view charset);

// Text in `charset`. A character the charset cannot represent becomes "?".
// `charset` must be supported (see ResolveWriteCharset).
std::string EncodeText(std::u16string_view text, std::string_view charset);

// Bytes in `charset` to wide text. Malformed bytes become U+FFFD. An unknown charset
// is read as UTF-8 when the bytes are valid UTF-8, else as Latin-1.
std::u16string DecodeText(std::string_view bytes, std::string_view charset);

// 2 when a surrogate pair starts at `at` (one character in two units), else 1.
inline std::size_t CharacterLength(std::u16string_view text, std::size_t at) {
  return text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
                 text[at + 1] <= 0xDFFF
             ? 2
             : 1;
}

bool IsValidUtf8(std::string_view bytes);

}  // namespace mime
