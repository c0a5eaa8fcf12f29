#include "mime/base64.h"

namespace mime {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct DecodeTable {
  std::int8_t value[256];
  constexpr DecodeTable() : value() {
    for (auto& v : value) v = -1;
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  }
};
constexpr DecodeTable kDecode;

}  // namespace

Base64Encoder::Base64Encoder(ByteSink& out, std::size_t line_length)
    : out_(out), line_length_(line_length == 0 ? kBase64SingleLine : line_length) {}

MimeResult Base64Encoder::Drain() {
  if (error_ == kMimeOk && buffered_ > 0) {
    error_ = out_.Write(std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffered_));
  }
  buffered_ = 0;
  return error_;
}

// The line writer: a line break goes in before a character that would not fit, so
// a group may be split across lines and no break follows the last line.
void Base64Encoder::PutGroup(const char* group) {
  if (line_used_ + 4 <= line_length_) {
    std::copy(group, group + 4, buffer_.data() + buffered_);
    buffered_ += 4;
    line_used_ += 4;
    return;
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (line_used_ >= line_length_) {
      buffer_[buffered_++] = '\r';
      buffer_[buffered_++] = '\n';
      line_used_ = 0;
    }
    buffer_[buffered_++] = group[i];
    ++line_used_;
  }
}

MimeResult Base64Encoder::Write(std::span<const std::uint8_t> block) {
  if (error_ != kMimeOk) return error_;
  std::size_t i = 0;
  // Room for one group with its line breaks (a split group adds up to 8 bytes).
  constexpr std::size_t kRoom = 16;
  if (carry_len_ > 0) {
    while (carry_len_ < 2 && i < block.size()) carry_[carry_len_++] = block[i++];
    if (carry_len_ == 2 && i < block.size()) {
      if (buffered_ + kRoom > buffer_.size() && Drain() != kMimeOk) return error_;
      std::uint32_t v = (carry_[0] << 16) | (carry_[1] << 8) | block[i++];
      char g[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
      PutGroup(g);
      carry_len_ = 0;
    }
  }
  for (; i + 3 <= block.size(); i += 3) {
    if (buffered_ + kRoom > buffer_.size() && Drain() != kMimeOk) return error_;
    std::uint32_t v = (block[i] << 16) | (block[i + 1] << 8) | block[i + 2];
    if (line_used_ + 4 <= line_length_) {
      char* p = buffer_.data() + buffered_;
      p[0] = kAlphabet[v >> 18];
      p[1] = kAlphabet[(v >> 12) & 63];
      p[2] = kAlphabet[(v >> 6) & 63];
      p[3] = kAlphabet[v & 63];
      buffered_ += 4;
      line_used_ += 4;
    } else {
      char g[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
      PutGroup(g);
    }
  }
  while (i < block.size()) carry_[carry_len_++] = block[i++];
  return kMimeOk;
}

MimeResult Base64Encoder::Finish() {
  if (error_ != kMimeOk) return error_;
  if (buffered_ + 16 > buffer_.size() && Drain() != kMimeOk) return error_;
  if (carry_len_ == 1) {
    std::uint32_t v = carry_[0] << 16;
    char g[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
    PutGroup(g);
  } else if (carry_len_ == 2) {
    std::uint32_t v = (carry_[0] << 16) | (carry_[1] << 8);
    char g[4] = {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
    PutGroup(g);
  }
  carry_len_ = 0;
  return Drain();
}

MimeResult Base64Decoder::Drain() {
  if (error_ == kMimeOk && buffered_ > 0) error_ = out_.Write(std::span(buffer_.data(), buffered_));
  buffered_ = 0;
  return error_;
}

void Base64Decoder::EndQuantum() {
  if (count_ == 2) {
    buffer_[buffered_++] = static_cast<std::uint8_t>(quantum_ >> 4);
  } else if (count_ == 3) {
    buffer_[buffered_++] = static_cast<std::uint8_t>(quantum_ >> 10);
    buffer_[buffered_++] = static_cast<std::uint8_t>(quantum_ >> 2);
  }
  quantum_ = 0;
  count_ = 0;
}

MimeResult Base64Decoder::Write(std::span<const std::uint8_t> block) {
  if (error_ != kMimeOk) return error_;
  for (std::size_t i = 0; i < block.size(); ++i) {
    // Whole quanta of four alphabet characters go straight through.
    while (count_ == 0 && i + 4 <= block.size()) {
      std::int8_t a = kDecode.value[block[i]], b = kDecode.value[block[i + 1]], c = kDecode.value[block[i + 2]],
                  d = kDecode.value[block[i + 3]];
      if ((a | b | c | d) < 0) break;
      if (buffered_ + 3 > buffer_.size() && Drain() != kMimeOk) return error_;
      std::uint32_t q = (static_cast<std::uint32_t>(a) << 18) | (static_cast<std::uint32_t>(b) << 12) |
                        (static_cast<std::uint32_t>(c) << 6) | static_cast<std::uint32_t>(d);
      buffer_[buffered_++] = static_cast<std::uint8_t>(q >> 16);
      buffer_[buffered_++] = static_cast<std::uint8_t>(q >> 8);
      buffer_[buffered_++] = static_cast<std::uint8_t>(q);
      i += 4;
    }
    if (i >= block.size()) break;
    std::uint8_t c = block[i];
    std::int8_t v = kDecode.value[c];
    if (v < 0) {
      if (c == '=') {
        if (buffered_ + 3 > buffer_.size() && Drain() != kMimeOk) return error_;
        EndQuantum();
      }
      continue;
    }
    quantum_ = (quantum_ << 6) | static_cast<std::uint32_t>(v);
    if (++count_ == 4) {
      if (buffered_ + 3 > buffer_.size() && Drain() != kMimeOk) return error_;
      buffer_[buffered_++] = static_cast<std::uint8_t>(quantum_ >> 16);
      buffer_[buffered_++] = static_cast<std::uint8_t>(quantum_ >> 8);
      buffer_[buffered_++] = static_cast<std::uint8_t>(quantum_);
      quantum_ = 0;
      count_ = 0;
    }
  }
  return kMimeOk;
}

MimeResult Base64Decoder::Finish() {
  if (error_ != kMimeOk) return error_;
  if (buffered_ + 3 > buffer_.size() && Drain() != kMimeOk) return error_;
  EndQuantum();
  return Drain();
}

std::string Base64Encode(std::span<const std::uint8_t> bytes, std::size_t line_length) {
  StringSink sink;
  Base64Encoder encoder(sink, line_length);
  (void)encoder.Write(bytes);  // a string sink cannot fail
  (void)encoder.Finish();
  return sink.Take();
}

std::string Base64Decode(std::string_view text) {
  StringSink sink;
  Base64Decoder decoder(sink);
  (void)decoder.Write(AsBytes(text));
  (void)decoder.Finish();
  return sink.Take();
}

}  // namespace mime
