// The decoders take arbitrary input without crashing; every encoder's output decodes
// back to its input, whole and fed in pieces.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "mime/base64.h"
#include "mime/charset.h"
#include "mime/header_encoding.h"
#include "mime/quoted_printable.h"
#include "platform/text.h"

namespace {

template <typename Filter>
std::string RunPieces(std::string_view input, std::size_t piece) {
  mime::StringSink sink;
  Filter filter(sink);
  for (std::size_t at = 0; at < input.size(); at += piece) {
    if (filter.Write(mime::AsBytes(input.substr(at, piece))) != mime::kMimeOk) std::abort();
  }
  if (filter.Finish() != mime::kMimeOk) std::abort();
  return sink.Take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 17;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

  // Arbitrary input to the decoders.
  const std::string b64 = mime::Base64Decode(input);
  if (RunPieces<mime::Base64Decoder>(input, piece) != b64) std::abort();
  const std::string qp = mime::QuotedPrintableDecode(input);
  if (RunPieces<mime::QuotedPrintableDecoder>(input, piece) != qp) std::abort();
  (void)mime::DecodeHeaderText(input);

  // Round trips.
  const std::string encoded64 = mime::Base64Encode(input, mime::kBase64BodyLineLength);
  if (RunPieces<mime::Base64Encoder>(input, piece) != encoded64) std::abort();
  if (mime::Base64Decode(encoded64) != input) std::abort();
  if (mime::Base64Decode(mime::Base64Encode(input, 1 + data[0] % 80)) != input) std::abort();
  const std::string encoded_qp = mime::QuotedPrintableEncode(input);
  if (RunPieces<mime::QuotedPrintableEncoder>(input, piece) != encoded_qp) std::abort();
  if (mime::QuotedPrintableDecode(encoded_qp) != input) std::abort();
  for (char c : encoded_qp) {
    if (static_cast<unsigned char>(c) > 126) std::abort();
  }

  // Header text: encoded and decoded back (control characters become spaces
  // and white space runs shrink to one, so the input is normalised first).
  std::u16string wide = platform::Utf8ToUtf16(input);
  std::u16string normal;
  for (char16_t c : wide) {
    if (c < 0x20 || c == 0x7F) c = u' ';
    if (c == u' ' && !normal.empty() && normal.back() == u' ') continue;
    normal.push_back(c);
  }
  while (!normal.empty() && normal.back() == u' ') normal.pop_back();
  while (!normal.empty() && normal.front() == u' ') normal.erase(normal.begin());
  if (normal.find(u"=?") != std::u16string::npos) return 0;  // would read as an encoded word
  for (auto mode : {mime::HeaderEncodingMode::kShorterOfQAndB, mime::HeaderEncodingMode::kQOnly,
                    mime::HeaderEncodingMode::kBOnly}) {
    mime::HeaderLine line("Subject: ");
    line.AppendValue(normal, "utf-8", mode);
    std::string text = line.text();
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 2);
    if (mime::DecodeHeaderText(std::string_view(text).substr(9)) != normal) std::abort();
  }
  return 0;
}
