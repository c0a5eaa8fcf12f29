#include "mime/base64.h"

#include <gtest/gtest.h>

#include "mime/codec_test_util.h"

namespace mime {
namespace {

using testing::RandomBytes;
using testing::RunChunked;
using testing::RunCut;

using namespace std::literals;

struct Vector {
  std::string_view plain;
  std::string_view encoded;
};
// RFC 4648 section 10, plus bytes that reach both ends of the alphabet.
constexpr Vector kVectors[] = {
    {""sv, ""sv},           {"f"sv, "Zg=="sv},        {"fo"sv, "Zm8="sv},
    {"foo"sv, "Zm9v"sv},    {"foob"sv, "Zm9vYg=="sv}, {"fooba"sv, "Zm9vYmE="sv},
    {"foobar"sv, "Zm9vYmFy"sv}, {"\xFB\xFF\xBF"sv, "+/+/"sv}, {"\x00\x10\x83"sv, "ABCD"sv},
};

TEST(Base64, KnownAnswersEncodeAndDecode) {
  for (const auto& v : kVectors) {
    SCOPED_TRACE(v.encoded);
    EXPECT_EQ(Base64Encode(v.plain, kBase64BodyLineLength), v.encoded);
    EXPECT_EQ(Base64Decode(v.encoded), v.plain);
  }
}

// The body line rule: 57 bytes fill one 76-character line exactly and no line break
// follows the last line.
TEST(Base64, BodyLinesBreakAt76WithoutTrailingBreak) {
  struct Case {
    std::size_t n;
    std::vector<std::size_t> line_lengths;
  };
  const Case cases[] = {{57, {76}}, {58, {76, 4}}, {60, {76, 4}}, {114, {76, 76}}, {115, {76, 76, 4}}, {1, {4}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    std::string out = Base64Encode(std::string(c.n, 'a'), kBase64BodyLineLength);
    std::vector<std::size_t> lengths;
    std::size_t from = 0;
    for (std::size_t at; (at = out.find("\r\n", from)) != std::string::npos; from = at + 2) lengths.push_back(at - from);
    lengths.push_back(out.size() - from);
    EXPECT_EQ(lengths, c.line_lengths);
  }
  std::string out58 = Base64Encode(std::string(58, 'a'), kBase64BodyLineLength);
  EXPECT_EQ(out58.substr(76), "\r\nYQ==");
}

TEST(Base64, LineLengthsOfTheWholeBufferForm) {
  EXPECT_EQ(Base64Encode(std::string(300, 'x')).find('\r'), std::string::npos);  // one line
  EXPECT_EQ(Base64Encode(std::string("foobarfoobar"), 8), "Zm9vYmFy\r\nZm9vYmFy");
  // A length that is no multiple of 4 splits groups across lines.
  EXPECT_EQ(Base64Encode(std::string("foobar"), 5), "Zm9vY\r\nmFy");
  EXPECT_EQ(Base64Encode(std::string("foob"), 3), "Zm9\r\nvYg\r\n==");
}

TEST(Base64, DecoderSkipsLineBreaksAndJunkAndReadsConcatenatedEncodings) {
  EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(Base64Decode(" Zm 9v\tYm*Fy\n"), "foobar");
  EXPECT_EQ(Base64Decode("QQ==QkI="), "ABB");
  EXPECT_EQ(Base64Decode("Zm9vYg"), "foob");  // padding missing
  EXPECT_EQ(Base64Decode("Z"), "");           // a lone character carries no byte
}

TEST(Base64, EveryChunkSizeGivesTheSameResult) {
  const std::string input = RandomBytes(10007, 1);
  const std::string expected = Base64Encode(input, kBase64BodyLineLength);
  ASSERT_EQ(Base64Decode(expected), input);
  for (std::size_t chunk : testing::kChunkSizes) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(RunChunked<Base64Encoder>(input, chunk), expected);
    EXPECT_EQ(RunChunked<Base64Decoder>(expected, chunk), input);
  }
}

// A group of three bytes and a quantum of four characters split at every point,
// around the first line end too.
TEST(Base64, InputSplitAtEveryOffsetNearGroupAndLineBoundaries) {
  const std::string input = RandomBytes(64, 2);
  const std::string expected = Base64Encode(input, kBase64BodyLineLength);
  for (std::size_t a = 0; a <= 8; ++a) {
    for (std::size_t b = a; b <= 62; b += (b < 8 || b > 52) ? 1 : 9) {
      SCOPED_TRACE(std::to_string(a) + "," + std::to_string(b));
      EXPECT_EQ(RunCut<Base64Encoder>(input, {a, b}), expected);
    }
  }
  for (std::size_t a = 0; a <= expected.size(); ++a) {
    for (std::size_t b = a; b <= std::min(expected.size(), a + 5); ++b) {
      EXPECT_EQ(RunCut<Base64Decoder>(expected, {a, b}), input) << a << "," << b;
    }
  }
}

TEST(Base64, SinkErrorsComeBackAndStick) {
  testing::FailingSink sink(10);
  Base64Encoder encoder(sink);
  std::string big(20000, 'q');
  EXPECT_EQ(encoder.Write(AsBytes(big)), kMimeErrorWrite);  // the buffer overflowed into the sink
  EXPECT_EQ(encoder.Write(AsBytes(big)), kMimeErrorWrite);
  EXPECT_EQ(encoder.Finish(), kMimeErrorWrite);

  testing::FailingSink small(3);
  Base64Encoder late(small);
  EXPECT_EQ(late.Write(AsBytes(std::string_view("abcdef"))), kMimeOk);  // still buffered
  EXPECT_EQ(late.Finish(), kMimeErrorWrite);
}

}  // namespace
}  // namespace mime
