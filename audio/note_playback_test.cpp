#include "audio/note_playback.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/ogg_player_test_util.h"
#include "platform/folders.h"
#include "platform/wave_out_null.h"
#include "tests/support/test_environment.h"

namespace audio {
namespace {

namespace fs = std::filesystem;
using test::ToBytes;

class NotePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    platform::KeepNullOutputSounds(8);
    wav_ = test::WavBytes(11025, 1, 0.5, test::Sine(440, 11025));
    ogg_ = test::MakeOgg(home_.root(), "source", 11025, 1, 0.5, test::Sine(440, 11025));
    ASSERT_FALSE(ogg_.empty()) << "oggenc failed";
  }

  testing_support::ScopedTestHome home_;
  std::string wav_;
  std::string ogg_;
};

TEST_F(NotePlaybackTest, OggNoteIsCopiedDecodedAndPlayed) {
  NotePlayback playback;
  std::vector<bool> busy;
  ASSERT_TRUE(playback.PlayNote(u"Dictalo-00-01.ogg", ToBytes(ogg_), [&](bool b) { busy.push_back(b); }));
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
  EXPECT_EQ(playback.temporary_copy(), platform::folders::PrivateTempDir() / "Dictalo-00-01.ogg");
  EXPECT_EQ(testing_support::ReadFileBytes(playback.temporary_copy()), ogg_);
  EXPECT_EQ(fs::status(playback.temporary_copy()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  const auto played = platform::NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].rate, 11025u);
  EXPECT_EQ(played[0].channels, 1);
  EXPECT_EQ(played[0].bits, 16);
  EXPECT_NEAR(static_cast<double>(played[0].bytes.size()), 2 * 0.5 * 11025, 2 * 0.01 * 11025);
}

TEST_F(NotePlaybackTest, WavNotePlaysToTheEndBeforeReturning) {
  NotePlayback playback;
  bool busy = false;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(playback.PlayNote(u"Memo.WAV", ToBytes(wav_), [&](bool) { busy = true; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
  EXPECT_FALSE(busy);
  const auto played = platform::NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(std::string(played[0].bytes.begin(), played[0].bytes.end()), wav_.substr(44));
}

TEST_F(NotePlaybackTest, PlayingAgainReplacesTheTemporaryCopy) {
  const fs::path temp = platform::folders::PrivateTempDir();
  {
    NotePlayback playback;
    testing_support::WriteFileBytes(temp / "b.wav", "stale");
    ASSERT_TRUE(playback.PlayNote(u"a.ogg", ToBytes(ogg_)));
    ASSERT_TRUE(playback.PlayNote(u"b.wav", ToBytes(wav_)));
    EXPECT_FALSE(fs::exists(temp / "a.ogg"));
    EXPECT_EQ(testing_support::ReadFileBytes(temp / "b.wav"), wav_);
    ASSERT_TRUE(playback.PlayNote(u"b.wav", ToBytes(wav_)));
    EXPECT_TRUE(fs::exists(temp / "b.wav"));
  }
  EXPECT_FALSE(fs::exists(temp / "b.wav"));  // the last copy goes with the player
}

TEST_F(NotePlaybackTest, AttachmentNameCannotLeaveTheTemporaryFolder) {
  NotePlayback playback;
  ASSERT_TRUE(playback.PlayNote(u"../../notes\\evil.ogg", ToBytes(ogg_)));
  EXPECT_EQ(playback.temporary_copy(), platform::folders::PrivateTempDir() / "evil.ogg");
  for (const char16_t* name : {u"", u"..", u"dir/", u"dir\\.."}) {
    EXPECT_FALSE(playback.PlayNote(name, ToBytes(ogg_)));
    EXPECT_TRUE(playback.temporary_copy().empty());
  }
}

TEST_F(NotePlaybackTest, TruncatedOrCorruptNotesPlayNothing) {
  NotePlayback playback;
  EXPECT_FALSE(playback.PlayNote(u"cut.wav", ToBytes(wav_.substr(0, wav_.size() - 1))));
  EXPECT_FALSE(playback.PlayNote(u"cut.wav", ToBytes(wav_.substr(0, 30))));
  EXPECT_FALSE(playback.PlayNote(u"cut.ogg", ToBytes(ogg_.substr(0, ogg_.size() - 1))));
  EXPECT_FALSE(playback.PlayNote(u"wav-named.ogg", ToBytes(wav_)));
  EXPECT_FALSE(playback.PlayNote(u"ogg-named.wav", ToBytes(ogg_)));
  EXPECT_FALSE(playback.PlayNote(u"empty.ogg", {}));
  EXPECT_TRUE(platform::NullOutputSounds().empty());
}

TEST_F(NotePlaybackTest, CompleteWavFiles) {
  auto chunk = [](const char* id, const std::string& body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    return std::string(id, 4) + std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)} + body +
           (n % 2 ? std::string(1, '\0') : "");
  };
  const std::string fmt = wav_.substr(12, 24);
  const std::string data = wav_.substr(36);
  struct Case {
    const char* what;
    std::string bytes;
    bool complete;
  } cases[] = {
      {"whole", wav_, true},
      {"odd chunk before data", std::string("RIFF\0\0\0\0WAVE", 12) + fmt + chunk("LIST", "abc") + data, true},
      {"data before fmt", std::string("RIFF\0\0\0\0WAVE", 12) + data + fmt, false},
      {"no data", wav_.substr(0, 36), false},
      {"data cut", wav_.substr(0, 100), false},
      {"chunk header cut", wav_.substr(0, 40), false},
      {"not RIFF", "RIFX" + wav_.substr(4), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path path = home_.root() / "check.wav";
    testing_support::WriteFileBytes(path, c.bytes);
    EXPECT_EQ(IsCompleteWavFile(path), c.complete);
  }
  EXPECT_FALSE(IsCompleteWavFile(home_.root() / "missing.wav"));
}

}  // namespace
}  // namespace audio
