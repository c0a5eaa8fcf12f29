#include "settings/app_settings.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <optional>

#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/stored_password_cipher.h"
#include "tests/support/test_environment.h"

namespace settings {
namespace {

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryRoot;
using testing_support::ReadFileBytes;
using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;

// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

void SetOwnerEmail(std::u16string_view email) {
  auto key = RegistryKey::Create(RegistryRoot::CurrentUser, u"ControlPanel\\Owner");
  ASSERT_TRUE(key && key->WriteString(u"E-mail", email));
}

void SetInstallDir(const std::string& dir) {
  auto key = RegistryKey::Create(RegistryRoot::CurrentUser, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(key && key->WriteString(u"InstallDir", platform::Utf8ToUtf16(dir)));
}

fs::path DefaultSettingsFile() { return platform::folders::InstallDir() / "Settings.ini"; }

void WriteSettings(const std::string& keys) {
  WriteFileBytes(DefaultSettingsFile(), "[\\Settings]\n" + keys);
}

ConfigStore ReadSettingsFile(const fs::path& path = DefaultSettingsFile()) {
  ConfigStore store;
  EXPECT_TRUE(store.LoadFile(path));
  store.SelectNode(kSettingsNode);
  return store;
}

AppSettings Loaded(std::u16string_view profile = {}) {
  AppSettings settings;
  settings.Load(profile);
  return settings;
}

// First start: no settings file, so every field takes the default of the table,
// both addresses the owner's address from the registry; the file is created.
TEST(AppSettingsTest, FirstStartGivesEveryDefault) {
  ScopedTestHome home;
  ScopedEnv email("EMAIL", "from-env@example.net");
  SetOwnerEmail(u"owner@example.org");
  AppSettings s = Loaded();

  const std::u16string install_dir = platform::Utf8ToUtf16(platform::folders::InstallDir().string()) + u"/";
  EXPECT_EQ(s.InstallDir(), install_dir);
  EXPECT_EQ(s.settings_path, DefaultSettingsFile().string());
  EXPECT_TRUE(fs::is_regular_file(DefaultSettingsFile()));
  EXPECT_EQ(s.SendToAddress(), u"owner@example.org");
  EXPECT_EQ(s.send_from_address, u"owner@example.org");
  EXPECT_EQ(s.NoteFilePath(), platform::Utf8ToUtf16(platform::folders::PersonalDir().string()));
  // Every other field: the first-start values of the settings table, which
  // SettingsTableTest pins to their literal values.
  for (const SettingInfo& info : SettingsTable())
    EXPECT_EQ(GetSettingText(s, info.key), info.default_text) << info.key;
}

// The owner's address: registry, else $EMAIL, else the placeholder; a stored
// address wins over all of them.
TEST(AppSettingsTest, OwnerAddressFallsBackInOrder) {
  ScopedTestHome home;
  {
    ScopedEnv email("EMAIL", "from-env@example.net");
    EXPECT_EQ(Loaded().send_to_address, u"from-env@example.net");
  }
  ScopedEnv no_email("EMAIL", nullptr);
  EXPECT_EQ(Loaded().send_from_address, u"user@corvane.com");
  SetOwnerEmail(u"");
  EXPECT_EQ(Loaded().send_to_address, u"user@corvane.com");
  WriteSettings("SendToAddress=me@example.com\nSendFromAddress=\n");
  AppSettings s = Loaded();
  EXPECT_EQ(s.send_to_address, u"me@example.com");
  EXPECT_EQ(s.send_from_address, u"");
}

// InstallDir from the registry gains a trailing "/" and is created; a profile
// names the file inside it, or anywhere when absolute.
TEST(AppSettingsTest, InstallDirAndProfileLocateTheFile) {
  ScopedTestHome home;
  const fs::path custom = home.root() / "custom" / "deeper";
  SetInstallDir(custom.string());
  AppSettings s = Loaded(u"Work Settings.ini");
  EXPECT_EQ(s.install_dir, platform::Utf8ToUtf16(custom.string()) + u"/");
  EXPECT_EQ(s.settings_path, (custom / "Work Settings.ini").string());
  EXPECT_TRUE(fs::is_regular_file(custom / "Work Settings.ini"));

  const fs::path elsewhere = home.root() / "elsewhere.ini";
  WriteFileBytes(elsewhere, "[\\Settings]\nSMTPPort=2525\n");
  s.Load(platform::Utf8ToUtf16(elsewhere.string()));
  EXPECT_EQ(s.settings_path, elsewhere.string());
  EXPECT_EQ(s.smtp_port, 2525);

  // An empty value counts as missing: the default folder, not the root folder.
  SetInstallDir("");
  EXPECT_EQ(Loaded().settings_path, DefaultSettingsFile().string());
}

// A folder that cannot be created stops the load before any field; Save then
// has no file to write and says so.
TEST(AppSettingsTest, UncreatableInstallDirLoadsNothing) {
  ScopedTestHome home;
  WriteFileBytes(home.root() / "a-file", "not a folder");
  SetInstallDir((home.root() / "a-file" / "sub").string());
  AppSettings s = Loaded();
  EXPECT_EQ(s.settings_path, "");
  EXPECT_EQ(s.message_subject, u"");
  EXPECT_EQ(s.send_to_address, u"");
  EXPECT_FALSE(s.Save());
}

// Load-time rules: the old subject is upgraded (exact case only), Connection
// keeps its low 16 bits and values above 4 act as no connection, junk numbers
// give defaults.
TEST(AppSettingsTest, LoadUpgradesAndMasksAsItReads) {
  ScopedTestHome home;
  WriteSettings("MessageSubject=Voice Notes\nConnection=7\nNotesSendMode=two\nSMTPPort=25x\n");
  AppSettings s = Loaded();
  EXPECT_EQ(s.message_subject, kDefaultMessageSubject);
  EXPECT_EQ(s.connection, 7);
  EXPECT_EQ(s.EffectiveConnectionPolicy(), ConnectionPolicy::None);
  EXPECT_EQ(s.notes_send_mode, SendMode::ActiveSync);
  EXPECT_EQ(s.smtp_port, 25);

  WriteSettings("MessageSubject=voice notes\nConnection=65537\n");
  s.Load();
  EXPECT_EQ(s.message_subject, u"voice notes");
  EXPECT_EQ(s.connection, 1);
  EXPECT_EQ(s.EffectiveConnectionPolicy(), ConnectionPolicy::Work);
  EXPECT_EQ(EffectiveConnectionPolicy(4), ConnectionPolicy::InternetThenWork);
  EXPECT_EQ(EffectiveConnectionPolicy(5), ConnectionPolicy::None);
}

// A clear legacy password loads; the next save enciphers it and removes the
// clear key. Two saves of one password differ and both load back to it.
TEST(AppSettingsTest, PasswordIsMigratedAndSaltedOnEverySave) {
  ScopedTestHome home;
  WriteSettings("SMTPHost=mail.example.com\nSMTPPort=587\nSMTPPassword=clear text\n");
  AppSettings s = Loaded();
  EXPECT_EQ(s.smtp_password, "clear text");
  ASSERT_TRUE(s.Save());
  ConfigStore first = ReadSettingsFile();
  EXPECT_FALSE(first.HasKey("SMTPPassword"));
  EXPECT_EQ(ReadFileBytes(DefaultSettingsFile()).find("clear text"), std::string::npos);
  const auto first_value = first.ReadBinary("SMTPPsswd");
  ASSERT_TRUE(first_value.has_value());
  EXPECT_EQ(Loaded().smtp_password, "clear text");

  ASSERT_TRUE(s.Save());
  const auto second_value = ReadSettingsFile().ReadBinary("SMTPPsswd");
  ASSERT_TRUE(second_value.has_value());
  EXPECT_NE(*first_value, *second_value);
  EXPECT_EQ(Loaded().smtp_password, "clear text");
  EXPECT_EQ(StoredPasswordCipher("mail.example.com", 587).Decipher(*first_value), "clear text");
}

// Two processes hold the record at once (a resident recorder and
// `dictaloctl settings set`): a save keeps what the other saved meanwhile.
TEST(AppSettingsTest, ASaveWritesOnlyWhatThisRecordChanged) {
  ScopedTestHome home;
  WriteSettings("SMTPHost=mail.example.com\nSMTPPort=587\nMessageSubject=Old\nPlaySound=true\n");
  AppSettings resident = Loaded();
  AppSettings other = Loaded();
  other.message_subject = u"New";
  other.smtp_password = "changed elsewhere";
  other.encoding_type = 1;
  ASSERT_TRUE(other.Save());

  resident.show_save_info = false;
  ASSERT_TRUE(resident.Save());
  AppSettings reread = Loaded();
  EXPECT_EQ(reread.message_subject, u"New");
  EXPECT_EQ(reread.smtp_password, "changed elsewhere");
  EXPECT_EQ(reread.encoding_type, 1);
  EXPECT_FALSE(reread.show_save_info);

  // Saved once, the record's own later changes still go out, others' still stay.
  resident.play_sound = false;
  ASSERT_TRUE(resident.Save());
  reread = Loaded();
  EXPECT_FALSE(reread.play_sound);
  EXPECT_EQ(reread.message_subject, u"New");
  EXPECT_EQ(reread.smtp_password, "changed elsewhere");

  // Reload takes up what is on disk now.
  resident.Reload();
  EXPECT_EQ(resident.message_subject, u"New");
  EXPECT_EQ(resident.encoding_type, 1);
}

// A hand-edited host or port, or a damaged stored value, loads as whatever it
// deciphers to, without fault.
TEST(AppSettingsTest, EditedOrDamagedStoredPasswordLoadsQuietly) {
  ScopedTestHome home;
  const auto stored = StoredPasswordCipher("mail.example.com", 25).Encipher("secret");
  std::string hex = "454C";
  for (std::uint8_t b : stored) hex += "0123456789ABCDEF"[b >> 4], hex += "0123456789ABCDEF"[b & 15];

  WriteSettings("SMTPHost=mail.example.com\nSMTPPort=25\nSMTPPsswd=" + hex + "\n");
  EXPECT_EQ(Loaded().smtp_password, "secret");
  WriteSettings("SMTPHost=mail.example.org\nSMTPPort=25\nSMTPPsswd=" + hex + "\n");
  EXPECT_NE(Loaded().smtp_password, "secret");
  WriteSettings("SMTPHost=mail.example.com\nSMTPPort=26\nSMTPPsswd=" + hex + "\n");
  EXPECT_NE(Loaded().smtp_password, "secret");

  const struct {
    std::string value;
    std::size_t length;
  } damaged[] = {{"454C", 0},          {"454C12", 0},           {"454CZZ", 0},
                 {"garbage", 0},       {hex.substr(0, 4 + 76), 0}, {hex.substr(0, 4 + 78), 1},
                 {hex.substr(0, 81), 0}, {"454C" + std::string(400000, 'A'), 200000 - 38}};
  for (const auto& d : damaged) {
    WriteSettings("SMTPHost=mail.example.com\nSMTPPsswd=" + d.value + "\n");
    EXPECT_EQ(Loaded().smtp_password.size(), d.length) << d.value.substr(0, 90);
  }
}

// Save writes every key in its order into "\Settings", keeps what it does not
// know, and reports a file it cannot write.
TEST(AppSettingsTest, SaveWritesEveryKeyInOrderAndKeepsTheRest) {
  ScopedTestHome home;
  WriteFileBytes(DefaultSettingsFile(), "[\\Other]\nx=1\n[\\Settings]\nCustom=keep\nSMTPPassword=old\n");
  AppSettings s = Loaded();
  ASSERT_TRUE(s.Save());
  ConfigStore file = ReadSettingsFile();
  const std::vector<std::string> expected = {
      "Custom",           "NotesSendMode",     "SendToAddress",        "SendFromAddress",      "MessageSubject",
      "NoteFilePath",     "LaunchHotkey",      "SendImmediately",      "ShowSaveInfo",         "ShowCloseInfo",
      "PlaySound",        "IsMidi",            "UseSMTPForWeb",        "EncodingType",         "SoundName",
      "Connection",       "LaunchKeyValue",    "SubscriptionUserName", "SubscriptionPassword", "SMTPHost",
      "SMTPPort",         "SMTPAuthentication", "StoreSMTPPassword",   "SMTPUserName",         "SMTPPsswd",
      "SMTPTimeout",      "SMTPSocksAddress",  "SMTPSocksAuth",        "SMTPSocksPassword",    "SMTPSocksPort",
      "SMTPSocksUserID",  "SMTPSocksVersion",  "SMTPUseSSL",           "SMTPUseSASL",          "SMTPSSLExplicit",
      "SMTPSSLAllowInsecure", "SMTPSSLVersions", "SMTPSSLStrongEncryption"};
  EXPECT_EQ(file.KeyNames(), expected);
  EXPECT_EQ(file.NodePaths(), (std::vector<std::string>{"\\Other", "\\Settings"}));

  // The file is now a folder: every write succeeds, the file does not.
  fs::remove(DefaultSettingsFile());
  fs::create_directory(DefaultSettingsFile());
  EXPECT_FALSE(s.Save());
  EXPECT_TRUE(fs::is_directory(DefaultSettingsFile()));
}

// A second Load reads the file again instead of keeping the old store.
TEST(AppSettingsTest, ReloadDiscardsThePreviousStore) {
  ScopedTestHome home;
  WriteSettings("SMTPHost=first.example.com\nGone=1\n");
  AppSettings s = Loaded();
  WriteSettings("SMTPTimeout=90\n");
  s.Load();
  EXPECT_EQ(s.smtp_host, "");
  EXPECT_EQ(s.smtp_timeout, 90);
  ASSERT_TRUE(s.Save());
  EXPECT_FALSE(ReadSettingsFile().HasKey("Gone"));
}

bool LocaleInstalled(const char* name) {
  locale_t locale = ::newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
  if (locale) ::freelocale(locale);
  return locale != nullptr;
}

// Placeholders are replaced everywhere, exactly as spelled, by the date and time
// of the user's locale; inserted text is not searched again.
TEST(AppSettingsTest, ExpandSubjectFillsEveryPlaceholder) {
  ScopedEnv tz("TZ", "UTC");
  const struct {
    const char* locale;
    std::u16string date;
    std::u16string time;
  } locales[] = {{"C.UTF-8", u"12/08/26", u"14:05"},
                 {"de_DE.UTF-8", u"08.12.2026", u"14:05"},
                 {"en_US.UTF-8", u"12/08/2026", u"02:05 PM"}};
  platform::SystemTime t;
  t.year = 2026, t.month = 12, t.day_of_week = 2, t.day = 8, t.hour = 14, t.minute = 5, t.second = 9;
  int tried = 0;
  for (const auto& l : locales) {
    if (!LocaleInstalled(l.locale)) continue;
    ++tried;
    ScopedEnv lc_all("LC_ALL", l.locale);
    AppSettings s;
    s.message_subject = u"%DateStamp% / %DateStamp% at %TimeStamp% %datestamp% %DateStamp %Date%DateStamp%Stamp%";
    EXPECT_EQ(s.ExpandSubjectAt(t), l.date + u" / " + l.date + u" at " + l.time + u" %datestamp% %DateStamp %Date" +
                                        l.date + u"Stamp%")
        << l.locale;
    s.message_subject = kDefaultMessageSubject;
    EXPECT_EQ(s.ExpandSubjectAt(t), u"[Voice Notes] - " + l.date + u" - " + l.time) << l.locale;
  }
  if (tried == 0) GTEST_SKIP() << "none of the test locales is installed";

  // Now: one reading of the clock serves both placeholders.
  ScopedEnv lc_all("LC_ALL", "C.UTF-8");
  AppSettings s;
  s.message_subject = u"%DateStamp%|%TimeStamp%";
  const platform::SystemTime before = platform::GetLocalTime();
  const std::u16string now = s.ExpandSubject();
  const platform::SystemTime after = platform::GetLocalTime();
  EXPECT_TRUE(now == s.ExpandSubjectAt(before) || now == s.ExpandSubjectAt(after)) << platform::Utf16ToUtf8(now);
}

}  // namespace
}  // namespace settings
