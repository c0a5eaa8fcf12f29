#pragma once
// Quoted-printable body encoding as streaming filters over a ByteSink.
//
// The encoder writes space and 33..126 except "=" as themselves and every other
// byte (TAB, CR and LF included) as "=XX"; a soft break "=" CR LF keeps every line
// at 76 characters or less. A space that ends the body is written as "=20" so that
// no transport or reader can lose it as trailing white space.
// The decoder turns "=XX" (either case) into the byte, drops soft breaks ("=",
// optional spaces or tabs, CR LF or a bare LF), and passes everything else through;
// a "=" followed by anything else is dropped and what follows it kept.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "mime/byte_stream.h"

namespace mime {

class QuotedPrintableEncoder {
 public:
  explicit QuotedPrintableEncoder(ByteSink& out) : out_(out) {}
  [[nodiscard]] MimeResult Write(std::span<const std::uint8_t> block);
  [[nodiscard]] MimeResult Finish();

 private:
  void PutLiteral(char c);
  void PutEscape(std::uint8_t b);
  [[nodiscard]] MimeResult Drain();

  ByteSink& out_;
  std::size_t line_used_ = 0;
  bool space_pending_ = false;  // a space held back until we know it does not end the body
  std::array<char, 8192> buffer_;
  std::size_t buffered_ = 0;
  MimeResult error_ = kMimeOk;
};

class QuotedPrintableDecoder {
 public:
  explicit QuotedPrintableDecoder(ByteSink& out) : out_(out) {}
  [[nodiscard]] MimeResult Write(std::span<const std::uint8_t> block);
  // A dangling "=" sequence at the end is handled as malformed: "=" dropped, rest kept.
  [[nodiscard]] MimeResult Finish();

 private:
  enum class State { kText, kEquals, kEqualsHex, kEqualsSpace, kEqualsCr };
  void Put(std::uint8_t b);
  void AbandonEscape();  // the pending "=..." was not an escape or soft break
  [[nodiscard]] MimeResult Drain();

  ByteSink& out_;
  State state_ = State::kText;
  std::uint8_t first_hex_ = 0;
  std::string held_;  // bytes after "=" that may still turn out to be a soft break
  std::array<std::uint8_t, 8192> buffer_;
  std::size_t buffered_ = 0;
  MimeResult error_ = kMimeOk;
};

std::string QuotedPrintableEncode(std::string_view bytes);
std::string QuotedPrintableDecode(std::string_view text);

}  // namespace mime
