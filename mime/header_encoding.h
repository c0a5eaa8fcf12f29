#pragma once
// Header text: RFC 2047 encoded words (Q and B), folding with the preference for a
// break after ";", and decoding of encoded words when a header is read.
//
// Folds are placed only where they do not change the text when the line is unfolded:
// in place of a white-space character (after ";" or before a word), between two
// encoded words, or right after the field name.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mime {

// How header text outside 7-bit ASCII is written.
enum class HeaderEncodingMode : int {
  kShorterOfQAndB = 0,  // encoded words, B when it is not longer than Q
  kRaw = 1,             // the text's bytes in the charset, folding only
  kBOnly = 2,
  kQOnly = 3,
};

inline constexpr char kFold[] = "\r\n ";
// A header line is folded when a word would take it past this many characters.
inline constexpr std::size_t kHeaderLineLimit = 75;
// No line of a header may be longer than this (RFC 5322); a word that would
// make one longer goes out as encoded words, which fold.
inline constexpr std::size_t kHeaderLineHardLimit = 998;

// `text` with every control character but TAB (CR, LF, NUL, DEL, ...) turned
// into a space: in a header a CR or LF would end the line and let the text
// write a header of its own.
std::u16string WithoutControlCharacters(std::u16string_view text);

// The header Q text of `bytes`: 33..60 and 62..126 other than "?" and "_" as
// themselves, everything else (space included) as "=XX". Inside a quoted string
// ('in_quotes') '"' and '\' are escaped as well. With a non-zero `budget` the
// encoding stops before a byte that would take the count (starting at 3, +1 a
// literal, +3 an escape) past it; *consumed then tells how many bytes were taken.
std::string HeaderQEncode(std::span<const std::uint8_t> bytes, std::size_t budget = 0,
                          std::size_t* consumed = nullptr, bool in_quotes = false);

// One header field being built, as 8-bit text.
class HeaderLine {
 public:
  // `start` is the field's "Name: " (or "Name:"); no ";" fold is placed inside it.
  explicit HeaderLine(std::string start);

  void AppendAscii(std::string_view text) { text_.append(text); }
  // One word that must stay whole (an ASCII token), folded before when needed.
  void AppendToken(std::string_view word) { AppendWord(word); }
  void Fold();
  // A fold that takes the place of the white space ending the line, if there is one.
  void FoldAtEnd();
  // Characters since the last fold (the fold's space included).
  std::size_t LineLength() const { return text_.size() - line_start_; }
  bool EndsWithSpace() const;

  // Appends one value with the encoding and folding rules of `mode`. `charset` must be
  // supported (ResolveWriteCharset). With `in_quotes` the text is inside a quoted
  // string: '"' and '\' are escaped and white space is kept as it is. Control
  // characters are written as spaces (WithoutControlCharacters); a word too long
  // for any line is encoded, whatever the mode, so that it can fold.
  void AppendValue(std::u16string_view value, std::string_view charset, HeaderEncodingMode mode,
                   bool in_quotes = false);

  const std::string& text() const { return text_; }

 private:
  void AppendWord(std::string_view word);
  void AppendEncoded(std::u16string_view rest, std::string_view charset, HeaderEncodingMode mode, bool in_quotes);
  void MakeRoom(std::size_t needed);
  bool FoldAfterSemicolon();
  bool FoldAtTrailingSpace();

  std::string text_;
  std::size_t name_end_;
  std::size_t line_start_ = 0;
};

// Decodes the encoded words of an unfolded header text. White space between two
// encoded words is dropped; adjacent words in one charset are joined before their
// bytes are converted, so a character split across words survives. Text outside
// encoded words is read as UTF-8 when valid, else as Latin-1.
std::u16string DecodeHeaderText(std::string_view text);

}  // namespace mime
