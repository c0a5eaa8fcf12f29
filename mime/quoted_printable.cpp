#include "mime/quoted_printable.h"

namespace mime {
namespace {

constexpr std::size_t kMaxBeforeSoftBreak = 75;
constexpr char kUpperHex[] = "0123456789ABCDEF";

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Longest output of one input byte: a held space, a soft break and an escape.
constexpr std::size_t kRoom = 16;
// A run of white space after "=" longer than this is no soft break worth waiting for.
constexpr std::size_t kMaxHeld = 256;

}  // namespace

MimeResult QuotedPrintableEncoder::Drain() {
  if (error_ == kMimeOk && buffered_ > 0) {
    error_ = out_.Write(std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffered_));
  }
  buffered_ = 0;
  return error_;
}

void QuotedPrintableEncoder::PutLiteral(char c) {
  if (line_used_ + 1 > kMaxBeforeSoftBreak) {
    buffer_[buffered_++] = '=';
    buffer_[buffered_++] = '\r';
    buffer_[buffered_++] = '\n';
    line_used_ = 0;
  }
  buffer_[buffered_++] = c;
  line_used_ += 1;
}

void QuotedPrintableEncoder::PutEscape(std::uint8_t b) {
  if (line_used_ + 3 > kMaxBeforeSoftBreak) {
    buffer_[buffered_++] = '=';
    buffer_[buffered_++] = '\r';
    buffer_[buffered_++] = '\n';
    line_used_ = 0;
  }
  buffer_[buffered_++] = '=';
  buffer_[buffered_++] = kUpperHex[b >> 4];
  buffer_[buffered_++] = kUpperHex[b & 15];
  line_used_ += 3;
}

MimeResult QuotedPrintableEncoder::Write(std::span<const std::uint8_t> block) {
  if (error_ != kMimeOk) return error_;
  for (std::uint8_t b : block) {
    if (buffered_ + kRoom > buffer_.size() && Drain() != kMimeOk) return error_;
    if (space_pending_) {
      PutLiteral(' ');
      space_pending_ = false;
    }
    if (b == ' ') {
      space_pending_ = true;
    } else if (b >= 33 && b <= 126 && b != '=') {
      PutLiteral(static_cast<char>(b));
    } else {
      PutEscape(b);
    }
  }
  return kMimeOk;
}

MimeResult QuotedPrintableEncoder::Finish() {
  if (error_ != kMimeOk) return error_;
  if (buffered_ + kRoom > buffer_.size() && Drain() != kMimeOk) return error_;
  if (space_pending_) {
    PutEscape(' ');
    space_pending_ = false;
  }
  return Drain();
}

MimeResult QuotedPrintableDecoder::Drain() {
  if (error_ == kMimeOk && buffered_ > 0) error_ = out_.Write(std::span(buffer_.data(), buffered_));
  buffered_ = 0;
  return error_;
}

void QuotedPrintableDecoder::Put(std::uint8_t b) {
  if (buffered_ == buffer_.size()) (void)Drain();  // the sticky error is reported by the caller
  buffer_[buffered_++] = b;
}

void QuotedPrintableDecoder::AbandonEscape() {
  for (char c : held_) Put(static_cast<std::uint8_t>(c));
  held_.clear();
  state_ = State::kText;
}

MimeResult QuotedPrintableDecoder::Write(std::span<const std::uint8_t> block) {
  if (error_ != kMimeOk) return error_;
  for (std::size_t i = 0; i < block.size(); ++i) {
    std::uint8_t b = block[i];
    switch (state_) {
      case State::kText:
        if (b == '=') {
          state_ = State::kEquals;
        } else {
          Put(b);
        }
        continue;
      case State::kEquals:
        if (HexValue(b) >= 0) {
          first_hex_ = b;
          held_.assign(1, static_cast<char>(b));
          state_ = State::kEqualsHex;
        } else if (b == ' ' || b == '\t') {
          held_.assign(1, static_cast<char>(b));
          state_ = State::kEqualsSpace;
        } else if (b == '\r') {
          held_.assign(1, '\r');
          state_ = State::kEqualsCr;
        } else if (b == '\n') {
          state_ = State::kText;  // soft break with a bare LF
        } else {
          state_ = State::kText;
          --i;  // not an escape: drop the "=", look at this byte again as text
        }
        continue;
      case State::kEqualsHex:
        if (HexValue(b) >= 0) {
          Put(static_cast<std::uint8_t>(HexValue(first_hex_) * 16 + HexValue(b)));
          held_.clear();
          state_ = State::kText;
        } else {
          AbandonEscape();
          --i;
        }
        continue;
      case State::kEqualsSpace:
        if ((b == ' ' || b == '\t') && held_.size() < kMaxHeld) {
          held_.push_back(static_cast<char>(b));
        } else if (b == '\r') {
          held_.push_back('\r');
          state_ = State::kEqualsCr;
        } else if (b == '\n') {
          held_.clear();
          state_ = State::kText;
        } else {
          AbandonEscape();
          --i;
        }
        continue;
      case State::kEqualsCr:
        if (b == '\n') {
          held_.clear();
          state_ = State::kText;
        } else {
          AbandonEscape();
          --i;
        }
        continue;
    }
  }
  return Drain();
}

MimeResult QuotedPrintableDecoder::Finish() {
  if (error_ != kMimeOk) return error_;
  if (state_ != State::kText) AbandonEscape();
  return Drain();
}

std::string QuotedPrintableEncode(std::string_view bytes) {
  StringSink sink;
  QuotedPrintableEncoder encoder(sink);
  (void)encoder.Write(AsBytes(bytes));
  (void)encoder.Finish();
  return sink.Take();
}

std::string QuotedPrintableDecode(std::string_view text) {
  StringSink sink;
  QuotedPrintableDecoder decoder(sink);
  (void)decoder.Write(AsBytes(text));
  (void)decoder.Finish();
  return sink.Take();
}

}  // namespace mime
