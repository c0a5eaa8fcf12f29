#pragma once
// The DATA stream of SMTP, made safe for the end-of-data mark as it streams:
// a "." at the start of any line (the very first line included) is doubled,
// so the server, which drops the first "." of such a line, gets the message
// back exactly. A bare LF is sent as CR LF; nothing else changes. Lines end
// at CR LF. The state between
// calls is one flag pair, so a line start that falls on the edge of a read is
// found like any other, and nothing is held in memory beyond the piece.
//
// Finish appends the end-of-data mark: CR LF "." CR LF, or only "." CR LF when
// the data already ended with CR LF (so no blank line is added).

#include <cstdint>
#include <span>
#include <string>

namespace protocols {

class DotStuffer {
 public:
  // Appends the stuffed form of `in` to `out`.
  void Write(std::span<const std::uint8_t> in, std::string* out);
  void Finish(std::string* out);

 private:
  bool at_line_start_ = true;  // the next byte starts a line
  bool after_cr_ = false;
  bool ended_line_ = false;  // the data so far ends with CR LF (false while empty)
};

}  // namespace protocols
