#pragma once
// AppSettings: the one record of every user choice, kept in the settings file
// "Settings.ini" (or the file named by "-profile") in the installation folder.
//
// The main window creates one instance at start, loads it at once and keeps it
// for the life of the process; every other part reads it through that instance
// (UI thread only). Callers that change fields call Save themselves.
//
// Where things are:
//   installation folder  HKCU "Software\Corvane\Dictalo" "InstallDir" in our
//                        registry, else platform::folders::InstallDir(); always
//                        ending in "/"
//   settings file        InstallDir + "Settings.ini", or + the profile name (a
//                        relative name is taken inside InstallDir, an absolute
//                        path as it is)
//   owner's address      platform::DeviceOwnerEmail(), else kPlaceholderOwnerEmail
// All keys live in the node "\Settings" of the file; see ConfigStore for its form.
//
// Also here: the table of settings that `dictaloctl settings` lists, reads and
// sets by key (SettingsTable and friends, at the end).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/time_locale.h"
#include "settings/config_store.h"

namespace settings {

// How a finished note is delivered (the value of NotesSendMode). A value read
// from the file outside 0-3 is kept as it is.
enum class SendMode : std::int32_t {
  MailServer = 0,
  WebService = 1,
  SaveAsFile = 2,
  ActiveSync = 3,
};

// The network to bring up before sending (the value of Connection).
enum class ConnectionPolicy : std::uint16_t {
  None = 0,              // "Do not establish a connection (I will connect manually)"
  Work = 1,              // the corporate network
  Internet = 2,          // the Internet
  WorkThenInternet = 3,  // corporate network; on failure the Internet
  InternetThenWork = 4,  // the Internet; on failure the corporate network
};

// Any stored value above 4 behaves as None.
ConnectionPolicy EffectiveConnectionPolicy(std::uint16_t connection);

inline constexpr std::u16string_view kDefaultMessageSubject = u"[Voice Notes] - %DateStamp% - %TimeStamp%";
inline constexpr std::u16string_view kPlaceholderOwnerEmail = u"user@corvane.com";
inline constexpr std::u16string_view kDefaultSettingsFileName = u"Settings.ini";
inline constexpr std::string_view kSettingsNode = "\\Settings";

class AppSettings {
 public:
  AppSettings() = default;
  virtual ~AppSettings() = default;
  AppSettings(const AppSettings&) = default;
  AppSettings& operator=(const AppSettings&) = default;

  // A record with every field at the value a first start without a settings
  // file gives it (addresses = the owner's address, NoteFilePath = the personal
  // folder). Touches no file.
  static AppSettings WithDefaults();

  // Locates the installation folder and the settings file, reads the file and
  // fills every field; what cannot be read takes its default. `profile` is the
  // value of "-profile", empty for "Settings.ini". A missing settings file is
  // created (empty, mode 0600). If the installation folder cannot be created,
  // nothing is loaded and every field keeps its value.
  void Load(std::u16string_view profile = {});

  // Load again with the profile of the last Load: what other processes have
  // saved meanwhile replaces what this record holds.
  void Reload();

  // Writes the fields this record changed since it was loaded or last saved
  // (and those the file lacks) into the settings file as it is now, so that
  // what another process saved meanwhile stays (the password enciphered as
  // "SMTPPsswd", together with the host and port it is keyed with; a legacy
  // clear "SMTPPassword" is then removed). A record that was never loaded
  // writes every field. True only if every write and the file succeeded; a
  // failed write does not stop the others or the file.
  bool Save();

  // MessageSubject with every "%DateStamp%" replaced by the user's short date
  // and then every "%TimeStamp%" by the time without seconds, both of one
  // reading of the local clock. Exact, case-sensitive matching.
  std::u16string ExpandSubject() const;
  // The same for a given local time.
  std::u16string ExpandSubjectAt(const platform::SystemTime& local_time) const;

  ConnectionPolicy EffectiveConnectionPolicy() const { return settings::EffectiveConnectionPolicy(connection); }

  // Copies, so a caller keeps its text however the record changes later.
  std::u16string SendToAddress() const { return send_to_address; }
  std::u16string NoteFilePath() const { return note_file_path; }
  std::u16string LaunchKeyValue() const { return launch_key_value; }
  std::u16string InstallDir() const { return install_dir; }
  std::u16string SubscriptionUserName() const { return subscription_user_name; }
  std::u16string SubscriptionPassword() const { return subscription_password; }
  void SetLaunchKeyValue(std::u16string value) { launch_key_value = std::move(value); }

  // Fields, in the order of the settings table. Texts start empty; the others
  // start at their defaults until Load.
  std::u16string install_dir;  // ends in "/"
  std::string settings_path;   // UTF-8
  SendMode notes_send_mode = SendMode::ActiveSync;      // "NotesSendMode"
  std::u16string send_to_address;                       // "SendToAddress"
  std::u16string send_from_address;                     // "SendFromAddress"
  std::u16string message_subject;                       // "MessageSubject"
  std::u16string launch_hotkey;                         // "LaunchHotkey"
  std::u16string launch_key_value;                      // "LaunchKeyValue"
  std::u16string note_file_path;                        // "NoteFilePath"
  std::string smtp_host;                                // "SMTPHost"
  std::int32_t smtp_port = 25;                          // "SMTPPort"
  std::int32_t smtp_authentication = 0;                 // "SMTPAuthentication", 0-3
  std::string smtp_user_name;                           // "SMTPUserName"
  std::string smtp_password;                            // "SMTPPsswd" enciphered; legacy "SMTPPassword"
  bool store_smtp_password = true;                      // "StoreSMTPPassword" (kept, not used)
  bool smtp_use_ssl = false;                            // "SMTPUseSSL"
  bool smtp_use_sasl = false;                           // "SMTPUseSASL"
  bool smtp_ssl_explicit = true;                        // "SMTPSSLExplicit"
  bool smtp_ssl_allow_insecure = false;                 // "SMTPSSLAllowInsecure"
  std::int32_t smtp_ssl_versions = 7;                   // "SMTPSSLVersions": bit 0 SSL 2, 1 SSL 3, 2 TLS 1
  bool smtp_ssl_strong_encryption = false;              // "SMTPSSLStrongEncryption"
  std::int32_t smtp_timeout = 60;                       // "SMTPTimeout", seconds
  bool smtp_socks_auth = false;                         // "SMTPSocksAuth"
  std::int32_t smtp_socks_port = 1028;                  // "SMTPSocksPort"
  std::int32_t smtp_socks_version = 0;                  // "SMTPSocksVersion", 0 = no SOCKS
  std::string smtp_socks_address;                       // "SMTPSocksAddress"
  std::string smtp_socks_user_id;                       // "SMTPSocksUserID"
  std::string smtp_socks_password;                      // "SMTPSocksPassword", in clear
  bool send_immediately = true;                         // "SendImmediately"
  bool use_smtp_for_web = true;                         // "UseSMTPForWeb"
  bool show_save_info = true;                           // "ShowSaveInfo"
  bool show_close_info = true;                          // "ShowCloseInfo" (kept, not used)
  bool play_sound = true;                               // "PlaySound"
  std::u16string sound_name;                            // "SoundName"
  std::uint16_t connection = 0;                         // "Connection", see ConnectionPolicy
  bool is_midi = false;                                 // "IsMidi"
  std::int32_t encoding_type = 0;                       // "EncodingType": 0 WAV, 1 Ogg Vorbis
  std::u16string subscription_user_name;                // "SubscriptionUserName"
  std::u16string subscription_password;                 // "SubscriptionPassword", in clear

 private:
  // Load from step "read NotesSendMode" on: every field from the selected node.
  void ReadFields(const ConfigStore& store);
  // Whether a field (by its settings-table key) differs from what was loaded.
  bool Changed(std::string_view key) const;
  bool Wanted(const ConfigStore& store, std::string_view key) const;
  // Every field of the settings table in its text form.
  std::vector<std::pair<std::string, std::string>> Snapshot() const;

  ConfigStore store_;
  std::u16string profile_;
  std::vector<std::pair<std::string, std::string>> loaded_;  // key, text form; empty before Load
};

// --- The settings table, for listing, reading and setting by key. ---

enum class SettingType { Bool, Int32, UInt16, NarrowText, WideText };

struct SettingInfo {
  std::string key;           // as stored; the password row is "SMTPPassword"
  SettingType type;
  std::string default_text;  // the first-start value, in the text form below
  bool is_password;          // SMTPPassword, SMTPSocksPassword, SubscriptionPassword
};

// Every setting, in the order of the settings table (NotesSendMode first,
// SubscriptionPassword last). Defaults that depend on the user (addresses,
// NoteFilePath) are looked up at the call.
std::vector<SettingInfo> SettingsTable();

// A field as text: bools "true"/"false", numbers in decimal, texts as UTF-8,
// the SMTP password in clear. nullopt for an unknown key. Keys compare without
// regard to ASCII case.
std::optional<std::string> GetSettingText(const AppSettings& settings, std::string_view key);

enum class SetSettingResult { Ok, UnknownKey, BadValue };

// Parses `text` by the setting's type and stores it in the field (not in the
// file; call Save). Bools take true/false/1/0 in any case; Int32 a decimal in
// range; UInt16 0-65535; wide texts must be valid UTF-8; narrow texts any bytes.
// BadValue leaves the field unchanged.
SetSettingResult SetSettingFromText(AppSettings& settings, std::string_view key, std::string_view text);

}  // namespace settings
