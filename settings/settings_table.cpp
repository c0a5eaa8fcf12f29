// The settings table behind `dictaloctl settings`: every setting by key, in the
// order of the table of AppSettings fields, with its type and first-start value.

#include <charconv>
#include <variant>

#include "platform/text.h"
#include "settings/app_settings.h"

namespace settings {
namespace {

using Field = std::variant<bool AppSettings::*, std::int32_t AppSettings::*, SendMode AppSettings::*,
                           std::uint16_t AppSettings::*, std::string AppSettings::*, std::u16string AppSettings::*>;

struct Row {
  std::string_view key;
  Field field;
  bool is_password = false;
};

const Row kRows[] = {
    {"NotesSendMode", &AppSettings::notes_send_mode},
    {"SendToAddress", &AppSettings::send_to_address},
    {"SendFromAddress", &AppSettings::send_from_address},
    {"MessageSubject", &AppSettings::message_subject},
    {"LaunchHotkey", &AppSettings::launch_hotkey},
    {"LaunchKeyValue", &AppSettings::launch_key_value},
    {"NoteFilePath", &AppSettings::note_file_path},
    {"SMTPHost", &AppSettings::smtp_host},
    {"SMTPPort", &AppSettings::smtp_port},
    {"SMTPAuthentication", &AppSettings::smtp_authentication},
    {"SMTPUserName", &AppSettings::smtp_user_name},
    {"SMTPPassword", &AppSettings::smtp_password, true},
    {"StoreSMTPPassword", &AppSettings::store_smtp_password},
    {"SMTPUseSSL", &AppSettings::smtp_use_ssl},
    {"SMTPUseSASL", &AppSettings::smtp_use_sasl},
    {"SMTPSSLExplicit", &AppSettings::smtp_ssl_explicit},
    {"SMTPSSLAllowInsecure", &AppSettings::smtp_ssl_allow_insecure},
    {"SMTPSSLVersions", &AppSettings::smtp_ssl_versions},
    {"SMTPSSLStrongEncryption", &AppSettings::smtp_ssl_strong_encryption},
    {"SMTPTimeout", &AppSettings::smtp_timeout},
    {"SMTPSocksAuth", &AppSettings::smtp_socks_auth},
    {"SMTPSocksPort", &AppSettings::smtp_socks_port},
    {"SMTPSocksVersion", &AppSettings::smtp_socks_version},
    {"SMTPSocksAddress", &AppSettings::smtp_socks_address},
    {"SMTPSocksUserID", &AppSettings::smtp_socks_user_id},
    {"SMTPSocksPassword", &AppSettings::smtp_socks_password, true},
    {"SendImmediately", &AppSettings::send_immediately},
    {"UseSMTPForWeb", &AppSettings::use_smtp_for_web},
    {"ShowSaveInfo", &AppSettings::show_save_info},
    {"ShowCloseInfo", &AppSettings::show_close_info},
    {"PlaySound", &AppSettings::play_sound},
    {"SoundName", &AppSettings::sound_name},
    {"Connection", &AppSettings::connection},
    {"IsMidi", &AppSettings::is_midi},
    {"EncodingType", &AppSettings::encoding_type},
    {"SubscriptionUserName", &AppSettings::subscription_user_name},
    {"SubscriptionPassword", &AppSettings::subscription_password, true},
};

const Row* FindRow(std::string_view key) {
  for (const Row& row : kRows)
    if (platform::EqualsIgnoreAsciiCase(row.key, key)) return &row;
  return nullptr;
}

SettingType TypeOf(const Field& field) {
  struct {
    SettingType operator()(bool AppSettings::*) const { return SettingType::Bool; }
    SettingType operator()(std::int32_t AppSettings::*) const { return SettingType::Int32; }
    SettingType operator()(SendMode AppSettings::*) const { return SettingType::Int32; }
    SettingType operator()(std::uint16_t AppSettings::*) const { return SettingType::UInt16; }
    SettingType operator()(std::string AppSettings::*) const { return SettingType::NarrowText; }
    SettingType operator()(std::u16string AppSettings::*) const { return SettingType::WideText; }
  } visitor;
  return std::visit(visitor, field);
}

std::string FieldText(const AppSettings& s, const Field& field) {
  struct {
    const AppSettings& s;
    std::string operator()(bool AppSettings::*m) const { return s.*m ? "true" : "false"; }
    std::string operator()(std::int32_t AppSettings::*m) const { return std::to_string(s.*m); }
    std::string operator()(SendMode AppSettings::*m) const { return std::to_string(static_cast<std::int32_t>(s.*m)); }
    std::string operator()(std::uint16_t AppSettings::*m) const { return std::to_string(s.*m); }
    std::string operator()(std::string AppSettings::*m) const { return s.*m; }
    std::string operator()(std::u16string AppSettings::*m) const { return platform::Utf16ToUtf8(s.*m); }
  } visitor{s};
  return std::visit(visitor, field);
}

template <typename Int>
std::optional<Int> ParseDecimal(std::string_view text) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  }
  Int value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<bool> ParseBool(std::string_view text) {
  if (platform::EqualsIgnoreAsciiCase(text, "true") || text == "1") return true;
  if (platform::EqualsIgnoreAsciiCase(text, "false") || text == "0") return false;
  return std::nullopt;
}

struct FieldSetter {
  AppSettings& s;
  std::string_view text;

  bool operator()(bool AppSettings::*m) const { return Assign(m, ParseBool(text)); }
  bool operator()(std::int32_t AppSettings::*m) const { return Assign(m, ParseDecimal<std::int32_t>(text)); }
  bool operator()(SendMode AppSettings::*m) const {
    std::optional<std::int32_t> value = ParseDecimal<std::int32_t>(text);
    if (value) s.*m = static_cast<SendMode>(*value);
    return value.has_value();
  }
  bool operator()(std::uint16_t AppSettings::*m) const { return Assign(m, ParseDecimal<std::uint16_t>(text)); }
  bool operator()(std::string AppSettings::*m) const {
    s.*m = std::string(text);
    return true;
  }
  bool operator()(std::u16string AppSettings::*m) const {
    std::u16string wide = platform::Utf8ToUtf16(text);
    if (platform::Utf16ToUtf8(wide) != text) return false;  // not valid UTF-8
    s.*m = std::move(wide);
    return true;
  }

  template <typename T>
  bool Assign(T AppSettings::*m, std::optional<T> value) const {
    if (value) s.*m = *value;
    return value.has_value();
  }
};

}  // namespace

std::vector<SettingInfo> SettingsTable() {
  const AppSettings defaults = AppSettings::WithDefaults();
  std::vector<SettingInfo> table;
  table.reserve(std::size(kRows));
  for (const Row& row : kRows)
    table.push_back(SettingInfo{std::string(row.key), TypeOf(row.field), FieldText(defaults, row.field), row.is_password});
  return table;
}

std::optional<std::string> GetSettingText(const AppSettings& settings, std::string_view key) {
  const Row* row = FindRow(key);
  if (!row) return std::nullopt;
  return FieldText(settings, row->field);
}

SetSettingResult SetSettingFromText(AppSettings& settings, std::string_view key, std::string_view text) {
  const Row* row = FindRow(key);
  if (!row) return SetSettingResult::UnknownKey;
  return std::visit(FieldSetter{settings, text}, row->field) ? SetSettingResult::Ok : SetSettingResult::BadValue;
}

}  // namespace settings
