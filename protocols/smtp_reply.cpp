#include "protocols/smtp_reply.h"

#include "platform/text.h"
#include "protocols/sasl_authenticator.h"

namespace protocols {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::uint64_t LeadingDecimal(std::string_view text) {
  std::uint64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (next / 10 != value) return UINT64_MAX;  // absurdly large: no limit worth the name
    value = next;
  }
  return value;
}

}  // namespace

MailResult PackSmtpReply(std::string_view line) {
  if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return kSmtpMalformedReply;
  if (line.size() >= 4 && line[3] != ' ' && line[3] != '-') return kSmtpMalformedReply;
  const int first = line[0] - '0';
  const unsigned last_two = static_cast<unsigned>((line[1] - '0') * 10 + (line[2] - '0'));
  unsigned reply_class;
  switch (first) {
    case 2: reply_class = 1; break;
    case 4: reply_class = 2; break;
    case 5: reply_class = 3; break;
    default: reply_class = static_cast<unsigned>(first) & 3; break;
  }
  return kSmtpFamily | (reply_class << 14) | (((last_two + 10) & 0x7F) << 7) | last_two;
}

MailResult SmtpReplyNumber(MailResult packed) {
  if (((packed >> 7) & 0x7F) == 0) return packed;
  static constexpr unsigned kHundreds[4] = {0, 200, 400, 500};
  return kSmtpFamily + kHundreds[(packed >> 14) & 3] + (packed & 0x7F);
}

int SmtpReplyClass(MailResult packed) {
  if (((packed >> 7) & 0x7F) == 0) return 0;
  return static_cast<int>((packed >> 14) & 3);
}

EhloCapabilities ParseEhloCapabilities(const std::vector<std::string>& lines) {
  EhloCapabilities found;
  for (const std::string& line : lines) {
    const std::string keyword = platform::AsciiLower(std::string_view(line).substr(std::min<std::size_t>(4, line.size())));
    const std::string_view k = keyword;
    if (k.rfind("auth=", 0) == 0 || k.rfind("auth ", 0) == 0) {
      found.capabilities |= kSmtpAuth;
      found.mechanisms |= ParseSaslMechanismList(Trim(k.substr(5)));
    } else if (k == "expn") {
      found.capabilities |= kSmtpExpn;
    } else if (k == "vrfy") {
      found.capabilities |= kSmtpVrfy;
    } else if (k.rfind("size", 0) == 0) {
      found.capabilities |= kSmtpSize;
      found.max_size = LeadingDecimal(Trim(k.substr(4)));
    } else if (k == "dsn") {
      found.capabilities |= kSmtpDsn;
    } else if (k == "enhancedstatuscodes") {
      found.capabilities |= kSmtpEnhancedStatusCodes;
    } else if (k == "starttls") {
      found.capabilities |= kSmtpStartTls;
    }
  }
  return found;
}

std::string SanitizeHeloDomain(std::string_view name, std::string_view local_address) {
  std::string kept;
  for (char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '-' || c == '.') kept.push_back(c);
  }
  if (kept.empty() || kept.find('.') == std::string::npos) return "[" + std::string(local_address) + "]";
  return kept;
}

}  // namespace protocols
