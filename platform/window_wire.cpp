#include "platform/window_wire.h"

#include <algorithm>
#include <cstring>

namespace platform::window_wire {
namespace {

class Writer {
 public:
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) { Le(v, 2); }
  void U32(std::uint32_t v) { Le(v, 4); }
  void U64(std::uint64_t v) { Le(v, 8); }
  void Str(const std::u16string& s) {
    U32(static_cast<std::uint32_t>(s.size()));
    for (char16_t c : s) U16(c);
  }
  void Bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  std::vector<std::uint8_t> Frame(std::uint16_t type) {
    std::vector<std::uint8_t> frame(kMagic, kMagic + 4);
    Writer header;
    header.U16(kVersion);
    header.U16(type);
    header.U32(static_cast<std::uint32_t>(out_.size()));
    frame.insert(frame.end(), header.out_.begin(), header.out_.end());
    frame.insert(frame.end(), out_.begin(), out_.end());
    return frame;
  }

 private:
  void Le(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t> out_;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  bool U8(std::uint8_t* v) {
    std::uint64_t x;
    if (!Le(&x, 1)) return false;
    *v = static_cast<std::uint8_t>(x);
    return true;
  }
  bool Flag(bool* v) {
    std::uint8_t x;
    if (!U8(&x) || x > 1) return false;
    *v = x == 1;
    return true;
  }
  bool U32(std::uint32_t* v) {
    std::uint64_t x;
    if (!Le(&x, 4)) return false;
    *v = static_cast<std::uint32_t>(x);
    return true;
  }
  bool U64(std::uint64_t* v) { return Le(v, 8); }
  bool Str(std::u16string* s) {
    std::uint32_t n;
    if (!U32(&n) || n > kMaxStringUnits || Left() < std::size_t{n} * 2) return false;
    s->resize(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint64_t unit = 0;
      Le(&unit, 2);
      (*s)[i] = static_cast<char16_t>(unit);
    }
    return true;
  }
  bool Bytes(std::vector<std::uint8_t>* b, std::size_t n) {
    if (Left() < n) return false;
    b->assign(in_.begin() + pos_, in_.begin() + pos_ + n);
    pos_ += n;
    return true;
  }
  bool AtEnd() const { return pos_ == in_.size(); }

 private:
  std::size_t Left() const { return in_.size() - pos_; }
  bool Le(std::uint64_t* v, int n) {
    if (Left() < static_cast<std::size_t>(n)) return false;
    *v = 0;
    for (int i = 0; i < n; ++i) *v |= std::uint64_t{in_[pos_ + i]} << (8 * i);
    pos_ += n;
    return true;
  }
  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
};

bool KnownOp(std::uint16_t type) { return type >= 1 && type <= 5; }

}  // namespace

std::optional<Header> ParseHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderSize || !std::equal(kMagic, kMagic + 4, bytes.begin())) return std::nullopt;
  std::uint16_t version = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
  if (version != kVersion) return std::nullopt;
  Header header;
  header.type = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
  header.length = static_cast<std::uint32_t>(bytes[8]) | (static_cast<std::uint32_t>(bytes[9]) << 8) |
                  (static_cast<std::uint32_t>(bytes[10]) << 16) | (static_cast<std::uint32_t>(bytes[11]) << 24);
  if (header.length > kMaxBodySize) return std::nullopt;
  if (!KnownOp(header.type & ~kReplyBit)) return std::nullopt;
  return header;
}

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
  Writer w;
  switch (request.op) {
    case Op::kPing:
    case Op::kSetForeground:
      w.U64(request.hwnd);
      break;
    case Op::kFind:
      w.Str(request.class_name);
      w.U8(request.title ? 1 : 0);
      if (request.title) w.Str(*request.title);
      break;
    case Op::kSend:
    case Op::kPost:
      w.U64(request.hwnd);
      w.U32(request.msg);
      w.U64(request.wparam);
      w.U64(request.lparam);
      if (request.op == Op::kSend) {
        w.U8(request.has_copy ? 1 : 0);
        if (request.has_copy) {
          w.U64(request.copy_kind);
          w.U32(static_cast<std::uint32_t>(request.copy_data.size()));
          w.Bytes(request.copy_data);
        }
      }
      break;
  }
  return w.Frame(static_cast<std::uint16_t>(request.op));
}

std::vector<std::uint8_t> EncodeReply(Op op, const Reply& reply) {
  Writer w;
  w.U8(reply.ok ? 1 : 0);
  w.U64(static_cast<std::uint64_t>(reply.result));
  w.U64(reply.hwnd);
  w.Str(reply.class_name);
  w.Str(reply.title);
  return w.Frame(static_cast<std::uint16_t>(static_cast<std::uint16_t>(op) | kReplyBit));
}

std::optional<Request> DecodeRequest(std::uint16_t type, std::span<const std::uint8_t> body) {
  if (!KnownOp(type)) return std::nullopt;
  Request request;
  request.op = static_cast<Op>(type);
  Reader r(body);
  bool ok = true;
  switch (request.op) {
    case Op::kPing:
    case Op::kSetForeground:
      ok = r.U64(&request.hwnd);
      break;
    case Op::kFind: {
      bool has_title = false;
      ok = r.Str(&request.class_name) && r.Flag(&has_title);
      if (ok && has_title) {
        request.title.emplace();
        ok = r.Str(&*request.title);
      }
      break;
    }
    case Op::kSend:
    case Op::kPost:
      ok = r.U64(&request.hwnd) && r.U32(&request.msg) && r.U64(&request.wparam) && r.U64(&request.lparam);
      if (ok && request.op == Op::kSend) {
        ok = r.Flag(&request.has_copy);
        if (ok && request.has_copy) {
          std::uint32_t size = 0;
          ok = r.U64(&request.copy_kind) && r.U32(&size) && size <= kMaxCopyDataBytes &&
               r.Bytes(&request.copy_data, size);
        }
      }
      break;
  }
  if (!ok || !r.AtEnd()) return std::nullopt;
  return request;
}

std::optional<Reply> DecodeReply(Op expected, std::uint16_t type, std::span<const std::uint8_t> body) {
  if (type != (static_cast<std::uint16_t>(expected) | kReplyBit)) return std::nullopt;
  Reply reply;
  Reader r(body);
  std::uint64_t result = 0;
  if (!r.Flag(&reply.ok) || !r.U64(&result) || !r.U64(&reply.hwnd) || !r.Str(&reply.class_name) ||
      !r.Str(&reply.title) || !r.AtEnd())
    return std::nullopt;
  reply.result = static_cast<std::int64_t>(result);
  return reply;
}

}  // namespace platform::window_wire
