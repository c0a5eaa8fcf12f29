// Reads arbitrary bytes as what a peer process sends to a window's socket: a
// frame header, then the body as a request or a reply. Whatever the decoder
// accepts must encode back to exactly the bytes it came from (the wire form is
// strict, so there is one encoding per message); the body is also offered to
// every request and reply type directly, bypassing the header check.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "platform/window_wire.h"

namespace {

namespace ww = platform::window_wire;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "window wire: %s\n", what);
  __builtin_trap();
}

std::vector<std::uint8_t> BodyOf(const std::vector<std::uint8_t>& frame) {
  return std::vector<std::uint8_t>(frame.begin() + ww::kHeaderSize, frame.end());
}

void CheckBody(std::uint16_t type, std::span<const std::uint8_t> body) {
  if (auto request = ww::DecodeRequest(type, body)) {
    std::vector<std::uint8_t> frame = ww::EncodeRequest(*request);
    auto header = ww::ParseHeader(frame);
    if (!header || header->type != type || header->length != body.size()) Fail("request header does not match");
    std::vector<std::uint8_t> again = BodyOf(frame);
    if (!std::equal(again.begin(), again.end(), body.begin(), body.end())) Fail("request does not encode back");
  }
  for (std::uint16_t op = 1; op <= 5; ++op) {
    auto reply = ww::DecodeReply(static_cast<ww::Op>(op), type, body);
    if (!reply) continue;
    if (type != (op | ww::kReplyBit)) Fail("reply accepted under another type");
    std::vector<std::uint8_t> again = BodyOf(ww::EncodeReply(static_cast<ww::Op>(op), *reply));
    if (!std::equal(again.begin(), again.end(), body.begin(), body.end())) Fail("reply does not encode back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> input(data, size);
  if (size >= ww::kHeaderSize) {
    if (auto header = ww::ParseHeader(input.first(ww::kHeaderSize))) {
      if (header->length > ww::kMaxBodySize) Fail("header accepted an oversized body");
      std::span<const std::uint8_t> rest = input.subspan(ww::kHeaderSize);
      if (rest.size() >= header->length) CheckBody(header->type, rest.first(header->length));
    }
  }
  // The whole input as a body of each type, known or not.
  for (std::uint16_t type : {0, 1, 2, 3, 4, 5, 6, 0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006})
    CheckBody(type, input);
  return 0;
}
