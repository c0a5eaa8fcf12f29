#include "storage/mail_storage.h"

#include <gtest/gtest.h>

#include <fstream>

#include "mime/message_parser.h"
#include "storage/db_mime_message.h"
#include "storage/storage_test_support.h"

namespace storage {
namespace {

using test::Query;

class MailStorageTest : public ::testing::Test {
 protected:
  std::filesystem::path Volume() const { return dir_.path() / "test.vol"; }
  std::filesystem::path WriteFile(const std::string& name, const std::string& bytes) {
    auto path = dir_.path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::unique_ptr<MailStorage> CreateStorage() {
    std::unique_ptr<MailStorage> storage;
    EXPECT_EQ(MailStorage::Create(Volume(), u"Local Folders", log_.sink(), &storage), kStorageOk);
    return storage;
  }
  std::unique_ptr<MailStorage> Reload(std::unique_ptr<MailStorage>& storage) {
    storage.reset();
    log_.lines.clear();
    std::unique_ptr<MailStorage> loaded;
    EXPECT_EQ(MailStorage::Load(Volume(), log_.sink(), &loaded), kStorageOk);
    return loaded;
  }
  // A saved note message in `folder`; returns its id.
  RecordId SaveNote(MailFolder& folder, const std::string& content, std::u16string subject = u"Voice note") {
    std::unique_ptr<CElDBMimeMessage> message;
    EXPECT_EQ(folder.CreateMessage(&message), kStorageOk);
    EXPECT_EQ(test::BuildNote(*message, WriteFile("note.wav", content), std::move(subject)), mime::kMimeOk);
    EXPECT_EQ(message->Save(mime::NoteWriteOptions()), kStorageOk);
    return message->id();
  }

  test::TempDir dir_;
  test::LogLines log_;
};

// The new volume holds the four tables with the Info record, a root named
// after the storage and the five standard folders below it; loading it back
// logs each step.
TEST_F(MailStorageTest, CreatesTheLayoutAndLoadsItBackWithItsLogLines) {
  auto storage = CreateStorage();
  ASSERT_TRUE(storage);
  EXPECT_EQ(Query(Volume(), "SELECT f0, f1, f2, f3 FROM Info"),
            std::vector<std::string>{"1280133465|0|Local Folders|{00000000-0000-0000-0000-000000000000}"});
  auto root = Query(Volume(), "SELECT id FROM Folders WHERE f1 = 6 AND f0 = 0 AND f2 = 'Local Folders'");
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(Query(Volume(), "SELECT f1, f2, f3, f4 FROM Folders WHERE f0 = " + root[0] + " ORDER BY id"),
            (std::vector<std::string>{"1|Inbox|0|0", "2|Outbox|0|0", "3|Sent|0|0", "4|Deleted|0|0", "5|Drafts|0|0"}));
  EXPECT_EQ(Query(Volume(), "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY name"),
            (std::vector<std::string>{"Bodies", "Folders", "Info", "Messages"}));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "test.vol.creating"));

  auto loaded = Reload(storage);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->name(), u"Local Folders");
  for (auto type : {FolderType::kInbox, FolderType::kOutbox, FolderType::kSent, FolderType::kDeleted,
                    FolderType::kDrafts, FolderType::kRoot})
    ASSERT_NE(loaded->GetFolder(type), nullptr);
  EXPECT_EQ(loaded->GetFolder(FolderType::kOutbox)->name(), u"Outbox");
  ASSERT_EQ(log_.lines.size(), 3u + 2 * 6);
  EXPECT_EQ(log_.lines[0], "Loading storage: test.vol");
  EXPECT_EQ(log_.lines[1], "Storage name: Local Folders");
  EXPECT_EQ(log_.lines[2], "Loading messages");
  EXPECT_EQ(log_.lines[3], "Folder loaded");
  EXPECT_EQ(log_.lines.back(), "Storage loaded");
}

// Creating never writes over a file that is there, and a failed creation
// leaves nothing behind.
TEST_F(MailStorageTest, CreationRefusesAnExistingFileAndLeavesNothingWhenItFails) {
  WriteFile("test.vol", "precious");
  std::unique_ptr<MailStorage> storage;
  EXPECT_EQ(MailStorage::Create(Volume(), u"Local Folders", nullptr, &storage), kStorageFileExists);
  EXPECT_EQ(test::ReadFileBytesForTest(Volume()), "precious");

  auto missing_dir = dir_.path() / "no" / "such" / "x.vol";
  EXPECT_NE(MailStorage::Create(missing_dir, u"Local Folders", nullptr, &storage), kStorageOk);
  EXPECT_FALSE(storage);
  EXPECT_FALSE(std::filesystem::exists(missing_dir));
}

// Loading refuses what is not a storage and logs the error in hex.
TEST_F(MailStorageTest, LoadRefusesMissingForeignAndWrongMagicFiles) {
  std::unique_ptr<MailStorage> storage;
  EXPECT_EQ(MailStorage::Load(Volume(), log_.sink(), &storage), kStorageFileNotFound);

  WriteFile("test.vol", std::string(4096, 'x'));
  log_.lines.clear();
  EXPECT_EQ(MailStorage::Load(Volume(), log_.sink(), &storage), kStorageFileCorrupt);
  EXPECT_EQ(log_.lines.back(), "Storage loading error: 0x80070570");
  std::filesystem::remove(Volume());

  auto created = CreateStorage();
  created.reset();
  test::Execute(Volume(), "UPDATE Info SET f0 = 1");
  log_.lines.clear();
  EXPECT_EQ(MailStorage::Load(Volume(), log_.sink(), &storage), kStorageInvalidData);
  EXPECT_FALSE(storage);
  EXPECT_EQ(log_.lines.back(), "Storage loading error: 0x8007000D");

  test::Execute(Volume(), "UPDATE Info SET f0 = 1280133465; DELETE FROM Folders WHERE f1 = 2");
  EXPECT_EQ(MailStorage::Load(Volume(), nullptr, &storage), kStorageInvalidData);
}

// A saved message keeps its MIME text in chunks of at most 2048 bytes, indexed
// from 0, and its header record; both read back after a reload.
TEST_F(MailStorageTest, SavedMessageIsStoredInChunksAndReadsBack) {
  auto storage = CreateStorage();
  std::string content = test::RandomBytes(9000, 7);
  RecordId id = SaveNote(*storage->GetFolder(FolderType::kDrafts), content, u"Monday's note");
  std::string ids = std::to_string(id);

  auto chunks = Query(Volume(), "SELECT f0, length(f2) FROM Bodies WHERE f1 = " + ids + " ORDER BY f0");
  ASSERT_GE(chunks.size(), 6u);  // base64 of 9000 bytes is over 12000
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].substr(0, chunks[i].find('|')), std::to_string(i));
    if (i + 1 < chunks.size()) {
      EXPECT_EQ(chunks[i].substr(chunks[i].find('|') + 1), "2048");
    }
  }
  EXPECT_EQ(Query(Volume(), "SELECT f2, f3, f4, f7 = (SELECT sum(length(f2)) FROM Bodies WHERE f1 = " + ids +
                                ") FROM Messages WHERE id = " + ids),
            std::vector<std::string>{"Monday's note|alice@example.org|Bob <bob@example.org>|1"});

  auto loaded = Reload(storage);
  MailFolder* drafts = loaded->GetFolder(FolderType::kDrafts);
  ASSERT_EQ(drafts->Count(), 1u);
  std::unique_ptr<CElDBMimeMessage> message;
  ASSERT_EQ(drafts->OpenMessage(id, &message), kStorageOk);
  EXPECT_EQ(message->record().to, u"Bob <bob@example.org>");
  std::shared_ptr<const mime::ByteSource> source;
  ASSERT_EQ(message->OpenContent(&source), kStorageOk);
  EXPECT_EQ(source->Size(), message->record().size);
  ASSERT_EQ(message->LoadContent(), kStorageOk);
  EXPECT_EQ(message->mime().GetSubject(), u"Monday's note");
  auto* root = message->mime().RootMultiPart();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->children().size(), 1u);
  std::string attachment;
  ASSERT_EQ(root->children()[0]->ReadContent(&attachment), mime::kMimeOk);
  EXPECT_EQ(attachment, content);
  EXPECT_EQ(AddressesOf(message->record().to), std::vector<std::string>{"bob@example.org"});

  // Saving again replaces the chunks rather than adding to them.
  message->mime().SetSubject(u"Tuesday");
  ASSERT_EQ(message->Save(mime::NoteWriteOptions()), kStorageOk);
  EXPECT_EQ(Query(Volume(), "SELECT count(*) FROM Bodies WHERE f1 = " + ids + " AND f0 >= " +
                                std::to_string(chunks.size())),
            std::vector<std::string>{"0"});
}

// A message whose attachment cannot be read keeps nothing of the failed save.
TEST_F(MailStorageTest, FailedSaveLeavesTheEarlierContent) {
  auto storage = CreateStorage();
  MailFolder* drafts = storage->GetFolder(FolderType::kDrafts);
  std::unique_ptr<CElDBMimeMessage> message;
  ASSERT_EQ(drafts->CreateMessage(&message), kStorageOk);
  auto path = WriteFile("note.wav", "first");
  ASSERT_EQ(test::BuildNote(*message, path), mime::kMimeOk);
  ASSERT_EQ(message->Save(mime::NoteWriteOptions()), kStorageOk);
  auto before = Query(Volume(), "SELECT hex(f2) FROM Bodies ORDER BY f0");
  std::uint32_t size = message->record().size;

  // A part whose stored body lies outside the message's stream cannot be written.
  message->mime().RootMultiPart()->AddPart(u"audio", u"ogg")->SetStoredBody(1u << 30, 10);
  EXPECT_NE(message->Save(mime::NoteWriteOptions()), kStorageOk);
  EXPECT_EQ(Query(Volume(), "SELECT hex(f2) FROM Bodies ORDER BY f0"), before);
  EXPECT_EQ(message->record().size, size);
}

// Moving changes the folder on disk; deleting outside Deleted moves there,
// inside Deleted keeps a link record without body; unread counts follow.
TEST_F(MailStorageTest, MoveDeleteAndUnreadCounts) {
  auto storage = CreateStorage();
  MailFolder* drafts = storage->GetFolder(FolderType::kDrafts);
  MailFolder* outbox = storage->GetFolder(FolderType::kOutbox);
  MailFolder* deleted = storage->GetFolder(FolderType::kDeleted);
  RecordId first = SaveNote(*drafts, "one");
  RecordId second = SaveNote(*drafts, "two");
  ASSERT_EQ(drafts->MoveMessage(second, *outbox), kStorageOk);
  ASSERT_EQ(drafts->MoveMessage(first, *outbox), kStorageOk);
  EXPECT_EQ(drafts->Count(), 0u);
  ASSERT_EQ(outbox->Count(), 2u);
  EXPECT_EQ(outbox->messages()[0].id, first);  // record order, not move order
  EXPECT_EQ(outbox->MoveMessage(9999, *drafts), kStorageNotFound);

  ASSERT_EQ(outbox->SetFlags(first, 0, kMessageRead), kStorageOk);
  EXPECT_EQ(outbox->unread_count(), 1u);
  ASSERT_EQ(outbox->DeleteMessage(first), kStorageOk);
  EXPECT_EQ(outbox->Count(), 1u);
  EXPECT_EQ(outbox->unread_count(), 0u);
  ASSERT_EQ(deleted->Count(), 1u);
  EXPECT_EQ(deleted->unread_count(), 1u);

  std::string ids = std::to_string(first);
  ASSERT_EQ(deleted->DeleteMessage(first), kStorageOk);
  EXPECT_EQ(deleted->unread_count(), 0u);
  EXPECT_EQ(Query(Volume(), "SELECT count(*) FROM Bodies WHERE f1 = " + ids), std::vector<std::string>{"0"});
  EXPECT_EQ(Query(Volume(), "SELECT f1 & 1 FROM Messages WHERE id = " + ids), std::vector<std::string>{"1"});
  EXPECT_EQ(Query(Volume(), "SELECT f4 FROM Folders WHERE f1 = 4"), std::vector<std::string>{"0"});

  auto loaded = Reload(storage);
  EXPECT_EQ(loaded->GetFolder(FolderType::kOutbox)->Count(), 1u);
  EXPECT_EQ(loaded->GetFolder(FolderType::kOutbox)->messages()[0].id, second);
  ASSERT_EQ(loaded->GetFolder(FolderType::kDeleted)->Count(), 1u);
  EXPECT_TRUE(loaded->GetFolder(FolderType::kDeleted)->messages()[0].flags & kMessageLink);
}

// Records marked to be skipped are not loaded; unread counts are recounted on
// load whatever the folder record says.
TEST_F(MailStorageTest, LoadSkipsMarkedRecordsAndRecountsUnread) {
  auto storage = CreateStorage();
  MailFolder* inbox = storage->GetFolder(FolderType::kInbox);
  RecordId a = SaveNote(*inbox, "a");
  RecordId b = SaveNote(*inbox, "b");
  RecordId c = SaveNote(*inbox, "c");
  storage.reset();
  test::Execute(Volume(), "UPDATE Messages SET f1 = 32768 WHERE id = " + std::to_string(b) +
                              "; UPDATE Messages SET f1 = 0 WHERE id = " + std::to_string(c) +
                              "; UPDATE Folders SET f4 = 77 WHERE f1 = 1");
  std::unique_ptr<MailStorage> loaded;
  ASSERT_EQ(MailStorage::Load(Volume(), nullptr, &loaded), kStorageOk);
  MailFolder* folder = loaded->GetFolder(FolderType::kInbox);
  ASSERT_EQ(folder->Count(), 2u);
  EXPECT_EQ(folder->messages()[0].id, a);
  EXPECT_EQ(folder->messages()[1].id, c);
  EXPECT_EQ(folder->unread_count(), 1u);
}

}  // namespace
}  // namespace storage
