#include "ctl/compose_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "mime/message_parser.h"
#include "mime/mime_message.h"
#include "tests/support/test_environment.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

Result Compose(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = RunComposeCommand(args, out, err);
  return {code, out.str(), err.str()};
}

std::string WaveBytes() {
  std::string wav = "RIFF\x24\x10\x00\x00WAVEfmt ";
  for (int i = 0; i < 4096; ++i) wav.push_back(static_cast<char>(128 + (i % 64) - 32));
  return wav;
}

TEST(ComposeCommand, WritesTheNoteMessageWithTextAndAttachment) {
  testing_support::ScopedTestHome home;
  auto wav = home.root() / "Note 07.12.2026 09-05.wav";
  testing_support::WriteFileBytes(wav, WaveBytes());
  Result r = Compose({"--from", "Me <me@example.org>", "--to", "you@example.org", "--cc=boss@example.org",
                  "--subject", "Voice note \xC3\xBC", "--text", "Listen.", wav.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Every line ends in CR LF.
  for (std::size_t at = r.out.find('\n'); at != std::string::npos; at = r.out.find('\n', at + 1)) {
    ASSERT_GT(at, 0u);
    ASSERT_EQ(r.out[at - 1], '\r') << at;
  }
  EXPECT_EQ(r.out.rfind("From: Me <me@example.org>\r\nTo: you@example.org\r\nCC: boss@example.org\r\nMIME-Version: 1.0\r\n", 0), 0u)
      << r.out.substr(0, 200);
  EXPECT_NE(r.out.find("Subject: Voice note =?utf-8?"), std::string::npos);

  mime::MimeMessage message;
  mime::ParseMessage(r.out, &message);
  EXPECT_EQ(message.GetSubject(), u"Voice note \u00fc");
  auto* root = message.RootMultiPart();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->children().size(), 2u);
  EXPECT_EQ(root->children()[0]->ClassName(), u"CElPlainTextPart");
  std::u16string text;
  ASSERT_EQ(static_cast<mime::CElPlainTextPart*>(root->children()[0].get())->GetText(&text), mime::kMimeOk);
  EXPECT_EQ(text, u"Listen.");
  const auto& attachment = *root->children()[1];
  EXPECT_EQ(attachment.GetFileName(), u"Note 07.12.2026 09-05.wav");
  if (std::filesystem::exists("/etc/mime.types")) {
    EXPECT_EQ(attachment.headers().Find(u"Content-Type")->value, u"audio/x-wav");
  }
  EXPECT_EQ(attachment.headers().Find(u"Content-Transfer-Encoding")->rawValue, u"base64");
  std::string content;
  ASSERT_EQ(attachment.ReadContent(&content), mime::kMimeOk);
  EXPECT_EQ(content, WaveBytes());
}

TEST(ComposeCommand, WithoutTextTheFilesAreTheOnlyPartsAndTheCharsetIsUsed) {
  testing_support::ScopedTestHome home;
  auto a = home.root() / "a.unknownext";
  auto b = home.root() / "b.wav";
  testing_support::WriteFileBytes(a, "x");
  testing_support::WriteFileBytes(b, WaveBytes());
  Result r = Compose({"--from=me@example.org", "--to=you@example.org", "--subject=S", "--charset", "iso-8859-15",
                  "--text", "\xE2\x82\xAC", a.string(), b.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  mime::MimeMessage message;
  mime::ParseMessage(r.out, &message);
  auto* root = message.RootMultiPart();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->children().size(), 3u);
  EXPECT_EQ(root->children()[0]->headers().Find(u"Content-Type")->ParamText(u"charset"), u"iso-8859-15");
  EXPECT_EQ(root->children()[1]->headers().Find(u"Content-Type")->value, u"application/octet-stream");

  Result bare = Compose({"--from=me@example.org", "--to=you@example.org", "--subject=S", b.string()});
  ASSERT_EQ(bare.code, 0);
  mime::ParseMessage(bare.out, &message);
  ASSERT_NE(message.RootMultiPart(), nullptr);
  EXPECT_EQ(message.RootMultiPart()->children().size(), 1u);
}

TEST(ComposeCommand, BadUsageAndUnreadableFilesExitWithTwoAndOneLine) {
  testing_support::ScopedTestHome home;
  auto wav = home.root() / "n.wav";
  testing_support::WriteFileBytes(wav, "RIFF");
  const std::vector<std::vector<std::string>> cases = {
      {"--to=y@x", "--subject=s", wav.string()},                            // no --from
      {"--from=a@x", "--to=y@x", "--subject=s"},                            // no file
      {"--from=a@x", "--to=y@x", "--subject=s", "--bogus=1", wav.string()},
      {"--from=a@x", "--to=y@x", "--subject=s", (home.root() / "missing.wav").string()},
      {"--from=a@x", "--to=y@x", "--subject=s", home.root().string()},      // a folder
      {"--from=a@x", "--to=y@x", "--subject=s", "--charset=x-no-such", wav.string()},
      {"--from=a@x", "--to=y@x", "--subject"},
  };
  for (const auto& args : cases) {
    Result r = Compose(args);
    EXPECT_EQ(r.code, 2) << args.back();
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
}

}  // namespace
