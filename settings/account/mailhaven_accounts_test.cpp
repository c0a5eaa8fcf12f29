// The Mailhaven import: where the accounts are found, which are offered, what
// an account gives the account dialog, and hostile settings files.

#include "settings/account/mailhaven_accounts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/registry.h"
#include "platform/text.h"
#include "security/crypto/md5.h"
#include "security/crypto/rc4.h"
#include "security/crypto/sha1.h"
#include "settings/account/recording_message_boxes.h"
#include "settings/config_store.h"
#include "tests/support/test_environment.h"

namespace settings {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr MailAccountGuid kHomeGuid = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe,
                                       0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
constexpr MailAccountGuid kWorkGuid = {0xaa, 0, 0, 0, 0xbb, 0, 0xcc, 0, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr MailAccountGuid kLowerGuid = {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
constexpr MailAccountGuid kHugeGuid = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};

// The stored form as Mailhaven writes it, built from its description: RC4 over
// a 38-character salt and the password; key = MD5(host, port as 32-bit
// little-endian) then bytes 16-19 of SHA-1(name as UTF-16LE, GUID bytes).
std::vector<std::uint8_t> MailhavenEncipher(std::string_view password, std::string_view host, std::uint32_t port,
                                            std::u16string_view name, const MailAccountGuid& guid) {
  security::Md5 md5;
  md5.Update(host.data(), host.size());
  const std::uint8_t port_le[4] = {std::uint8_t(port), std::uint8_t(port >> 8), std::uint8_t(port >> 16),
                                   std::uint8_t(port >> 24)};
  md5.Update(port_le, 4);
  auto head = md5.Final();
  security::Sha1 sha1;
  for (char16_t c : name) {
    const std::uint8_t le[2] = {std::uint8_t(c), std::uint8_t(c >> 8)};
    sha1.Update(le, 2);
  }
  sha1.Update(guid.data(), guid.size());
  auto tail = sha1.Final();
  std::vector<std::uint8_t> key(head.begin(), head.end());
  key.insert(key.end(), tail.begin() + 16, tail.begin() + 20);

  std::string plain = "{01234567-89ab-cdef-0123-456789abcdef}" + std::string(password);
  std::vector<std::uint8_t> data(plain.begin(), plain.end());
  security::Rc4(key).Crypt(data);
  return data;
}

class MailhavenTest : public ::testing::Test {
 protected:
  std::filesystem::path DefaultSettingsFile() const { return home_.data_home() / "mailhaven" / "Data" / "Settings.ini"; }

  // An account node as Mailhaven writes it.
  void AddFileAccount(const MailAccountGuid& guid, std::string_view account_class, std::u16string_view name) {
    ASSERT_TRUE(file_.SelectNode("\\Service." + MailAccountGuidText(guid)));
    file_.WriteText("Class", account_class);
    file_.WriteBinary("GUID", guid);
    file_.WriteWideText("ServiceName", name);
  }
  void SaveFile() {
    std::filesystem::create_directories(DefaultSettingsFile().parent_path());
    ASSERT_TRUE(file_.SaveFile(DefaultSettingsFile()));
  }

  testing_support::ScopedTestHome home_;
  ConfigStore file_;
};

TEST_F(MailhavenTest, GuidTextHasTheStoredFormAndReadsBack) {
  EXPECT_EQ(MailAccountGuidText(kHomeGuid), "{76543210-ba98-fedc-0123-456789abcdef}");
  EXPECT_EQ(ParseMailAccountGuid(u"{76543210-BA98-fedc-0123-456789ABCDEF}"), kHomeGuid);
  for (auto bad : {u"{76543210-feca-fedc-0123-456789abcde}", u"76543210-feca-fedc-0123-456789abcdef",
                   u"{76543210-feca-fedc-0123-456789abcdeg}", u"{76543210-feca-fedc+0123-456789abcdef}",
                   u"{76543210-feca-fedc-0123-456789abcdef}x", u""})
    EXPECT_FALSE(ParseMailAccountGuid(bad).has_value()) << platform::Utf16ToUtf8(bad);
}

// Only exact "POP3" and "IMAP4" accounts are offered, in stored order; other
// nodes and accounts whose GUID could not name them again are left out.
TEST_F(MailhavenTest, ListsPop3AndImap4AccountsOfTheSettingsFile) {
  AddFileAccount(kHomeGuid, "POP3", u"Home");
  AddFileAccount(kLowerGuid, "pop3", u"Lower case");
  file_.SelectNode("\\Service.{bad}");
  file_.WriteText("Class", "IMAP4");
  file_.WriteBinary("GUID", std::vector<std::uint8_t>(15, 7));  // one byte short
  file_.WriteWideText("ServiceName", u"Short GUID");
  file_.SelectNode("\\Services.Other");
  file_.WriteText("Class", "IMAP4");
  AddFileAccount(kWorkGuid, "IMAP4", u"Work \u00e9");
  AddFileAccount(kHugeGuid, "SMTP", u"Not incoming");
  SaveFile();

  MailAccountList list = ListMailhavenAccounts();
  EXPECT_TRUE(list.mailhaven_found);
  EXPECT_EQ(list.source, MailAccountSource::SettingsFile);
  ASSERT_EQ(list.accounts.size(), 2u);
  EXPECT_EQ(list.accounts[0].service_name, u"Home");
  EXPECT_EQ(list.accounts[0].guid, kHomeGuid);
  EXPECT_EQ(list.accounts[1].service_name, u"Work \u00e9");
  EXPECT_EQ(list.accounts[1].guid, kWorkGuid);

  AccountValues values;
  EXPECT_EQ(ReadMailhavenAccount(kLowerGuid, MailAccountSource::SettingsFile, values), ImportResult::NoSuchAccount);
  EXPECT_EQ(values, AccountValues{});
}

// Authentication 2 takes the incoming account's credentials, its stored password
// keyed with the incoming server, and becomes 3; everything else the account
// leaves out takes Mailhaven's defaults.
TEST_F(MailhavenTest, SameAsIncomingTakesTheIncomingCredentials) {
  AddFileAccount(kHomeGuid, "POP3", u"Home");
  file_.WriteText("SMTPHost", "smtp.home.example");
  file_.WriteInt("SMTPAuthentication", 2);
  file_.WriteText("SMTPUserName", "not-this-one");
  file_.WriteText("POP3Host", "pop.home.example");
  file_.WriteText("POP3UserName", "ann");
  file_.WriteBinary("POP3Psswd", MailhavenEncipher("pa55 w\xc3\xb6rd", "pop.home.example", 110, u"Home", kHomeGuid));
  AddFileAccount(kWorkGuid, "IMAP4", u"Work");
  file_.WriteInt("SMTPAuthentication", 2);
  file_.WriteText("IMAP4Host", "imap.work.example");
  file_.WriteInt("IMAP4Port", 993);
  file_.WriteText("IMAP4UserName", "bob");
  file_.WriteBinary("IMAP4Psswd", MailhavenEncipher("imap-secret", "imap.work.example", 993, u"Work", kWorkGuid));
  SaveFile();

  AccountValues values;
  values.timeout = 300;  // replaced, as every field is
  ASSERT_EQ(ReadMailhavenAccount(kHomeGuid, MailAccountSource::SettingsFile, values), ImportResult::Imported);
  AccountValues expected;
  expected.host = "smtp.home.example";
  expected.authentication = 3;
  expected.user_name = "ann";
  expected.password = "pa55 w\xc3\xb6rd";
  EXPECT_EQ(values, expected);

  ASSERT_EQ(ReadMailhavenAccount(kWorkGuid, MailAccountSource::SettingsFile, values), ImportResult::Imported);
  EXPECT_EQ(values.user_name, "bob");
  EXPECT_EQ(values.password, "imap-secret");
  EXPECT_EQ(values.authentication, 3);
}

// Own credentials: the plain password wins over the stored one; the stored one
// is keyed with the SMTP server. Proxy and security options come across.
TEST_F(MailhavenTest, OwnCredentialsAndTheOtherOptions) {
  AddFileAccount(kHomeGuid, "IMAP4", u"Home");
  file_.WriteText("SMTPHost", "mail.example.org");
  file_.WriteInt("SMTPPort", 587);
  file_.WriteInt("SMTPAuthentication", 1);
  file_.WriteText("SMTPUserName", "carol");
  file_.WriteBinary("SMTPPsswd", MailhavenEncipher("stored", "mail.example.org", 587, u"Home", kHomeGuid));
  file_.WriteInt("SMTPTimeout", 90);
  file_.WriteText("SMTPSocksAddress", "proxy.example.org");
  file_.WriteInt("SMTPSocksPort", 1080);
  file_.WriteInt("SMTPSocksVersion", 2);
  file_.WriteBool("SMTPSocksAuth", true);
  file_.WriteText("SMTPSocksUserID", "sid");
  file_.WriteText("SMTPSocksPassword", "spw");
  file_.WriteBool("SMTPUseSSL", true);
  file_.WriteBool("SMTPUseSASL", true);
  file_.WriteBool("SMTPSSLExplicit", false);
  file_.WriteBool("SMTPSSLAllowInsecure", true);
  file_.WriteInt("SMTPSSLVersions", 6);
  file_.WriteBool("SMTPSSLStrongEncryption", true);
  AddFileAccount(kWorkGuid, "POP3", u"Work");
  file_.WriteInt("SMTPAuthentication", 3);
  file_.WriteText("SMTPUserName", "dave");
  file_.WriteText("SMTPPassword", "plain");
  file_.WriteBinary("SMTPPsswd", MailhavenEncipher("stored", "", 25, u"Work", kWorkGuid));
  AddFileAccount(kLowerGuid, "POP3", u"None");
  file_.WriteText("SMTPUserName", "eve");
  file_.WriteText("SMTPPassword", "dropped");
  SaveFile();

  AccountValues v;
  ASSERT_EQ(ReadMailhavenAccount(kHomeGuid, MailAccountSource::SettingsFile, v), ImportResult::Imported);
  EXPECT_EQ(v.port, 587);
  EXPECT_EQ(v.authentication, 1);
  EXPECT_EQ(v.user_name, "carol");
  EXPECT_EQ(v.password, "stored");
  EXPECT_EQ(v.timeout, 90);
  EXPECT_EQ(v.socks_address, "proxy.example.org");
  EXPECT_EQ(v.socks_port, 1080);
  EXPECT_EQ(v.socks_version, 2);
  EXPECT_TRUE(v.socks_auth);
  EXPECT_EQ(v.socks_user_id, "sid");
  EXPECT_EQ(v.socks_password, "spw");
  EXPECT_TRUE(v.use_ssl && v.use_sasl && !v.ssl_explicit && v.ssl_allow_insecure && v.ssl_strong_encryption);
  EXPECT_EQ(v.ssl_versions, 6);

  ASSERT_EQ(ReadMailhavenAccount(kWorkGuid, MailAccountSource::SettingsFile, v), ImportResult::Imported);
  EXPECT_EQ(v.password, "plain");
  ASSERT_EQ(ReadMailhavenAccount(kLowerGuid, MailAccountSource::SettingsFile, v), ImportResult::Imported);
  EXPECT_EQ(v.authentication, 0);
  EXPECT_EQ(v.user_name, "");
  EXPECT_EQ(v.password, "");
}

// A hostile settings file: an over-long stored password, a huge account name,
// an authentication mode Mailhaven has not got. Nothing crashes and nothing
// made up is imported.
TEST_F(MailhavenTest, HostileAccountValuesAreNotTakenAsTheyCome) {
  const std::u16string huge_name(400000, u'\u00c4');
  AddFileAccount(kHugeGuid, "IMAP4", huge_name);
  file_.WriteText("SMTPHost", "mail.example.org");
  file_.WriteInt("SMTPAuthentication", 3);
  auto too_long = MailhavenEncipher(std::string(100, 'x'), "mail.example.org", 25, huge_name, kHugeGuid);
  ASSERT_GT(too_long.size(), 128u);
  file_.WriteBinary("SMTPPsswd", too_long);
  AddFileAccount(kWorkGuid, "POP3", u"Odd");
  file_.WriteInt("SMTPAuthentication", 9);
  file_.WriteText("SMTPUserName", "who");
  file_.WriteText("SMTPPassword", "what");
  file_.WriteInt("SMTPSocksVersion", 77);
  file_.WriteInt("SMTPSSLVersions", -1);
  SaveFile();

  MailAccountList list = ListMailhavenAccounts();
  ASSERT_EQ(list.accounts.size(), 2u);
  EXPECT_EQ(list.accounts[0].service_name.size(), huge_name.size());

  AccountValues v;
  ASSERT_EQ(ReadMailhavenAccount(kHugeGuid, MailAccountSource::SettingsFile, v), ImportResult::Imported);
  EXPECT_EQ(v.password, "");
  // 128 bytes exactly is still Mailhaven's.
  auto longest = MailhavenEncipher(std::string(90, 'y'), "mail.example.org", 25, huge_name, kHugeGuid);
  ASSERT_EQ(longest.size(), 128u);
  EXPECT_EQ(DecipherMailhavenPassword(longest, "mail.example.org", 25, huge_name, kHugeGuid), std::string(90, 'y'));

  ASSERT_EQ(ReadMailhavenAccount(kWorkGuid, MailAccountSource::SettingsFile, v), ImportResult::Imported);
  EXPECT_EQ(v.authentication, 0);
  EXPECT_EQ(v.user_name, "");
  EXPECT_EQ(v.socks_version, 0);
  EXPECT_EQ(v.ssl_versions, 7);
}

// Without a settings file the accounts come from the registry, keyed by their
// GUID text; subkeys of another name are skipped.
TEST_F(MailhavenTest, RegistryServesWhenTheSettingsFileIsMissing) {
  const std::u16string services = u"Software\\Corvane\\Mail2\\Services\\";
  auto home = RegistryKey::Create(RegistryRoot::CurrentUser,
                                  services + platform::Utf8ToUtf16(MailAccountGuidText(kHomeGuid)));
  ASSERT_TRUE(home);
  home->WriteString(u"Class", u"IMAP4");
  home->WriteString(u"ServiceName", u"Home \u00fc");
  home->WriteString(u"SMTPHost", u"smtp.example.net");
  home->WriteDword(u"SMTPPort", 2525);
  home->WriteDword(u"SMTPAuthentication", 3);
  home->WriteString(u"SMTPUserName", u"frank");
  home->WriteBinary(u"SMTPPsswd", MailhavenEncipher("reg-secret", "smtp.example.net", 2525, u"Home \u00fc", kHomeGuid));
  home->WriteDword(u"SMTPUseSSL", 1);
  auto lower = RegistryKey::Create(RegistryRoot::CurrentUser,
                                   services + platform::Utf8ToUtf16(MailAccountGuidText(kLowerGuid)));
  lower->WriteString(u"Class", u"Imap4");
  auto odd = RegistryKey::Create(RegistryRoot::CurrentUser, services + u"{not-a-guid}");
  odd->WriteString(u"Class", u"POP3");

  MailAccountList list = ListMailhavenAccounts();
  EXPECT_TRUE(list.mailhaven_found);
  EXPECT_EQ(list.source, MailAccountSource::Registry);
  ASSERT_EQ(list.accounts.size(), 1u);
  EXPECT_EQ(list.accounts[0].service_name, u"Home \u00fc");
  EXPECT_EQ(list.accounts[0].guid, kHomeGuid);

  AccountValues v;
  ASSERT_EQ(ReadMailhavenAccount(kHomeGuid, MailAccountSource::Registry, v), ImportResult::Imported);
  EXPECT_EQ(v.host, "smtp.example.net");
  EXPECT_EQ(v.port, 2525);
  EXPECT_EQ(v.user_name, "frank");
  EXPECT_EQ(v.password, "reg-secret");
  EXPECT_TRUE(v.use_ssl);
  EXPECT_TRUE(v.ssl_explicit);
}

// Mailhaven's own folder setting wins over the default place; a value too long
// for Mailhaven is not followed.
TEST_F(MailhavenTest, InstallDirFromTheRegistry) {
  const auto elsewhere = home_.root() / "opt" / "mail";
  auto key = RegistryKey::Create(RegistryRoot::CurrentUser, u"Software\\Corvane\\Mail2");
  ASSERT_TRUE(key && key->WriteString(u"InstallDir", platform::Utf8ToUtf16(elsewhere.string())));
  EXPECT_EQ(MailhavenSettingsFile(), elsewhere / "Data" / "Settings.ini");
  ASSERT_TRUE(key->WriteString(u"InstallDir", u"/" + std::u16string(200, u'a')));
  EXPECT_EQ(MailhavenSettingsFile(), DefaultSettingsFile());
}

// What the user reads when there is nothing to import; nothing is chosen.
TEST_F(MailhavenTest, AbsentMailhavenAndNoAccountsAreSaid) {
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "", 1);
  testing::RecordingMessageBoxes boxes;
  EXPECT_FALSE(ChooseMailhavenAccount(nullptr).has_value());
  // A registry key without accounts is no Mailhaven either.
  ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, u"Software\\Corvane\\Mail2\\Services"));
  EXPECT_FALSE(ChooseMailhavenAccount(nullptr).has_value());
  AddFileAccount(kLowerGuid, "pop3", u"Lower case");
  SaveFile();
  EXPECT_FALSE(ChooseMailhavenAccount(nullptr).has_value());

  auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 3u);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(shown[k].text, u"Mailhaven not found. Import failed.");
    EXPECT_EQ(shown[k].caption, u"Account Import");
    EXPECT_EQ(shown[k].type & toolkit::MB_ICONMASK, toolkit::MB_ICONERROR);
  }
  EXPECT_EQ(shown[2].text, u"No POP3/IMAP4 accounts defined in Mailhaven. Import failed.");
  EXPECT_EQ(shown[2].caption, u"Account Import");

  // The settings file gone between choosing and importing.
  std::filesystem::remove(DefaultSettingsFile());
  AccountValues v;
  EXPECT_FALSE(ImportMailhavenAccount(nullptr, {kLowerGuid, MailAccountSource::SettingsFile}, v));
  ASSERT_EQ(boxes.Shown().size(), 4u);
  EXPECT_EQ(boxes.Shown()[3].text, u"Mailhaven not found. Import failed.");
}

}  // namespace
}  // namespace settings
