// Starts of the real dictalo program: the single-instance handshake between
// processes in both modes, the first-run help, and a clean end on SIGTERM.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

using testing_support::ChildProcess;
using testing_support::ReadFileBytes;
using testing_support::ScopedTestHome;
using testing_support::WaitUntil;

constexpr char16_t kMainClass[] = u"CeWnd:CorvaneEMMainWnd";

std::filesystem::path Dictalo() { return testing_support::BinaryDir() / "dictalo"; }

bool MainWindowRunning() { return platform::FindWindow(kMainClass) != nullptr; }

class ProgramStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The help viewer records what it was asked to open.
    viewer_log_ = home_.root() / "viewer.log";
    auto viewer = home_.root() / "viewer.sh";
    testing_support::WriteFileBytes(viewer, "#!/bin/sh\necho \"$1\" >> '" + viewer_log_.string() + "'\n");
    std::filesystem::permissions(viewer, std::filesystem::perms::owner_all);
    setenv("DICTALO_OPEN_COMMAND", viewer.c_str(), 1);
    testing_support::UseTestAudio(home_);
  }
  void TearDown() override {
    unsetenv("DICTALO_OPEN_COMMAND");
    testing_support::StopTestAudio();
  }

  ScopedTestHome home_;
  std::filesystem::path viewer_log_;
};

TEST_F(ProgramStartTest, InteractiveStartEndsARecordOnlyInstanceAndTakesOver) {
  ChildProcess recorder(Dictalo(), {"-record"});
  ASSERT_TRUE(WaitUntil(MainWindowRunning)) << recorder.Errors();

  ChildProcess options(Dictalo(), {});
  EXPECT_EQ(recorder.Wait(), 0) << "the record-only instance must quit";
  ASSERT_TRUE(WaitUntil([&] { return MainWindowRunning(); }));
  EXPECT_TRUE(options.Running());

  // A second interactive start hands over to the first and ends.
  auto second = testing_support::RunProgram(Dictalo(), {});
  EXPECT_EQ(second.status, 0);
  EXPECT_TRUE(options.Running());

  // A record-only start while any instance runs sends the toggle and ends.
  auto toggle = testing_support::RunProgram(Dictalo(), {"-RECORD"});
  EXPECT_EQ(toggle.status, 0);
  EXPECT_TRUE(options.Running());

  options.Signal(SIGTERM);
  EXPECT_EQ(options.Wait(), 0);
  EXPECT_FALSE(MainWindowRunning());
}

TEST_F(ProgramStartTest, HelpOpensOnTheFirstInteractiveStartOnly) {
  {
    ChildProcess first(Dictalo(), {});
    ASSERT_TRUE(WaitUntil([&] { return !ReadFileBytes(viewer_log_).empty(); })) << first.Errors();
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(), 0);
  }
  std::string log = ReadFileBytes(viewer_log_);
  EXPECT_NE(log.find("Dictalo.htm#Main_Contents"), std::string::npos) << log;
  EXPECT_EQ(log.rfind("file://", 0), 0u) << log;

  ChildProcess second(Dictalo(), {});
  ASSERT_TRUE(WaitUntil(MainWindowRunning));
  second.Signal(SIGTERM);
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_EQ(ReadFileBytes(viewer_log_), log) << "the help must not open again";
}

TEST_F(ProgramStartTest, ACrashedInstanceIsNotTakenForARunningOne) {
  ChildProcess crashed(Dictalo(), {"-record"});
  ASSERT_TRUE(WaitUntil(MainWindowRunning));
  crashed.Signal(SIGKILL);
  crashed.Wait();
  EXPECT_FALSE(MainWindowRunning());

  // A new record-only start must not hand over to the dead one: it stays resident.
  ChildProcess fresh(Dictalo(), {"-record"});
  ASSERT_TRUE(WaitUntil(MainWindowRunning)) << fresh.Errors();
  EXPECT_TRUE(fresh.Running());
  fresh.Signal(SIGTERM);
  EXPECT_EQ(fresh.Wait(), 0);
}

TEST_F(ProgramStartTest, ProfileSwitchPicksTheSettingsFile) {
  ChildProcess program(Dictalo(), {"-profile", "Work Settings.ini", "-record"});
  ASSERT_TRUE(WaitUntil(MainWindowRunning)) << program.Errors();
  EXPECT_TRUE(std::filesystem::exists(home_.data_home() / "dictalo" / "Work Settings.ini"));
  EXPECT_FALSE(std::filesystem::exists(home_.data_home() / "dictalo" / "Settings.ini"));
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
}

TEST_F(ProgramStartTest, OfTwoRecordOnlyStartsAtTheSameMomentExactlyOneStaysResident) {
  for (int round = 0; round < 20; ++round) {
    auto first = std::make_unique<ChildProcess>(Dictalo(), std::vector<std::string>{"-record"});
    auto second = std::make_unique<ChildProcess>(Dictalo(), std::vector<std::string>{"-record"});
    // The one that loses hands its start to the other and ends.
    ASSERT_TRUE(WaitUntil([&] { return !first->Running() || !second->Running(); }, std::chrono::seconds(15)))
        << "round " << round << ": both stay resident";
    ChildProcess& loser = first->Running() ? *second : *first;
    ChildProcess& winner = first->Running() ? *first : *second;
    EXPECT_EQ(loser.Wait(), 0) << "round " << round << loser.Errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(winner.Running()) << "round " << round << winner.Errors();
    EXPECT_TRUE(MainWindowRunning()) << "round " << round;
    winner.Signal(SIGTERM);
    EXPECT_EQ(winner.Wait(), 0) << "round " << round;
  }
}

TEST_F(ProgramStartTest, OnlyTheLauncherProtocolCrossesIntoTheMainWindow) {
  ChildProcess recorder(Dictalo(), {"-record"});
  ASSERT_TRUE(WaitUntil(MainWindowRunning)) << recorder.Errors();
  platform::HWND main = platform::FindWindow(kMainClass);
  ASSERT_NE(main, nullptr);
  // The UI-thread call carries a pointer into the sender's memory: refused, not run.
  constexpr platform::UINT kInvoke = 2334;
  EXPECT_EQ(platform::SendMessage(main, kInvoke, 0x10, 0), 0);
  EXPECT_FALSE(platform::PostMessage(main, kInvoke, 0x10, 0));
  // The session's own messages are no business of other processes either.
  constexpr platform::UINT kStopRecording = 5362;
  EXPECT_FALSE(platform::PostMessage(main, kStopRecording, 2, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(recorder.Running()) << recorder.Errors();
  // The launcher's handshake still works.
  std::u16string line;
  platform::COPYDATASTRUCT data{1, 2, line.c_str()};
  EXPECT_EQ(platform::SendMessage(main, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&data)), 1);
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.Wait(), 0);
}

}  // namespace
