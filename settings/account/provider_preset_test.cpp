// The webmail provider: the preset for a new account and the offer to correct
// its security settings when the account is confirmed.

#include "settings/account/provider_preset.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/account/account_dialogs.h"
#include "settings/account/recording_message_boxes.h"

namespace settings {
namespace {

TEST(ProviderPresetTest, FillsANewAccountOfTheProviderOnly) {
  ASSERT_EQ(kProviderAddressSuffix.size(), 10u);
  AppSettings s;
  s.smtp_port = 25;
  EXPECT_TRUE(ApplyProviderPreset(s, u"Ann.Lee@WebMX.Net"));
  EXPECT_EQ(s.smtp_host, kProviderSmtpHost);
  EXPECT_EQ(s.smtp_authentication, 3);
  EXPECT_EQ(s.smtp_user_name, "Ann.Lee@WebMX.Net");
  EXPECT_EQ(s.smtp_port, 465);
  EXPECT_TRUE(s.smtp_use_ssl);
  EXPECT_FALSE(s.smtp_ssl_explicit);

  // A server already set stays as it is.
  AppSettings configured;
  configured.smtp_host = "mail.example.org";
  const AppSettings before = configured;
  EXPECT_FALSE(ApplyProviderPreset(configured, u"ann@webmx.net"));
  EXPECT_EQ(configured.smtp_host, before.smtp_host);
  EXPECT_EQ(configured.smtp_port, before.smtp_port);
  EXPECT_EQ(configured.smtp_user_name, before.smtp_user_name);

  for (auto other : {u"ann@xwebmx.net.org", u"ann@mail.webmx.ne", u"webmx.net", u""}) {
    AppSettings fresh;
    EXPECT_FALSE(ApplyProviderPreset(fresh, other));
    EXPECT_EQ(fresh.smtp_host, "");
  }
}

TEST(ProviderPresetTest, CorrectionOfferedForTheProvidersHostOnly) {
  AccountValues proper;
  proper.host = "SMTP.webmx.NET";
  proper.port = 465;
  proper.use_ssl = true;
  proper.ssl_explicit = false;
  EXPECT_FALSE(NeedsProviderCorrection(proper));

  auto with = [&](auto change) {
    AccountValues v = proper;
    change(v);
    return NeedsProviderCorrection(v);
  };
  EXPECT_TRUE(with([](AccountValues& v) { v.use_ssl = false; }));
  EXPECT_TRUE(with([](AccountValues& v) { v.use_sasl = true; }));
  EXPECT_TRUE(with([](AccountValues& v) { v.ssl_explicit = true; }));
  EXPECT_TRUE(with([](AccountValues& v) { v.port = 587; }));
  EXPECT_TRUE(with([](AccountValues& v) { v.ssl_versions = 6; }));
  EXPECT_TRUE(with([](AccountValues& v) { v.ssl_strong_encryption = true; }));
  EXPECT_FALSE(with([](AccountValues& v) {
    v.host = "mail.example.org";
    v.port = 587;
  }));
}

// Port 587 with explicit TLS: No keeps what was entered, Yes puts the
// provider's settings in.
TEST(ProviderPresetTest, AnswerDecidesWhatIsStored) {
  AccountValues entered;
  entered.host = "smtp.webmx.net";
  entered.port = 587;
  entered.use_ssl = true;
  entered.ssl_explicit = true;
  entered.use_sasl = true;
  entered.ssl_versions = 6;
  entered.ssl_strong_encryption = true;

  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDNO,IDYES", 1);
  testing::RecordingMessageBoxes boxes;
  EXPECT_EQ(CheckProviderSettings(nullptr, entered), entered);

  AccountValues corrected = CheckProviderSettings(nullptr, entered);
  EXPECT_EQ(corrected.port, 465);
  EXPECT_TRUE(corrected.use_ssl);
  EXPECT_FALSE(corrected.ssl_explicit);
  EXPECT_FALSE(corrected.use_sasl);
  EXPECT_EQ(corrected.ssl_versions, 7);
  EXPECT_FALSE(corrected.ssl_strong_encryption);
  EXPECT_EQ(corrected.host, entered.host);

  auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, u"Account Settings");
  EXPECT_EQ(shown[0].type & toolkit::MB_TYPEMASK, toolkit::MB_YESNO);
  EXPECT_EQ(shown[0].type & toolkit::MB_ICONMASK, toolkit::MB_ICONWARNING);
  unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
}

}  // namespace
}  // namespace settings
