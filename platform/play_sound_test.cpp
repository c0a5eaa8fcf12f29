// PlaySound over the null output device: synchronous play waits for the sound,
// asynchronous play returns at once and is stopped by the next sound or by
// StopSound (which leaves no thread behind), bad files play nothing, and a
// process that exits during a sound ends promptly.

#include "platform/play_sound.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "tests/support/platform_audio_test_support.h"
#include "platform/wave_out_null.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace platform {
namespace {

using audio_internal::PcmLayout;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::size_t ThreadsOfThisProcess() {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                                std::filesystem::directory_iterator()));
}

class PlaySoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    KeepNullOutputSounds(4);
  }
  void TearDown() override {
    StopSound();
    unsetenv("DICTALO_AUDIO_OUTPUT");
  }
  std::filesystem::path Wav(const std::string& name, const PcmLayout& layout, double seconds) {
    auto path = home_.root() / name;
    samples_[name] = audio_test::ToneSamples(layout, seconds);
    testing_support::WriteFileBytes(path, audio_test::WavBytes(layout, samples_[name]));
    return path;
  }
  testing_support::ScopedTestHome home_;
  std::map<std::string, std::vector<std::uint8_t>> samples_;
};

TEST_F(PlaySoundTest, SynchronousSoundReturnsOnceItHasPlayed) {
  const auto file = Wav("chime.wav", {22050, 1, 16}, 0.4);
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(PlaySound(file, SND_FILENAME | SND_SYNC));
  EXPECT_GE(Since(start), 0.39);
  const auto played = NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].bytes, samples_["chime.wav"]);
  EXPECT_EQ(played[0].rate, 22050u);
}

TEST_F(PlaySoundTest, AsynchronousSoundIsStoppedByTheNextAndByStopSound) {
  const auto long_sound = Wav("long.wav", {11025, 2, 8}, 3.0);
  const auto short_sound = Wav("short.wav", {8000, 1, 16}, 0.2);
  // Threads that stay once a sound has played (a sanitizer's, say) count as the baseline.
  ASSERT_TRUE(PlaySound(short_sound, SND_FILENAME));
  const std::size_t threads_before = ThreadsOfThisProcess();
  KeepNullOutputSounds(4);
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(PlaySound(long_sound, SND_FILENAME | SND_ASYNC));
  EXPECT_LT(Since(start), 0.2);
  std::this_thread::sleep_for(milliseconds(100));
  start = Clock::now();
  ASSERT_TRUE(PlaySound(short_sound, SND_FILENAME | SND_ASYNC));  // stops the long one
  EXPECT_LT(Since(start), 0.3);
  std::this_thread::sleep_for(milliseconds(500));
  auto played = NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);  // the long sound was cut, so it was never heard to its end
  EXPECT_EQ(played[0].bytes, samples_["short.wav"]);

  ASSERT_TRUE(PlaySound(long_sound, SND_FILENAME | SND_ASYNC));
  std::this_thread::sleep_for(milliseconds(100));
  start = Clock::now();
  StopSound();
  EXPECT_LT(Since(start), 0.3);
  EXPECT_EQ(NullOutputSounds().size(), 1u);
  EXPECT_EQ(ThreadsOfThisProcess(), threads_before);  // the sound's threads were joined
}

TEST_F(PlaySoundTest, BadFilesPlayNothingWiderSamplesAreNarrowed) {
  EXPECT_FALSE(PlaySound(home_.root() / "missing.wav", SND_FILENAME | SND_ASYNC));
  testing_support::WriteFileBytes(home_.root() / "text.wav", "RIFF....WAVEnot really");
  EXPECT_FALSE(PlaySound(home_.root() / "text.wav", SND_FILENAME));
  EXPECT_TRUE(NullOutputSounds().empty());

  ASSERT_TRUE(PlaySound(Wav("wide.wav", {16000, 1, 24}, 0.1), SND_FILENAME));
  const auto played = NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].bits, 16);
  EXPECT_EQ(played[0].bytes.size(), 1600u * 2);
}

// Runs in a child process only: starts a long sound and exits with it playing.
TEST(PlaySoundExitChild, ExitsWhileASoundPlays) {
  if (std::getenv("DICTALO_PLAY_SOUND_CHILD") == nullptr) GTEST_SKIP() << "run by PlaySoundTest.ExitStopsTheSound";
  testing_support::ScopedTestHome home;
  const auto file = home.root() / "long.wav";
  testing_support::WriteFileBytes(file, audio_test::WavBytes({11025, 1, 8}, std::vector<std::uint8_t>(11025 * 10, 99)));
  ASSERT_TRUE(PlaySound(file, SND_FILENAME | SND_ASYNC));
  std::exit(0);
}

TEST_F(PlaySoundTest, ExitStopsTheSoundAndEndsPromptly) {
  setenv("DICTALO_PLAY_SOUND_CHILD", "1", 1);
  const Clock::time_point start = Clock::now();
  auto result = testing_support::RunProgram(std::filesystem::read_symlink("/proc/self/exe"), {"--gtest_filter=PlaySoundExitChild.*"},
                                            std::chrono::seconds(8));
  unsetenv("DICTALO_PLAY_SOUND_CHILD");
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_LT(Since(start), 3.0);  // not the ten seconds of the sound
}

}  // namespace
}  // namespace platform
