#include "audio/ogg_player.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <limits>

#include "tests/support/ogg_player_test_util.h"
#include "tests/support/test_environment.h"

namespace audio {
namespace {

namespace fs = std::filesystem;
using test::MakeOgg;
using test::Sine;
using test::ToBytes;

class OggPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = VorbisDecoderLibrary::Load(&error_);
    ASSERT_TRUE(library_) << error_;
  }

  std::optional<DecodedNote> Decode(const std::vector<std::uint8_t>& bytes) {
    OggMemorySource source(bytes);
    return DecodeOggVorbis(library_->api(), source);
  }

  // A recorded-format note: mono 11025 Hz.
  std::vector<std::uint8_t> Note(const std::string& stem, double seconds, double frequency) {
    auto bytes = ToBytes(MakeOgg(home_.root(), stem, 11025, 1, seconds, Sine(frequency, 11025)));
    EXPECT_FALSE(bytes.empty()) << "oggenc failed";
    return bytes;
  }

  testing_support::ScopedTestHome home_;
  std::string error_;
  std::unique_ptr<VorbisDecoderLibrary> library_;
};

int Peak(std::span<const std::int16_t> pcm, std::size_t from, std::size_t to, std::size_t step = 1,
         std::size_t offset = 0) {
  int peak = 0;
  for (std::size_t i = from * step + offset; i < to * step && i < pcm.size(); i += step) {
    peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
  }
  return peak;
}

TEST(OggSampleTest, FloatToPcm16TruncatesAndClamps) {
  const struct {
    float in;
    std::int16_t out;
  } cases[] = {
      {1.2f, 32767},   {-1.5f, -32768}, {0.5f, 16383},  {-0.5f, -16383}, {0.0f, 0},
      {1.0f, 32767},   {-1.0f, -32767}, {0.99999f, 32766}, {1e30f, 32767}, {-1e30f, -32768},
      {std::numeric_limits<float>::infinity(), 32767},
      {-std::numeric_limits<float>::infinity(), -32768},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(VorbisSampleToPcm16(c.in), c.out);
  }
}

TEST_F(OggPlayerTest, RecordedFormatNoteDecodesAsMono11025) {
  const auto bytes = Note("note", 2.0, 440);
  const auto note = Decode(bytes);
  ASSERT_TRUE(note);
  EXPECT_EQ(note->channels, 1);
  EXPECT_EQ(note->rate, 11025);
  EXPECT_NEAR(static_cast<double>(note->pcm.size()), 2.0 * 11025, 0.01 * 11025);
  EXPECT_GT(Peak(note->pcm, 2000, 20000), 10000);
  std::size_t changes = 0;
  for (std::size_t i = 2001; i < 20000; ++i) changes += (note->pcm[i - 1] < 0) != (note->pcm[i] < 0);
  EXPECT_NEAR(static_cast<double>(changes), 18000.0 / 11025 * 440 * 2, 10);

  // The same through the player, reading the file.
  OggPlayer player(home_.root() / "note.ogg");
  ASSERT_TRUE(player.library_loaded());
  ASSERT_TRUE(player.Decode());
  EXPECT_EQ(player.channels(), 1);
  EXPECT_EQ(player.rate(), 11025);
  EXPECT_EQ(player.pcm(), note->pcm);
}

TEST_F(OggPlayerTest, ChainedStreamsDecodeIntoOneBuffer) {
  auto bytes = Note("first", 1.0, 440);
  const auto second = Note("second", 0.5, 880);
  bytes.insert(bytes.end(), second.begin(), second.end());
  const auto note = Decode(bytes);
  ASSERT_TRUE(note);
  EXPECT_NEAR(static_cast<double>(note->pcm.size()), 1.5 * 11025, 0.01 * 11025);
  EXPECT_GT(Peak(note->pcm, 1000, 10000), 10000);
  EXPECT_GT(Peak(note->pcm, 12000, 15500), 10000);
}

TEST_F(OggPlayerTest, ChannelsAreInterleaved) {
  // Left: a tone, right: silence.
  auto sample = [](std::size_t i, int c) { return c == 0 ? 0.5 * std::sin(2 * M_PI * 440 * i / 22050.0) : 0.0; };
  const auto bytes = ToBytes(MakeOgg(home_.root(), "stereo", 22050, 2, 1.0, sample));
  const auto note = Decode(bytes);
  ASSERT_TRUE(note);
  EXPECT_EQ(note->channels, 2);
  EXPECT_EQ(note->rate, 22050);
  EXPECT_NEAR(static_cast<double>(note->pcm.size()), 2.0 * 22050, 0.02 * 22050);
  EXPECT_GT(Peak(note->pcm, 1000, 20000, 2, 0), 10000);
  EXPECT_LT(Peak(note->pcm, 1000, 20000, 2, 1), 1500);
}

TEST_F(OggPlayerTest, TruncatedOrCorruptFilesGiveNoSound) {
  const auto bytes = Note("note", 1.0, 440);
  ASSERT_TRUE(Decode(bytes));
  // Cut anywhere: the last page (with the end-of-stream flag) never arrives.
  for (std::size_t n = 0; n < bytes.size(); n += (n < 200 ? 1 : 7)) {
    SCOPED_TRACE(n);
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(Decode(cut));
  }
  // A damaged header page is refused; pages are checksummed, so any byte will do.
  auto bad_header = bytes;
  bad_header[40] ^= 0x55;
  EXPECT_FALSE(Decode(bad_header));
  // Not an Ogg stream at all: a full block without a page, or a short file.
  std::vector<std::uint8_t> noise(10000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  EXPECT_FALSE(Decode(noise));
  EXPECT_FALSE(Decode(std::vector<std::uint8_t>(noise.begin(), noise.begin() + 100)));
  // A WAV handed to the Ogg player.
  EXPECT_FALSE(Decode(ToBytes(test::WavBytes(11025, 1, 0.5, Sine(440, 11025)))));
}

TEST_F(OggPlayerTest, DamagedAudioPageIsSkipped) {
  const auto bytes = Note("note", 10.0, 440);
  std::vector<std::size_t> pages;
  for (std::size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (bytes[i] == 'O' && bytes[i + 1] == 'g' && bytes[i + 2] == 'g' && bytes[i + 3] == 'S') pages.push_back(i);
  }
  // Identification page, comment and codebook page(s), audio pages, the last page.
  ASSERT_GE(pages.size(), 5u);
  auto damaged = bytes;
  damaged[pages[pages.size() - 2] + 40] ^= 0x55;  // inside an audio page before the last
  const auto note = Decode(damaged);
  ASSERT_TRUE(note);
  const auto whole = Decode(bytes);
  ASSERT_TRUE(whole);
  EXPECT_LT(note->pcm.size(), whole->pcm.size());
  EXPECT_GT(note->pcm.size(), whole->pcm.size() / 2);
}

TEST_F(OggPlayerTest, SampleLimitRefusesLongNotes) {
  const auto bytes = Note("note", 1.0, 440);
  OggMemorySource source(bytes);
  EXPECT_FALSE(DecodeOggVorbis(library_->api(), source, 5000));
}

TEST(OggPlayerLibraryTest, MissingLibraryOrFileMeansNoSound) {
  testing_support::ScopedTestHome home;
  setenv("DICTALO_VORBIS_LIBS", ":/nowhere/libvorbis.so.0:", 1);
  std::string error;
  EXPECT_FALSE(VorbisDecoderLibrary::Load(&error));
  EXPECT_NE(error.find("/nowhere/libvorbis.so.0"), std::string::npos) << error;
  OggPlayer without_library(home.root() / "note.ogg");
  EXPECT_FALSE(without_library.library_loaded());
  EXPECT_FALSE(without_library.Decode());
  EXPECT_FALSE(without_library.Play());
  unsetenv("DICTALO_VORBIS_LIBS");

  OggPlayer missing_file(home.root() / "missing.ogg");
  EXPECT_TRUE(missing_file.library_loaded());
  EXPECT_FALSE(missing_file.Decode());
  EXPECT_FALSE(missing_file.Play());
}

TEST_F(OggPlayerTest, PlaysThroughTheNullDevice) {
  setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
  Note("note", 0.5, 440);
  OggPlayer player(home_.root() / "note.ogg");
  ASSERT_TRUE(player.Decode());
  EXPECT_TRUE(player.Play());
  EXPECT_TRUE(player.pcm().empty());  // freed after playing
  EXPECT_FALSE(player.Play());        // nothing left to play
}

}  // namespace
}  // namespace audio
