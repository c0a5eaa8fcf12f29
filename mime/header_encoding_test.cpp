#include "mime/header_encoding.h"

#include <gtest/gtest.h>

#include "mime/charset.h"

namespace mime {
namespace {

using Mode = HeaderEncodingMode;

std::string Append(std::string start, std::u16string_view value, Mode mode, std::string_view charset = "utf-8",
                   bool in_quotes = false) {
  HeaderLine line(std::move(start));
  line.AppendValue(value, charset, mode, in_quotes);
  return line.text();
}

std::string Unfold(std::string s) {
  for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;) s.erase(at, 2);
  return s;
}

void ExpectLinesWithin(const std::string& text, std::size_t limit) {
  std::size_t from = 0;
  for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
    EXPECT_LE(at - from, limit) << text;
  }
  EXPECT_LE(text.size() - from, limit) << text;
}

TEST(HeaderQ, EncodesSpaceAsHex20AndKeepsTheListedBytes) {
  auto q = [](std::string_view s) { return HeaderQEncode(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size())); };
  EXPECT_EQ(q("a b"), "a=20b");
  EXPECT_EQ(q("a_b?c=d"), "a=5Fb=3Fc=3Dd");
  EXPECT_EQ(q("!<>~\"\\"), "!<>~\"\\");
  EXPECT_EQ(q("\t\xC3\xA9\x7F"), "=09=C3=A9=7F");
  std::string in_quotes = HeaderQEncode(std::span(reinterpret_cast<const std::uint8_t*>("a\"b"), 3), 0, nullptr, true);
  EXPECT_EQ(in_quotes, "a=22b");
  // Budget: the count starts at 3; "ab" costs 2, the escape 3 more.
  std::size_t consumed = 0;
  EXPECT_EQ(HeaderQEncode(std::span(reinterpret_cast<const std::uint8_t*>("ab c"), 4), 7, &consumed), "ab");
  EXPECT_EQ(consumed, 2u);
  EXPECT_EQ(HeaderQEncode(std::span(reinterpret_cast<const std::uint8_t*>("ab c"), 4), 8, &consumed), "ab=20");
  EXPECT_EQ(consumed, 3u);
}

TEST(HeaderValue, AsciiIsWrittenUnchangedExceptForWhiteSpaceRuns) {
  EXPECT_EQ(Append("Subject: ", u"Voice note 07.12.2026", Mode::kShorterOfQAndB), "Subject: Voice note 07.12.2026");
  EXPECT_EQ(Append("Subject: ", u"a  \t b", Mode::kQOnly), "Subject: a b");
  EXPECT_EQ(Append("Subject: ", u"a  b", Mode::kRaw), "Subject: a  b");
}

TEST(HeaderValue, ModesChooseTheEncodedWord) {
  struct Case {
    std::u16string value;
    Mode mode;
    std::string expected;
  };
  const Case cases[] = {
      // The shorter of the two; on equal length B.
      {u"Hello W\u00f6rld", Mode::kShorterOfQAndB, "Subject: Hello =?utf-8?B?V8O2cmxk?="},
      {u"abcdefghijklmno\u00e9", Mode::kShorterOfQAndB, "Subject: =?utf-8?Q?abcdefghijklmno=C3=A9?="},
      {u"abcdef\u00e9", Mode::kShorterOfQAndB, "Subject: =?utf-8?B?YWJjZGVmw6k=?="},
      {u"Hello W\u00f6rld", Mode::kQOnly, "Subject: Hello =?utf-8?Q?W=C3=B6rld?="},
      {u"Voice note \u00fc", Mode::kShorterOfQAndB, "Subject: Voice note =?utf-8?B?w7w=?="},
      {u"\u00e9 a", Mode::kBOnly, "Subject: =?utf-8?B?w6kgYQ==?="},
      {u"\u00e9 a", Mode::kQOnly, "Subject: =?utf-8?Q?=C3=A9=20a?="},
      {u"Gr\u00fc\u00dfe", Mode::kRaw, "Subject: Gr\xC3\xBC\xC3\x9F" "e"},
  };
  for (const auto& c : cases) EXPECT_EQ(Append("Subject: ", c.value, c.mode), c.expected);
  EXPECT_EQ(Append("Subject: ", u"Gr\u00fc\u00dfe", Mode::kRaw, "iso-8859-1"), "Subject: Gr\xFC\xDF" "e");
  EXPECT_EQ(Append("Subject: ", u"\u20ac", Mode::kQOnly, "iso-8859-15"), "Subject: =?iso-8859-15?Q?=A4?=");
}

TEST(HeaderValue, LongTextFoldsAtWhiteSpaceAndUnfoldsToTheSameText) {
  std::u16string value;
  for (int i = 0; i < 40; ++i) value += u"word" + std::u16string(1, u'a' + i % 26) + u" ";
  value += u"end";
  std::string out = Append("Subject: ", value, Mode::kShorterOfQAndB);
  EXPECT_NE(out.find("\r\n "), std::string::npos);
  ExpectLinesWithin(out, kHeaderLineLimit);
  EXPECT_EQ(Unfold(out), "Subject: " + std::string(value.begin(), value.end()));
}

// CR, LF, NUL and the other control characters never reach the line: each
// becomes a space, in every mode, quoted or not, so no text can start a
// header line of its own.
TEST(HeaderValue, ControlCharactersBecomeSpaces) {
  const std::u16string hostile = std::u16string(u"Hi\r\nBcc: evil@example.org\n\rX") + u'\0' + u"\x01\x7f\u00e9nd\tok";
  for (Mode mode : {Mode::kShorterOfQAndB, Mode::kRaw, Mode::kBOnly, Mode::kQOnly}) {
    for (bool quoted : {false, true}) {
      const std::string out = Append("Subject: ", hostile, mode, "utf-8", quoted);
      EXPECT_EQ(out.find_first_of(std::string("\n\0\x01\x7f", 4)), std::string::npos) << out;
      EXPECT_EQ(out.find('\r'), std::string::npos) << out;
      const std::u16string read = DecodeHeaderText(out.substr(9));
      EXPECT_NE(read.find(u"Hi"), std::u16string::npos);
      EXPECT_NE(read.find(u"Bcc: evil@example.org"), std::u16string::npos) << out;  // kept, as text
      EXPECT_NE(read.find(u"\u00e9nd"), std::u16string::npos) << out;
    }
  }
  EXPECT_EQ(WithoutControlCharacters(u"a\r\nb\tc"), u"a  b\tc");
}

// A word longer than any line goes out as encoded words that fold, even in
// the raw mode, and reads back as the same text.
TEST(HeaderValue, OverlongWordIsEncodedAndSplit) {
  for (Mode mode : {Mode::kShorterOfQAndB, Mode::kRaw, Mode::kBOnly, Mode::kQOnly}) {
    const std::u16string word(2000, u'x');
    const std::u16string value = u"before " + word + u" after";
    const std::string out = Append("Subject: ", value, mode);
    ExpectLinesWithin(out, kHeaderLineHardLimit);
    std::string unfolded = out;
    for (std::size_t at; (at = unfolded.find("\r\n")) != std::string::npos;) unfolded.erase(at, 2);
    EXPECT_EQ(DecodeHeaderText(unfolded.substr(9)), value) << static_cast<int>(mode);
  }
  // A word that fits a line stays as it is.
  const std::u16string fits(900, u'y');
  EXPECT_EQ(Append("Subject: ", fits, Mode::kRaw), "Subject: " + std::string(900, 'y'));
}

TEST(HeaderValue, PrefersAFoldAfterTheLastSemicolon) {
  std::u16string value = u"aa; " + std::u16string(30, u'b') + u" " + std::u16string(40, u'c');
  EXPECT_EQ(Append("X-Test: ", value, Mode::kShorterOfQAndB),
            "X-Test: aa;\r\n " + std::string(30, 'b') + " " + std::string(40, 'c'));
  // Inside the field name nothing folds; without white space after ";" neither.
  std::u16string glued = u"aa;" + std::u16string(80, u'b');
  EXPECT_EQ(Append("X;Y: ", glued, Mode::kShorterOfQAndB), "X;Y: aa;" + std::string(80, 'b'));
}

TEST(HeaderValue, LongNonAsciiTextBecomesSeveralShortEncodedWords) {
  std::u16string value(60, u'\u00e9');
  for (Mode mode : {Mode::kShorterOfQAndB, Mode::kQOnly, Mode::kBOnly}) {
    std::string out = Append("Subject: ", value, mode);
    ExpectLinesWithin(out, 76);
    EXPECT_EQ(DecodeHeaderText(Unfold(out).substr(9)), value);
  }
}

TEST(HeaderValue, QuotedTextEscapesQuoteAndBackslash) {
  EXPECT_EQ(Append("n=\"", u"a\"b\\c", Mode::kShorterOfQAndB, "utf-8", true), "n=\"a\\\"b\\\\c");
}

TEST(HeaderDecode, EncodedWordsAndTheWhiteSpaceBetweenThem) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"(=?ISO-8859-1?Q?a?=)", u"(a)"},
      {"(=?ISO-8859-1?Q?a?= b)", u"(a b)"},
      {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", u"(ab)"},
      {"(=?ISO-8859-1?Q?a?=     =?ISO-8859-1?Q?b?=)", u"(ab)"},
      {"(=?ISO-8859-1?Q?a_b?=)", u"(a b)"},
      {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", u"(a b)"},
      {"=?utf-8?b?SGVsbG8gV8O2cmxk?=", u"Hello W\u00f6rld"},
      {"=?utf-8*en?Q?caf=C3=A9?=", u"caf\u00e9"},
      {"=?utf-8?Q?=C3?= =?utf-8?Q?=A9?=", u"\u00e9"},  // one character split across two words
      {"=?utf-8?X?abc?=", u"=?utf-8?X?abc?="},
      {"=?utf-8?Q?a b?=", u"=?utf-8?Q?a b?="},
      {"=?x-unknown?Q?abc?=", u"abc"},
      {"Gr\xC3\xBC\xC3\x9F" "e", u"Gr\u00fc\u00df" "e"},
      {"Gr\xFC\xDF" "e", u"Gr\u00fc\u00df" "e"},
      {"=?", u"=?"},
      {"a =?utf-8?Q?b?=c", u"a bc"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeaderText(c.in), c.out) << c.in;
}

TEST(Charset, ConversionsAndUnrepresentableCharacters) {
  struct Case {
    std::u16string text;
    const char* charset;
    std::string bytes;
  };
  const Case cases[] = {
      {u"A\u20ac", "utf-8", "A\xE2\x82\xAC"},
      {u"A\u20ac", "utf-16", std::string("\x00" "A" "\x20\xAC", 4)},
      {u"A\u20ac", "UTF-16LE", std::string("A" "\x00" "\xAC\x20", 4)},
      {u"\u00e9\u20ac", "iso-8859-15", "\xE9\xA4"},
      {u"\u00e9\u20ac", "windows-1252", "\xE9\x80"},
      {u"\u00e9\u20ac", "iso-8859-1", "\xE9?"},
      {u"\u00e9x", "us-ascii", "?x"},
      {u"\U0001F600!", "iso-8859-1", "?!"},
      {u"\u20ac\u0416", "windows-1252", "\x80?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeText(c.text, c.charset), c.bytes) << c.charset;
    if (c.bytes.find('?') == std::string::npos) {
      EXPECT_EQ(DecodeText(c.bytes, c.charset), c.text) << c.charset;
    }
  }
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "A\x00", 4), "utf-16"), u"A");
  EXPECT_EQ(DecodeText("caf\xE9", "x-unknown"), u"caf\u00e9");
  EXPECT_EQ(ResolveWriteCharset(""), "us-ascii");
  EXPECT_EQ(ResolveWriteCharset("x-bogus"), "utf-8");
  EXPECT_EQ(ResolveWriteCharset("ISO-8859-15"), "ISO-8859-15");
  EXPECT_FALSE(IsSupportedCharset("utf-8\"; x"));
}

}  // namespace
}  // namespace mime
