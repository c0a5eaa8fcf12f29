#include "mime/charset.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/text.h"

namespace mime {
namespace {

enum class Builtin { kNone, kUtf8, kUtf16, kUtf16Le, kUtf16Be, kAscii, kLatin1 };

Builtin BuiltinFor(std::string_view name) {
  std::string n = platform::AsciiLower(name);
  if (n == "utf-8" || n == "utf8") return Builtin::kUtf8;
  if (n == "utf-16" || n == "utf16") return Builtin::kUtf16;
  if (n == "utf-16le") return Builtin::kUtf16Le;
  if (n == "utf-16be") return Builtin::kUtf16Be;
  if (n == "us-ascii" || n == "ascii" || n == "ansi_x3.4-1968") return Builtin::kAscii;
  if (n == "iso-8859-1" || n == "iso8859-1" || n == "latin1" || n == "l1") return Builtin::kLatin1;
  return Builtin::kNone;
}

// iconv only sees names it could parse as its own; quoting or spaces are not charsets.
bool PlausibleName(std::string_view name) {
  if (name.empty() || name.size() > 40) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.' || c == ':';
    if (!ok) return false;
  }
  return true;
}

class Iconv {
 public:
  Iconv(std::string_view to, std::string_view from)
      : cd_(PlausibleName(to) && PlausibleName(from) ? iconv_open(std::string(to).c_str(), std::string(from).c_str())
                                                     : reinterpret_cast<iconv_t>(-1)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; on a byte sequence it cannot take, appends `replacement` and skips
  // `skip(in, pos)` bytes.
  template <typename Skip>
  std::string Convert(std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    std::vector<char> buf(4096);
    std::size_t pos = 0;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (pos < in.size()) {
      char* inp = const_cast<char*>(in.data()) + pos;
      std::size_t inleft = in.size() - pos;
      char* outp = buf.data();
      std::size_t outleft = buf.size();
      std::size_t r = iconv(cd_, &inp, &inleft, &outp, &outleft);
      out.append(buf.data(), buf.size() - outleft);
      pos = in.size() - inleft;
      if (r == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        out.append(replacement);
        pos += skip(in, pos);
      }
    }
    char* outp = buf.data();
    std::size_t outleft = buf.size();
    iconv(cd_, nullptr, nullptr, &outp, &outleft);
    out.append(buf.data(), buf.size() - outleft);
    return out;
  }

 private:
  iconv_t cd_;
};

std::size_t Utf8SequenceLength(std::string_view s, std::size_t pos) {
  auto b = static_cast<unsigned char>(s[pos]);
  std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  std::size_t k = 1;
  while (k < n && pos + k < s.size() && (static_cast<unsigned char>(s[pos + k]) & 0xC0) == 0x80) ++k;
  return k;
}

std::string Utf16Bytes(std::u16string_view text, bool big_endian) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out.push_back(big_endian ? hi : lo);
    out.push_back(big_endian ? lo : hi);
  }
  return out;
}

std::u16string FromUtf16Bytes(std::string_view bytes, bool big_endian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    out.push_back(static_cast<char16_t>(big_endian ? (a << 8) | b : (b << 8) | a));
  }
  if (bytes.size() % 2) out.push_back(0xFFFD);
  // Unpaired surrogates would not survive the next conversion; mark them now.
  return platform::Utf8ToUtf16(platform::Utf16ToUtf8(out));
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::u16string wide = platform::Utf8ToUtf16(bytes);
  return platform::Utf16ToUtf8(wide) == bytes;
}

bool IsSupportedCharset(std::string_view charset) {
  if (BuiltinFor(charset) != Builtin::kNone) return true;
  Iconv to(charset, "UTF-8");
  Iconv from("UTF-8", charset);
  return to.ok() && from.ok();
}

std::string ResolveWriteCharset(std::string_view charset) {
  if (charset.empty()) return "us-ascii";
  if (IsSupportedCharset(charset)) return std::string(charset);
  return "utf-8";
}

std::string EncodeText(std::u16string_view text, std::string_view charset) {
  switch (BuiltinFor(charset)) {
    case Builtin::kUtf8:
      return platform::Utf16ToUtf8(text);
    case Builtin::kUtf16:
    case Builtin::kUtf16Be:
      return Utf16Bytes(text, true);
    case Builtin::kUtf16Le:
      return Utf16Bytes(text, false);
    case Builtin::kAscii: {
      // A surrogate pair is one character and so one "?".
      std::string folded;
      folded.reserve(text.size());
      for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = CharacterLength(text, i) == 2;
        folded.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
        if (pair) ++i;
      }
      return folded;
    }
    case Builtin::kLatin1: {
      std::string out;
      out.reserve(text.size());
      for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = CharacterLength(text, i) == 2;
        out.push_back(text[i] <= 0xFF ? static_cast<char>(text[i]) : '?');
        if (pair) ++i;
      }
      return out;
    }
    case Builtin::kNone:
      break;
  }
  Iconv cd(charset, "UTF-8");
  std::string utf8 = platform::Utf16ToUtf8(text);
  if (!cd.ok()) return utf8;
  return cd.Convert(utf8, "?", Utf8SequenceLength);
}

std::u16string DecodeText(std::string_view bytes, std::string_view charset) {
  switch (BuiltinFor(charset)) {
    case Builtin::kUtf8:
      return platform::Utf8ToUtf16(bytes);
    case Builtin::kUtf16:
      if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
          static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return FromUtf16Bytes(bytes.substr(2), false);
      }
      if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
          static_cast<unsigned char>(bytes[1]) == 0xFF) {
        return FromUtf16Bytes(bytes.substr(2), true);
      }
      return FromUtf16Bytes(bytes, true);
    case Builtin::kUtf16Be:
      return FromUtf16Bytes(bytes, true);
    case Builtin::kUtf16Le:
      return FromUtf16Bytes(bytes, false);
    case Builtin::kAscii:
      // Mail labelled us-ascii often carries 8-bit text anyway; keep it readable.
      return IsValidUtf8(bytes) ? platform::Utf8ToUtf16(bytes) : platform::Latin1ToUtf16(bytes);
    case Builtin::kLatin1:
      return platform::Latin1ToUtf16(bytes);
    case Builtin::kNone:
      break;
  }
  Iconv cd("UTF-8", charset);
  if (!cd.ok()) return IsValidUtf8(bytes) ? platform::Utf8ToUtf16(bytes) : platform::Latin1ToUtf16(bytes);
  std::string utf8 = cd.Convert(bytes, "\xEF\xBF\xBD", [](std::string_view, std::size_t) { return std::size_t{1}; });
  return platform::Utf8ToUtf16(utf8);
}

}  // namespace mime
