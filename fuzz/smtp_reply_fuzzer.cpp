// Reads arbitrary bytes as what an SMTP server says: lines grouped into
// replies by the continuation rule, each reply packed into a result and its
// lines read as an EHLO capability list. Packing must stay in the SMTP family
// and read back as a reply number of the same kind. The same bytes, cut at a
// point the input picks, also go through the DATA dot-stuffing, and a server
// that removes the stuffing must get them back exactly (bare LFs as CR LF).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/dot_stuffer.h"
#include "protocols/smtp_reply.h"

namespace {

void CheckReply(const std::vector<std::string>& lines) {
  const protocols::MailResult packed = protocols::PackSmtpReply(lines.front());
  if ((packed & 0xFFFF0000u) != protocols::kSmtpFamily) std::abort();
  const protocols::MailResult number = protocols::SmtpReplyNumber(packed);
  if (number < protocols::kSmtpFamily || number > protocols::kSmtpFamily + 599) std::abort();
  const int reply_class = protocols::SmtpReplyClass(packed);
  if (reply_class < 0 || reply_class > 3) std::abort();
  const std::string& first = lines.front();
  if (packed != protocols::kSmtpMalformedReply) {
    // A well-formed 2xx, 4xx or 5xx line reads back as its own number.
    const int code = (first[0] - '0') * 100 + (first[1] - '0') * 10 + (first[2] - '0');
    if ((first[0] == '2' || first[0] == '4' || first[0] == '5') &&
        number != protocols::kSmtpFamily + static_cast<unsigned>(code)) {
      std::abort();
    }
  }
  const auto found = protocols::ParseEhloCapabilities(lines);
  if (found.capabilities > 127 || found.mechanisms > 63) std::abort();
  const std::string domain = protocols::SanitizeHeloDomain(first, "127.0.0.1");
  if (domain.empty()) std::abort();
}

void CheckStuffing(std::string_view data, std::size_t cut) {
  protocols::DotStuffer stuffer;
  std::string wire;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  stuffer.Write({bytes, cut}, &wire);
  stuffer.Write({bytes + cut, data.size() - cut}, &wire);
  stuffer.Finish(&wire);
  // The server's side: lines up to "." with the first dot of each removed.
  std::string kept;
  std::size_t at = 0;
  bool ended = false;
  while (at < wire.size()) {
    const std::size_t end = wire.find("\r\n", at);
    if (end == std::string::npos) std::abort();
    std::string_view line(wire.data() + at, end - at);
    at = end + 2;
    if (line == ".") {
      ended = true;
      break;
    }
    if (!line.empty() && line.front() == '.') line.remove_prefix(1);
    kept.append(line);
    kept.append("\r\n");
  }
  if (!ended || at != wire.size()) std::abort();
  // A bare LF goes out as CR LF; everything else comes back as it was.
  std::string expected;
  for (std::size_t k = 0; k < data.size(); ++k) {
    if (data[k] == '\n' && (k == 0 || data[k - 1] != '\r')) expected.push_back('\r');
    expected.push_back(data[k]);
  }
  const bool had_line_end = expected.size() >= 2 && expected.compare(expected.size() - 2, 2, "\r\n") == 0;
  if (kept != expected + (had_line_end ? "" : "\r\n")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> reply;
  std::size_t at = 0;
  while (at < input.size()) {
    std::size_t end = input.find("\r\n", at);
    if (end == std::string_view::npos) end = input.size();
    reply.emplace_back(input.substr(at, end - at));
    at = end + 2;
    if (!protocols::IsSmtpContinuation(reply.back())) {
      CheckReply(reply);
      reply.clear();
    }
  }
  if (!reply.empty()) CheckReply(reply);
  CheckStuffing(input, size == 0 ? 0 : data[0] % (size + 1));
  return 0;
}
