#include "settings/config_store.h"

#include <sys/stat.h>

#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

namespace settings {
namespace {

using testing_support::ReadFileBytes;
using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;

std::string Reparsed(const std::string& text) {
  ConfigStore store;
  store.LoadText(text);
  return store.ToText();
}

// The exact text form, including node order, quoting and the binary prefix.
TEST(ConfigStoreTest, WritesTheDocumentedTextForm) {
  ConfigStore store;
  ASSERT_TRUE(store.SelectNode("\\Settings"));
  EXPECT_TRUE(store.WriteInt("NotesSendMode", 3));
  EXPECT_TRUE(store.WriteInt("Negative", -42));
  EXPECT_TRUE(store.WriteBool("PlaySound", true));
  EXPECT_TRUE(store.WriteBool("IsMidi", false));
  EXPECT_TRUE(store.WriteText("NoteFilePath", "C:\\My Documents\\"));
  EXPECT_TRUE(store.WriteWideText("MessageSubject", u"[Voice Notes] - \u00e9t\u00e9"));
  const std::uint8_t bytes[] = {0x00, 0x7f, 0xab, 0xff};
  EXPECT_TRUE(store.WriteBinary("SMTPPsswd", bytes));
  EXPECT_TRUE(store.WriteText("Quoted", "\"a\\b\"\n\t\x01 "));
  EXPECT_TRUE(store.WriteText("Empty", ""));
  ASSERT_TRUE(store.SelectNode("Other\\Child"));
  EXPECT_TRUE(store.WriteBinary("None", {}));

  EXPECT_EQ(store.ToText(),
            ";Automatically generated file. DO NOT MODIFY!!!\n"
            "[\\Settings]\n"
            "NotesSendMode=3\n"
            "Negative=-42\n"
            "PlaySound=true\n"
            "IsMidi=false\n"
            "NoteFilePath=C:\\My Documents\\\n"
            "MessageSubject=[Voice Notes] - \xC3\xA9t\xC3\xA9\n"
            "SMTPPsswd=454C007FABFF\n"
            "Quoted=\"\\\"a\\\\b\\\"\\n\\t\\x01 \"\n"
            "Empty=\n"
            "[\\Other\\Child]\n"
            "None=454C\n");
}

// Every type through a real file and back, texts chosen to need each escape.
TEST(ConfigStoreTest, EveryTypeSurvivesSaveAndLoad) {
  ScopedTestHome home;
  const std::string texts[] = {
      "plain",        "C:\\Windows\\path\\",    "\"begins with a quote", "ends with a quote\"",
      "\"both\"",     " leading blank",         "trailing blank\t",      "line\nbreak\r\nand CR",
      "\\x41 not an escape in a plain value",   std::string("nul\0inside", 10),
      "\xff\xfe not UTF-8",                     "\"",                    "\\",
      "a=b=c",        "[not a node]",           ";not a comment",        ""};
  const std::u16string wide[] = {u"\u00c4rger \u20ac \U0001F600", u"\"\u65e5\u672c\"", u"tab\there"};
  const std::int32_t ints[] = {0, 1, -1, INT32_MAX, INT32_MIN};
  std::vector<std::uint8_t> all_bytes(256);
  for (int i = 0; i < 256; ++i) all_bytes[i] = static_cast<std::uint8_t>(i);

  ConfigStore out;
  ASSERT_TRUE(out.SelectNode("\\Settings"));
  for (std::size_t i = 0; i < std::size(texts); ++i) ASSERT_TRUE(out.WriteText("t" + std::to_string(i), texts[i]));
  for (std::size_t i = 0; i < std::size(wide); ++i) ASSERT_TRUE(out.WriteWideText("w" + std::to_string(i), wide[i]));
  for (std::size_t i = 0; i < std::size(ints); ++i) ASSERT_TRUE(out.WriteInt("i" + std::to_string(i), ints[i]));
  ASSERT_TRUE(out.WriteBool("yes", true));
  ASSERT_TRUE(out.WriteBool("no", false));
  ASSERT_TRUE(out.WriteBinary("bin", all_bytes));
  ASSERT_TRUE(out.WriteBinary("empty", {}));
  const auto path = home.data_home() / "Settings.ini";
  ASSERT_TRUE(out.SaveFile(path));

  ConfigStore in;
  ASSERT_TRUE(in.LoadFile(path));
  ASSERT_TRUE(in.SelectNode("\\Settings"));
  for (std::size_t i = 0; i < std::size(texts); ++i)
    EXPECT_EQ(in.ReadText("t" + std::to_string(i), "default"), texts[i]) << i;
  for (std::size_t i = 0; i < std::size(wide); ++i)
    EXPECT_EQ(in.ReadWideText("w" + std::to_string(i), u"default"), wide[i]) << i;
  for (std::size_t i = 0; i < std::size(ints); ++i) EXPECT_EQ(in.ReadInt("i" + std::to_string(i), 7), ints[i]) << i;
  EXPECT_TRUE(in.ReadBool("yes", false));
  EXPECT_FALSE(in.ReadBool("no", true));
  EXPECT_EQ(in.ReadBinary("bin"), all_bytes);
  EXPECT_EQ(in.ReadBinary("empty"), std::vector<std::uint8_t>{});
  EXPECT_EQ(in.ToText(), out.ToText());
}

// Reads convert the stored text; what does not convert gives the default.
TEST(ConfigStoreTest, ReadsConvertOrFallBackToTheDefault) {
  ConfigStore store;
  store.LoadText(
      "[\\S]\n"
      "int_ok=+25\nint_neg=-7\nint_junk=25abc\nint_empty=\nint_big=2147483648\nint_space=\"2 5\"\nint_sign=+-5\n"
      "b1=TRUE\nb2=False\nb3=1\nb4=0\nb5=yes\nb6=2\n"
      "bin_odd=454C0\nbin_hex=454Czz\nbin_nopre=00FF\nbin_lower=454cabcd\n");
  ASSERT_TRUE(store.SelectNode("S"));
  EXPECT_EQ(store.ReadInt("int_ok", 9), 25);
  EXPECT_EQ(store.ReadInt("int_neg", 9), -7);
  for (const char* key : {"int_junk", "int_empty", "int_big", "int_space", "int_sign", "missing", "b1"})
    EXPECT_EQ(store.ReadInt(key, 9), 9) << key;
  EXPECT_TRUE(store.ReadBool("b1", false));
  EXPECT_FALSE(store.ReadBool("b2", true));
  EXPECT_TRUE(store.ReadBool("b3", false));
  EXPECT_FALSE(store.ReadBool("b4", true));
  EXPECT_TRUE(store.ReadBool("b5", true));
  EXPECT_FALSE(store.ReadBool("b6", false));
  for (const char* key : {"bin_odd", "bin_hex", "bin_nopre", "int_ok", "missing"})
    EXPECT_FALSE(store.ReadBinary(key).has_value()) << key;
  EXPECT_EQ(store.ReadBinary("bin_lower"), (std::vector<std::uint8_t>{0xab, 0xcd}));

  // A write replaces the type: an int read as text, then overwritten by a bool.
  EXPECT_EQ(store.ReadText("int_ok", ""), "+25");
  ASSERT_TRUE(store.WriteBool("int_ok", true));
  EXPECT_EQ(store.ReadInt("int_ok", 9), 9);
  EXPECT_TRUE(store.ReadBool("int_ok", false));
}

// A hand-edited file: comments, blanks, CR LF, odd spacing and case, unknown
// nodes and keys kept in their order, malformed lines dropped.
TEST(ConfigStoreTest, ToleratesHandEditedFiles) {
  ConfigStore store;
  store.LoadText(
      "\xEF\xBB\xBF; a comment\r\n"
      "orphan = at the root\r\n"
      "\r\n"
      "# another comment\n"
      "[ Settings ]\r\n"
      "  SMTPHost  =  mail.example.com  \r\n"
      "this line has no equals sign\n"
      "=no key\n"
      "UnknownKey=kept\n"
      "smtphost=changed later\n"
      "[\\Unknown\\Node]\n"
      "x=1\n"
      "[broken node\n"
      "lost=because the node line above is broken\n"
      "[\\settings]\n"
      "Quoted=\"  spaced  \"\n"
      "HalfQuoted=\"open\n"
      "Escapes=\"\\q\\x4\\x41\"\n"
      "[Empty]");
  ASSERT_TRUE(store.SelectNode("\\SETTINGS"));
  EXPECT_EQ(store.ReadText("SMTPHOST", ""), "changed later");
  EXPECT_EQ(store.KeyNames(), (std::vector<std::string>{"SMTPHost", "UnknownKey", "Quoted", "HalfQuoted", "Escapes"}));
  EXPECT_EQ(store.ReadText("Quoted", ""), "  spaced  ");
  EXPECT_EQ(store.ReadText("HalfQuoted", ""), "\"open");
  EXPECT_EQ(store.ReadText("Escapes", ""), "\\q\\x4A");
  EXPECT_EQ(store.ChildNodeNames("\\"), (std::vector<std::string>{"Settings", "Unknown", "Empty"}));

  EXPECT_EQ(store.ToText(),
            ";Automatically generated file. DO NOT MODIFY!!!\n"
            "[\\]\n"
            "orphan=at the root\n"
            "[\\Settings]\n"
            "SMTPHost=changed later\n"
            "UnknownKey=kept\n"
            "Quoted=\"  spaced  \"\n"
            "HalfQuoted=\"\\\"open\"\n"
            "Escapes=\\q\\x4A\n"
            "[\\Unknown\\Node]\n"
            "x=1\n"
            "[\\Empty]\n");
  // Writing keeps the stored spelling of an existing key; deleting removes it.
  ASSERT_TRUE(store.WriteInt("unknownkey", 5));
  EXPECT_TRUE(store.DeleteKey("QUOTED"));
  EXPECT_FALSE(store.DeleteKey("Quoted"));
  EXPECT_EQ(store.KeyNames(), (std::vector<std::string>{"SMTPHost", "UnknownKey", "HalfQuoted", "Escapes"}));
  EXPECT_EQ(store.ReadInt("UnknownKey", 0), 5);
}

// Keys and values the text form cannot carry are refused, leaving the store as it was.
TEST(ConfigStoreTest, RefusesWhatCannotBeWrittenBack) {
  ConfigStore store;
  ASSERT_TRUE(store.SelectNode("\\Settings"));
  for (std::string key : std::vector<std::string>{"", "a=b", " lead", "trail ", "[x", ";x", "#x", "new\nline", std::string(5000, 'k')})
    EXPECT_FALSE(store.WriteInt(key, 1)) << key;
  EXPECT_FALSE(store.WriteText("big", std::string(ConfigStore::kMaxValueBytes + 1, 'v')));
  EXPECT_TRUE(store.WriteText("big", std::string(ConfigStore::kMaxValueBytes, 'v')));
  EXPECT_FALSE(store.SelectNode("bad\nnode"));
  EXPECT_EQ(store.SelectedNode(), "\\Settings");
  EXPECT_EQ(store.KeyNames(), std::vector<std::string>{"big"});
}

// Damaged input: random bytes, a 10 MB line, and every truncation of a good
// file load what they can, and what they load is written back stably.
TEST(ConfigStoreTest, DamagedInputLoadsWhatItCan) {
  ScopedTestHome home;
  std::mt19937 rng(1234);
  std::string junk(1 << 20, '\0');
  for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
  for (int i = 0; i < 2000; ++i) junk[rng() % junk.size()] = "\n=[];\"\\"[rng() % 7];
  std::string once = Reparsed(junk);
  EXPECT_EQ(Reparsed(once), once);

  const std::string long_line = "[\\Settings]\nbefore=1\nhuge=" + std::string(10 << 20, 'x') + "\r\nafter=2\n";
  const auto path = home.data_home() / "long.ini";
  WriteFileBytes(path, long_line);
  ConfigStore from_file;
  ASSERT_TRUE(from_file.LoadFile(path));
  ASSERT_TRUE(from_file.SelectNode("Settings"));
  EXPECT_EQ(from_file.KeyNames(), (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(from_file.ToText(), Reparsed(long_line));

  const std::string good =
      ";Automatically generated file. DO NOT MODIFY!!!\n[\\Settings]\nSMTPHost=mail.example.com\nSMTPPort=587\n";
  for (std::size_t cut = 0; cut <= good.size(); ++cut) {
    ConfigStore store;
    store.LoadText(good.substr(0, cut));
    store.SelectNode("Settings");
    if (cut >= good.find("SMTPPort")) {
      EXPECT_EQ(store.ReadText("SMTPHost", ""), "mail.example.com") << cut;
    }
    if (cut == good.size()) {
      EXPECT_EQ(store.ReadInt("SMTPPort", 0), 587);
    }
  }
}

// Saving replaces the file whole, leaves no temporary file, keeps the file
// private, and reports a failure without touching what is there.
TEST(ConfigStoreTest, SaveReplacesTheFileOrReportsFailure) {
  ScopedTestHome home;
  const auto dir = home.data_home() / "dictalo";
  std::filesystem::create_directories(dir);
  const auto path = dir / "Settings.ini";
  WriteFileBytes(path, "[\\Old]\nold=1\n");

  ConfigStore store;
  store.SelectNode("Settings");
  ASSERT_TRUE(store.WriteInt("NotesSendMode", 2));
  ASSERT_TRUE(store.SaveFile(path));
  EXPECT_EQ(ReadFileBytes(path), store.ToText());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_FALSE(store.SaveFile(dir / "missing" / "Settings.ini"));
  std::filesystem::create_directories(dir / "adir");
  EXPECT_FALSE(store.SaveFile(dir / "adir"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "adir"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);
  EXPECT_FALSE(ConfigStore().LoadFile(dir / "absent.ini"));
}

}  // namespace
}  // namespace settings
