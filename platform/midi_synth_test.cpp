#include "platform/midi_synth.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/tone_synth.h"

namespace platform {
namespace {

constexpr std::uint32_t NoteOn(int channel, int note, int velocity = 100) {
  return static_cast<std::uint32_t>((0x90 | channel) | (note << 8) | (velocity << 16));
}
constexpr std::uint32_t NoteOff(int channel, int note) {
  return static_cast<std::uint32_t>((0x80 | channel) | (note << 8) | (64 << 16));
}

int Peak(const std::vector<std::int16_t>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX) {
  int peak = 0;
  to = std::min(to, samples.size());
  for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  return peak;
}

std::size_t SignChanges(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  std::size_t changes = 0;
  for (std::size_t i = from + 1; i < to; ++i) {
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++changes;
  }
  return changes;
}

std::size_t Samples(double seconds) { return static_cast<std::size_t>(std::llround(seconds * kToneSynthRate)); }

TEST(MidiSynthTest, TimingResolvesRunningDataAndStopsAtTheZeroEvent) {
  const MidiEvent events[] = {
      {0, NoteOn(0, 60)},
      {48, 0x0040'3Cu},   // running data: note 60 velocity 64 on the last status
      {48, 0x00F0u},      // a system message is dropped and ends running data
      {0, 0x0040'3Eu},    // running data without a status: dropped
      {96, NoteOff(2, 62)},
      {0, 0},             // end of the list
      {0, NoteOn(0, 70)},
  };
  const auto timed = TimeMidiEvents(events, 500000, 96);
  ASSERT_EQ(timed.size(), 3u);
  EXPECT_EQ(timed[0].status, 0x90);
  EXPECT_DOUBLE_EQ(timed[0].seconds, 0.0);
  EXPECT_EQ(timed[1].status, 0x90);
  EXPECT_EQ(timed[1].data1, 60);
  EXPECT_EQ(timed[1].data2, 64);
  EXPECT_DOUBLE_EQ(timed[1].seconds, 0.25);
  EXPECT_EQ(timed[2].status, 0x82);
  EXPECT_EQ(timed[2].data1, 62);
  EXPECT_DOUBLE_EQ(timed[2].seconds, 1.0);
}

TEST(MidiSynthTest, SecondsPerTickFollowsTempoDivisionAndDefaults) {
  struct Case {
    std::uint32_t usec, division;
    double expected;
  } cases[] = {
      {500000, 96, 0.5 / 96},  {0, 0, 0.5 / 96},     {1000000, 480, 1.0 / 480}, {250000, 0, 0.25 / 96},
      {500000, 0xE728, 1.0 / (25 * 40)},  // SMPTE: 25 frames of 40 ticks, tempo ignored
      {500000, 0xE300, 0.5 / 96},         // SMPTE without ticks per frame: the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.division);
    EXPECT_DOUBLE_EQ(SecondsPerTick(c.usec, c.division), c.expected);
  }
}

TEST(MidiSynthTest, ToneSynthPlaysTheNoteAtItsTimeAndPitch) {
  // A4 from 0.5 s to 1.5 s at 120 beats per minute, 96 ticks per quarter.
  const MidiEvent events[] = {{96, NoteOn(0, 69)}, {192, NoteOff(0, 69)}};
  const RenderedSound sound = RenderWithToneSynth(events, 500000, 96, 10.0);
  EXPECT_EQ(sound.rate, kToneSynthRate);
  EXPECT_EQ(sound.channels, 1);
  ASSERT_EQ(sound.samples.size(), Samples(1.5) + Samples(kToneSynthRelease));
  EXPECT_EQ(Peak(sound.samples, 0, Samples(0.5)), 0);
  EXPECT_GT(Peak(sound.samples, Samples(0.6), Samples(1.4)), 3000);
  // 440 Hz: two sign changes per period.
  const std::size_t changes = SignChanges(sound.samples, Samples(0.6), Samples(1.4));
  EXPECT_NEAR(static_cast<double>(changes), 0.8 * 440 * 2, 4);

  // Half the tempo value: everything twice as fast.
  const RenderedSound fast = RenderWithToneSynth(events, 250000, 96, 10.0);
  EXPECT_EQ(fast.samples.size(), Samples(0.75) + Samples(kToneSynthRelease));
}

TEST(MidiSynthTest, ToneSynthCutsAtTheLimitAndReleasesHeldNotes) {
  const MidiEvent long_note[] = {{0, NoteOn(0, 60)}, {96 * 40, NoteOff(0, 60)}};  // 20 s
  EXPECT_EQ(RenderWithToneSynth(long_note, 500000, 96, 10.0).samples.size(), Samples(10.0));
  EXPECT_TRUE(RenderWithToneSynth(long_note, 500000, 96, 0.0).samples.empty());

  // A note never switched off fades out after the last event.
  const MidiEvent held[] = {{0, NoteOn(0, 60)}, {96, NoteOn(1, 64)}};
  const RenderedSound sound = RenderWithToneSynth(held, 500000, 96, 10.0);
  EXPECT_EQ(sound.samples.size(), Samples(0.5) + Samples(kToneSynthRelease));
  EXPECT_GT(Peak(sound.samples, Samples(0.4), Samples(0.5)), 3000);
}

TEST(MidiSynthTest, ToneSynthPercussionVolumeAndEmptyInput) {
  const MidiEvent drum[] = {{0, NoteOn(9, 38)}};
  const RenderedSound burst = RenderWithToneSynth(drum, 500000, 96, 10.0);
  EXPECT_EQ(burst.samples.size(), Samples(kToneSynthPercussion));
  EXPECT_GT(Peak(burst.samples), 1000);

  // Channel volume 0 silences the channel; other channels still sound.
  const MidiEvent muted[] = {{0, 0x00'07'B0u}, {0, NoteOn(0, 60)}, {96, NoteOff(0, 60)}};
  EXPECT_EQ(Peak(RenderWithToneSynth(muted, 500000, 96, 10.0).samples), 0);
  const MidiEvent other[] = {{0, 0x00'07'B0u}, {0, NoteOn(1, 60)}, {96, NoteOff(1, 60)}};
  EXPECT_GT(Peak(RenderWithToneSynth(other, 500000, 96, 10.0).samples), 3000);

  EXPECT_TRUE(RenderWithToneSynth({}, 500000, 96, 10.0).samples.empty());
}

TEST(MidiSynthTest, RenderMidiFallsBackToTheToneSynthWithoutASoundFont) {
  setenv("DICTALO_SOUNDFONT", "/nonexistent/none.sf2", 1);
  const MidiEvent events[] = {{0, NoteOn(0, 72)}, {96, NoteOff(0, 72)}};
  const RenderedSound sound = RenderMidi(events, 0, 0, 10.0);
  unsetenv("DICTALO_SOUNDFONT");
  EXPECT_EQ(sound.rate, kToneSynthRate);
  EXPECT_EQ(sound.samples, RenderWithToneSynth(events, 500000, 96, 10.0).samples);
}

TEST(MidiSynthTest, FluidSynthRendersWhenInstalled) {
  const MidiEvent events[] = {{0, NoteOn(0, 72)}, {96, NoteOff(0, 72)}, {0, NoteOn(0, 76)}, {96, NoteOff(0, 76)}};
  const RenderedSound sound = RenderMidi(events, 500000, 96, 10.0);
  if (sound.rate == kToneSynthRate && sound.channels == 1) {
    GTEST_SKIP() << "FluidSynth or a General MIDI sound font is not installed";
  }
  EXPECT_EQ(sound.channels, 2);
  const double seconds = static_cast<double>(sound.samples.size()) / sound.channels / sound.rate;
  EXPECT_GT(seconds, 1.0);
  EXPECT_LE(seconds, 10.0);
  EXPECT_GT(Peak(sound.samples), 1000);

  const MidiEvent long_note[] = {{0, NoteOn(0, 60)}, {96 * 40, NoteOff(0, 60)}};
  const RenderedSound cut = RenderMidi(long_note, 500000, 96, 10.0);
  EXPECT_EQ(cut.samples.size(), static_cast<std::size_t>(10 * cut.rate) * cut.channels);
}

}  // namespace
}  // namespace platform
