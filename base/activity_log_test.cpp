#include "base/activity_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/support/test_environment.h"

namespace base {
namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class ActivityLogTest : public ::testing::Test {
 protected:
  std::filesystem::path dir() const { return home_.root() / "install"; }
  std::filesystem::path log_path() const { return dir() / "Dictalo.log"; }
  std::filesystem::path bak_path() const { return dir() / "Dictalo.bak"; }
  void SetUp() override { std::filesystem::create_directories(dir()); }
  testing_support::ScopedTestHome home_;
};

TEST(ActivityLogFormatTest, LinesAreUnpaddedWithTheKindMark) {
  EXPECT_EQ(FormatLogLine(1234, 2007, 3, 5, 9, 4, 7, "--Closing Recorder", kLogPlain),
            "1234 - 2007.3.5 9:4:7 --Closing Recorder\r\n");
  EXPECT_EQ(FormatLogLine(1, 2007, 12, 31, 23, 5, 9, "x", kLogPlain), "1 - 2007.12.31 23:5:9 x\r\n");
  EXPECT_EQ(FormatLogLine(7, 2020, 1, 1, 0, 0, 0, "250 OK", kLogReceived), "7 - 2020.1.1 0:0:0 R 250 OK\r\n");
  EXPECT_EQ(FormatLogLine(7, 2020, 1, 1, 0, 0, 0, "QUIT", kLogSent), "7 - 2020.1.1 0:0:0 S QUIT\r\n");
  EXPECT_EQ(FormatLogLine(7, 2020, 1, 1, 0, 0, 0, "odd", 3), "7 - 2020.1.1 0:0:0 odd\r\n");
}

TEST(ActivityLogFormatTest, BackupNameReplacesTheExtension) {
  EXPECT_EQ(ActivityLogBackupPath("/a/b/Dictalo.log"), "/a/b/Dictalo.bak");
  EXPECT_EQ(ActivityLogBackupPath("/a.dir/log"), "/a.dir/log.bak");
  EXPECT_EQ(ActivityLogBackupPath("/a/.log"), "/a/.log.bak");
}

TEST_F(ActivityLogTest, FirstOpenCreatesTheLogAndLeavesTheBackupAlone) {
  WriteFileBytes(bak_path(), "old backup");
  {
    auto log = OpenActivityLog(dir());
    ASSERT_NE(log, nullptr);
    WriteLogLine(log.get(), "hello");
  }
  EXPECT_EQ(ReadFileBytes(bak_path()), "old backup");
  std::string text = ReadFileBytes(log_path());
  EXPECT_NE(text.find(" hello\r\n"), std::string::npos) << text;
}

TEST_F(ActivityLogTest, RotatesAtTheLimitReplacingTheOldBackup) {
  WriteFileBytes(bak_path(), "old backup");
  WriteFileBytes(log_path(), std::string(kLogRotationSize - 1, 'a'));
  {
    auto log = OpenActivityLog(dir());
    ASSERT_NE(log, nullptr);
    WriteLogLine(log.get(), "appended");
  }
  EXPECT_EQ(ReadFileBytes(bak_path()), "old backup");
  EXPECT_GT(ReadFileBytes(log_path()).size(), kLogRotationSize);

  WriteFileBytes(log_path(), std::string(kLogRotationSize, 'b'));
  {
    auto log = OpenActivityLog(dir());
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->Length(), 0);
    WriteLogLine(log.get(), "fresh");
  }
  EXPECT_EQ(ReadFileBytes(bak_path()), std::string(kLogRotationSize, 'b'));
  EXPECT_EQ(ReadFileBytes(log_path()).find('b'), std::string::npos);
}

TEST_F(ActivityLogTest, ASecondActivityGetsNoLogAndLosesNothing) {
  WriteFileBytes(bak_path(), "old backup");
  WriteFileBytes(log_path(), std::string(kLogRotationSize, 'c'));
  auto first = OpenActivityLog(dir());
  ASSERT_NE(first, nullptr);
  WriteLogLine(first.get(), "first activity");
  // The first open rotated; make the held log look full again, so a second open
  // would want to rotate while it is held.
  ASSERT_EQ(ReadFileBytes(bak_path()).size(), kLogRotationSize);
  first->Write(std::string(kLogRotationSize, 'd').data(), kLogRotationSize);

  EXPECT_EQ(OpenActivityLog(dir()), nullptr);
  WriteLogLine(nullptr, "goes nowhere");
  EXPECT_EQ(ReadFileBytes(bak_path()), std::string(kLogRotationSize, 'c')) << "the backup must survive";
  EXPECT_NE(ReadFileBytes(log_path()).find("first activity"), std::string::npos);

  first.reset();
  EXPECT_NE(OpenActivityLog(dir()), nullptr) << "free again once the first activity closed it";
}

// Activities of several threads open the log at once when it is full: one of
// them rotates it, and the full log is what ends up in the backup.
TEST_F(ActivityLogTest, OpeningAFullLogFromManyThreadsAtOnceKeepsItsBackup) {
  const std::string full(kLogRotationSize, 'x');
  for (int round = 0; round < 100; ++round) {
    WriteFileBytes(log_path(), full);
    std::filesystem::remove(bak_path());
    std::vector<std::unique_ptr<ActivityLog>> logs(12);
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (auto& log : logs) {
      threads.emplace_back([&] {
        ++ready;
        while (ready.load() < static_cast<int>(logs.size())) {
        }
        log = OpenActivityLog(dir());
      });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(ReadFileBytes(bak_path()).size(), full.size()) << "round " << round;
    int opened = 0;
    for (auto& log : logs) opened += log != nullptr;
    EXPECT_EQ(opened, 1) << "round " << round;
  }
}

TEST_F(ActivityLogTest, LinesFromManyThreadsStayWhole) {
  auto log = OpenActivityLog(dir());
  ASSERT_NE(log, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) WriteLogLine(log.get(), std::string(100, static_cast<char>('A' + t)));
    });
  for (auto& th : threads) th.join();
  log.reset();
  std::string text = ReadFileBytes(log_path());
  std::size_t lines = 0, start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
    std::string line = text.substr(start, end - start);
    std::string tail = line.substr(line.size() - 100);
    EXPECT_EQ(tail, std::string(100, tail[0])) << line;
  }
  EXPECT_EQ(lines, 800u);
}

TEST_F(ActivityLogTest, FileOperationsFollowTheirOrigins) {
  auto log = OpenActivityLog(dir());
  ASSERT_NE(log, nullptr);
  log->Write("0123456789", 10);
  EXPECT_EQ(log->Seek(2, 0), 2);
  EXPECT_EQ(log->Seek(-1, 1), 9);
  EXPECT_EQ(log->Seek(-4, 2), 5);
  EXPECT_TRUE(log->SetLength(4));
  EXPECT_EQ(log->Length(), 4);
  EXPECT_TRUE(log->Flush());
}

}  // namespace
}  // namespace base
