// A process killed at any moment while it changes the storage leaves the
// volume as it was before or after the change: a child writes in a loop and
// is killed at random points; each time the volume must load and hold only
// whole messages.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "storage/delivery_volume.h"
#include "storage/storage_test_support.h"

namespace storage {
namespace {

// The writer: compose, save, move to the Outbox, delete some; for ever.
[[noreturn]] void WriteForever(const std::filesystem::path& dir, unsigned seed) {
  std::mt19937 gen(seed);
  auto note = dir / ("note-" + std::to_string(seed) + ".wav");
  for (;;) {
    auto opened = OpenDeliveryStorage(dir, nullptr);
    if (!opened.storage) _exit(3);
    MailFolder* drafts = opened.storage->GetFolder(FolderType::kDrafts);
    MailFolder* outbox = opened.storage->GetFolder(FolderType::kOutbox);
    MailFolder* deleted = opened.storage->GetFolder(FolderType::kDeleted);
    for (int i = 0; i < 5; ++i) {
      std::unique_ptr<CElDBMimeMessage> message;
      if (drafts->CreateMessage(&message) != kStorageOk) _exit(4);
      if (drafts->MoveMessage(message->id(), *outbox) != kStorageOk) _exit(5);
      std::ofstream(note, std::ios::binary | std::ios::trunc) << test::RandomBytes(1000 + gen() % 20000, gen());
      if (test::BuildNote(*message, note) != mime::kMimeOk) _exit(6);
      if (message->Save(mime::NoteWriteOptions()) != kStorageOk) _exit(7);
      if (outbox->Count() > 6 && outbox->DeleteMessage(outbox->messages().front().id) != kStorageOk) _exit(8);
      if (deleted->Count() > 2 && deleted->DeleteMessage(deleted->messages().front().id) != kStorageOk) _exit(9);
    }
  }
}

// Every record's chunks run from 0 without a gap and add up to its size; a
// message never saved has none; a link has none.
void ExpectWholeMessages(MailStorage& storage) {
  for (const auto& folder : storage.folders()) {
    for (const auto& record : folder->messages()) {
      std::unique_ptr<CElDBMimeMessage> message;
      ASSERT_EQ(folder->OpenMessage(record.id, &message), kStorageOk);
      std::shared_ptr<const mime::ByteSource> source;
      ASSERT_EQ(message->OpenContent(&source), kStorageOk);
      if (record.flags & kMessageLink) {
        EXPECT_EQ(source->Size(), 0u);
        continue;
      }
      EXPECT_EQ(source->Size(), record.size) << "message " << record.id;
      if (record.size > 0) {
        ASSERT_EQ(message->LoadContent(), kStorageOk);
        EXPECT_EQ(message->mime().GetSubject(), u"Voice note");
        auto* root = message->mime().RootMultiPart();
        ASSERT_NE(root, nullptr);
        ASSERT_EQ(root->children().size(), 1u);
      }
    }
  }
}

TEST(CrashSafetyTest, KilledWriterLeavesAWholeVolume) {
  test::TempDir dir;
  std::mt19937 gen(20261209);
  int kills = 0;
  for (int round = 0; round < 24; ++round) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) WriteForever(dir.path(), static_cast<unsigned>(round + 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + gen() % 150));
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFSIGNALED(status));
      ++kills;
    } else {
      FAIL() << "the writer stopped by itself with " << status;
    }
    auto opened = OpenDeliveryStorage(dir.path(), nullptr);
    ASSERT_TRUE(opened.storage) << "round " << round;
    ASSERT_TRUE(opened.damaged_copy.empty()) << "round " << round;
    if (round > 0) {
      EXPECT_FALSE(opened.created) << "round " << round;
    }
    EXPECT_EQ(test::Query(opened.storage->path(), "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    ExpectWholeMessages(*opened.storage);
    if (testing::Test::HasFailure()) break;
  }
  EXPECT_GE(kills, 20);
}

}  // namespace
}  // namespace storage
