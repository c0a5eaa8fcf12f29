#include "protocols/pop3_response.h"

#include "platform/text.h"
#include "protocols/sasl_authenticator.h"

namespace protocols {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Leading decimal digits of `text` (at least one, no overflow); the rest in *rest.
template <typename T>
std::optional<T> Number(std::string_view text, std::string_view* rest) {
  std::size_t k = 0;
  T value = 0;
  while (k < text.size() && text[k] >= '0' && text[k] <= '9') {
    const T digit = static_cast<T>(text[k] - '0');
    if (value > (static_cast<T>(~T{0}) - digit) / 10) return std::nullopt;
    value = static_cast<T>(value * 10 + digit);
    ++k;
  }
  if (k == 0) return std::nullopt;
  *rest = text.substr(k);
  return value;
}

}  // namespace

Pop3Status ClassifyPop3Status(std::string_view line) {
  if (line.empty()) return Pop3Status::kBad;
  if (line.front() == '+') return Pop3Status::kOk;
  if (line.front() == '-') return Pop3Status::kError;
  return Pop3Status::kBad;
}

std::string ApopTimestamp(std::string_view greeting) {
  const std::size_t open = greeting.find('<');
  if (open == std::string_view::npos) return {};
  const std::size_t close = greeting.find('>', open);
  if (close == std::string_view::npos) return {};
  return std::string(greeting.substr(open, close - open + 1));
}

void ReadPop3CapaLine(std::string_view line, unsigned* capabilities, unsigned* mechanisms) {
  const std::string lower = platform::AsciiLower(line);
  if (lower == "user") {
    *capabilities |= kPop3User;
  } else if (lower == "apop") {
    *capabilities |= kPop3Apop;
  } else if (lower == "top") {
    *capabilities |= kPop3Top;
  } else if (lower == "uidl") {
    *capabilities |= kPop3Uidl;
  } else if (lower == "pipelining") {
    *capabilities |= kPop3Pipelining;
  } else if (lower == "stls") {
    *capabilities |= kPop3Stls;
  } else if (lower == "last") {
    *capabilities |= kPop3Last;
  } else if (lower.rfind("sasl ", 0) == 0) {
    *capabilities |= kPop3Sasl;
    *mechanisms = ParseSaslMechanismList(Trim(std::string_view(lower).substr(5)));
  }
}

std::optional<Pop3Stat> ParsePop3Stat(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::string_view rest = Trim(line.substr(space + 1));
  Pop3Stat stat;
  const auto count = Number<std::uint32_t>(rest, &rest);
  if (!count) return std::nullopt;
  const auto size = Number<std::uint64_t>(Trim(rest), &rest);
  if (!size) return std::nullopt;
  stat.count = *count;
  stat.size = *size;
  return stat;
}

std::optional<Pop3ListEntry> ParsePop3ListLine(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::string_view rest;
  const auto number = Number<std::uint32_t>(line.substr(0, space), &rest);
  if (!number || !rest.empty()) return std::nullopt;
  const auto size = Number<std::uint64_t>(Trim(line.substr(space + 1)), &rest);
  if (!size) return std::nullopt;
  return Pop3ListEntry{*number, *size};
}

std::optional<Pop3UidlEntry> ParsePop3UidlLine(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::string_view rest;
  const auto number = Number<std::uint32_t>(line.substr(0, space), &rest);
  if (!number || !rest.empty()) return std::nullopt;
  std::string_view id = Trim(line.substr(space + 1));
  id = id.substr(0, id.find(' '));
  if (id.empty()) return std::nullopt;
  return Pop3UidlEntry{*number, std::string(id)};
}

}  // namespace protocols
