#include "platform/text.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

template <typename Char>
std::size_t FindFolded(std::basic_string_view<Char> haystack, std::basic_string_view<Char> needle,
                       std::size_t from) {
  if (needle.size() > haystack.size()) return std::basic_string_view<Char>::npos;
  for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && AsciiToLower(haystack[i + k]) == AsciiToLower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::basic_string_view<Char>::npos;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    auto b0 = static_cast<unsigned char>(in[i]);
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    int extra = b0 >= 0xF0 && b0 <= 0xF4 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
    if (extra < 0 || (b0 >= 0xF5)) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    char32_t cp = b0 & (0x3F >> extra);
    std::size_t k = 1;
    for (; k <= static_cast<std::size_t>(extra) && i + k < in.size(); ++k) {
      auto b = static_cast<unsigned char>(in[i + k]);
      if ((b & 0xC0) != 0x80) break;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (k != static_cast<std::size_t>(extra) + 1) {
      out.push_back(kReplacement);
      i += k;
      continue;
    }
    bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    AppendUtf16(out, cp);
    i += k;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::vector<std::uint8_t> Utf16ToLeBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

std::u16string Utf16FromLeBytes(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  return text;
}

std::u16string Latin1ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
  return out;
}

std::string Utf16ToLatin1(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(c > 0xFF ? '?' : static_cast<char>(c));
  return out;
}

char16_t AsciiToLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }
char AsciiToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = AsciiToLower(c);
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = AsciiToLower(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && FindFolded(a, b, 0) == 0;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && FindFolded(a, b, 0) == 0;
}

std::size_t FindIgnoreAsciiCase(std::u16string_view haystack, std::u16string_view needle, std::size_t from) {
  return FindFolded(haystack, needle, from);
}

std::size_t FindIgnoreAsciiCase(std::string_view haystack, std::string_view needle, std::size_t from) {
  return FindFolded(haystack, needle, from);
}

}  // namespace platform
