#pragma once
// POP3 replies as data: status lines, the greeting's APOP timestamp, the CAPA
// and AUTH lists, STAT, and the LIST and UIDL entries. Pure functions, shared
// by the client and the response fuzzer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocols/mail_result.h"

namespace protocols {

inline constexpr MailResult kPop3GreetingRefused = 0x80C20001u;
inline constexpr MailResult kPop3BadReply = 0x80C20002u;  // neither "+" nor "-", empty, or unparsable
inline constexpr MailResult kPop3LoginRefused = 0x80C20003u;
inline constexpr MailResult kPop3StatRefused = 0x80C20004u;
inline constexpr MailResult kPop3ListRefused = 0x80C20005u;
inline constexpr MailResult kPop3DeleRefused = 0x80C20006u;
inline constexpr MailResult kPop3UidlRefused = 0x80C20009u;
inline constexpr MailResult kPop3RetrRefused = 0x80C2000Au;
inline constexpr MailResult kPop3NotSupported = 0x80C2000Cu;
// A user name or password for USER, PASS or APOP holds a control character;
// the command was not sent.
inline constexpr MailResult kPop3UnsafeArgument = 0x80C2000Du;

// Pop3Capabilities bits.
enum Pop3Capability : unsigned {
  kPop3User = 1,
  kPop3Apop = 2,
  kPop3Sasl = 4,
  kPop3Top = 8,
  kPop3Uidl = 16,
  kPop3Pipelining = 32,
  kPop3Stls = 64,
  kPop3Last = 128,
};
// What a server is assumed to offer until CAPA says otherwise: USER, UIDL, STLS.
inline constexpr unsigned kPop3DefaultCapabilities = kPop3User | kPop3Uidl | kPop3Stls;

enum class Pop3Status { kOk, kError, kBad };
// "+..." kOk, "-..." kError, anything else (the empty line too) kBad.
Pop3Status ClassifyPop3Status(std::string_view line);

// The text from the first "<" through the first ">" after it, or "".
std::string ApopTimestamp(std::string_view greeting);

// One CAPA line: adds its capability bit to *capabilities; a "SASL ..." line
// also replaces *mechanisms with its list.
void ReadPop3CapaLine(std::string_view line, unsigned* capabilities, unsigned* mechanisms);

// A line of a multi-line reply as the data it stands for: the first "." of
// a line that starts with one is the server's stuffing. Not for the final ".".
inline std::string_view UnstuffPop3Line(std::string_view line) {
  return !line.empty() && line.front() == '.' ? line.substr(1) : line;
}

struct Pop3Stat {
  std::uint32_t count = 0;
  std::uint64_t size = 0;
};
// "+OK count size": the first number after the first space, then the next.
std::optional<Pop3Stat> ParsePop3Stat(std::string_view line);

struct Pop3ListEntry {
  std::uint32_t number = 0;
  std::uint64_t size = 0;
};
// "number size".
std::optional<Pop3ListEntry> ParsePop3ListLine(std::string_view line);

struct Pop3UidlEntry {
  std::uint32_t number = 0;
  std::string unique_id;
};
// "number unique-id": the number up to the first space, the trimmed rest up
// to the next space.
std::optional<Pop3UidlEntry> ParsePop3UidlLine(std::string_view line);

}  // namespace protocols
