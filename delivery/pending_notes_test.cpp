// Unsent notes on real volume files: counting, listing, deleting, saving a
// recording, converting to files and to ActiveSync drafts (read back by
// Python's mailbox module), and the web resend against a local HTTP receiver.

#include "delivery/pending_notes.h"

#include <gtest/gtest.h>

#include <sstream>

#include "delivery/activesync_maildir.h"
#include "delivery/delivery_job_test_support.h"
#include "mime/message_builder.h"
#include "mime/note_message.h"
#include "platform/http_client_test_support.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "storage/db_mime_message.h"
#include "storage/delivery_volume.h"
#include "tests/support/test_environment.h"

// Each case names only the fields of a note that matter to it.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace delivery {
namespace {

namespace fs = std::filesystem;
using testing_support::HttpReceiver;
using testing_support::ReadFileBytes;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct NoteFields {
  std::u16string subject = u"Voice note";
  std::u16string to = u"Ann <ann@example.org>, bob@example.net";
  std::u16string body_text;
  std::string file_name = "note.ogg";
  std::string bytes = std::string(700, 'o');
  bool with_recording = true;
};

class PendingNotesTest : public ::testing::Test {
 protected:
  void SetUp() override { settings_ = test::JobSettings(home_.root()); }

  fs::path InstallDir() const { return home_.root() / "install"; }
  fs::path Volume() const { return storage::DeliveryVolumePath(InstallDir()); }
  fs::path NotesDir() const { return home_.root() / "notes"; }

  // Puts a note into the Outbox as the delivery job leaves it.
  storage::RecordId AddNote(const NoteFields& fields) {
    auto opened = storage::OpenDeliveryStorage(InstallDir(), nullptr);
    EXPECT_TRUE(opened.storage);
    if (!opened.storage) return 0;
    auto* drafts = opened.storage->GetFolder(storage::FolderType::kDrafts);
    std::unique_ptr<storage::CElDBMimeMessage> message;
    EXPECT_EQ(drafts->CreateMessage(&message), storage::kStorageOk);
    mime::NoteMessageRequest request;
    request.from = u"notes@example.org";
    request.to = fields.to;
    request.subject = fields.subject;
    request.body_text = fields.body_text;
    if (fields.with_recording) {
      fs::path file = test::WriteNote(home_.root() / "scratch", fields.file_name, fields.bytes);
      request.attachments.push_back({file, "audio/ogg"});
    }
    EXPECT_EQ(mime::BuildMessage(mime::ComposeNoteMessage(request), &message->mime()), mime::kMimeOk);
    EXPECT_EQ(message->Save(mime::NoteWriteOptions()), storage::kStorageOk);
    EXPECT_EQ(drafts->MoveMessage(message->id(), *opened.storage->GetFolder(storage::FolderType::kOutbox)),
              storage::kStorageOk);
    return message->id();
  }

  std::vector<std::u16string> OutboxSubjects() {
    std::vector<std::u16string> subjects;
    for (const auto& note : ListPendingNotes(settings_)) subjects.push_back(note.subject);
    return subjects;
  }

  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_;
};

TEST(PendingNotesTextTest, StatusLineAndListSizes) {
  // 700 + 300 + 100 bytes: 1100 / 1024 is 1.
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNotesStatusLine({3, 1100})), "3 unsent note(s), size 1KB");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNotesStatusLine({1, 3000})), "1 unsent note(s), size 2KB");
  // A few bytes still show as 1KB, never 0KB.
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNotesStatusLine({1, 100})), "1 unsent note(s), size 1KB");

  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(700)), "700");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(1024)), "1024");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(1025)), "1K");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(3000)), "2K");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(1048576)), "1024K");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(1048577)), "1M");
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteSizeText(5u * 1048576 + 7)), "5M");

  setenv("TZ", "UTC", 1);
  tzset();
  // 2026-12-09 17:55:30 UTC as a file time.
  std::uint64_t file_time = (1796838930ull + 11644473600ull) * 10000000ull;
  EXPECT_EQ(platform::Utf16ToUtf8(PendingNoteDateText(file_time)), "2026-12-09 17:55");
  unsetenv("TZ");
  tzset();
}

TEST_F(PendingNotesTest, CountListAndDeleteOnTheVolume) {
  // No volume file: no notes, and none is left behind by looking.
  PendingNotesCount none = CountPendingNotes(settings_);
  EXPECT_TRUE(none.storage_available);
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.size, 0u);
  EXPECT_FALSE(fs::exists(Volume()));

  storage::RecordId first = AddNote({.subject = u"First", .to = u"ann@example.org"});
  storage::RecordId second = AddNote({.subject = u"Second", .bytes = std::string(300, 's')});
  AddNote({.subject = u"Third", .bytes = std::string(100, 't')});

  std::uint64_t stored = 0;
  {
    std::unique_ptr<storage::MailStorage> loaded;
    ASSERT_EQ(storage::MailStorage::Load(Volume(), nullptr, &loaded), storage::kStorageOk);
    for (const auto& record : loaded->GetFolder(storage::FolderType::kOutbox)->messages()) stored += record.size;
  }
  PendingNotesCount count = CountPendingNotes(settings_);
  EXPECT_EQ(count.count, 3u);
  EXPECT_EQ(count.size, stored);
  EXPECT_TRUE(fs::exists(Volume()));

  std::vector<PendingNote> notes = ListPendingNotes(settings_);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].id, first);
  EXPECT_EQ(platform::Utf16ToUtf8(notes[0].subject), "First");
  EXPECT_EQ(platform::Utf16ToUtf8(notes[0].recipient), "ann@example.org");
  EXPECT_EQ(platform::Utf16ToUtf8(notes[1].recipient), "Ann <ann@example.org>, bob@example.net");
  EXPECT_EQ(platform::Utf16ToUtf8(notes[0].from), "notes@example.org");
  EXPECT_GT(notes[0].date, 0u);
  EXPECT_LE(notes[0].date, notes[1].date);
  EXPECT_LE(notes[1].date, notes[2].date);

  EXPECT_TRUE(DeletePendingNote(settings_, second));
  EXPECT_FALSE(DeletePendingNote(settings_, second));  // already gone
  EXPECT_EQ(OutboxSubjects(), (std::vector<std::u16string>{u"First", u"Third"}));

  EXPECT_TRUE(DeleteAllPendingNotes(settings_));
  EXPECT_FALSE(fs::exists(Volume()));
  EXPECT_EQ(CountPendingNotes(settings_).count, 0u);
}

TEST_F(PendingNotesTest, RecordingIsReadAndSavedUnderAFitName) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>(i * 13));
  storage::RecordId id = AddNote({.file_name = "Note 10:30.ogg", .bytes = bytes});
  storage::RecordId bare = AddNote({.subject = u"No recording", .with_recording = false});

  PendingNoteRecording recording = ReadPendingNoteRecording(settings_, id);
  ASSERT_TRUE(recording.found);
  EXPECT_EQ(platform::Utf16ToUtf8(recording.file_name), "Note 10.30.ogg");
  EXPECT_EQ(recording.content, bytes);
  EXPECT_FALSE(ReadPendingNoteRecording(settings_, bare).found);
  EXPECT_FALSE(ReadPendingNoteRecording(settings_, 999999).found);

  // The user confirmed replacing the file that is there.
  fs::path target = home_.root() / "saved.ogg";
  testing_support::WriteFileBytes(target, "older file");
  EXPECT_TRUE(SavePendingNoteRecording(settings_, id, target));
  EXPECT_EQ(ReadFileBytes(target), bytes);
  EXPECT_FALSE(SavePendingNoteRecording(settings_, bare, home_.root() / "bare.ogg"));
  EXPECT_FALSE(fs::exists(home_.root() / "bare.ogg"));
  EXPECT_FALSE(SavePendingNoteRecording(settings_, id, home_.root() / "missing" / "x.ogg"));
  // Saving a copy leaves the note unsent.
  EXPECT_EQ(CountPendingNotes(settings_).count, 2u);
}

// Notes sharing a subject each get their own file, and a note whose file
// cannot be written stays unsent instead of going with the Outbox.
TEST_F(PendingNotesTest, ConversionToFilesKeepsEveryNote) {
  testing_support::WriteFileBytes(NotesDir() / "Meeting. 10.12.ogg", "a file of the user");
  AddNote({.subject = u"Meeting: 10/12", .bytes = std::string(800, '1')});
  AddNote({.subject = u"Meeting: 10/12", .bytes = std::string(900, '2')});
  // A name longer than a file name may be cannot be written.
  storage::RecordId too_long = AddNote({.subject = std::u16string(300, u'x'), .bytes = std::string(10, '3')});
  AddNote({.subject = u"Call Bob", .file_name = "rec.wav", .bytes = std::string(50, '4')});

  ConversionResult result = ConvertPendingNotes(settings_, settings::SendMode::SaveAsFile);
  EXPECT_EQ(result.converted, 3u);
  EXPECT_EQ(result.failed, 1u);
  EXPECT_EQ(ReadFileBytes(NotesDir() / "Meeting. 10.12.ogg"), "a file of the user");
  EXPECT_EQ(ReadFileBytes(NotesDir() / "Meeting. 10.12.1.ogg"), std::string(800, '1'));
  EXPECT_EQ(ReadFileBytes(NotesDir() / "Meeting. 10.12.2.ogg"), std::string(900, '2'));
  EXPECT_EQ(ReadFileBytes(NotesDir() / "Call Bob.wav"), std::string(50, '4'));
  EXPECT_EQ(result.files.size(), 3u);

  // The note that could not be saved is still there to be dealt with.
  std::vector<PendingNote> left = ListPendingNotes(settings_);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].id, too_long);
  EXPECT_TRUE(fs::exists(Volume()));
  EXPECT_TRUE(ReadPendingNoteRecording(settings_, too_long).found);

  EXPECT_TRUE(DeletePendingNote(settings_, too_long));
  EXPECT_FALSE(fs::exists(Volume()));  // the last note went, and with it the file

  // Modes that are no conversion touch nothing.
  AddNote({});
  EXPECT_EQ(ConvertPendingNotes(settings_, settings::SendMode::MailServer).converted, 0u);
  EXPECT_EQ(CountPendingNotes(settings_).count, 1u);
}

class PendingNotesActiveSyncTest : public PendingNotesTest {
 protected:
  void PointStoreAt(const fs::path& root) {
    auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kActiveSyncKeyPath);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString(kActiveSyncStoreValue, platform::Utf8ToUtf16(root.string())));
  }
  std::vector<std::string> ReadWithPython(const fs::path& root, const std::string& folder) {
    auto result = testing_support::RunProgram(
        "/usr/bin/python3", {(testing_support::SourceDir() / "tests/peers/maildir_reader.py").string(), root.string(),
                             folder});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::size_t LeftoverTempFolders() {
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path(), ec))
      n += e.path().filename().string().rfind("dictalo-convert-", 0) == 0;
    return n;
  }
};

TEST_F(PendingNotesActiveSyncTest, NotesBecomeUnsubmittedDraftsWithTheirRecording) {
  fs::path root = home_.root() / "sync" / "ActiveSync";
  PointStoreAt(root);
  std::string bytes = "OggS" + std::string(3000, '\x7f');
  AddNote({.subject = u"Caf\u00e9 notes", .body_text = u"Listen to this", .file_name = "note.ogg", .bytes = bytes});
  AddNote({.subject = u"Second", .to = u"carol@example.com", .file_name = "two.ogg", .bytes = "OggS2"});
  std::size_t temp_before = LeftoverTempFolders();

  ConversionResult result = ConvertPendingNotes(settings_, settings::SendMode::ActiveSync);
  EXPECT_EQ(result.converted, 2u);
  EXPECT_EQ(result.failed, 0u);
  EXPECT_FALSE(fs::exists(Volume()));
  EXPECT_EQ(LeftoverTempFolders(), temp_before);

  std::vector<std::string> drafts = ReadWithPython(root, kDraftsFolderName);
  std::string all;
  for (const auto& line : drafts) all += line + "\n";
  EXPECT_EQ(std::count_if(drafts.begin(), drafts.end(), [](const std::string& l) { return l.rfind("message ", 0) == 0; }),
            2)
      << all;
  EXPECT_NE(all.find("to ann@example.org\nto bob@example.net\n"), std::string::npos) << all;
  EXPECT_NE(all.find("to carol@example.com\n"), std::string::npos) << all;
  EXPECT_NE(all.find("subject " + Hex("Caf\xc3\xa9 notes")), std::string::npos) << all;
  EXPECT_NE(all.find("text " + Hex("Listen to this")), std::string::npos) << all;
  EXPECT_NE(all.find(" " + Hex(bytes) + " note.ogg"), std::string::npos) << all;
  EXPECT_NE(all.find(" " + Hex("OggS2") + " two.ogg"), std::string::npos) << all;
  // Drafts only: nothing was submitted.
  EXPECT_TRUE(ReadWithPython(root, kOutboxFolderName).empty());
}

TEST_F(PendingNotesActiveSyncTest, NotesTheStoreDidNotTakeStayUnsent) {
  // The store's root lies below a plain file: nothing can be created there.
  testing_support::WriteFileBytes(home_.root() / "blocker", "x");
  PointStoreAt(home_.root() / "blocker" / "ActiveSync");
  AddNote({.subject = u"One"});
  AddNote({.subject = u"Two"});

  ConversionResult result = ConvertPendingNotes(settings_, settings::SendMode::ActiveSync);
  EXPECT_EQ(result.converted, 0u);
  EXPECT_EQ(result.failed, 2u);
  EXPECT_EQ(OutboxSubjects(), (std::vector<std::u16string>{u"One", u"Two"}));
  EXPECT_TRUE(fs::exists(Volume()));
}

class PendingNotesWebTest : public PendingNotesTest {
 protected:
  void SetUp() override {
    PendingNotesTest::SetUp();
    settings_.notes_send_mode = settings::SendMode::WebService;
    settings_.use_smtp_for_web = false;
    settings_.subscription_user_name = u"ann-user";
    settings_.subscription_password = u"pa55";
    options_.web.url = receiver_.Url();
    options_.web.timeout = std::chrono::seconds(20);
  }
  HttpReceiver receiver_;
  PendingNotesOptions options_;
};

// A refusal stops the resend; the notes the service already took are gone
// from the Outbox, so the next resend sends only what is left.
TEST_F(PendingNotesWebTest, AcceptedNotesLeaveAtOnceAndAreNeverSentTwice) {
  AddNote({.subject = u"one"});
  AddNote({.subject = u"two"});
  AddNote({.subject = u"three"});
  receiver_.SetReply("200", "1", 2);

  ResendResult first = ResendPendingNotes(settings_, true, options_);
  EXPECT_TRUE(first.web_upload);
  EXPECT_FALSE(first.succeeded);
  EXPECT_EQ(first.upload_result, 1);
  EXPECT_EQ(first.sent, 1u);
  EXPECT_EQ(first.remaining, 2u);
  EXPECT_EQ(receiver_.RequestCount(), 2);
  EXPECT_EQ(OutboxSubjects(), (std::vector<std::u16string>{u"two", u"three"}));
  EXPECT_NE(receiver_.Body(1).find("name=\"u\"\r\n\r\nann-user\r\n"), std::string::npos);
  EXPECT_NE(receiver_.Body(1).find("name=\"p\"\r\n\r\npa55\r\n"), std::string::npos);
  EXPECT_NE(receiver_.Body(1).find("name=\"subject\"\r\n\r\none\r\n"), std::string::npos);

  ResendResult second = ResendPendingNotes(settings_, true, options_);
  EXPECT_TRUE(second.succeeded);
  EXPECT_EQ(second.sent, 2u);
  ASSERT_EQ(receiver_.RequestCount(), 4);
  EXPECT_NE(receiver_.Body(3).find("name=\"subject\"\r\n\r\ntwo\r\n"), std::string::npos);
  EXPECT_NE(receiver_.Body(4).find("name=\"subject\"\r\n\r\nthree\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(Volume()));
}

TEST_F(PendingNotesWebTest, TheServiceAnswerDecidesWhetherTheNoteLeaves) {
  struct Case {
    std::string status, body;
    int result;
  };
  const Case cases[] = {
      {"200", "0", 0}, {"200", "", 0}, {"200", "0\n", 0}, {"200", "1", 1}, {"500", "0", kUploadBadAnswer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status + " \"" + c.body + "\"");
    ASSERT_TRUE(DeleteAllPendingNotes(settings_));
    AddNote({});
    receiver_.SetReply(c.status, c.body);
    ResendResult result = ResendPendingNotes(settings_, true, options_);
    EXPECT_EQ(result.upload_result, c.result);
    EXPECT_EQ(result.succeeded, c.result == 0);
    EXPECT_EQ(CountPendingNotes(settings_).count, c.result == 0 ? 0u : 1u);
    EXPECT_EQ(fs::exists(Volume()), c.result != 0);
  }
  // Nothing to resend: no request, success.
  ASSERT_TRUE(DeleteAllPendingNotes(settings_));
  int requests = receiver_.RequestCount();
  EXPECT_TRUE(ResendPendingNotes(settings_, true, options_).succeeded);
  EXPECT_EQ(receiver_.RequestCount(), requests);
}

}  // namespace
}  // namespace delivery
