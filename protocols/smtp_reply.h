#pragma once
// SMTP replies as data: packing a reply line into a 0x80C3xxxx result and
// reading one back, the reply line rules and the EHLO capability list. Pure
// functions, shared by the client and the reply fuzzer.
//
// Packing a three-digit reply N: bits 14-15 = class (first digit 2 → 1,
// 4 → 2, 5 → 3, any other digit masked to 2 bits), bits 7-13 = (N mod 100 +
// 10) & 0x7F (never 0, so it marks a packed reply), bits 0-6 = N mod 100.
// The fixed values below have bits 7-13 clear.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/mail_result.h"

namespace protocols {

inline constexpr MailResult kSmtpFamily = 0x80C30000u;
inline constexpr MailResult kSmtpMalformedReply = 0x80C30001u;
inline constexpr MailResult kSmtpSizeNotConfirmed = 0x80C30002u;
inline constexpr MailResult kSmtpNoStartTls = 0x80C30003u;
// An address or the HELO domain holds a control character; the command was
// not sent.
inline constexpr MailResult kSmtpUnsafeArgument = 0x80C30004u;
inline constexpr MailResult kSmtpNoMechanism = 0x80C30217u;

// SmtpCapabilities bits from EHLO.
enum SmtpCapability : unsigned {
  kSmtpExpn = 1,
  kSmtpVrfy = 2,
  kSmtpAuth = 4,
  kSmtpSize = 8,
  kSmtpDsn = 16,
  kSmtpEnhancedStatusCodes = 32,
  kSmtpStartTls = 64,
};

// The packed error for a reply line; kSmtpMalformedReply when the line is
// shorter than 3 characters, its 4th character is neither space nor "-", or
// its first three are not digits.
MailResult PackSmtpReply(std::string_view line);
// 0x80C30000 + the reply number for a packed value (200, 400 or 500 + the
// last two digits; 0 + the last two digits for class 0), the value itself
// for a fixed one.
MailResult SmtpReplyNumber(MailResult packed);
// 0 for a fixed value (bits 7-13 clear), else bits 14-15 (3 = permanent).
int SmtpReplyClass(MailResult packed);

// True while a reply goes on after this line (4th character "-").
inline bool IsSmtpContinuation(std::string_view line) { return line.size() >= 4 && line[3] == '-'; }

struct EhloCapabilities {
  unsigned capabilities = 0;  // SmtpCapability bits
  unsigned mechanisms = 0;    // SaslMechanism bits
  std::uint64_t max_size = 0;
};
// Reads every line of a 250 reply to EHLO, the first included.
EhloCapabilities ParseEhloCapabilities(const std::vector<std::string>& lines);

// The name for EHLO/HELO: only A-Z, a-z, 0-9, "-" and "." of `name` stay; an
// empty result or one without "." gives "[" + local_address + "]".
std::string SanitizeHeloDomain(std::string_view name, std::string_view local_address);

}  // namespace protocols
