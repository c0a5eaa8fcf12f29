#include "protocols/dot_stuffer.h"

namespace protocols {

void DotStuffer::Write(std::span<const std::uint8_t> in, std::string* out) {
  out->reserve(out->size() + in.size() + in.size() / 64 + 2);
  for (std::uint8_t b : in) {
    const char c = static_cast<char>(b);
    // A bare LF is no line end in SMTP, yet some servers take it for one, so
    // a "." after it could end the message early: it is sent as CR LF.
    if (c == '\n' && !after_cr_) out->push_back('\r');
    if (at_line_start_ && c == '.') out->push_back('.');
    out->push_back(c);
    at_line_start_ = c == '\n';
    after_cr_ = c == '\r';
    ended_line_ = at_line_start_;
  }
}

void DotStuffer::Finish(std::string* out) { out->append(ended_line_ ? ".\r\n" : "\r\n.\r\n"); }

}  // namespace protocols
