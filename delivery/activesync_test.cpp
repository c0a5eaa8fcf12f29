#include "delivery/activesync.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "delivery/activesync_fake.h"
#include "delivery/activesync_maildir.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace delivery {
namespace {

using testing_support::ScopedTestHome;
using ::testing::ElementsAre;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string NoteBytes() {
  std::string bytes = "OggS";
  for (int i = 0; i < 3000; ++i) bytes.push_back(static_cast<char>((i * 7) & 0xFF));
  return bytes;
}

// The messages of one folder as Python's mailbox and email modules read them.
std::vector<std::string> ReadWithPython(const std::filesystem::path& root, const std::string& folder,
                                        bool headers = false) {
  std::vector<std::string> args = {(testing_support::SourceDir() / "tests/peers/maildir_reader.py").string(),
                                   root.string(), folder};
  if (headers) args.push_back("--headers");
  auto result = testing_support::RunProgram("/usr/bin/python3", args);
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The messages of the log, without the thread and time prefix.
std::vector<std::string> LogMessages(const std::filesystem::path& install_dir) {
  std::string text = testing_support::ReadFileBytes(base::ActivityLogPath(install_dir));
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    std::size_t pos = 0;
    for (int spaces = 0; spaces < 4 && pos != std::string::npos; ++spaces) pos = line.find(' ', pos) + 1;
    lines.push_back(line.substr(pos));
    start = end + 2;
  }
  return lines;
}

class ActiveSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = home_.root() / "sync" / "ActiveSync";
    auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kActiveSyncKeyPath);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString(kActiveSyncStoreValue, platform::Utf8ToUtf16(root_.string())));
    install_dir_ = home_.root() / "install";
    std::filesystem::create_directories(install_dir_);
    note_ = home_.root() / "tmp" / "note.ogg";
    std::filesystem::create_directories(note_.parent_path());
    testing_support::WriteFileBytes(note_, NoteBytes());
  }

  std::vector<std::string> SendLogged(std::u16string_view to, std::u16string_view subject, bool send_now) {
    {
      auto log = base::OpenActivityLog(install_dir_);
      EXPECT_TRUE(log);
      SendViaActiveSync(log.get(), to, subject, note_, u"Listen: \u00e9t\u00e9", send_now);
    }
    return LogMessages(install_dir_);
  }

  ScopedTestHome home_;
  std::filesystem::path root_;
  std::filesystem::path install_dir_;
  std::filesystem::path note_;
};

// Stop & Save: a draft in the store's Drafts folder that a mail reader reads with
// both recipients, subject, text and the note's bytes; every step is logged.
TEST_F(ActiveSyncTest, SavedNoteIsADraftWithItsAttachmentAndEveryStepLogged) {
  std::vector<std::string> log = SendLogged(u"ann@example.org; bob@example.net", u"Note \u00fcber", false);
  EXPECT_THAT(log, ElementsAre("-----------------------------------------", "*** Starting MAPI message sending ***",
                               "To = \"ann@example.org; bob@example.net\", Subject = \"Note \xc3\xbc" "ber\", File Name = \"" +
                                   note_.string() + "\", Send now = \"false\"",
                               "Message store logon succeeded", "Message stores table retrieved", "Iterating stores",
                               "ActiveSync store found", "ActiveSync's Drafts folder found", "Message created",
                               "Address and subject set", "Attachment file opened", "Attachment file size: 3004",
                               "Message's attachment created", "Attachment's properties set", "Attachment's stream set",
                               "File is saved to attachment", "Attachment's stream commited", "Recording attached",
                               "Message sent", "Finishing MAPI message sending"));

  EXPECT_THAT(ReadWithPython(root_, "Drafts"),
              ElementsAre("message cur D", "to ann@example.org", "to bob@example.net", "subject " + Hex("Note \xc3\xbc" "ber"),
                          "attachment audio/ogg " + Hex(NoteBytes()) + " note.ogg", "text " + Hex("Listen: \xc3\xa9t\xc3\xa9")));
  EXPECT_THAT(ReadWithPython(root_, "Outbox"), ElementsAre());
  EXPECT_TRUE(std::filesystem::is_empty(root_ / ".Drafts" / "tmp"));
}

// Stop & Send without a log: the message moves to the outgoing folder's new/.
TEST_F(ActiveSyncTest, SendNowMovesTheMessageToTheOutgoingFolder) {
  SendViaActiveSync(nullptr, u"ann@example.org", u"", note_, u"", true);
  EXPECT_THAT(ReadWithPython(root_, "Drafts"), ElementsAre());
  EXPECT_THAT(ReadWithPython(root_, "Outbox"),
              ElementsAre("message new -", "to ann@example.org", "subject -",
                          "attachment audio/ogg " + Hex(NoteBytes()) + " note.ogg", "text "));
  EXPECT_FALSE(std::filesystem::exists(base::ActivityLogPath(install_dir_)));

  // A second note goes beside the first.
  SendViaActiveSync(nullptr, u"ann@example.org", u"second", note_, u"", true);
  EXPECT_EQ(std::filesystem::path(root_ / ".Outbox" / "new").empty(), false);
  int count = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(root_ / ".Outbox" / "new")) ++count;
  EXPECT_EQ(count, 2);
}

// Blanks and ";" both end an address; each address becomes its own recipient,
// however many there are against the number of ";".
TEST_F(ActiveSyncTest, ToTextIsSplitAtBlanksAndSemicolons) {
  EXPECT_THAT(SplitActiveSyncRecipients(u"a@x.org; b@y.org"), ElementsAre(u"a@x.org", u"b@y.org"));
  EXPECT_THAT(SplitActiveSyncRecipients(u"a@x.org;;"), ElementsAre(u"a@x.org"));
  EXPECT_THAT(SplitActiveSyncRecipients(u"   a@x.org   b@y.org c@z.org "),
              ElementsAre(u"a@x.org", u"b@y.org", u"c@z.org"));
  EXPECT_THAT(SplitActiveSyncRecipients(u""), ElementsAre());
  EXPECT_THAT(SplitActiveSyncRecipients(u" ; ;"), ElementsAre());

  SendViaActiveSync(nullptr, u"a@x.org b@y.org c@z.org", u"s", note_, u"", false);
  std::vector<std::string> read = ReadWithPython(root_, "Drafts");
  ASSERT_GE(read.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(read.begin() + 1, read.begin() + 4),
              ElementsAre("to a@x.org", "to b@y.org", "to c@z.org"));

  // A line break inside the To text cannot add header fields to the message.
  std::filesystem::remove_all(root_);
  SendViaActiveSync(nullptr, u"a@x.org\r\nBcc:\tevil@example.org", u"s", note_, u"", false);
  read = ReadWithPython(root_, "Drafts", /*headers=*/true);
  EXPECT_THAT(read, ::testing::Contains("header To"));
  EXPECT_THAT(read, ::testing::Not(::testing::Contains("header Bcc")));
}

// A note file that cannot be read leaves the message in Drafts without attachment.
TEST_F(ActiveSyncTest, MissingNoteFileLeavesTheDraftWithoutAttachment) {
  note_ = home_.root() / "no-such-note.ogg";
  std::vector<std::string> log = SendLogged(u"ann@example.org", u"s", true);
  EXPECT_THAT(std::vector<std::string>(log.begin() + 9, log.end()),
              ElementsAre("Address and subject set", "ERROR: Cannot open attachment file", "Recording attached",
                          "Message sent", "Finishing MAPI message sending"));
  EXPECT_THAT(ReadWithPython(root_, "Outbox"),
              ElementsAre("message new -", "to ann@example.org", "subject " + Hex("s"), "text " + Hex("Listen: \xc3\xa9t\xc3\xa9")));
}

// A store that cannot be opened is passed over: nothing is created.
TEST_F(ActiveSyncTest, UnusableStoreCreatesNothing) {
  std::filesystem::create_directories(root_.parent_path());
  testing_support::WriteFileBytes(root_, "not a folder");
  std::vector<std::string> log = SendLogged(u"ann@example.org", u"s", true);
  EXPECT_THAT(std::vector<std::string>(log.begin() + 3, log.end()),
              ElementsAre("Message store logon succeeded", "Message stores table retrieved", "Iterating stores",
                          "Finishing MAPI message sending"));
  EXPECT_EQ(testing_support::ReadFileBytes(root_), "not a folder");
}

TEST(ActiveSyncStoreChoiceTest, OnlyTheStoreNamedActiveSyncOrWithoutReadableNameIsUsed) {
  FakeMessagingScript script;
  script.stores = {{std::nullopt, u"ActiveSync"},
                   {"closed", u"ActiveSync", false},
                   {"other", u"activesync"},
                   {"sms", u"SMS"}};
  SendViaActiveSync(FakeMessagingLogon(&script), nullptr, u"a@x.org", u"s", "/nonexistent", u"b", false);
  EXPECT_TRUE(script.created_in.empty());
  EXPECT_THAT(script.calls, ElementsAre("Logon", "OpenStoresTable", "NextStoreRow", "NextStoreRow", "OpenStore closed",
                                        "NextStoreRow", "OpenStore other", "DisplayName", "NextStoreRow", "OpenStore sms",
                                        "DisplayName", "NextStoreRow"));

  FakeMessagingScript unnamed;
  unnamed.stores = {{"first", u"SMS"}, {"nameless", std::nullopt}, {"as", u"ActiveSync"}};
  SendViaActiveSync(FakeMessagingLogon(&unnamed), nullptr, u"a@x.org", u"", "/nonexistent", u"body", false);
  EXPECT_THAT(unnamed.created_in, ElementsAre("nameless"));
  EXPECT_FALSE(unnamed.subject.has_value());
  EXPECT_EQ(unnamed.body, std::u16string(u"body\0", 5));
  ASSERT_EQ(unnamed.recipients.size(), 1u);
  EXPECT_EQ(unnamed.recipients[0].type, kRecipientTo);
  EXPECT_EQ(unnamed.recipients[0].address_type, u"SMTP");
  EXPECT_FALSE(unnamed.submitted);

  FakeMessagingScript no_logon;
  no_logon.logon_fails = true;
  no_logon.stores = {{"as", u"ActiveSync"}};
  SendViaActiveSync(FakeMessagingLogon(&no_logon), nullptr, u"a@x.org", u"", "/nonexistent", u"", true);
  EXPECT_THAT(no_logon.calls, ElementsAre("Logon"));
}

class ActiveSyncStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script_.stores = {{"as", u"ActiveSync"}};
    std::filesystem::create_directories(home_.root() / "install");
    note_ = home_.root() / "note.wav";
    testing_support::WriteFileBytes(note_, NoteBytes());
  }
  std::vector<std::string> Run() {
    {
      auto log = base::OpenActivityLog(home_.root() / "install");
      SendViaActiveSync(FakeMessagingLogon(&script_), log.get(), u"a@x.org", u"s", note_, u"", true);
    }
    return LogMessages(home_.root() / "install");
  }
  ScopedTestHome home_;
  FakeMessagingScript script_;
  std::filesystem::path note_;
};

// The attachment's stream is tried five times, 200 ms apart, before giving up.
TEST_F(ActiveSyncStreamTest, StreamIsRetriedFiveTimes) {
  script_.stream_open_failures = 4;
  auto start = std::chrono::steady_clock::now();
  std::vector<std::string> log = Run();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(750));
  EXPECT_EQ(std::count(script_.calls.begin(), script_.calls.end(), "OpenDataStream"), 5);
  EXPECT_EQ(script_.attachment_data, NoteBytes());
  EXPECT_TRUE(script_.committed);
  EXPECT_TRUE(script_.submitted);
  EXPECT_THAT(log, ::testing::Contains("Attachment's stream commited"));

  FakeMessagingScript& again = script_ = FakeMessagingScript{};
  again.stores = {{"as", u"ActiveSync"}};
  again.stream_open_failures = 5;
  std::filesystem::remove(base::ActivityLogPath(home_.root() / "install"));
  log = Run();
  EXPECT_EQ(std::count(again.calls.begin(), again.calls.end(), "OpenDataStream"), 5);
  EXPECT_FALSE(again.committed);
  EXPECT_THAT(std::vector<std::string>(log.end() - 5, log.end()),
              ElementsAre("Attachment's properties set", "ERROR: Cannot create attachment's stream (code -2147467259)",
                          "Recording attached", "Message sent", "Finishing MAPI message sending"));
}

// A stream that refuses bytes is not committed as if it held the whole note.
TEST_F(ActiveSyncStreamTest, WriteFailureIsNotCommitted) {
  script_.write_fails = true;
  std::vector<std::string> log = Run();
  EXPECT_FALSE(script_.committed);
  EXPECT_EQ(std::count(script_.calls.begin(), script_.calls.end(), "CommitData"), 0);
  EXPECT_THAT(log, ::testing::Contains("ERROR: Cannot write attachment's stream (code -2147467259)"));
  EXPECT_THAT(log, ::testing::Not(::testing::Contains("File is saved to attachment")));

  FakeMessagingScript& commit = script_ = FakeMessagingScript{};
  commit.stores = {{"as", u"ActiveSync"}};
  commit.commit_fails = true;
  std::filesystem::remove(base::ActivityLogPath(home_.root() / "install"));
  log = Run();
  EXPECT_THAT(log, ::testing::Contains("ERROR: Cannot commit attachment's stream (code -2147467259)"));
}

}  // namespace
}  // namespace delivery
