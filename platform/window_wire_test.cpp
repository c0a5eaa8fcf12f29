// The frames between processes: round trips, and strict refusal of anything
// short, long or out of bounds.

#include "platform/window_wire.h"

#include <gtest/gtest.h>

namespace platform::window_wire {
namespace {

std::span<const std::uint8_t> Body(const std::vector<std::uint8_t>& frame) {
  return std::span<const std::uint8_t>(frame).subspan(kHeaderSize);
}

std::vector<Request> SampleRequests() {
  std::vector<Request> out;
  Request ping;
  ping.op = Op::kPing;
  ping.hwnd = 0x123456789ULL;
  out.push_back(ping);
  Request find;
  find.op = Op::kFind;
  find.class_name = u"CeWnd:CorvaneEMMainWnd";
  out.push_back(find);
  find.title = u"Dictalo \u00e9";
  out.push_back(find);
  Request send;
  send.op = Op::kSend;
  send.hwnd = 0x10001;
  send.msg = 0x14F5;
  send.wparam = ~0ULL;
  send.lparam = 0x8000000000000001ULL;
  out.push_back(send);
  send.msg = WM_COPYDATA;
  send.has_copy = true;
  send.copy_kind = 1;
  send.copy_data = {'-', 0, 'r', 0, 0, 0};
  out.push_back(send);
  Request post;
  post.op = Op::kPost;
  post.hwnd = 7;
  post.msg = WM_USER;
  post.wparam = 2;
  out.push_back(post);
  Request fg;
  fg.op = Op::kSetForeground;
  fg.hwnd = 9;
  out.push_back(fg);
  return out;
}

TEST(WindowWireTest, RequestsAndRepliesSurviveARoundTrip) {
  for (const Request& request : SampleRequests()) {
    SCOPED_TRACE(static_cast<int>(request.op));
    auto frame = EncodeRequest(request);
    auto header = ParseHeader(frame);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->type, static_cast<std::uint16_t>(request.op));
    ASSERT_EQ(header->length, frame.size() - kHeaderSize);
    auto decoded = DecodeRequest(header->type, Body(frame));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(EncodeRequest(*decoded), frame);
    EXPECT_EQ(decoded->hwnd, request.hwnd);
    EXPECT_EQ(decoded->title, request.title);
    EXPECT_EQ(decoded->copy_data, request.copy_data);
  }
  Reply reply{true, -42, 0x10002, u"Cls", u"Title"};
  auto frame = EncodeReply(Op::kFind, reply);
  auto header = ParseHeader(frame);
  ASSERT_TRUE(header);
  auto decoded = DecodeReply(Op::kFind, header->type, Body(frame));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->result, -42);
  EXPECT_EQ(decoded->title, u"Title");
  EXPECT_FALSE(DecodeReply(Op::kSend, header->type, Body(frame)));  // answers another question
}

TEST(WindowWireTest, EveryTruncationAndAnyTrailingByteIsRefused) {
  for (const Request& request : SampleRequests()) {
    auto frame = EncodeRequest(request);
    std::vector<std::uint8_t> body(frame.begin() + kHeaderSize, frame.end());
    for (std::size_t n = 0; n < body.size(); ++n)
      EXPECT_FALSE(DecodeRequest(static_cast<std::uint16_t>(request.op), std::span(body.data(), n))) << n;
    body.push_back(0);
    EXPECT_FALSE(DecodeRequest(static_cast<std::uint16_t>(request.op), body));
  }
}

TEST(WindowWireTest, HeadersAndFieldsOutsideTheLimitsAreRefused) {
  auto good = EncodeRequest(SampleRequests()[0]);
  ASSERT_TRUE(ParseHeader(good));
  struct Case {
    std::size_t offset;
    std::uint8_t value;
  } corruptions[] = {{0, 'X'}, {4, 2}, {6, 0}, {6, 6}, {7, 0x40}, {11, 0x01}};
  for (const auto& c : corruptions) {
    auto frame = good;
    frame[c.offset] = c.value;
    EXPECT_FALSE(ParseHeader(frame)) << c.offset;
  }
  EXPECT_FALSE(ParseHeader(std::span(good.data(), kHeaderSize - 1)));

  // A string count beyond the limit, a flag that is neither 0 nor 1, copy data
  // larger than allowed.
  std::vector<std::uint8_t> long_string{0x01, 0x04, 0, 0};  // 1025 units
  long_string.resize(4 + 1025 * 2 + 1, 0);
  EXPECT_FALSE(DecodeRequest(static_cast<std::uint16_t>(Op::kFind), long_string));
  std::vector<std::uint8_t> bad_flag{0, 0, 0, 0, 2};
  EXPECT_FALSE(DecodeRequest(static_cast<std::uint16_t>(Op::kFind), bad_flag));
  // A send whose copy data says (and has) one byte more than allowed.
  Request send = SampleRequests()[4];
  send.copy_data.assign(kMaxCopyDataBytes + 1, 0x5A);
  auto frame = EncodeRequest(send);
  EXPECT_FALSE(DecodeRequest(static_cast<std::uint16_t>(Op::kSend), Body(frame)));
  send.copy_data.pop_back();
  frame = EncodeRequest(send);
  EXPECT_TRUE(DecodeRequest(static_cast<std::uint16_t>(Op::kSend), Body(frame)));
}

}  // namespace
}  // namespace platform::window_wire
