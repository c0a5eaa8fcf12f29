// The value checks shared by the options dialogs and `dictaloctl settings set`.

#include "settings/settings_validation.h"

#include <charconv>
#include <limits>

#include "platform/text.h"

namespace settings {
namespace {

constexpr std::u16string_view kPortRange = u"Port number must be in range between 1 and 65535";

std::u16string Quoted(std::string_view text) { return u"\"" + platform::Utf8ToUtf16(text) + u"\""; }

std::u16string EmptyField(std::u16string_view field) {
  return u"The field \"" + std::u16string(field) + u"\" must not be empty";
}

// A decimal with an optional sign; the value saturates so that a long run of
// digits still counts as a number (out of any range) rather than as garbage.
std::optional<std::int64_t> ParseWholeNumber(std::u16string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
    if (value < (std::int64_t{1} << 40)) value = value * 10 + (text[i] - u'0');
  }
  return negative ? -value : value;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::u16string> CheckRange(std::string_view text, std::int64_t low, std::int64_t high) {
  std::optional<std::int64_t> value = ParseInteger(text);
  if (!value) return u"The value " + Quoted(text) + u" is not a valid number";
  if (*value < low || *value > high) {
    return u"The value " + Quoted(text) + u" must be between " + platform::Utf8ToUtf16(std::to_string(low)) +
           u" and " + platform::Utf8ToUtf16(std::to_string(high));
  }
  return std::nullopt;
}

// The type rules of the settings table, for the keys no dialog says more about.
std::optional<std::u16string> CheckType(SettingType type, std::string_view text) {
  switch (type) {
    case SettingType::Bool:
      if (platform::EqualsIgnoreAsciiCase(text, "true") || platform::EqualsIgnoreAsciiCase(text, "false") ||
          text == "1" || text == "0")
        return std::nullopt;
      return u"The value " + Quoted(text) + u" is not one of true, false, 1, 0";
    case SettingType::Int32:
      return CheckRange(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    case SettingType::UInt16:
      return CheckRange(text, 0, std::numeric_limits<std::uint16_t>::max());
    case SettingType::NarrowText:
      return std::nullopt;
    case SettingType::WideText:
      if (platform::Utf16ToUtf8(platform::Utf8ToUtf16(text)) != text) return u"The value is not valid UTF-8 text";
      return std::nullopt;
  }
  return std::nullopt;
}

bool Is(std::string_view key, std::string_view name) { return platform::EqualsIgnoreAsciiCase(key, name); }

}  // namespace

bool IsValidAddress(std::u16string_view address) {
  return !address.empty() && address.find(u'@') != std::u16string_view::npos &&
         address.find(u'.') != std::u16string_view::npos;
}

std::optional<std::u16string> CheckPortText(std::u16string_view text, std::u16string_view field) {
  if (text.empty()) return EmptyField(field);
  std::optional<std::int64_t> port = ParseWholeNumber(text);
  if (!port) return u"The value \"" + std::u16string(text) + u"\" is not a valid port number";
  if (*port < 1 || *port > 65535) return std::u16string(kPortRange);
  return std::nullopt;
}

std::optional<std::u16string> CheckRequiredText(std::u16string_view text, std::u16string_view field) {
  if (text.empty()) return EmptyField(field);
  return std::nullopt;
}

std::optional<std::u16string> CheckSslVersions(std::uint32_t versions) {
  constexpr std::uint32_t kSsl2 = 1, kSsl3 = 2, kTls1 = 4;
  if ((versions & kSsl2) && (versions & kTls1) && !(versions & kSsl3))
    return u"Cannot use SSL2 and TLS1 and do not use SSL3. You should enable using SSL3 or disable using SSL2.";
  return std::nullopt;
}

std::optional<std::u16string> CheckSettingText(std::string_view key, std::string_view text) {
  std::optional<SettingType> type;
  for (const SettingInfo& info : SettingsTable())
    if (Is(info.key, key)) type = info.type;
  if (!type) return u"There is no setting " + Quoted(key);

  if (Is(key, "SMTPPort")) return CheckPortText(platform::Utf8ToUtf16(text));
  if (Is(key, "SMTPSocksPort")) {
    // The SOCKS dialog gives the range message for anything that is not a port.
    if (text.empty()) return EmptyField(u"Port");
    if (CheckPortText(platform::Utf8ToUtf16(text))) return std::u16string(kPortRange);
    return std::nullopt;
  }
  if (Is(key, "SMTPHost")) return CheckRequiredText(platform::Utf8ToUtf16(text), u"Host Address");
  if (Is(key, "SendToAddress") || Is(key, "SendFromAddress")) {
    if (auto bad = CheckType(*type, text)) return bad;
    if (!IsValidAddress(platform::Utf8ToUtf16(text))) return u"Please enter a valid email address.";
    return std::nullopt;
  }
  if (Is(key, "MessageSubject")) {
    if (auto bad = CheckType(*type, text)) return bad;
    if (text.empty()) return u"Please enter a subject.";
    return std::nullopt;
  }
  if (Is(key, "SMTPSSLVersions")) {
    if (auto bad = CheckRange(text, 0, 7)) return bad;
    return CheckSslVersions(static_cast<std::uint32_t>(*ParseInteger(text)));
  }
  if (Is(key, "NotesSendMode") || Is(key, "SMTPAuthentication") || Is(key, "SMTPSocksVersion"))
    return CheckRange(text, 0, 3);
  if (Is(key, "Connection")) return CheckRange(text, 0, 4);
  if (Is(key, "EncodingType")) return CheckRange(text, 0, 1);
  // A time-out of zero or less would fail every wait at once.
  if (Is(key, "SMTPTimeout")) return CheckRange(text, 1, std::numeric_limits<std::int32_t>::max());
  return CheckType(*type, text);
}

}  // namespace settings
