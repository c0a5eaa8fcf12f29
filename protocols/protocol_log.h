#pragma once
// The protocol log of the SMTP and POP3 clients: one call per line sent or
// received, marked by its direction. The activity log writes these lines as
// "S " and "R " lines; the callback runs on the client's thread.

#include <functional>
#include <string>
#include <string_view>

namespace protocols {

// kNote: a line of the client's own (no direction mark).
enum class LogDirection : int { kSent = 0, kReceived = 1, kNote = 2 };

using ProtocolLogSink = std::function<void(LogDirection direction, std::string_view line)>;

// Log levels shared by both clients: a line is written only when its level is
// in the sink's mask.
inline constexpr unsigned kLogLines = 1;        // commands, replies, status lines
inline constexpr unsigned kLogCredentials = 2;  // show user names and passwords instead of the mask

// What a credential is written as when kLogCredentials is not in the mask.
inline constexpr std::string_view kMaskedCredential = "********";

// A line as the log sink gets it. A server's line may hold a bare LF or CR
// (only CR LF ends it); written as it came, the rest would stand in the log
// as a line of its own, a forged "S " or "R " line. Control characters
// other than tab are shown as "?".
inline std::string LoggableLine(std::string_view line) {
  std::string shown(line);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7F) c = '?';
  }
  return shown;
}

}  // namespace protocols
