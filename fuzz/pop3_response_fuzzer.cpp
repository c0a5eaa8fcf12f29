// Reads arbitrary bytes as what a POP3 server says: every line as a status
// line, greeting, CAPA line, STAT reply and LIST and UIDL entry, and the whole
// input as a SASL challenge (base64, and the NTLM challenge message inside
// it). Nothing may crash, and what is parsed must hold together: the line as
// logged holds no line break, a timestamp is a "<...>" piece of its line,
// numbers are the line's digits, a unique id has no spaces.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocols/ntlm.h"
#include "protocols/pop3_response.h"
#include "protocols/protocol_log.h"
#include "protocols/sasl_authenticator.h"

namespace {

void CheckLine(std::string_view line) {
  (void)protocols::ClassifyPop3Status(line);
  const std::string stamp = protocols::ApopTimestamp(line);
  if (!stamp.empty() && (stamp.front() != '<' || stamp.back() != '>' || line.find(stamp) == std::string_view::npos)) {
    std::abort();
  }
  unsigned capabilities = 0, mechanisms = 0;
  protocols::ReadPop3CapaLine(line, &capabilities, &mechanisms);
  if (capabilities > 255 || mechanisms > 63) std::abort();
  (void)protocols::ParsePop3Stat(line);
  if (const auto entry = protocols::ParsePop3ListLine(line)) {
    std::string_view digits = line.substr(0, line.find(' '));
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    if (digits != std::to_string(entry->number)) std::abort();
  }
  if (const auto entry = protocols::ParsePop3UidlLine(line)) {
    if (entry->unique_id.empty() || entry->unique_id.find(' ') != std::string::npos ||
        line.find(entry->unique_id) == std::string_view::npos) {
      std::abort();
    }
  }
  // What the log shows of a line keeps its length and can never break it.
  const std::string shown = protocols::LoggableLine(line);
  if (shown.size() != line.size() || shown.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    std::abort();
  }
  const std::string_view unstuffed = protocols::UnstuffPop3Line(line);
  if (unstuffed.size() + (!line.empty() && line.front() == '.' ? 1 : 0) != line.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  while (at <= input.size()) {
    std::size_t end = input.find("\r\n", at);
    if (end == std::string_view::npos) end = input.size();
    CheckLine(input.substr(at, end - at));
    at = end + 2;
  }
  std::string decoded;
  if (protocols::DecodeBase64Strict(input, &decoded) && decoded.size() > input.size()) std::abort();
  const std::string_view raw = decoded.empty() ? input : std::string_view(decoded);
  if (const auto challenge = protocols::ntlm::ParseChallengeMessage(
          {reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()})) {
    if (challenge->target_info.size() > raw.size()) std::abort();
    protocols::ntlm::AuthenticateInput input_values;
    input_values.user = "user";
    input_values.password = "password";
    const auto message = protocols::ntlm::AuthenticateMessage(*challenge, input_values);
    if (!message.empty() && message.size() < 72) std::abort();
  }
  return 0;
}
