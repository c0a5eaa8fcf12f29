#include "storage/delivery_volume.h"

#include <gtest/gtest.h>

#include <fstream>

#include "storage/storage_test_support.h"

namespace storage {
namespace {

using test::Query;

std::vector<std::filesystem::path> DamagedCopies(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> out;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().find(".vol.damaged-") != std::string::npos) out.push_back(entry.path());
  return out;
}

// No file: a new "Local Folders" is made. A file: it is loaded with its notes,
// less the empty messages a process killed while storing a note left behind.
TEST(DeliveryVolumeTest, CreatesWhenMissingAndLoadsWhenPresent) {
  test::TempDir dir;
  auto first = OpenDeliveryStorage(dir.path(), nullptr);
  ASSERT_TRUE(first.storage);
  EXPECT_TRUE(first.created);
  EXPECT_EQ(first.storage->path(), dir.path() / "{00000000-0000-0000-0000-000000000000}.vol");
  EXPECT_EQ(first.storage->name(), u"Local Folders");
  std::unique_ptr<CElDBMimeMessage> message;
  ASSERT_EQ(first.storage->GetFolder(FolderType::kOutbox)->CreateMessage(&message), kStorageOk);
  auto note = dir.path() / "note.wav";
  std::ofstream(note, std::ios::binary) << "unsent words";
  ASSERT_EQ(test::BuildNote(*message, note), mime::kMimeOk);
  ASSERT_EQ(message->Save(mime::NoteWriteOptions()), kStorageOk);
  const RecordId saved_id = message->id();
  // Messages a killed process created but never filled, in both folders.
  std::unique_ptr<CElDBMimeMessage> unsaved_outbox, unsaved_draft;
  ASSERT_EQ(first.storage->GetFolder(FolderType::kOutbox)->CreateMessage(&unsaved_outbox), kStorageOk);
  ASSERT_EQ(first.storage->GetFolder(FolderType::kDrafts)->CreateMessage(&unsaved_draft), kStorageOk);
  message.reset();
  unsaved_outbox.reset();
  unsaved_draft.reset();
  first.storage.reset();

  std::vector<std::string> lines;
  auto second = OpenDeliveryStorage(dir.path(), [&](std::string_view line) { lines.emplace_back(line); });
  ASSERT_TRUE(second.storage);
  EXPECT_FALSE(second.created);
  EXPECT_TRUE(second.damaged_copy.empty());
  // The saved note waits; the empty ones are gone from Outbox and Drafts.
  const MailFolder* outbox = second.storage->GetFolder(FolderType::kOutbox);
  ASSERT_EQ(outbox->Count(), 1u);
  EXPECT_EQ(outbox->messages()[0].id, saved_id);
  EXPECT_EQ(second.storage->GetFolder(FolderType::kDrafts)->Count(), 0u);
  std::size_t removed = 0;
  for (const auto& line : lines) removed += line.rfind("Removed an unsaved message", 0) == 0;
  EXPECT_EQ(removed, 2u);
  second.storage.reset();
  EXPECT_TRUE(DeleteVolumeFile(DeliveryVolumePath(dir.path())));
  EXPECT_FALSE(std::filesystem::exists(DeliveryVolumePath(dir.path())));
}

// A volume that cannot be loaded still holds the user's unsent notes: it is
// moved aside under a dated name, logged and reported, and only then is a new
// storage made. Writing the new one over it would lose every note in it.
TEST(DeliveryVolumeTest, DamagedVolumeIsKeptAsideNotOverwritten) {
  test::TempDir dir;
  auto path = DeliveryVolumePath(dir.path());
  {
    auto opened = OpenDeliveryStorage(dir.path(), nullptr);
    std::unique_ptr<CElDBMimeMessage> message;
    ASSERT_EQ(opened.storage->GetFolder(FolderType::kOutbox)->CreateMessage(&message), kStorageOk);
    auto note = dir.path() / "note.wav";
    std::ofstream(note, std::ios::binary) << "unsent words";
    ASSERT_EQ(test::BuildNote(*message, note), mime::kMimeOk);
    ASSERT_EQ(message->Save(mime::NoteWriteOptions()), kStorageOk);
    std::filesystem::remove(note);
  }
  test::Execute(path, "UPDATE Info SET f0 = 0");  // the load now fails

  test::LogLines log;
  auto opened = OpenDeliveryStorage(dir.path(), log.sink());
  ASSERT_TRUE(opened.storage);
  EXPECT_TRUE(opened.created);
  EXPECT_EQ(opened.load_error, kStorageInvalidData);
  ASSERT_FALSE(opened.damaged_copy.empty());
  EXPECT_EQ(DamagedCopies(dir.path()), std::vector<std::filesystem::path>{opened.damaged_copy});
  EXPECT_NE(opened.damaged_copy.filename().string().find("{00000000-0000-0000-0000-000000000000}.vol.damaged-20"),
            std::string::npos);
  // The old note is still in the copy; the new storage starts empty.
  EXPECT_EQ(Query(opened.damaged_copy, "SELECT count(*) FROM Messages WHERE f2 = 'Voice note'"),
            std::vector<std::string>{"1"});
  EXPECT_EQ(opened.storage->GetFolder(FolderType::kOutbox)->Count(), 0u);
  bool logged = false;
  for (const auto& line : log.lines)
    logged |= line.find("could not be loaded (0x8007000D)") != std::string::npos &&
              line.find(opened.damaged_copy.string()) != std::string::npos;
  EXPECT_TRUE(logged);

  // A second damaged file on the same second gets a name of its own.
  opened.storage.reset();
  std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(3000, 'z');
  auto again = OpenDeliveryStorage(dir.path(), nullptr);
  ASSERT_TRUE(again.storage);
  EXPECT_EQ(again.load_error, kStorageFileCorrupt);
  EXPECT_EQ(DamagedCopies(dir.path()).size(), 2u);
  EXPECT_EQ(test::ReadFileBytesForTest(again.damaged_copy), std::string(3000, 'z'));
}

}  // namespace
}  // namespace storage
