#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <cerrno>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A replaced file holds exactly the new bytes, keeps the requested mode, and
// leaves no temporary file beside it.
TEST(FileIoTest, ReplaceWritesTheNewContentAndLeavesNoTemporary) {
  testing_support::ScopedTestHome dir;
  const fs::path folder = dir.root() / "replace";
  fs::create_directory(folder);
  const fs::path target = folder / "settings.ini";
  std::string big(100000, 'x');
  big[5] = '\0';
  ASSERT_EQ(ReplaceFileAtomically(target, "old"), 0);
  ASSERT_EQ(ReplaceFileAtomically(target, big, 0640), 0);
  std::string read;
  ASSERT_EQ(ReadWholeFile(target, read), 0);
  EXPECT_EQ(read, big);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 1);
}

// A negative mode keeps the mode of the file being replaced.
TEST(FileIoTest, ReplaceKeepsTheExistingModeWhenAsked) {
  testing_support::ScopedTestHome dir;
  const fs::path target = dir.root() / "hive";
  ASSERT_EQ(ReplaceFileAtomically(target, "a", 0604), 0);
  ASSERT_EQ(ReplaceFileAtomically(target, "b", -1), 0);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
}

// A failure leaves the old file as it was and reports the errno.
TEST(FileIoTest, ReplaceInAMissingFolderFailsAndReadReportsMissingFiles) {
  testing_support::ScopedTestHome dir;
  EXPECT_EQ(ReplaceFileAtomically(dir.root() / "no" / "file", "x"), ENOENT);
  std::string out = "stale";
  EXPECT_EQ(ReadWholeFile(dir.root() / "absent", out), ENOENT);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace platform
