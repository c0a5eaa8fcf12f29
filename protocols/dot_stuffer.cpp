#include "protocols/dot_stuffer.h"

namespace protocols {

void DotStuffer::Write(std::span<const std::uint8_t> in, std::string* out) {
  out->reserve(out->size() + in.size() + in.size() / 64 + 2);
  for (std::uint8_t b : in) {
    const char c = static_cast<char>(b);
    if (at_line_start_ && c == '.') out->push_back('.');
    out->push_back(c);
    at_line_start_ = after_cr_ && c == '\n';
    after_cr_ = c == '\r';
    ended_line_ = at_line_start_;
  }
}

void DotStuffer::Finish(std::string* out) { out->append(ended_line_ ? ".\r\n" : "\r\n.\r\n"); }

}  // namespace protocols
