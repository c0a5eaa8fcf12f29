#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "tests/support/test_environment.h"

namespace settings {
namespace {

using testing_support::ScopedTestHome;

// Order, types, password flags and first-start values of the listed settings.
TEST(SettingsTableTest, ListsEverySettingInTableOrder) {
  ScopedTestHome home;
  auto owner = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, u"ControlPanel\\Owner");
  ASSERT_TRUE(owner && owner->WriteString(u"E-mail", u"owner@example.org"));
  const struct {
    const char* key;
    SettingType type;
    std::string default_text;
  } expected[] = {
      {"NotesSendMode", SettingType::Int32, "3"},
      {"SendToAddress", SettingType::WideText, "owner@example.org"},
      {"SendFromAddress", SettingType::WideText, "owner@example.org"},
      {"MessageSubject", SettingType::WideText, "[Voice Notes] - %DateStamp% - %TimeStamp%"},
      {"LaunchHotkey", SettingType::WideText, ""},
      {"LaunchKeyValue", SettingType::WideText, ""},
      {"NoteFilePath", SettingType::WideText, platform::folders::PersonalDir().string()},
      {"SMTPHost", SettingType::NarrowText, ""},
      {"SMTPPort", SettingType::Int32, "25"},
      {"SMTPAuthentication", SettingType::Int32, "0"},
      {"SMTPUserName", SettingType::NarrowText, ""},
      {"SMTPPassword", SettingType::NarrowText, ""},
      {"StoreSMTPPassword", SettingType::Bool, "true"},
      {"SMTPUseSSL", SettingType::Bool, "false"},
      {"SMTPUseSASL", SettingType::Bool, "false"},
      {"SMTPSSLExplicit", SettingType::Bool, "true"},
      {"SMTPSSLAllowInsecure", SettingType::Bool, "false"},
      {"SMTPSSLVersions", SettingType::Int32, "7"},
      {"SMTPSSLStrongEncryption", SettingType::Bool, "false"},
      {"SMTPTimeout", SettingType::Int32, "60"},
      {"SMTPSocksAuth", SettingType::Bool, "false"},
      {"SMTPSocksPort", SettingType::Int32, "1028"},
      {"SMTPSocksVersion", SettingType::Int32, "0"},
      {"SMTPSocksAddress", SettingType::NarrowText, ""},
      {"SMTPSocksUserID", SettingType::NarrowText, ""},
      {"SMTPSocksPassword", SettingType::NarrowText, ""},
      {"SendImmediately", SettingType::Bool, "true"},
      {"UseSMTPForWeb", SettingType::Bool, "true"},
      {"ShowSaveInfo", SettingType::Bool, "true"},
      {"ShowCloseInfo", SettingType::Bool, "true"},
      {"PlaySound", SettingType::Bool, "true"},
      {"SoundName", SettingType::WideText, ""},
      {"Connection", SettingType::UInt16, "0"},
      {"IsMidi", SettingType::Bool, "false"},
      {"EncodingType", SettingType::Int32, "0"},
      {"SubscriptionUserName", SettingType::WideText, ""},
      {"SubscriptionPassword", SettingType::WideText, ""},
  };
  const std::vector<SettingInfo> table = SettingsTable();
  ASSERT_EQ(table.size(), std::size(expected));
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].key, expected[i].key) << i;
    EXPECT_EQ(table[i].type, expected[i].type) << expected[i].key;
    EXPECT_EQ(table[i].default_text, expected[i].default_text) << expected[i].key;
    const std::string key = expected[i].key;
    EXPECT_EQ(table[i].is_password,
              key == "SMTPPassword" || key == "SMTPSocksPassword" || key == "SubscriptionPassword")
        << key;
  }
}

// Values are parsed by type; a bad value leaves the field as it was.
TEST(SettingsTableTest, SetChecksTheTypeOfEveryValue) {
  const struct {
    const char* key;
    const char* text;
    SetSettingResult result;
    const char* read_back;  // after the call
  } cases[] = {
      {"SMTPUseSSL", "TRUE", SetSettingResult::Ok, "true"},
      {"smtpusessl", "0", SetSettingResult::Ok, "false"},
      {"SMTPUseSSL", "yes", SetSettingResult::BadValue, "false"},
      {"SMTPPort", "+587", SetSettingResult::Ok, "587"},
      {"SMTPPort", "-1", SetSettingResult::Ok, "-1"},
      {"SMTPPort", "25 ", SetSettingResult::BadValue, "-1"},
      {"SMTPPort", "2147483648", SetSettingResult::BadValue, "-1"},
      {"SMTPPort", "", SetSettingResult::BadValue, "-1"},
      {"NotesSendMode", "1", SetSettingResult::Ok, "1"},
      {"NotesSendMode", "web", SetSettingResult::BadValue, "1"},
      {"Connection", "65535", SetSettingResult::Ok, "65535"},
      {"Connection", "65536", SetSettingResult::BadValue, "65535"},
      {"Connection", "-1", SetSettingResult::BadValue, "65535"},
      {"SMTPHost", " any bytes\t\xff ", SetSettingResult::Ok, " any bytes\t\xff "},
      {"MessageSubject", "Notiz \xC3\xBC\xE2\x82\xAC", SetSettingResult::Ok, "Notiz \xC3\xBC\xE2\x82\xAC"},
      {"MessageSubject", "bad \xC3", SetSettingResult::BadValue, "Notiz \xC3\xBC\xE2\x82\xAC"},
      {"smtppassword", "s3cret", SetSettingResult::Ok, "s3cret"},
  };
  AppSettings s;
  for (const auto& c : cases) {
    EXPECT_EQ(SetSettingFromText(s, c.key, c.text), c.result) << c.key << "=" << c.text;
    EXPECT_EQ(GetSettingText(s, c.key), c.read_back) << c.key << "=" << c.text;
  }
  EXPECT_EQ(s.smtp_password, "s3cret");
  EXPECT_EQ(s.message_subject, u"Notiz \u00fc\u20ac");
  EXPECT_EQ(s.notes_send_mode, SendMode::WebService);
  EXPECT_EQ(SetSettingFromText(s, "SMTPPsswd", "x"), SetSettingResult::UnknownKey);
  EXPECT_FALSE(GetSettingText(s, "InstallDir").has_value());
}

// Every key set by text reaches its own field: set alone to a value of its
// own, it is the key that Save writes with that value and a fresh Load reads.
TEST(SettingsTableTest, EveryKeyReachesItsOwnField) {
  ScopedTestHome home;
  int n = 100;
  for (const SettingInfo& info : SettingsTable()) {
    std::filesystem::remove(platform::folders::InstallDir() / "Settings.ini");
    AppSettings s;
    s.Load();
    std::string text;
    switch (info.type) {
      case SettingType::Bool: text = info.default_text == "true" ? "false" : "true"; break;
      case SettingType::Int32:
      case SettingType::UInt16: text = std::to_string(n++); break;
      case SettingType::NarrowText: text = info.key + " value"; break;
      case SettingType::WideText: text = info.key + " \xE2\x82\xAC"; break;
    }
    ASSERT_EQ(SetSettingFromText(s, info.key, text), SetSettingResult::Ok) << info.key;
    ASSERT_TRUE(s.Save());

    ConfigStore file;
    ASSERT_TRUE(file.LoadFile(platform::folders::InstallDir() / "Settings.ini"));
    file.SelectNode(kSettingsNode);
    for (const SettingInfo& other : SettingsTable()) {
      if (other.key == "SMTPPassword") continue;  // stored enciphered under another key
      const std::string& want = other.key == info.key ? text : other.default_text;
      EXPECT_EQ(file.ReadText(other.key, "missing"), want) << "after setting " << info.key;
    }
    AppSettings loaded;
    loaded.Load();
    EXPECT_EQ(GetSettingText(loaded, info.key), text) << info.key;
  }
}

}  // namespace
}  // namespace settings
