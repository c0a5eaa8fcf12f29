#pragma once
// Base64 (standard alphabet, "=" padding) as streaming filters over a ByteSink,
// and the one-shot form for header words and authentication exchanges.
//
// The encoder keeps a partial input group (up to 2 bytes) and the current line
// length between blocks; the decoder keeps a partial 4-character quantum. Both
// buffer their output and push it to the sink when the buffer fills and in Finish().
// After a sink error every further call returns that error.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "mime/byte_stream.h"

namespace mime {

inline constexpr std::size_t kBase64BodyLineLength = 76;
// A line length this large gives one line without breaks.
inline constexpr std::size_t kBase64SingleLine = 2147483647;

class Base64Encoder {
 public:
  // Lines of `line_length` characters separated by CR LF; no CR LF after the last line.
  explicit Base64Encoder(ByteSink& out, std::size_t line_length = kBase64BodyLineLength);
  [[nodiscard]] MimeResult Write(std::span<const std::uint8_t> block);
  // Writes the pending 1 or 2 bytes as a padded group and flushes to the sink.
  [[nodiscard]] MimeResult Finish();

 private:
  void PutGroup(const char* group);
  [[nodiscard]] MimeResult Drain();

  ByteSink& out_;
  std::size_t line_length_;
  std::size_t line_used_ = 0;
  std::uint8_t carry_[2] = {0, 0};
  std::size_t carry_len_ = 0;
  std::array<char, 8192> buffer_;
  std::size_t buffered_ = 0;
  MimeResult error_ = kMimeOk;
};

// Decodes base64 text. Characters outside the alphabet (line breaks, spaces, junk)
// are skipped; "=" ends the current quantum, so concatenated encodings decode too.
class Base64Decoder {
 public:
  explicit Base64Decoder(ByteSink& out) : out_(out) {}
  [[nodiscard]] MimeResult Write(std::span<const std::uint8_t> block);
  // Emits the bytes of a final partial quantum (2 or 3 characters) and flushes.
  [[nodiscard]] MimeResult Finish();

 private:
  void EndQuantum();
  [[nodiscard]] MimeResult Drain();

  ByteSink& out_;
  std::uint32_t quantum_ = 0;
  std::size_t count_ = 0;
  std::array<std::uint8_t, 8192> buffer_;
  std::size_t buffered_ = 0;
  MimeResult error_ = kMimeOk;
};

// The whole buffer as base64 in lines of `line_length`, each followed by CR LF except
// the last; kBase64SingleLine gives one line.
std::string Base64Encode(std::span<const std::uint8_t> bytes, std::size_t line_length = kBase64SingleLine);
inline std::string Base64Encode(std::string_view bytes, std::size_t line_length = kBase64SingleLine) {
  return Base64Encode(AsBytes(bytes), line_length);
}
std::string Base64Decode(std::string_view text);

}  // namespace mime
