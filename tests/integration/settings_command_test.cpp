// dictaloctl settings and reg against real files: the first-start defaults, the
// stored password, and the errors a script sees.

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;

std::filesystem::path Ctl() { return testing_support::BinaryDir() / "dictaloctl"; }

class SettingsCommandTest : public ::testing::Test {
 protected:
  std::filesystem::path SettingsFile() const { return home_.data_home() / "dictalo" / "Settings.ini"; }
  std::string StoredCipherText() const {
    std::smatch m;
    std::string text = ReadFileBytes(SettingsFile());
    return std::regex_search(text, m, std::regex("SMTPPsswd=(454C[0-9A-F]*)")) ? m[1].str() : "";
  }
  void ImportOwner(const std::string& address) {
    auto reg = home_.root() / "owner.reg";
    WriteFileBytes(reg, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\ControlPanel\\Owner]\n\"E-mail\"=\"" +
                            address + "\"\n");
    ASSERT_EQ(RunProgram(Ctl(), {"reg", "import", reg.string()}).status, 0);
  }
  ScopedTestHome home_;
};

TEST_F(SettingsCommandTest, FirstStartListsTheDefaultsWithTheOwnersAddress) {
  unsetenv("EMAIL");
  ImportOwner("owner@example.org");
  auto r = RunProgram(Ctl(), {"settings", "list"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* line : {"NotesSendMode=3\n", "SendToAddress=owner@example.org\n",
                           "SendFromAddress=owner@example.org\n",
                           "MessageSubject=[Voice Notes] - %DateStamp% - %TimeStamp%\n", "SMTPPort=25\n",
                           "SMTPTimeout=60\n", "SMTPSocksPort=1028\n", "SMTPSSLVersions=7\n",
                           "SMTPSSLExplicit=true\n", "SMTPUseSSL=false\n", "SendImmediately=true\n",
                           "StoreSMTPPassword=true\n", "SMTPPassword=\n", "Connection=0\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " missing in\n" << r.out;
  }
  EXPECT_EQ(r.out.rfind("NotesSendMode=", 0), 0u) << "table order starts with NotesSendMode";
  EXPECT_TRUE(std::filesystem::exists(SettingsFile()));
}

TEST_F(SettingsCommandTest, PasswordIsStoredWithAFreshSaltAndBoundToTheServer) {
  ASSERT_EQ(RunProgram(Ctl(), {"settings", "set", "SMTPHost", "mail.example.org"}).status, 0);
  ASSERT_EQ(RunProgram(Ctl(), {"settings", "set", "SMTPPassword", "s3cret!"}).status, 0);
  std::string first = StoredCipherText();
  ASSERT_EQ(RunProgram(Ctl(), {"settings", "set", "SMTPPassword", "s3cret!"}).status, 0);
  std::string second = StoredCipherText();
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second) << "each save uses a new salt";
  EXPECT_EQ(RunProgram(Ctl(), {"settings", "get", "SMTPPassword"}).out, "s3cret!\n");
  EXPECT_NE(RunProgram(Ctl(), {"settings", "list"}).out.find("SMTPPassword=(set)\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(SettingsFile()).find("s3cret"), std::string::npos) << "never stored in clear";

  // The key depends on the host: a hand-edited host reads the password as something else.
  std::string text = ReadFileBytes(SettingsFile());
  text = std::regex_replace(text, std::regex("SMTPHost=mail.example.org"), "SMTPHost=other.example.org");
  WriteFileBytes(SettingsFile(), text);
  auto changed = RunProgram(Ctl(), {"settings", "get", "SMTPPassword"});
  EXPECT_EQ(changed.status, 0);
  EXPECT_NE(changed.out, "s3cret!\n");
}

TEST_F(SettingsCommandTest, BadKeysAndValuesGetOneLineAndStatusTwo) {
  struct Case {
    std::vector<std::string> args;
    bool one_line;
  } cases[] = {{{"settings", "get", "NoSuchKey"}, true},
               {{"settings", "set", "SMTPPort", "twenty-five"}, true},
               {{"settings", "set", "SMTPUseSSL", "maybe"}, true},
               {{"settings", "set", "Connection", "70000"}, true},
               {{"settings", "frobnicate"}, true},
               {{"nonsense"}, false}};  // usage follows the complaint
  for (const auto& c : cases) {
    auto r = RunProgram(Ctl(), c.args);
    EXPECT_EQ(r.status, 2) << c.args.back();
    EXPECT_FALSE(r.err.empty());
    if (c.one_line) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
  // Nothing was saved by the refused sets.
  EXPECT_EQ(RunProgram(Ctl(), {"settings", "get", "SMTPPort"}).out, "25\n");
}

TEST_F(SettingsCommandTest, ProfileSelectsAnotherFile) {
  ASSERT_EQ(RunProgram(Ctl(), {"-profile", "Work.ini", "settings", "set", "SMTPPort", "587"}).status, 0);
  EXPECT_EQ(RunProgram(Ctl(), {"-profile", "Work.ini", "settings", "get", "SMTPPort"}).out, "587\n");
  EXPECT_EQ(RunProgram(Ctl(), {"settings", "get", "SMTPPort"}).out, "25\n");
  EXPECT_NE(ReadFileBytes(home_.data_home() / "dictalo" / "Work.ini").find("SMTPPort=587"), std::string::npos);
}

}  // namespace
