#pragma once
// The frames exchanged with a window of another process (window_remote.h).
// Internal to the window system.
//
// A frame is a 12-byte header followed by a body, all little-endian:
//   magic "DCWS" (4 bytes), version u16 (1), type u16, body length u32.
// A request's type is its operation; the reply's type is the operation | 0x8000.
// Strings are a u32 count of UTF-16 units followed by the units.
//
//   ping           hwnd u64 (0: the listening window)
//   find           class str, has_title u8, [title str]
//   send           hwnd u64, msg u32, wparam u64, lparam u64, has_copy u8,
//                  [copy kind u64, size u32, bytes]
//   post           hwnd u64, msg u32, wparam u64, lparam u64
//   set-foreground hwnd u64
//   reply          ok u8, result i64, hwnd u64, class str, title str
//
// Decoding is strict: every field must be there, sizes stay within the limits
// below and the body must be used up exactly.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace platform::window_wire {

inline constexpr std::uint8_t kMagic[4] = {'D', 'C', 'W', 'S'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::size_t kMaxStringUnits = 1024;
inline constexpr std::size_t kMaxBodySize = kMaxCopyDataBytes + 64;
inline constexpr std::uint16_t kReplyBit = 0x8000;

enum class Op : std::uint16_t { kPing = 1, kFind = 2, kSend = 3, kPost = 4, kSetForeground = 5 };

struct Request {
  Op op = Op::kPing;
  std::uint64_t hwnd = 0;
  std::u16string class_name;
  std::optional<std::u16string> title;
  std::uint32_t msg = 0;
  std::uint64_t wparam = 0;
  std::uint64_t lparam = 0;
  bool has_copy = false;
  std::uint64_t copy_kind = 0;
  std::vector<std::uint8_t> copy_data;
};

struct Reply {
  bool ok = false;
  std::int64_t result = 0;
  std::uint64_t hwnd = 0;
  std::u16string class_name;
  std::u16string title;
};

struct Header {
  std::uint16_t type = 0;
  std::uint32_t length = 0;
};

// Checks magic, version and the length limit. bytes holds at least kHeaderSize bytes.
std::optional<Header> ParseHeader(std::span<const std::uint8_t> bytes);

// Whole frames, header included. Oversized fields are not checked here: the
// caller keeps within the limits (the decoder refuses what is not).
std::vector<std::uint8_t> EncodeRequest(const Request& request);
std::vector<std::uint8_t> EncodeReply(Op op, const Reply& reply);

// Bodies, by the type from the header; nullopt for anything malformed.
std::optional<Request> DecodeRequest(std::uint16_t type, std::span<const std::uint8_t> body);
std::optional<Reply> DecodeReply(Op expected, std::uint16_t type, std::span<const std::uint8_t> body);

}  // namespace platform::window_wire
