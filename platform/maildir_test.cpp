#include "platform/maildir.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

using testing_support::ReadFileBytes;
using testing_support::ScopedTestHome;

bool IsEmptyDir(const std::filesystem::path& dir) { return std::filesystem::is_empty(dir); }

TEST(MaildirTest, CreateMakesTheThreeFoldersAndRefusesAFile) {
  ScopedTestHome home;
  auto root = home.root() / "mail" / "store";
  auto drafts_path = Maildir::SubfolderPath(root, "Drafts");
  EXPECT_EQ(drafts_path, root / ".Drafts");
  auto drafts = Maildir::Create(drafts_path);
  ASSERT_TRUE(drafts);
  for (const char* sub : {"tmp", "new", "cur"}) EXPECT_TRUE(std::filesystem::is_directory(drafts_path / sub)) << sub;
  // Opening again keeps what is there.
  std::string name;
  ASSERT_EQ(drafts->Deliver("x", MaildirSubdir::kNew, "", &name), 0);
  ASSERT_TRUE(Maildir::Create(drafts_path));
  EXPECT_EQ(drafts->List().size(), 1u);

  testing_support::WriteFileBytes(home.root() / "plain-file", "x");
  int error = 0;
  EXPECT_FALSE(Maildir::Create(home.root() / "plain-file", &error));
  EXPECT_NE(error, 0);
  EXPECT_FALSE(Maildir::Create(home.root() / "plain-file" / "below", &error));
  EXPECT_NE(error, 0);
}

// Delivered messages land whole in new/ or in cur/ with sorted flags; nothing is
// left in tmp/.
TEST(MaildirTest, DeliverReplaceMoveAndRemove) {
  ScopedTestHome home;
  auto drafts = Maildir::Create(home.root() / ".Drafts");
  auto outbox = Maildir::Create(home.root() / ".Outbox");
  ASSERT_TRUE(drafts && outbox);

  std::string fresh, draft;
  ASSERT_EQ(drafts->Deliver("first", MaildirSubdir::kNew, "", &fresh), 0);
  ASSERT_EQ(drafts->Deliver(std::string("sec\0ond", 7), MaildirSubdir::kCur, "SD", &draft), 0);
  EXPECT_EQ(fresh.rfind("new/", 0), 0u);
  EXPECT_EQ(fresh.find(':'), std::string::npos);
  EXPECT_EQ(draft.rfind("cur/", 0), 0u);
  EXPECT_EQ(draft.substr(draft.size() - 5), ":2,DS");
  EXPECT_EQ(ReadFileBytes(drafts->path() / fresh), "first");
  EXPECT_EQ(ReadFileBytes(drafts->path() / draft), std::string("sec\0ond", 7));
  EXPECT_TRUE(IsEmptyDir(drafts->path() / "tmp"));
  std::vector<std::string> listed = drafts->List();
  EXPECT_EQ(listed, (std::vector<std::string>{draft, fresh}));

  ASSERT_EQ(drafts->Replace(draft, "changed"), 0);
  EXPECT_EQ(ReadFileBytes(drafts->path() / draft), "changed");
  EXPECT_TRUE(IsEmptyDir(drafts->path() / "tmp"));
  EXPECT_EQ(drafts->Replace("cur/missing:2,D", "x"), ENOENT);
  EXPECT_TRUE(IsEmptyDir(drafts->path() / "tmp"));

  std::string moved;
  ASSERT_EQ(drafts->MoveTo(draft, *outbox, MaildirSubdir::kNew, "", &moved), 0);
  EXPECT_EQ(moved, "new/" + draft.substr(4, draft.find(':') - 4));
  EXPECT_EQ(ReadFileBytes(outbox->path() / moved), "changed");
  EXPECT_EQ(drafts->List(), (std::vector<std::string>{fresh}));
  EXPECT_NE(drafts->MoveTo(draft, *outbox, MaildirSubdir::kNew, "", &moved), 0);

  ASSERT_EQ(drafts->Remove(fresh), 0);
  EXPECT_TRUE(drafts->List().empty());
  EXPECT_EQ(drafts->Remove(fresh), ENOENT);

  std::filesystem::path temp;
  ASSERT_EQ(drafts->CreateTempFile(&temp), 0);
  EXPECT_EQ(temp.parent_path(), drafts->path() / "tmp");
  EXPECT_TRUE(drafts->List().empty());
}

TEST(MaildirTest, UniqueNamesNeverRepeatAndHoldNoReservedCharacters) {
  std::set<std::string> names;
  for (int i = 0; i < 2000; ++i) {
    std::string name = Maildir::UniqueName();
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_EQ(name.find(':'), std::string::npos);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 2000u);
}

}  // namespace
}  // namespace platform
