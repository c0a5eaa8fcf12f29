#include "settings/settings_validation.h"

#include <gtest/gtest.h>

namespace settings {
namespace {

std::u16string Msg(const std::optional<std::u16string>& m) { return m.value_or(u"(accepted)"); }

// A port as the user types it: each fault has its own message; the edges of
// the range are accepted.
TEST(SettingsValidationTest, PortTextGivesEachMessage) {
  EXPECT_EQ(Msg(CheckPortText(u"")), u"The field \"Port\" must not be empty");
  EXPECT_EQ(Msg(CheckPortText(u"", u"Socks Port")), u"The field \"Socks Port\" must not be empty");
  EXPECT_EQ(Msg(CheckPortText(u"2a")), u"The value \"2a\" is not a valid port number");
  EXPECT_EQ(Msg(CheckPortText(u" 25")), u"The value \" 25\" is not a valid port number");
  EXPECT_EQ(Msg(CheckPortText(u"-")), u"The value \"-\" is not a valid port number");
  for (auto bad : {u"0", u"70000", u"65536", u"-1", u"99999999999999999999999"})
    EXPECT_EQ(Msg(CheckPortText(bad)), u"Port number must be in range between 1 and 65535");
  for (auto good : {u"1", u"25", u"65535", u"0465"}) EXPECT_FALSE(CheckPortText(good).has_value());
}

TEST(SettingsValidationTest, AddressesAndSslVersions) {
  EXPECT_TRUE(IsValidAddress(u"a@b.c"));
  EXPECT_TRUE(IsValidAddress(u"first.last@host"));  // the dot may be anywhere
  EXPECT_FALSE(IsValidAddress(u""));
  EXPECT_FALSE(IsValidAddress(u"user@localhost"));
  EXPECT_FALSE(IsValidAddress(u"example.org"));

  EXPECT_TRUE(CheckSslVersions(1 | 4).has_value());
  for (std::uint32_t ok : {0u, 1u, 2u, 3u, 4u, 6u, 7u}) EXPECT_FALSE(CheckSslVersions(ok).has_value()) << ok;
}

// What `dictaloctl settings set` may store, key by key.
TEST(SettingsValidationTest, SettingTextFollowsTheDialogsAndTheTypes) {
  EXPECT_EQ(Msg(CheckSettingText("SMTPPort", "70000")), u"Port number must be in range between 1 and 65535");
  EXPECT_EQ(Msg(CheckSettingText("smtpport", "2a")), u"The value \"2a\" is not a valid port number");
  EXPECT_EQ(Msg(CheckSettingText("SMTPSocksPort", "x")), u"Port number must be in range between 1 and 65535");
  EXPECT_EQ(Msg(CheckSettingText("SMTPHost", "")), u"The field \"Host Address\" must not be empty");
  EXPECT_EQ(Msg(CheckSettingText("SendToAddress", "bob")), u"Please enter a valid email address.");
  EXPECT_EQ(Msg(CheckSettingText("MessageSubject", "")), u"Please enter a subject.");
  EXPECT_EQ(Msg(CheckSettingText("SMTPSSLVersions", "5")),
            u"Cannot use SSL2 and TLS1 and do not use SSL3. You should enable using SSL3 or disable using SSL2.");
  EXPECT_TRUE(CheckSettingText("NoSuchKey", "1").has_value());

  const struct {
    const char* key;
    const char* text;
    bool ok;
  } cases[] = {
      {"NotesSendMode", "3", true},     {"NotesSendMode", "4", false},   {"NotesSendMode", "-1", false},
      {"SMTPSocksVersion", "3", true},  {"SMTPSocksVersion", "4", false}, {"SMTPAuthentication", "0", true},
      {"SMTPAuthentication", "5", false}, {"Connection", "4", true},     {"Connection", "5", false},
      {"EncodingType", "1", true},      {"EncodingType", "2", false},    {"SMTPSSLVersions", "8", false},
      {"SMTPSSLVersions", "7", true},   {"SMTPTimeout", "0", false},     {"SMTPTimeout", "90", true},
      {"SMTPTimeout", "2147483648", false}, {"SMTPUseSSL", "TRUE", true}, {"SMTPUseSSL", "yes", false},
      {"SoundName", "\xff\xfe", false}, {"SoundName", "Alarm", true},    {"SMTPUserName", "\xff", true},
      {"SendFromAddress", "me@example.org", true}, {"SMTPSocksPort", "1080", true},
      {"SMTPSocksPort", "0", false},
  };
  for (const auto& c : cases) EXPECT_EQ(!CheckSettingText(c.key, c.text).has_value(), c.ok) << c.key << "=" << c.text;
}

}  // namespace
}  // namespace settings
