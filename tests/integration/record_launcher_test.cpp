// The real dictalo-record against the real dictalo.

#include <signal.h>

#include <gtest/gtest.h>

#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

using testing_support::ChildProcess;
using testing_support::RunProgram;
using testing_support::WaitUntil;

std::filesystem::path Bin(const char* name) { return testing_support::BinaryDir() / name; }
platform::HWND MainWindow() { return platform::FindWindow(u"CeWnd:CorvaneEMMainWnd"); }

// An interactive instance has finished starting once it has recorded its first run.
bool InteractiveStarted(const testing_support::ScopedTestHome& home) {
  return testing_support::ReadFileBytes(home.config_home() / "dictalo" / "HKCU.reg").find("FirstRun") !=
         std::string::npos;
}

class RecordLauncherProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_OPEN_COMMAND", "/bin/true", 1);
    testing_support::UseTestAudio(home);
  }
  void TearDown() override {
    unsetenv("DICTALO_OPEN_COMMAND");
    testing_support::StopTestAudio();
  }
  testing_support::ScopedTestHome home;
};


TEST_F(RecordLauncherProgramTest, StartsThenTogglesThenRestartsForOtherArguments) {
  // No instance: the launcher starts a resident record-only dictalo.
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  ASSERT_TRUE(WaitUntil([] { return MainWindow() != nullptr; }));

  // A second press toggles it; it stays resident.
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  EXPECT_NE(MainWindow(), nullptr);

  // A press with arguments that the running instance was not started with: the
  // text does not occur in its command line, so it toggles as well.
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {"-profile", "Other.ini"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(home.data_home() / "dictalo" / "Other.ini"));

  // Ask it to quit through the interactive path, then end the new instance.
  ChildProcess options(Bin("dictalo"), {});
  ASSERT_TRUE(WaitUntil([&] { return InteractiveStarted(home); })) << options.Errors();
  options.Signal(SIGTERM);
  EXPECT_EQ(options.Wait(), 0);
  EXPECT_TRUE(WaitUntil([] { return MainWindow() == nullptr; }));
}

TEST_F(RecordLauncherProgramTest, ArgumentsOfTheRunningInstanceStartAFreshOne) {
  ChildProcess first(Bin("dictalo"), {"-record", "-profile", "Work.ini"});
  ASSERT_TRUE(WaitUntil([] { return MainWindow() != nullptr; }));

  // "-profile Work.ini" occurs in the running command line: the record-only
  // instance quits and a fresh one starts with the launcher's arguments.
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {"-profile", "Work.ini"}).status, 0);
  EXPECT_EQ(first.Wait(), 0);
  ASSERT_TRUE(WaitUntil([] { return MainWindow() != nullptr; }));

  // End the fresh instance (started by the launcher, not our child) through the
  // interactive start, which asks a record-only instance to quit.
  ChildProcess options(Bin("dictalo"), {});
  ASSERT_TRUE(WaitUntil([&] { return InteractiveStarted(home); })) << options.Errors();
  options.Signal(SIGTERM);
  EXPECT_EQ(options.Wait(), 0);
}

}  // namespace
