// The end of the program when a stop thread is stuck in a device call for good.

#include "app/application.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/recorder.h"
#include "base/activity_log.h"
#include "platform/wave_in_scripted_fake.h"
#include "tests/support/test_environment.h"

namespace app {
namespace {

// In a child: a recording whose device never comes back from its reset, then
// the program's end. Unbounded, the exit would wait for the stop thread for ever.
[[noreturn]] void RecordWithAHungDeviceAndEnd(const std::filesystem::path& install_dir) {
  ::alarm(30);  // a hang ends the child by signal, which fails the test
  platform::ScriptedWaveInBehaviour hanging;
  hanging.bytes_per_second = 11025;
  hanging.silence_after_sound = true;
  hanging.hang_in_reset = true;
  platform::InstallScriptedWaveInFake(hanging);
  {
    audio::Recorder recorder;
    if (!recorder.Start(nullptr)) std::_Exit(90);
    recorder.Stop(nullptr);  // given up on after the watchdog
    if (!recorder.terminated()) std::_Exit(91);
  }
  std::exit(FinishProgram(7, install_dir));
}

TEST(ProgramEndTest, AStopThreadStuckForGoodDoesNotHoldTheExit) {
  testing_support::ScopedTestHome home;
  const std::filesystem::path install_dir = home.root() / "install";
  std::filesystem::create_directories(install_dir);
  GTEST_FLAG_SET(death_test_style, "fast");  // the child must see this test's folders
  EXPECT_EXIT(RecordWithAHungDeviceAndEnd(install_dir), testing::ExitedWithCode(7), "");
  std::string log = testing_support::ReadFileBytes(base::ActivityLogPath(install_dir));
  EXPECT_NE(log.find("still stuck in the capture device; exiting with code 7"), std::string::npos) << log;
}

}  // namespace
}  // namespace app
