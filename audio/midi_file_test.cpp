#include "audio/midi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_environment.h"

namespace audio {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Chunk(const char* id, const Bytes& body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  Bytes out = {std::uint8_t(id[0]),  std::uint8_t(id[1]),      std::uint8_t(id[2]),     std::uint8_t(id[3]),
               std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Smf(std::uint16_t tracks, std::uint16_t division, const std::vector<Bytes>& track_bodies) {
  Bytes out = Chunk("MThd", {0, std::uint8_t(tracks > 1), std::uint8_t(tracks >> 8), std::uint8_t(tracks),
                             std::uint8_t(division >> 8), std::uint8_t(division)});
  for (const Bytes& body : track_bodies) {
    Bytes chunk = Chunk("MTrk", body);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

// Every kind of event the scan knows, with the message each one yields.
const Bytes kEveryEventTrack = {
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000
    0x00, 0xF0, 0x03, 0x7E, 0x7F, 0x09,        // system exclusive, skipped
    0x00, 0xC0, 0x05,                          // program change: one data byte
    0x00, 0x07,                                // running data of one byte
    0x00, 0x90, 0x3C, 0x64,                    // note on
    0x81, 0x00, 0x3C, 0x00,                    // two-byte delta 128, running data
    0x10, 0xFF, 0x01, 0x02, 0x68, 0x69,        // text event 16 ticks later, skipped
    0x05, 0x80, 0x3C, 0x40,                    // note off 5 ticks after the text
    0x00, 0xF7, 0x01, 0x00,                    // escaped system exclusive, skipped
    0x83, 0x7F, 0x90, 0x40, 0x64,              // delta 3 * 128 + 127
    0x00, 0xFF, 0x2F, 0x00,                    // end of track
};
const platform::MidiEvent kEveryEventMessages[] = {
    {0, 0x05C0}, {0, 0x07}, {0, 0x643C90}, {128, 0x003C}, {21, 0x403C80}, {511, 0x644090},
};

void ExpectEvents(const MidiCue& cue, std::span<const platform::MidiEvent> expected) {
  ASSERT_EQ(cue.events.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cue.events[i].delta_ticks, expected[i].delta_ticks);
    EXPECT_EQ(cue.events[i].message, expected[i].message);
  }
}

TEST(MidiFileTest, ReadsTempoMessagesAndRunningData) {
  const auto cue = ParseMidiFile(Smf(1, 96, {kEveryEventTrack}));
  ASSERT_TRUE(cue);
  EXPECT_EQ(cue->track_count, 1);
  EXPECT_EQ(cue->division, 96);
  EXPECT_EQ(cue->usec_per_quarter, 500000u);
  ExpectEvents(*cue, kEveryEventMessages);
}

TEST(MidiFileTest, OnlyTheFirstTrackIsRead) {
  const Bytes first = {0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
  const Bytes second = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0x91, 0x40, 0x64, 0x00, 0xFF, 0x2F, 0x00};
  const auto cue = ParseMidiFile(Smf(2, 480, {first, second}));
  ASSERT_TRUE(cue);
  EXPECT_EQ(cue->track_count, 2);
  EXPECT_EQ(cue->division, 480);
  EXPECT_EQ(cue->usec_per_quarter, 0u);  // the tempo is in the second track
  const platform::MidiEvent expected[] = {{0, 0x643C90}, {96, 0x403C80}};
  ExpectEvents(*cue, expected);

  // A header longer than six bytes: the track follows it.
  Bytes long_header = Chunk("MThd", {0, 0, 0, 1, 0, 96, 0xAA, 0xBB});
  const Bytes track = Chunk("MTrk", first);
  long_header.insert(long_header.end(), track.begin(), track.end());
  ASSERT_TRUE(ParseMidiFile(long_header));
  EXPECT_EQ(ParseMidiFile(long_header)->events.size(), 2u);
}

TEST(MidiFileTest, RefusesFilesThatAreNotMidiOrCutOff) {
  const Bytes good = Smf(1, 96, {kEveryEventTrack});
  struct Case {
    const char* what;
    Bytes bytes;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"RIFF header", Chunk("RIFF", {0, 0, 0, 1, 0, 96})},
      {"no track", Smf(1, 96, {})},
      {"short header chunk", Chunk("MThd", {0, 0, 0, 1, 0})},
      {"delta without event", Smf(1, 96, {{0x00, 0x90, 0x3C, 0x64, 0x10}})},
      {"two-byte delta cut", Smf(1, 96, {{0x81}})},
      {"meta data beyond track", Smf(1, 96, {{0x00, 0xFF, 0x01, 0x05, 0x41}})},
      {"meta without length", Smf(1, 96, {{0x00, 0xFF, 0x51}})},
      {"sysex beyond track", Smf(1, 96, {{0x00, 0xF0, 0x04, 0x01}})},
      {"note missing a data byte", Smf(1, 96, {{0x00, 0x90, 0x3C}})},
      {"running data missing a byte", Smf(1, 96, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0x3C}})},
  };
  Bytes wrong_track = good;
  wrong_track[14 + 3] = 'x';  // "MTrx"
  cases.push_back({"MTrx", wrong_track});
  Bytes long_track = good;
  long_track[14 + 7] += 1;  // the track claims one byte more than the file holds
  cases.push_back({"track length beyond file", long_track});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(ParseMidiFile(c.bytes));
  }
}

TEST(MidiFileTest, EveryTruncationIsRefused) {
  const Bytes shipped_bytes = [] {
    const std::string s =
        testing_support::ReadFileBytes(testing_support::SourceDir() / "resources" / "share" / "Dictalo Tune.mid");
    return Bytes(s.begin(), s.end());
  }();
  ASSERT_FALSE(shipped_bytes.empty());
  for (const Bytes& file : {Smf(1, 96, {kEveryEventTrack}), shipped_bytes}) {
    ASSERT_TRUE(ParseMidiFile(file));
    for (std::size_t n = 0; n < file.size(); ++n) {
      SCOPED_TRACE(n);
      // A copy of exactly n bytes, so that a read past its end is caught by the
      // sanitizers.
      const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_FALSE(ParseMidiFile(cut));
    }
  }
}

TEST(MidiFileTest, ShippedTuneIsAPlayableCue) {
  const std::string s =
      testing_support::ReadFileBytes(testing_support::SourceDir() / "resources" / "share" / "Dictalo Tune.mid");
  const auto cue = ParseMidiFile(Bytes(s.begin(), s.end()));
  ASSERT_TRUE(cue);
  EXPECT_EQ(cue->usec_per_quarter, 500000u);
  EXPECT_EQ(cue->division, 96);
  // Program, volume, four notes on and four off.
  ASSERT_EQ(cue->events.size(), 10u);
  EXPECT_EQ(cue->events[0].message, 0x08C0u);
  EXPECT_EQ(cue->events[2].message, 0x5A4890u);
  EXPECT_EQ(cue->events[6].delta_ticks, 72u);
  EXPECT_EQ(cue->events[6].message, 0x0048u);
}

}  // namespace
}  // namespace audio
