#include "settings/app_settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/folders.h"
#include "platform/owner_email.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/stored_password_cipher.h"

namespace settings {
namespace {

namespace fs = std::filesystem;

constexpr std::u16string_view kProgramKey = u"Software\\Corvane\\Dictalo";
constexpr std::u16string_view kInstallDirValue = u"InstallDir";
// Written by releases that kept the password in clear; read once, removed on save.
constexpr std::string_view kLegacyPasswordKey = "SMTPPassword";
constexpr std::string_view kPasswordKey = "SMTPPsswd";

std::u16string WithTrailingSlash(std::u16string dir) {
  if (dir.empty() || dir.back() != u'/') dir += u'/';
  return dir;
}

std::u16string DefaultInstallDir() {
  return WithTrailingSlash(platform::Utf8ToUtf16(platform::folders::InstallDir().string()));
}

std::u16string OwnerEmail() {
  std::optional<std::u16string> email = platform::DeviceOwnerEmail();
  return email && !email->empty() ? *email : std::u16string(kPlaceholderOwnerEmail);
}

void ReplaceAll(std::u16string& text, std::u16string_view placeholder, std::u16string_view value) {
  for (std::size_t at = text.find(placeholder); at != std::u16string::npos;
       at = text.find(placeholder, at + value.size()))
    text.replace(at, placeholder.size(), value);
}

}  // namespace

ConnectionPolicy EffectiveConnectionPolicy(std::uint16_t connection) {
  return connection > 4 ? ConnectionPolicy::None : static_cast<ConnectionPolicy>(connection);
}

AppSettings AppSettings::WithDefaults() {
  AppSettings defaults;
  ConfigStore empty;
  empty.SelectNode(kSettingsNode);
  defaults.ReadFields(empty);
  return defaults;
}

namespace {

// The password as the store holds it: a clear legacy one, else the enciphered
// one keyed by host and port.
std::string ReadStoredPassword(const ConfigStore& store, const std::string& host, std::int32_t port) {
  std::string password = store.ReadText(kLegacyPasswordKey, "");
  if (password.empty()) {
    std::optional<std::vector<std::uint8_t>> stored = store.ReadBinary(kPasswordKey);
    if (stored && !stored->empty()) password = StoredPasswordCipher(host, port).Decipher(*stored);
  }
  return password;
}

}  // namespace

void AppSettings::Reload() { Load(profile_); }

void AppSettings::Load(std::u16string_view profile) {
  profile_ = std::u16string(profile);
  // 1. Installation folder from the registry. The handheld's installer always
  // wrote the key; here a first run may come before anything did, so an empty
  // record falls back to the default folder instead of loading nothing.
  if (std::optional<platform::RegistryKey> key =
          platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kProgramKey)) {
    std::optional<std::u16string> value = key->ReadString(kInstallDirValue);
    install_dir = value && !value->empty() ? WithTrailingSlash(*value) : DefaultInstallDir();
  } else if (install_dir.empty()) {
    install_dir = DefaultInstallDir();
  }

  // 2. The folder must exist before anything is read or created in it.
  const fs::path dir(platform::Utf16ToUtf8(install_dir));
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) return;

  // 3. The settings file.
  const fs::path name(platform::Utf16ToUtf8(profile.empty() ? kDefaultSettingsFileName : profile));
  settings_path = name.is_absolute() ? name.string() : (dir / name).string();

  // 4. A fresh store from the file; a missing file is created empty.
  store_ = ConfigStore();
  if (!store_.LoadFile(settings_path)) {
    int fd = ::open(settings_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
  }
  store_.SelectNode(kSettingsNode);

  ReadFields(store_);
  loaded_ = Snapshot();
}

void AppSettings::ReadFields(const ConfigStore& store) {
  // 5.
  notes_send_mode = static_cast<SendMode>(store.ReadInt("NotesSendMode", 3));

  // 6.
  const std::u16string owner_email = OwnerEmail();

  // 7.
  send_to_address = store.ReadWideText("SendToAddress", owner_email);
  send_from_address = store.ReadWideText("SendFromAddress", owner_email);
  message_subject = store.ReadWideText("MessageSubject", kDefaultMessageSubject);
  note_file_path = store.ReadWideText("NoteFilePath", platform::Utf8ToUtf16(platform::folders::PersonalDir().string()));
  if (message_subject == u"Voice Notes") message_subject = kDefaultMessageSubject;

  // 8.
  launch_hotkey = store.ReadWideText("LaunchHotkey", u"");
  send_immediately = store.ReadBool("SendImmediately", true);
  show_save_info = store.ReadBool("ShowSaveInfo", true);
  show_close_info = store.ReadBool("ShowCloseInfo", true);
  play_sound = store.ReadBool("PlaySound", true);
  sound_name = store.ReadWideText("SoundName", u"");
  is_midi = store.ReadBool("IsMidi", false);
  use_smtp_for_web = store.ReadBool("UseSMTPForWeb", true);
  encoding_type = store.ReadInt("EncodingType", 0);
  connection = static_cast<std::uint16_t>(store.ReadInt("Connection", 0) & 0xFFFF);
  launch_key_value = store.ReadWideText("LaunchKeyValue", u"");
  subscription_user_name = store.ReadWideText("SubscriptionUserName", u"");
  subscription_password = store.ReadWideText("SubscriptionPassword", u"");
  smtp_host = store.ReadText("SMTPHost", "");
  smtp_port = store.ReadInt("SMTPPort", 25);
  smtp_authentication = store.ReadInt("SMTPAuthentication", 0);
  store_smtp_password = store.ReadBool("StoreSMTPPassword", true);
  smtp_user_name = store.ReadText("SMTPUserName", "");

  // 9. A clear legacy password wins; else the enciphered one, keyed by the host
  // and port just read. The stored value is read whatever its length, so no
  // password that Save wrote is lost on the way back.
  smtp_password = ReadStoredPassword(store, smtp_host, smtp_port);

  // 10.
  smtp_timeout = store.ReadInt("SMTPTimeout", 60);
  smtp_socks_address = store.ReadText("SMTPSocksAddress", "");
  smtp_socks_auth = store.ReadBool("SMTPSocksAuth", false);
  smtp_socks_password = store.ReadText("SMTPSocksPassword", "");
  smtp_socks_port = store.ReadInt("SMTPSocksPort", 1028);
  smtp_socks_user_id = store.ReadText("SMTPSocksUserID", "");
  smtp_socks_version = store.ReadInt("SMTPSocksVersion", 0);
  smtp_use_ssl = store.ReadBool("SMTPUseSSL", false);
  smtp_use_sasl = store.ReadBool("SMTPUseSASL", false);
  smtp_ssl_explicit = store.ReadBool("SMTPSSLExplicit", true);
  smtp_ssl_allow_insecure = store.ReadBool("SMTPSSLAllowInsecure", false);
  smtp_ssl_versions = store.ReadInt("SMTPSSLVersions", 7);
  smtp_ssl_strong_encryption = store.ReadBool("SMTPSSLStrongEncryption", false);
}

bool AppSettings::Changed(std::string_view key) const {
  if (loaded_.empty()) return true;  // never loaded: everything is this record's own
  for (const auto& [name, text] : loaded_) {
    if (name == key) return GetSettingText(*this, key) != text;
  }
  return true;
}

bool AppSettings::Wanted(const ConfigStore& store, std::string_view key) const {
  return Changed(key) || !store.HasKey(key);
}

std::vector<std::pair<std::string, std::string>> AppSettings::Snapshot() const {
  std::vector<std::pair<std::string, std::string>> values;
  for (const SettingInfo& info : SettingsTable()) values.emplace_back(info.key, GetSettingText(*this, info.key).value_or(""));
  return values;
}

bool AppSettings::Save() {
  // Another process (dictaloctl, the options screen, a resident recorder) may
  // have changed the file since this record was read: start from the file as
  // it is now and write what this record changed, and keys the file lacks, so
  // that nobody else's change is reverted.
  if (!settings_path.empty()) {
    ConfigStore fresh;
    if (fresh.LoadFile(settings_path)) store_ = std::move(fresh);
  }
  ConfigStore& s = store_;
  bool ok = s.SelectNode(kSettingsNode);
  // The password is enciphered with the host and port: the three go together.
  // When the file holds the same three, the password is enciphered afresh (a
  // new salt on every save) without changing anything.
  const std::string file_host = s.ReadText("SMTPHost", "");
  const std::int32_t file_port = s.ReadInt("SMTPPort", 25);
  const bool same_server = file_host == smtp_host && file_port == smtp_port &&
                           ReadStoredPassword(s, file_host, file_port) == smtp_password;
  const bool server_changed = Changed("SMTPHost") || Changed("SMTPPort") || Changed("SMTPPassword") ||
                              !s.HasKey(kPasswordKey) || same_server;
  if (Wanted(s, "NotesSendMode")) ok &= s.WriteInt("NotesSendMode", static_cast<std::int32_t>(notes_send_mode));
  if (Wanted(s, "SendToAddress")) ok &= s.WriteWideText("SendToAddress", send_to_address);
  if (Wanted(s, "SendFromAddress")) ok &= s.WriteWideText("SendFromAddress", send_from_address);
  if (Wanted(s, "MessageSubject")) ok &= s.WriteWideText("MessageSubject", message_subject);
  if (Wanted(s, "NoteFilePath")) ok &= s.WriteWideText("NoteFilePath", note_file_path);
  if (Wanted(s, "LaunchHotkey")) ok &= s.WriteWideText("LaunchHotkey", launch_hotkey);
  if (Wanted(s, "SendImmediately")) ok &= s.WriteBool("SendImmediately", send_immediately);
  if (Wanted(s, "ShowSaveInfo")) ok &= s.WriteBool("ShowSaveInfo", show_save_info);
  if (Wanted(s, "ShowCloseInfo")) ok &= s.WriteBool("ShowCloseInfo", show_close_info);
  if (Wanted(s, "PlaySound")) ok &= s.WriteBool("PlaySound", play_sound);
  if (Wanted(s, "IsMidi")) ok &= s.WriteBool("IsMidi", is_midi);
  if (Wanted(s, "UseSMTPForWeb")) ok &= s.WriteBool("UseSMTPForWeb", use_smtp_for_web);
  if (Wanted(s, "EncodingType")) ok &= s.WriteInt("EncodingType", encoding_type);
  if (Wanted(s, "SoundName")) ok &= s.WriteWideText("SoundName", sound_name);
  if (Wanted(s, "Connection")) ok &= s.WriteInt("Connection", connection);
  if (Wanted(s, "LaunchKeyValue")) ok &= s.WriteWideText("LaunchKeyValue", launch_key_value);
  if (Wanted(s, "SubscriptionUserName")) ok &= s.WriteWideText("SubscriptionUserName", subscription_user_name);
  if (Wanted(s, "SubscriptionPassword")) ok &= s.WriteWideText("SubscriptionPassword", subscription_password);
  if (Wanted(s, "SMTPHost") || server_changed) ok &= s.WriteText("SMTPHost", smtp_host);
  if (Wanted(s, "SMTPPort") || server_changed) ok &= s.WriteInt("SMTPPort", smtp_port);
  if (Wanted(s, "SMTPAuthentication")) ok &= s.WriteInt("SMTPAuthentication", smtp_authentication);
  if (Wanted(s, "StoreSMTPPassword")) ok &= s.WriteBool("StoreSMTPPassword", store_smtp_password);
  if (Wanted(s, "SMTPUserName")) ok &= s.WriteText("SMTPUserName", smtp_user_name);
  // Always stored, whatever StoreSMTPPassword says.
  if (server_changed) {
    ok &= s.WriteBinary(kPasswordKey, StoredPasswordCipher(smtp_host, smtp_port).Encipher(smtp_password));
    s.DeleteKey(kLegacyPasswordKey);
  }
  if (Wanted(s, "SMTPTimeout")) ok &= s.WriteInt("SMTPTimeout", smtp_timeout);
  if (Wanted(s, "SMTPSocksAddress")) ok &= s.WriteText("SMTPSocksAddress", smtp_socks_address);
  if (Wanted(s, "SMTPSocksAuth")) ok &= s.WriteBool("SMTPSocksAuth", smtp_socks_auth);
  if (Wanted(s, "SMTPSocksPassword")) ok &= s.WriteText("SMTPSocksPassword", smtp_socks_password);
  if (Wanted(s, "SMTPSocksPort")) ok &= s.WriteInt("SMTPSocksPort", smtp_socks_port);
  if (Wanted(s, "SMTPSocksUserID")) ok &= s.WriteText("SMTPSocksUserID", smtp_socks_user_id);
  if (Wanted(s, "SMTPSocksVersion")) ok &= s.WriteInt("SMTPSocksVersion", smtp_socks_version);
  if (Wanted(s, "SMTPUseSSL")) ok &= s.WriteBool("SMTPUseSSL", smtp_use_ssl);
  if (Wanted(s, "SMTPUseSASL")) ok &= s.WriteBool("SMTPUseSASL", smtp_use_sasl);
  if (Wanted(s, "SMTPSSLExplicit")) ok &= s.WriteBool("SMTPSSLExplicit", smtp_ssl_explicit);
  if (Wanted(s, "SMTPSSLAllowInsecure")) ok &= s.WriteBool("SMTPSSLAllowInsecure", smtp_ssl_allow_insecure);
  if (Wanted(s, "SMTPSSLVersions")) ok &= s.WriteInt("SMTPSSLVersions", smtp_ssl_versions);
  if (Wanted(s, "SMTPSSLStrongEncryption")) ok &= s.WriteBool("SMTPSSLStrongEncryption", smtp_ssl_strong_encryption);
  ok &= !settings_path.empty() && s.SaveFile(settings_path);
  if (ok) loaded_ = Snapshot();
  return ok;
}

std::u16string AppSettings::ExpandSubject() const { return ExpandSubjectAt(platform::GetLocalTime()); }

std::u16string AppSettings::ExpandSubjectAt(const platform::SystemTime& local_time) const {
  const std::u16string date_stamp = platform::FormatShortDate(local_time);
  const std::u16string time_stamp = platform::FormatTimeWithoutSeconds(local_time);
  std::u16string subject = message_subject;
  ReplaceAll(subject, u"%DateStamp%", date_stamp);
  ReplaceAll(subject, u"%TimeStamp%", time_stamp);
  return subject;
}

}  // namespace settings
