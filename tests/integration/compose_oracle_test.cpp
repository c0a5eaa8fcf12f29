// What `dictaloctl compose` writes, read by an independent parser: Python's
// email package (mime_oracle.py beside this file). Random subjects, display
// names and note text in Latin, Cyrillic, CJK and emoji, random binary
// attachments; the parser must get back the same texts, mailboxes and bytes,
// report no defects, and find no line over 998 bytes and no base64 or
// quoted-printable line over 76 characters.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;

std::string Hex(const std::string& bytes) {
  if (bytes.empty()) return "-";
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// Splits a UTF-8 alphabet into its characters.
std::vector<std::string> Characters(const std::string& alphabet) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < alphabet.size();) {
    const unsigned char lead = static_cast<unsigned char>(alphabet[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    out.push_back(alphabet.substr(i, n));
    i += n;
  }
  return out;
}

struct Mailbox {
  std::string name;
  std::string address;
  std::string Argument() const { return name.empty() ? address : "\"" + name + "\" <" + address + ">"; }
};

class TextMaker {
 public:
  explicit TextMaker(unsigned seed) : random_(seed) {}

  // Words of one script each, single spaces between them. Latin only when
  // the text must fit a one-byte charset.
  std::string Words(int low, int high, bool latin_only) {
    std::string text;
    const int count = Between(low, high);
    for (int w = 0; w < count; ++w) {
      if (w > 0) text += ' ';
      const auto& script = scripts_[latin_only ? 0 : Between(0, static_cast<int>(scripts_.size()) - 1)];
      const int letters = Between(1, 9);
      for (int k = 0; k < letters; ++k) text += script[Between(0, static_cast<int>(script.size()) - 1)];
      if (Between(0, 7) == 0) text += ",.!?:-"[Between(0, 5)];
    }
    return text;
  }
  Mailbox MakeMailbox(bool latin_only) {
    Mailbox box;
    if (Between(0, 4) > 0) box.name = Words(1, 3, latin_only);
    box.address = "u" + std::to_string(Between(1, 99999)) + "@example" + std::to_string(Between(1, 9)) + ".org";
    return box;
  }
  std::string Bytes(std::size_t size) {
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(random_());
    return out;
  }
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  std::mt19937 random_;
  std::vector<std::vector<std::string>> scripts_ = {
      Characters("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789àéîõüçñÀÉÜß"),
      Characters("абвгдежзийклмнопрстуфхцчшщыэюяАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЭЮЯ"),
      Characters("漢字仮名交書日本語中文测试录音会議予定電話東京大阪"),
      Characters("😀🎤📧🔔✨🚀🎧📝"),
  };
};

struct Case {
  std::string charset;  // empty: the default
  std::string subject;
  std::string text;
  Mailbox from;
  std::vector<Mailbox> to;
  std::vector<Mailbox> cc;
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
};

Case MakeCase(TextMaker& make, int index) {
  Case c;
  const bool latin = index % 4 == 3;
  if (latin) c.charset = index % 8 == 3 ? "iso-8859-15" : "windows-1252";
  c.subject = make.Words(1, 14, latin);
  const int lines = make.Between(0, 4);
  for (int l = 0; l < lines; ++l) c.text += (l > 0 ? "\n" : "") + make.Words(1, 30, latin);
  c.from = make.MakeMailbox(latin);
  for (int n = make.Between(1, 3); n > 0; --n) c.to.push_back(make.MakeMailbox(latin));
  for (int n = make.Between(0, 2); n > 0; --n) c.cc.push_back(make.MakeMailbox(latin));
  static const char* extensions[] = {".wav", ".ogg", ".bin", ".dat"};
  for (int n = make.Between(1, 3); n > 0; --n) {
    const int shape = make.Between(0, 3);
    const std::size_t size = shape == 0   ? static_cast<std::size_t>(make.Between(0, 3))
                             : shape == 1 ? static_cast<std::size_t>(57 * make.Between(1, 4) + make.Between(-1, 1))
                                          : static_cast<std::size_t>(make.Between(100, 120000));
    std::string name = make.Words(1, 3, latin) + " " + std::to_string(c.files.size()) + extensions[make.Between(0, 3)];
    for (char& ch : name) {
      if (ch == '/') ch = '_';
    }
    c.files.emplace_back(name, make.Bytes(size));
  }
  return c;
}

std::string Joined(const std::vector<Mailbox>& boxes) {
  std::string out;
  for (const auto& box : boxes) out += (out.empty() ? "" : ", ") + box.Argument();
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class ComposeOracleTest : public ::testing::Test {
 protected:
  testing_support::ScopedTestHome home_;
};

TEST_F(ComposeOracleTest, PythonReadsBackWhatComposeWrote) {
  const fs::path ctl = testing_support::BinaryDir() / "dictaloctl";
  const fs::path oracle = testing_support::SourceDir() / "tests" / "integration" / "mime_oracle.py";
  TextMaker make(20261208);
  for (int index = 0; index < 40; ++index) {
    const Case c = MakeCase(make, index);
    SCOPED_TRACE("case " + std::to_string(index) + ", subject " + c.subject);
    const fs::path folder = home_.root() / ("case" + std::to_string(index));
    fs::create_directories(folder);
    std::vector<std::string> args = {"compose", "--from", c.from.Argument(), "--to", Joined(c.to),
                                     "--subject", c.subject};
    if (!c.cc.empty()) args.insert(args.end(), {"--cc", Joined(c.cc)});
    if (!c.text.empty()) args.insert(args.end(), {"--text", c.text});
    if (!c.charset.empty()) args.insert(args.end(), {"--charset", c.charset});
    for (const auto& [name, bytes] : c.files) {
      testing_support::WriteFileBytes(folder / name, bytes);
      args.push_back((folder / name).string());
    }
    const auto composed = testing_support::RunProgram(ctl, args);
    ASSERT_EQ(composed.status, 0) << composed.err;
    const fs::path message = folder / "note.eml";
    testing_support::WriteFileBytes(message, composed.out);

    const auto parsed = testing_support::RunProgram("/usr/bin/python3", {oracle.string(), message.string()});
    ASSERT_EQ(parsed.status, 0) << parsed.err;

    std::vector<std::string> expected = {"subject " + Hex(c.subject), "from " + Hex(c.from.name) + " " +
                                                                          Hex(c.from.address)};
    for (const auto& box : c.to) expected.push_back("to " + Hex(box.name) + " " + Hex(box.address));
    for (const auto& box : c.cc) expected.push_back("cc " + Hex(box.name) + " " + Hex(box.address));
    const std::vector<std::string> found = Lines(parsed.out);
    std::size_t at = 0;
    for (const auto& line : expected) {
      ASSERT_LT(at, found.size()) << parsed.out;
      EXPECT_EQ(found[at++], line);
    }
    // The note text, when there is one, then each file in order.
    ASSERT_LT(at, found.size());
    if (!c.text.empty() || found[at].rfind("text ", 0) == 0) {
      EXPECT_EQ(found[at++], "text " + Hex(c.text));
    }
    for (const auto& [name, bytes] : c.files) {
      ASSERT_LT(at, found.size()) << parsed.out;
      std::istringstream fields(found[at++]);
      std::string word, found_name, type, found_bytes;
      fields >> word >> found_name >> type >> found_bytes;
      EXPECT_EQ(word, "attachment");
      EXPECT_EQ(found_name, Hex(name));
      EXPECT_TRUE(found_bytes == Hex(bytes)) << name << ": the bytes differ (" << found_bytes.size() / 2 << " of "
                                             << bytes.size() << ")";
    }
    ASSERT_EQ(found.size(), at + 3) << parsed.out;
    EXPECT_EQ(found[at], "defects 0") << composed.out.substr(0, 2000);
    const int longest = std::stoi(found[at + 1].substr(found[at + 1].find(' ') + 1));
    const int longest_encoded = std::stoi(found[at + 2].substr(found[at + 2].find(' ') + 1));
    EXPECT_LE(longest, 998);
    EXPECT_LE(longest_encoded, 76);
  }
}

// A subject with a word longer than any header line and line breaks, and a
// file name with a line break: Python reads the message without a defect,
// every line within 998 octets, the breaks turned into white space and nothing
// more in the header than what was asked for.
TEST_F(ComposeOracleTest, OverlongWordsAndLineBreaksInHeaderText) {
  const fs::path ctl = testing_support::BinaryDir() / "dictaloctl";
  const fs::path oracle = testing_support::SourceDir() / "tests" / "integration" / "mime_oracle.py";
  const std::string word(1500, 'w');
  const std::string subject = "Hi\r\nBcc: evil@example.org " + word + " end";
  const std::string name = "note\nX-Forged: yes.ogg";
  const fs::path folder = home_.root() / "hostile";
  fs::create_directories(folder);
  testing_support::WriteFileBytes(folder / name, "OggS data");
  const auto composed = testing_support::RunProgram(
      ctl, {"compose", "--from", "me@example.org", "--to", "you@example.org", "--subject", subject,
            (folder / name).string()});
  ASSERT_EQ(composed.status, 0) << composed.err;
  EXPECT_EQ(composed.out.find("\nBcc:"), std::string::npos) << composed.out;
  EXPECT_EQ(composed.out.find("\nX-Forged"), std::string::npos) << composed.out;
  const fs::path message = folder / "note.eml";
  testing_support::WriteFileBytes(message, composed.out);
  const auto parsed = testing_support::RunProgram("/usr/bin/python3", {oracle.string(), message.string()});
  ASSERT_EQ(parsed.status, 0) << parsed.err;
  const std::vector<std::string> found = Lines(parsed.out);
  ASSERT_GE(found.size(), 4u) << parsed.out;
  EXPECT_EQ(found[0], "subject " + Hex("Hi Bcc: evil@example.org " + word + " end"));  // the white space run shrinks
  EXPECT_NE(parsed.out.find("attachment " + Hex("note X-Forged: yes.ogg") + " "), std::string::npos) << parsed.out;
  EXPECT_EQ(found[found.size() - 3], "defects 0") << composed.out.substr(0, 3000);
  EXPECT_LE(std::stoi(found[found.size() - 2].substr(found[found.size() - 2].find(' ') + 1)), 998);
}

}  // namespace
