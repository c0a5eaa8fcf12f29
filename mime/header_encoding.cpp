#include "mime/header_encoding.h"

#include <vector>

#include "mime/base64.h"
#include "mime/charset.h"
#include "platform/text.h"

namespace mime {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

bool IsWs(char c) { return c == ' ' || c == '\t'; }
bool IsWs(char16_t c) { return c == u' ' || c == u'\t'; }

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::u16string PlainText(std::string_view bytes) {
  return IsValidUtf8(bytes) ? platform::Utf8ToUtf16(bytes) : platform::Latin1ToUtf16(bytes);
}

// Splits wide text into characters (a surrogate pair stays together).
std::vector<std::u16string_view> Characters(std::u16string_view text) {
  std::vector<std::u16string_view> out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharacterLength(text, i);
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

// Encoded words of one kind, each within its capacity, whole characters per word.
std::vector<std::string> BuildWords(const std::vector<std::string>& char_bytes, std::string_view charset, bool q,
                                    std::size_t first_capacity, bool in_quotes) {
  const std::string prefix = "=?" + std::string(charset) + (q ? "?Q?" : "?B?");
  const std::size_t overhead = prefix.size() + 2;
  std::vector<std::string> words;
  std::string pending_bytes;  // for B: bytes of the word being built
  std::string q_text;         // for Q: text of the word being built
  std::size_t capacity = first_capacity;
  auto encoded_size = [&](std::size_t nbytes) { return (nbytes + 2) / 3 * 4; };
  auto close = [&] {
    words.push_back(prefix + (q ? q_text : Base64Encode(pending_bytes)) + "?=");
    q_text.clear();
    pending_bytes.clear();
    capacity = kHeaderLineLimit;
  };
  for (const std::string& ch : char_bytes) {
    if (q) {
      std::string piece = HeaderQEncode(Bytes(ch), 0, nullptr, in_quotes);
      if (!q_text.empty() && overhead + q_text.size() + piece.size() > capacity) close();
      q_text += piece;
    } else {
      if (!pending_bytes.empty() && overhead + encoded_size(pending_bytes.size() + ch.size()) > capacity) close();
      pending_bytes += ch;
    }
  }
  if (!q_text.empty() || !pending_bytes.empty()) close();
  return words;
}

std::size_t JoinedSize(const std::vector<std::string>& words) {
  std::size_t n = 0;
  for (const auto& w : words) n += w.size();
  return n + (words.empty() ? 0 : (words.size() - 1) * 3);
}

}  // namespace

std::string HeaderQEncode(std::span<const std::uint8_t> bytes, std::size_t budget, std::size_t* consumed,
                          bool in_quotes) {
  std::string out;
  std::size_t count = 3;
  std::size_t i = 0;
  for (; i < bytes.size(); ++i) {
    std::uint8_t b = bytes[i];
    bool literal = ((b >= 33 && b <= 60) || (b >= 62 && b <= 126)) && b != '?' && b != '_' &&
                   !(in_quotes && (b == '"' || b == '\\'));
    std::size_t cost = literal ? 1 : 3;
    if (budget != 0 && count + cost > budget) break;
    count += cost;
    if (literal) {
      out.push_back(static_cast<char>(b));
    } else {
      out.push_back('=');
      out.push_back(kUpperHex[b >> 4]);
      out.push_back(kUpperHex[b & 15]);
    }
  }
  if (consumed) *consumed = i;
  return out;
}

std::u16string WithoutControlCharacters(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if ((c < 0x20 && c != u'\t') || c == 0x7F) c = u' ';
  }
  return out;
}

HeaderLine::HeaderLine(std::string start) : text_(std::move(start)), name_end_(text_.size()) {}

void HeaderLine::Fold() {
  text_.append(kFold);
  line_start_ = text_.size() - 1;
}

void HeaderLine::FoldAtEnd() {
  if (!EndsWithSpace()) return Fold();
  text_.insert(text_.size() - 1, "\r\n");
  line_start_ = text_.size() - 1;
}

bool HeaderLine::EndsWithSpace() const { return !text_.empty() && IsWs(text_.back()); }

// A ";" followed by white space: the fold takes the white space's place.
bool HeaderLine::FoldAfterSemicolon() {
  std::size_t from = std::max(name_end_, line_start_);
  if (text_.size() < from + 2) return false;
  for (std::size_t p = text_.size() - 2;; --p) {
    if (text_[p] == ';' && IsWs(text_[p + 1]) && p + 1 > line_start_) {
      text_.insert(p + 1, "\r\n");
      line_start_ = p + 3;
      return true;
    }
    if (p == from) return false;
  }
}

// Replaces the white space that ends the line by a fold, when the line holds more
// than that white space after its start.
bool HeaderLine::FoldAtTrailingSpace() {
  std::size_t from = std::max(name_end_, line_start_ + 1);
  if (!EndsWithSpace() || text_.size() <= from + 1) return false;
  text_.insert(text_.size() - 1, "\r\n");
  line_start_ = text_.size() - 1;
  return true;
}

void HeaderLine::MakeRoom(std::size_t needed) {
  if (LineLength() + needed <= kHeaderLineLimit) return;
  if (FoldAfterSemicolon() && LineLength() + needed <= kHeaderLineLimit) return;
  FoldAtTrailingSpace();
}

void HeaderLine::AppendWord(std::string_view word) {
  if (word.empty()) return;
  MakeRoom(word.size());
  text_.append(word);
}

void HeaderLine::AppendValue(std::u16string_view value_in, std::string_view charset, HeaderEncodingMode mode,
                             bool in_quotes) {
  const std::u16string clean = WithoutControlCharacters(value_in);
  const std::u16string_view value = clean;
  const bool raw = mode == HeaderEncodingMode::kRaw;
  auto flush = [&](std::u16string_view word) {
    std::string bytes = raw ? EncodeText(word, charset) : platform::Utf16ToLatin1(word);
    if (in_quotes) {
      std::string escaped;
      for (char c : bytes) {
        if (c == '"' || c == '\\') escaped.push_back('\\');
        escaped.push_back(c);
      }
      bytes.swap(escaped);
    }
    MakeRoom(bytes.size());
    if (LineLength() + bytes.size() > kHeaderLineHardLimit) {
      // Too long for any line: encoded words can be split, the word cannot.
      std::size_t core = word.size();
      while (core > 0 && IsWs(word[core - 1])) --core;
      AppendEncoded(word.substr(0, core), charset, raw ? HeaderEncodingMode::kShorterOfQAndB : mode, in_quotes);
      for (std::size_t k = core; k < word.size(); ++k) text_.push_back(static_cast<char>(word[k]));
      return;
    }
    AppendWord(bytes);
  };
  std::u16string pending;
  std::size_t word_start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char16_t c = value[i];
    if (!IsWs(c) && !pending.empty() && IsWs(pending.back())) {
      flush(pending);  // a word ends with its white space
      pending.clear();
      word_start = i;
    }
    if (!raw && c > 127) {
      AppendEncoded(value.substr(word_start), charset, mode, in_quotes);
      return;
    }
    if (IsWs(c)) {
      // Runs of white space shrink to one, except inside a quoted string, whose
      // text is taken literally.
      if (!raw && !in_quotes && !pending.empty() && IsWs(pending.back())) continue;
      pending.push_back(c);
    } else {
      pending.push_back(c);
    }
  }
  flush(pending);
}

void HeaderLine::AppendEncoded(std::u16string_view rest, std::string_view charset, HeaderEncodingMode mode,
                               bool in_quotes) {
  const std::size_t overhead = charset.size() + 10;
  if (LineLength() + overhead > 72) {
    if (!FoldAfterSemicolon() || LineLength() + overhead > 72) FoldAtTrailingSpace();
  }
  std::vector<std::string> char_bytes;
  for (std::u16string_view ch : Characters(rest)) char_bytes.push_back(EncodeText(ch, charset));
  // RFC 2047 keeps a line with encoded words within 76 characters; the first word
  // always takes at least one character so that the text goes on.
  std::size_t room = LineLength() < 76 ? 76 - LineLength() : 0;
  std::size_t first_capacity = std::min(kHeaderLineLimit, std::max(room, overhead + 12));
  std::vector<std::string> words;
  if (mode == HeaderEncodingMode::kQOnly) {
    words = BuildWords(char_bytes, charset, true, first_capacity, in_quotes);
  } else if (mode == HeaderEncodingMode::kBOnly) {
    words = BuildWords(char_bytes, charset, false, first_capacity, in_quotes);
  } else {
    auto q = BuildWords(char_bytes, charset, true, first_capacity, in_quotes);
    auto b = BuildWords(char_bytes, charset, false, first_capacity, in_quotes);
    words = JoinedSize(b) <= JoinedSize(q) ? std::move(b) : std::move(q);
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) Fold();
    text_.append(words[i]);
  }
}

std::u16string DecodeHeaderText(std::string_view text) {
  // The search for an encoded word's end is bounded so that hostile input stays linear.
  constexpr std::size_t kMaxWord = 1024;
  std::u16string out;
  std::string run_bytes;    // bytes of adjacent encoded words in one charset
  std::string run_charset;
  std::size_t plain_from = 0;
  auto flush_run = [&] {
    if (!run_bytes.empty()) out += DecodeText(run_bytes, run_charset);
    run_bytes.clear();
    run_charset.clear();
  };
  std::size_t i = 0;
  bool last_was_word = false;
  while (i < text.size()) {
    std::size_t start = text.find("=?", i);
    if (start == std::string_view::npos) break;
    // charset ? encoding ? text ?=
    std::size_t limit = std::min(text.size(), start + kMaxWord);
    std::size_t q1 = text.find('?', start + 2);
    bool ok = q1 != std::string_view::npos && q1 > start + 2 && q1 + 2 < limit && text[q1 + 2] == '?';
    std::size_t end = std::string_view::npos;
    char kind = 0;
    if (ok) {
      kind = platform::AsciiToLower(text[q1 + 1]);
      ok = kind == 'q' || kind == 'b';
    }
    if (ok) {
      end = text.find("?=", q1 + 3);
      ok = end != std::string_view::npos && end < limit;
    }
    if (ok) {
      for (std::size_t k = start + 2; k < end; ++k) {
        if (IsWs(text[k]) || text[k] == '\r' || text[k] == '\n') ok = false;
      }
    }
    if (!ok) {
      i = start + 2;
      continue;
    }
    std::string_view between = text.substr(plain_from, start - plain_from);
    bool only_space = between.find_first_not_of(" \t\r\n") == std::string_view::npos;
    std::string charset(text.substr(start + 2, q1 - start - 2));
    if (auto star = charset.find('*'); star != std::string::npos) charset.resize(star);  // RFC 2231 language
    if (!(last_was_word && only_space)) {
      flush_run();
      out += PlainText(between);
    } else if (!platform::EqualsIgnoreAsciiCase(charset, run_charset)) {
      flush_run();
    }
    std::string_view payload = text.substr(q1 + 3, end - q1 - 3);
    std::string bytes;
    if (kind == 'b') {
      bytes = Base64Decode(payload);
    } else {
      for (std::size_t k = 0; k < payload.size(); ++k) {
        char c = payload[k];
        auto hex = [](char h) {
          return h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
        };
        if (c == '_') {
          bytes.push_back(' ');
        } else if (c == '=' && k + 2 < payload.size() && hex(payload[k + 1]) >= 0 && hex(payload[k + 2]) >= 0) {
          bytes.push_back(static_cast<char>(hex(payload[k + 1]) * 16 + hex(payload[k + 2])));
          k += 2;
        } else {
          bytes.push_back(c);
        }
      }
    }
    run_charset = charset;
    run_bytes += bytes;
    last_was_word = true;
    i = end + 2;
    plain_from = i;
  }
  flush_run();
  out += PlainText(text.substr(plain_from));
  return out;
}

}  // namespace mime
