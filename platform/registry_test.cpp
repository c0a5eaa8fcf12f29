#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/folders.h"
#include "tests/support/test_environment.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;

constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr auto kMachine = RegistryRoot::LocalMachine;

fs::path HivePath(const char* name) { return folders::ConfigDir() / name; }

std::vector<fs::path> DamagedCopies(const char* hive) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folders::ConfigDir(), ec))
    if (entry.path().filename().string().rfind(std::string(hive) + ".damaged-", 0) == 0) found.push_back(entry.path());
  return found;
}

std::vector<std::u16string> ValueNames(const RegistryKey& key) {
  std::vector<std::u16string> names;
  for (const auto& v : key.Values()) names.push_back(v.name);
  return names;
}

// Every type, including texts that need escapes or cannot stand on one quoted
// line, reads back exactly after going through the hive file.
TEST(RegistryTest, ValuesOfEveryTypeSurviveTheHiveFile) {
  ScopedTestHome home;
  auto key = RegistryKey::Create(kUser, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(key);
  const std::u16string texts[] = {u"plain",
                                  u"C:\\Program Files\\\"quoted\"\\",
                                  u"two\r\nlines and a tab\t",
                                  u"caf\u00e9 \u20ac \U0001F600",
                                  std::u16string(u"nul\0inside", 10),
                                  u""};
  for (std::size_t i = 0; i < std::size(texts); ++i)
    ASSERT_TRUE(key->WriteString(u"Text" + std::u16string(1, u'0' + i), texts[i]));
  std::vector<std::uint8_t> long_bytes;
  for (int i = 0; i < 300; ++i) long_bytes.push_back(static_cast<std::uint8_t>(i * 7));
  ASSERT_TRUE(key->WriteBinary(u"Long", long_bytes));
  ASSERT_TRUE(key->WriteBinary(u"Empty", {}));
  ASSERT_TRUE(key->WriteDword(u"FirstRun", 10));
  ASSERT_TRUE(key->WriteDword(u"Max", 0xFFFFFFFFu));
  ASSERT_TRUE(key->WriteString(u"", u"default"));

  auto reopened = RegistryKey::Open(kUser, u"software\\corvane\\dictalo");
  ASSERT_TRUE(reopened);
  for (std::size_t i = 0; i < std::size(texts); ++i)
    EXPECT_EQ(reopened->ReadString(u"Text" + std::u16string(1, u'0' + i)), texts[i]) << i;
  EXPECT_EQ(reopened->ReadBinary(u"Long"), long_bytes);
  EXPECT_EQ(reopened->ReadBinary(u"Empty"), std::vector<std::uint8_t>{});
  EXPECT_EQ(reopened->ReadDword(u"FirstRun"), 10u);
  EXPECT_EQ(reopened->ReadDword(u"Max"), 0xFFFFFFFFu);
  EXPECT_EQ(reopened->ReadString(u""), u"default");
  // A value read as another type than it has is missing.
  EXPECT_FALSE(reopened->ReadDword(u"Text0"));
  EXPECT_FALSE(reopened->ReadString(u"FirstRun"));
  EXPECT_FALSE(reopened->ReadBinary(u"Text0"));
  EXPECT_FALSE(reopened->ReadValue(u"Missing"));

  // The file is the .reg text a person can read and edit.
  std::string file = ReadFileBytes(HivePath("HKCU.reg"));
  EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Corvane\\Dictalo]\n"), std::string::npos);
  EXPECT_NE(file.find("\"Text1\"=\"C:\\\\Program Files\\\\\\\"quoted\\\"\\\\\"\n"), std::string::npos);
  EXPECT_NE(file.find("\"FirstRun\"=dword:0000000a\n"), std::string::npos);
  EXPECT_NE(file.find("@=\"default\"\n"), std::string::npos);
  EXPECT_NE(file.find("\"Long\"=hex:00,07,0e,"), std::string::npos);
  for (std::size_t start = 0, end; (end = file.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u) << file.substr(start, end - start);
  EXPECT_FALSE(fs::exists(HivePath("HKLM.reg")));
}

TEST(RegistryTest, NamesIgnoreAsciiCaseAndKeepTheirFirstSpelling) {
  ScopedTestHome home;
  ASSERT_TRUE(RegistryKey::Create(kUser, u"\\Software\\Corvane\\"));
  auto key = RegistryKey::Create(kUser, u"SOFTWARE\\\\corvane\\Dictalo");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->path(), u"SOFTWARE\\corvane\\Dictalo");
  ASSERT_TRUE(key->WriteString(u"InstallDir", u"first"));
  ASSERT_TRUE(key->WriteDword(u"INSTALLDIR", 2));
  auto values = key->Values();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, u"InstallDir");
  EXPECT_EQ(values[0].type, RegistryType::Dword);
  EXPECT_EQ(key->ReadDword(u"installdir"), 2u);
  EXPECT_EQ(RegistryKey::Open(kUser, u"software")->SubkeyNames(), std::vector<std::u16string>{u"Corvane"});
  // Case folding is ASCII only, as on the handheld.
  ASSERT_TRUE(key->WriteDword(u"\u00c4", 1));
  EXPECT_FALSE(key->ReadDword(u"\u00e4"));
  // The two hives are separate.
  EXPECT_FALSE(RegistryKey::Open(kMachine, u"Software\\Corvane"));
  // Names the text form cannot hold are refused rather than stored altered.
  EXPECT_FALSE(RegistryKey::Create(kUser, u"Software\\line\nbreak"));
  EXPECT_FALSE(RegistryKey::Create(kUser, u"Software\\ padded "));
  EXPECT_FALSE(key->WriteString(u"line\nbreak", u"x"));
}

TEST(RegistryTest, DeletingValuesAndKeys) {
  ScopedTestHome home;
  auto key = RegistryKey::Create(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C1");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteDword(u"Flags", 12));
  ASSERT_TRUE(RegistryKey::Create(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C1\\Deeper\\Still"));
  ASSERT_TRUE(RegistryKey::Create(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C2"));

  EXPECT_TRUE(key->DeleteValue(u"FLAGS"));
  EXPECT_FALSE(key->DeleteValue(u"Flags"));
  EXPECT_FALSE(key->ReadDword(u"Flags"));

  EXPECT_TRUE(RegistryKey::DeleteKey(kMachine, u"software\\microsoft\\shell\\keys\\40c1"));
  EXPECT_FALSE(RegistryKey::Open(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C1\\Deeper\\Still"));
  EXPECT_FALSE(RegistryKey::Open(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C1"));
  EXPECT_EQ(RegistryKey::Open(kMachine, u"Software\\Microsoft\\Shell\\Keys")->SubkeyNames(),
            std::vector<std::u16string>{u"40C2"});
  EXPECT_FALSE(RegistryKey::DeleteKey(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C1"));
  EXPECT_FALSE(RegistryKey::DeleteKey(kMachine, u""));
  // A handle on a deleted key writes nothing and does not bring it back.
  EXPECT_FALSE(key->WriteDword(u"Flags", 0));
  EXPECT_FALSE(RegistryKey::Open(kMachine, u"Software\\Microsoft\\Shell\\Keys\\40C1"));
}

TEST(RegistryTest, EnumerationFollowsCreationOrder) {
  ScopedTestHome home;
  for (const char16_t* name : {u"Keys\\b", u"Keys\\A", u"Keys\\c", u"Keys\\B"})
    ASSERT_TRUE(RegistryKey::Create(kUser, name));
  EXPECT_EQ(RegistryKey::Open(kUser, u"Keys")->SubkeyNames(), (std::vector<std::u16string>{u"b", u"A", u"c"}));

  auto key = RegistryKey::Open(kUser, u"Keys\\c");
  for (const char16_t* name : {u"zeta", u"alpha", u"mid"}) ASSERT_TRUE(key->WriteDword(name, 1));
  ASSERT_TRUE(key->WriteString(u"ZETA", u"rewritten in place"));
  EXPECT_EQ(ValueNames(*key), (std::vector<std::u16string>{u"zeta", u"alpha", u"mid"}));
  ASSERT_TRUE(key->DeleteValue(u"zeta"));
  ASSERT_TRUE(key->WriteDword(u"Zeta", 3));
  EXPECT_EQ(ValueNames(*key), (std::vector<std::u16string>{u"alpha", u"mid", u"Zeta"}));
}

TEST(RegistryTest, ExportThenImportReproducesTheKey) {
  ScopedTestHome home;
  auto key = RegistryKey::Create(kUser, u"Software\\Corvane\\Mail2\\Services\\{0A}");
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString(u"Class", u"POP3"));
  ASSERT_TRUE(key->WriteString(u"Signature", u"Regards,\r\nme \"quoted\" \\"));
  ASSERT_TRUE(key->WriteBinary(u"GUID", std::vector<std::uint8_t>(40, 0xAB)));
  ASSERT_TRUE(key->WriteDword(u"Port", 110));
  ASSERT_TRUE(RegistryKey::Create(kUser, u"Software\\Corvane\\Mail2\\Services\\{0B}\\Empty"));
  ASSERT_TRUE(RegistryKey::Create(kUser, u"Software\\Other"));

  std::string exported = ExportRegistryKey(kUser, u"software\\corvane\\mail2");
  EXPECT_EQ(exported.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\Mail2]\n", 0), 0u)
      << exported;
  EXPECT_EQ(exported.find("Other"), std::string::npos);
  EXPECT_EQ(ExportRegistryKey(kUser, u"Software\\Missing"), "");

  ASSERT_TRUE(RegistryKey::DeleteKey(kUser, u"Software\\Corvane"));
  std::string error = "stale";
  ASSERT_TRUE(ImportRegistryText(exported, &error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(ExportRegistryKey(kUser, u"Software\\Corvane\\Mail2"), exported);
  EXPECT_EQ(RegistryKey::Open(kUser, u"Software")->SubkeyNames(),
            (std::vector<std::u16string>{u"Other", u"Corvane"}));

  // Removal lines, both hives, and a line that cannot be read.
  ASSERT_TRUE(ImportRegistryText("Windows Registry Editor Version 5.00\r\n"
                                 "[-HKEY_CURRENT_USER\\Software\\Corvane\\Mail2\\Services\\{0B}]\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Corvane\\Mail2\\Services\\{0A}]\r\n"
                                 "\"Port\"=-\r\n"
                                 "this is not a value\r\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Dictalo]\r\n"
                                 "\"Installed\"=dword:00000001\r\n",
                                 &error));
  EXPECT_EQ(error.rfind("line 5:", 0), 0u) << error;
  EXPECT_FALSE(RegistryKey::Open(kUser, u"Software\\Corvane\\Mail2\\Services\\{0B}"));
  EXPECT_FALSE(RegistryKey::Open(kUser, u"Software\\Corvane\\Mail2\\Services\\{0A}")->ReadDword(u"Port"));
  EXPECT_EQ(RegistryKey::Open(kMachine, u"Software\\Corvane\\Dictalo")->ReadDword(u"Installed"), 1u);

  // Nothing usable: false, with the reason.
  EXPECT_FALSE(ImportRegistryText("", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(ImportRegistryText("Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n", &error));
  EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
}

// A hive edited by hand: CRLF, blanks, comments, folded hex, other value forms
// regedit writes. It reads without being taken for damage.
TEST(RegistryTest, HandEditedHiveReadsAsMeant) {
  ScopedTestHome home;
  WriteFileBytes(HivePath("HKCU.reg"),
                 "\xEF\xBB\xBF"
                 "Windows Registry Editor Version 5.00\r\n"
                 "\r\n"
                 "; the owner, as the control panel keeps it\r\n"
                 "  [ HKEY_CURRENT_USER\\ControlPanel\\Owner ]   ; trailing comment\r\n"
                 "\t\"E-mail\"  =  \"me@example.org\"\r\n"
                 "@=\"default\" ; comment after a value\r\n"
                 "\r\n\r\n"
                 "[HKCU\\Software\\\\Corvane\\Dictalo\\]\r\n"
                 "\"FirstRun\"=DWORD:1\r\n"
                 "\"Blob\"=hex:01,02,03,\\\r\n"
                 "    04,05,\\\r\n"
                 "  06\r\n"
                 "\"Wide\"=hex(2):41,00,42,00,00,00\r\n"
                 "\"AsDword\"=hex(4):0a,00,00,00\r\n"
                 "\"Semi;colon\"=\"a;b\"\r\n");
  testing::internal::CaptureStderr();
  auto owner = RegistryKey::Open(kUser, u"ControlPanel\\Owner");
  ASSERT_TRUE(owner);
  EXPECT_EQ(owner->ReadString(u"E-mail"), u"me@example.org");
  EXPECT_EQ(owner->ReadString(u""), u"default");
  auto key = RegistryKey::Open(kUser, u"Software\\Corvane\\Dictalo");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadDword(u"FirstRun"), 1u);
  EXPECT_EQ(key->ReadBinary(u"Blob"), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(key->ReadString(u"Wide"), u"AB");
  EXPECT_EQ(key->ReadDword(u"AsDword"), 10u);
  EXPECT_EQ(key->ReadString(u"Semi;colon"), u"a;b");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(DamagedCopies("HKCU.reg").empty());
}

struct DamageCase {
  const char* what;
  std::string content;
};

// Whatever the damage, the readable part survives, the original is kept aside
// byte for byte, the user is told once, and the hive is clean afterwards.
TEST(RegistryTest, DamagedHiveIsKeptAsideAndReplacedByWhatCouldBeRead) {
  const std::string good =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\Software\\Corvane\\Dictalo]\n"
      "\"InstallDir\"=\"/opt/dictalo\"\n";
  const DamageCase cases[] = {
      {"binary junk", good + std::string("\x00\x01\xff\xfe garbage\x80\n", 14) + "\"After\"=dword:00000002\n"},
      {"truncated text", good + "\"After\"=dword:00000002\n\"Cut\"=\"half a val"},
      {"truncated key line", good + "\"After\"=dword:00000002\n[HKEY_CURRENT_USER\\Softw"},
      {"unparsable lines", good + "\"After\"=dword:zz\n\"After\"=dword:00000002\nnonsense\n\"x\"=hex:1,2,3zz\n"},
      {"key of the other hive", good + "\"After\"=dword:00000002\n[HKEY_LOCAL_MACHINE\\X]\n\"y\"=\"z\"\n"},
      {"no header", good.substr(good.find('[')) + "\"After\"=dword:00000002\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTestHome home;
    WriteFileBytes(HivePath("HKCU.reg"), c.content);
    testing::internal::CaptureStderr();
    auto key = RegistryKey::Open(kUser, u"Software\\Corvane\\Dictalo");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString(u"InstallDir"), u"/opt/dictalo");
    EXPECT_EQ(key->ReadDword(u"After"), 2u);
    EXPECT_TRUE(key->WriteDword(u"Later", 3));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("is damaged"), std::string::npos) << err;
    EXPECT_EQ(err.find("is damaged"), err.rfind("is damaged")) << "reported more than once: " << err;

    auto copies = DamagedCopies("HKCU.reg");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadFileBytes(copies[0]), c.content);
    std::string repaired = ReadFileBytes(HivePath("HKCU.reg"));
    EXPECT_EQ(repaired.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(repaired.find("\"Later\"=dword:00000003"), std::string::npos);
  }
}

// Two processes writing at once: every change of both survives.
TEST(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
  ScopedTestHome home;
  ASSERT_TRUE(RegistryKey::Create(kUser, u"Software\\Race"));
  constexpr int kEach = 200;
  auto write_all = [](const std::u16string& prefix) {
    auto key = RegistryKey::Open(kUser, u"Software\\Race");
    if (!key) return false;
    for (int i = 0; i < kEach; ++i) {
      std::u16string index;
      for (char c : std::to_string(i)) index.push_back(static_cast<char16_t>(c));
      if (!key->WriteDword(prefix + index, static_cast<std::uint32_t>(i))) return false;
    }
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(write_all(u"child-") ? 0 : 1);
  bool parent_ok = write_all(u"parent-");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(parent_ok);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  auto values = RegistryKey::Open(kUser, u"Software\\Race")->Values();
  std::set<std::u16string> names;
  for (const auto& v : values) names.insert(v.name);
  EXPECT_EQ(values.size(), 2u * kEach);
  EXPECT_EQ(names.size(), 2u * kEach);
  EXPECT_TRUE(names.count(u"child-199") && names.count(u"parent-0"));
  EXPECT_TRUE(DamagedCopies("HKCU.reg").empty());
}

}  // namespace
}  // namespace platform
