#include "audio/cue_player.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/ogg_player_test_util.h"
#include "platform/play_sound.h"
#include "platform/tone_synth.h"
#include "platform/wave_out_null.h"
#include "tests/support/test_environment.h"

namespace audio {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path ShippedCue(const char* name) { return testing_support::SourceDir() / "resources" / "share" / name; }

// A format 0 file of one track with the given events (delta byte, then the event).
std::string Smf(const std::string& track) {
  const auto n = static_cast<std::uint32_t>(track.size());
  return std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14) + "MTrk" +
         std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + track;
}

// count note messages, all at once: on, off, on, off, ...
std::string Notes(int count) {
  std::string track;
  for (int i = 0; i < count; ++i) track += std::string{0, char(i % 2 ? 0x80 : 0x90), 60, 100};
  return Smf(track);
}

int Peak16(const std::vector<std::uint8_t>& bytes) {
  int peak = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    peak = std::max(peak, std::abs(static_cast<int>(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8))));
  }
  return peak;
}

class CuePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    setenv("DICTALO_SOUNDFONT", "/nonexistent.sf2", 1);  // the tone synthesiser, whatever is installed
    platform::KeepNullOutputSounds(8);
  }
  void TearDown() override { platform::StopSound(); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = home_.root() / name;
    testing_support::WriteFileBytes(path, bytes);
    return path;
  }

  testing_support::ScopedTestHome home_;
};

TEST_F(CuePlayerTest, MidiCuePlaysItsMessagesAtTheCueVolume) {
  EXPECT_EQ(PlayMidiCueFile(ShippedCue("Dictalo Tune.mid")), 0);
  const auto played = platform::NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].rate, platform::kToneSynthRate);
  EXPECT_EQ(played[0].channels, 1);
  EXPECT_EQ(played[0].bits, 16);
  // 144 ticks at 96 per quarter and 500000 us per quarter, then the release.
  const auto samples = [](double s) { return static_cast<std::size_t>(std::llround(s * platform::kToneSynthRate)); };
  EXPECT_EQ(played[0].bytes.size(), 2 * (samples(0.75) + samples(platform::kToneSynthRelease)));
  const int peak = Peak16(played[0].bytes);
  EXPECT_GT(peak, 2000);
  EXPECT_LE(peak, 32767 * 0x7777 / 0xFFFF + 1);
}

TEST_F(CuePlayerTest, OnlyCuesOfFewerThan48MessagesPlay) {
  EXPECT_EQ(PlayMidiCueFile(Write("47.mid", Notes(47))), 0);
  EXPECT_EQ(platform::NullOutputSounds().size(), 1u);
  EXPECT_EQ(PlayMidiCueFile(Write("48.mid", Notes(48))), -1);
  EXPECT_EQ(platform::NullOutputSounds().size(), 1u);
}

TEST_F(CuePlayerTest, BadMidiFilesPlayNothing) {
  const std::string tune = testing_support::ReadFileBytes(ShippedCue("Dictalo Tune.mid"));
  EXPECT_EQ(PlayMidiCueFile(home_.root() / "missing.mid"), -1);
  EXPECT_EQ(PlayMidiCueFile(home_.root()), -1);
  EXPECT_EQ(PlayMidiCueFile(Write("wave.mid", testing_support::ReadFileBytes(ShippedCue("Dictalo Chime.wav")))), -1);
  for (std::size_t n : {std::size_t{0}, std::size_t{13}, std::size_t{22}, tune.size() / 2, tune.size() - 1}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(PlayMidiCueFile(Write("cut.mid", tune.substr(0, n))), -1);
  }
  EXPECT_TRUE(platform::NullOutputSounds().empty());
}

TEST_F(CuePlayerTest, WavCueReturnsAtOnce) {
  const std::string wav = test::WavBytes(11025, 1, 3.0, test::Sine(440, 11025));
  Write("long.wav", wav);
  Write("cut.wav", wav.substr(0, wav.size() - 100));
  CuePlayer player(home_.root());
  const auto start = Clock::now();
  EXPECT_TRUE(player.PlayCue(u"long", false));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));  // the sound itself lasts 3 s
  EXPECT_FALSE(player.PlayCue(u"cut", false));
  EXPECT_FALSE(player.PlayCue(u"missing", false));
  EXPECT_TRUE(player.PlayCue(u"long", true));  // no long.mid: the thread starts and plays nothing
}

TEST_F(CuePlayerTest, LongMidiCueIsCutOffAndItsThreadJoined) {
  // 10000000 us per quarter; the note off comes 192 ticks (0x81 0x40), 20 s, later.
  const std::string slow = Smf(std::string{0, char(0xFF), 0x51, 3, char(0x98), char(0x96), char(0x80)} +
                               std::string{0, char(0x90), 60, 100} + std::string{char(0x81), 0x40, char(0x80), 60, 0});
  Write("long.mid", slow);
  const auto start = Clock::now();
  {
    CuePlayer player(home_.root());
    EXPECT_TRUE(player.PlayCue(u"long", true));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  }  // joins the cue thread
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kMidiCueTimeoutMs + 3000));
}

TEST_F(CuePlayerTest, ShippedCuesPlayFromTheShareFolder) {
  setenv("DICTALO_SHARE_DIR", ShippedCue("").c_str(), 1);
  CuePlayer player;
  EXPECT_TRUE(player.PlayCue(u"Dictalo Chime", false));
  EXPECT_TRUE(player.PlayCue(u"Dictalo Tune", true));
  player.Wait();
  bool tune = false;
  for (const auto& sound : platform::NullOutputSounds()) tune |= sound.bytes.size() > 30000;
  EXPECT_TRUE(tune);
}

}  // namespace
}  // namespace audio
