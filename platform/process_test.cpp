#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;

// A real program that records each argument on a line of its own in out_file.
fs::path WriteRecorder(const fs::path& dir, const std::string& name, const fs::path& out_file) {
  fs::path script = dir / name;
  WriteFileBytes(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out_file.string() +
                             ".part'\nmv '" + out_file.string() + ".part' '" + out_file.string() + "'\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

// The started program runs on its own; wait for what it writes.
std::string WaitForFile(const fs::path& file) {
  for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ReadFileBytes(file);
}

// Processes whose parent is this one (a zombie included).
int ChildrenOfThisProcess() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string content;
    if (!std::getline(stat, content)) continue;
    std::size_t close = content.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(content.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == getpid()) ++count;
  }
  return count;
}

TEST(ProcessTest, StartsWithoutWaitingAndLeavesNoZombie) {
  ScopedTestHome home;
  const fs::path out = home.root() / "args.txt";
  const fs::path slow = home.root() / "slow.sh";
  WriteFileBytes(slow, "#!/bin/sh\nsleep 1\n");
  fs::permissions(slow, fs::perms::owner_all);
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(StartProcess(slow.string(), {}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
  EXPECT_EQ(ChildrenOfThisProcess(), 0);

  fs::path recorder = WriteRecorder(home.root(), "recorder", out);
  ASSERT_TRUE(StartProcess(recorder.string(), {"one", "two words", "", "\"quoted\" $HOME"}));
  EXPECT_EQ(WaitForFile(out), "one\ntwo words\n\n\"quoted\" $HOME\n");
  EXPECT_EQ(ChildrenOfThisProcess(), 0);

  // Found on PATH by its bare name.
  fs::remove(out);
  setenv("PATH", (home.root().string() + ":/usr/bin:/bin").c_str(), 1);
  ASSERT_TRUE(StartProcess("recorder", {"via PATH"}));
  EXPECT_EQ(WaitForFile(out), "via PATH\n");
}

TEST(ProcessTest, ReportsProgramsThatCannotStart) {
  ScopedTestHome home;
  errno = 0;
  EXPECT_FALSE(StartProcess((home.root() / "missing").string(), {}));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(StartProcess("dictalo-no-such-program", {}));

  const fs::path plain = home.root() / "not-executable";
  WriteFileBytes(plain, "#!/bin/sh\n");
  fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
  if (geteuid() != 0) {  // root may run anything with any execute bit
    errno = 0;
    EXPECT_FALSE(StartProcess(plain.string(), {}));
    EXPECT_EQ(errno, EACCES);
  }
  // Only the exec itself can find this one out: its interpreter is missing.
  const fs::path broken = home.root() / "broken";
  WriteFileBytes(broken, "#!/nonexistent/interpreter\n");
  fs::permissions(broken, fs::perms::owner_all);
  errno = 0;
  EXPECT_FALSE(StartProcess(broken.string(), {}));
  EXPECT_EQ(errno, ENOENT);
  const fs::path folder = home.root() / "folder";
  fs::create_directory(folder);
  EXPECT_FALSE(StartProcess(folder.string(), {}));
  EXPECT_EQ(ChildrenOfThisProcess(), 0);
}

TEST(ProcessTest, DefaultViewerIsTheConfiguredCommandElseXdgOpen) {
  ScopedTestHome home;
  const fs::path out = home.root() / "opened.txt";
  fs::path viewer = WriteRecorder(home.root(), "viewer", out);
  const std::string target = "file:///usr/share/dictalo/Dictalo.htm#Main_Contents";
  setenv("DICTALO_OPEN_COMMAND", viewer.c_str(), 1);
  ASSERT_TRUE(OpenWithDefaultViewer(target));
  EXPECT_EQ(WaitForFile(out), target + "\n");

  fs::remove(out);
  unsetenv("DICTALO_OPEN_COMMAND");
  const fs::path bin = home.root() / "bin";
  fs::create_directory(bin);
  WriteRecorder(bin, "xdg-open", out);
  setenv("PATH", (bin.string() + ":/usr/bin:/bin").c_str(), 1);
  ASSERT_TRUE(OpenWithDefaultViewer("/tmp/note.ogg"));
  EXPECT_EQ(WaitForFile(out), "/tmp/note.ogg\n");

  setenv("DICTALO_OPEN_COMMAND", (home.root() / "no-viewer").c_str(), 1);
  EXPECT_FALSE(OpenWithDefaultViewer(target));
}

TEST(ProcessTest, ThreadIdsTellThreadsApart) {
  EXPECT_EQ(CurrentProcessId(), static_cast<unsigned long>(getpid()));
  EXPECT_EQ(CurrentThreadId(), CurrentProcessId());  // the main thread
  unsigned long other = 0;
  std::thread([&] { other = CurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, CurrentThreadId());
}

}  // namespace
}  // namespace platform
