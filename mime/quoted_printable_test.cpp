#include "mime/quoted_printable.h"

#include <gtest/gtest.h>

#include "mime/codec_test_util.h"

namespace mime {
namespace {

using testing::RunChunked;
using testing::RunCut;

struct Case {
  std::string plain;
  std::string encoded;
};

TEST(QuotedPrintable, EncoderKnownAnswers) {
  const Case cases[] = {
      {"plain text", "plain text"},
      {"a=b", "a=3Db"},
      {"a\tb", "a=09b"},
      {"line\r\nnext", "line=0D=0Anext"},
      {"caf\xC3\xA9", "caf=C3=A9"},
      {"~!", "~!"},
      {std::string("\x7F\x00", 2), "=7F=00"},
      // A space inside stays, a space at the end is escaped so that it cannot be lost.
      {"a b ", "a b=20"},
      {" ", "=20"},
      {"  x", "  x"},
  };
  for (const auto& c : cases) EXPECT_EQ(QuotedPrintableEncode(c.plain), c.encoded) << c.plain;
}

TEST(QuotedPrintable, SoftBreakKeepsLinesWithin76) {
  std::string letters(80, 'a');
  EXPECT_EQ(QuotedPrintableEncode(letters), std::string(75, 'a') + "=\r\n" + std::string(5, 'a'));
  // An escape that would pass column 75 moves to the next line whole.
  EXPECT_EQ(QuotedPrintableEncode(std::string(73, 'a') + "="), std::string(73, 'a') + "=\r\n=3D");
  EXPECT_EQ(QuotedPrintableEncode(std::string(72, 'a') + "="), std::string(72, 'a') + "=3D");
  std::string long_text;
  for (int i = 0; i < 500; ++i) long_text += static_cast<char>(i % 256);
  std::string encoded = QuotedPrintableEncode(long_text);
  std::size_t from = 0;
  for (std::size_t at; (at = encoded.find("\r\n", from)) != std::string::npos; from = at + 2) {
    EXPECT_LE(at - from, 76u);
    EXPECT_EQ(encoded[at - 1], '=');
  }
  EXPECT_EQ(QuotedPrintableDecode(encoded), long_text);
}

TEST(QuotedPrintable, DecoderKnownAnswers) {
  const Case cases[] = {
      {"A", "=41"},
      {"JJ", "=4a=4A"},
      {"ab", "a=\r\nb"},
      {"ab", "a=  \t\r\nb"},   // white space before the soft break
      {"ab", "a=\nb"},         // bare LF soft break
      {"x\r\ny", "x\r\ny"},    // real line breaks pass through
      {"4G", "=4G"},           // not an escape: "=" dropped, the rest kept
      {" x", "= x"},
      {"\rx", "=\rx"},
      {"", "="},
      {"4", "=4"},
      {"\xFF", "=FF"},
  };
  for (const auto& c : cases) EXPECT_EQ(QuotedPrintableDecode(c.encoded), c.plain) << c.encoded;
}

TEST(QuotedPrintable, EveryChunkSizeGivesTheSameResult) {
  const std::string input = testing::RandomBytes(9001, 3) + " ";
  const std::string expected = QuotedPrintableEncode(input);
  ASSERT_EQ(QuotedPrintableDecode(expected), input);
  for (std::size_t chunk : testing::kChunkSizes) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(RunChunked<QuotedPrintableEncoder>(input, chunk), expected);
    EXPECT_EQ(RunChunked<QuotedPrintableDecoder>(expected, chunk), input);
  }
}

// Escapes, soft breaks and CR LF split across two reads at every offset.
TEST(QuotedPrintable, DecoderInputSplitAtEveryOffset) {
  const std::string encoded = "a=\r\nb=3D=  \r\nc=0D=0A\r\nd=4G=\n=e9 ";
  const std::string expected = QuotedPrintableDecode(encoded);
  ASSERT_EQ(expected, "ab=c\r\n\r\nd4G\xE9 ");
  for (std::size_t a = 0; a <= encoded.size(); ++a) {
    for (std::size_t b = a; b <= encoded.size(); ++b) {
      EXPECT_EQ(RunCut<QuotedPrintableDecoder>(encoded, {a, b}), expected) << a << "," << b;
    }
  }
  const std::string plain = std::string(70, 'a') + " =\r\n ";
  const std::string plain_encoded = QuotedPrintableEncode(plain);
  for (std::size_t a = 0; a <= plain.size(); ++a) {
    EXPECT_EQ(RunCut<QuotedPrintableEncoder>(plain, {a}), plain_encoded) << a;
  }
}

}  // namespace
}  // namespace mime
