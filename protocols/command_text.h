#pragma once
// Values that go into a command line (addresses, domains, user names,
// passwords). A line break in one would end the command early and let the
// rest be read as a command of its own; a NUL splits SASL PLAIN's fields; so
// a value holding any control character (0x00-0x1F, 0x7F) is refused before
// anything of its command is sent.

#include <string_view>

namespace protocols {

inline bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// A whole command line may hold tabs but never CR, LF or NUL.
inline bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace protocols
