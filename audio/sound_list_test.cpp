#include "audio/sound_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "tests/support/test_environment.h"

namespace audio {
namespace {

namespace fs = std::filesystem;

struct NamingCase {
  const char16_t* file;
  bool counts;
  const char16_t* name;
  bool is_midi;
};

// Each row: one rule of the naming, and what the list shows for the file.
const NamingCase kNamingCases[] = {
    {u"chime.wav", true, u"chime", false},
    {u"chime.mid", true, u"chime", true},
    {u"Chime.WAV", false, u"", false},          // case-sensitive
    {u"tune.MID", false, u"", false},
    {u"x.wav", true, u"x", false},              // shortest name that counts
    {u".wav", false, u"", false},               // four characters never count
    {u".mid", false, u"", false},
    {u"wav", false, u"", false},
    {u"", false, u"", false},
    {u".mid.wav", true, u".mid", false},        // ".mid" at the first character does not count
    {u"a.mid.bak", true, u"a.mid", true},       // drops the last four characters, whatever they are
    {u"a.wav.mid", true, u"a.wav", true},       // MIDI wins over WAV
    {u"a.midi", true, u"a.", true},
    {u"notes.txt", false, u"", false},
    {u"Glöckchen.wav", true, u"Glöckchen", false},
};

TEST(SoundListTest, NamingRules) {
  for (const NamingCase& c : kNamingCases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.file));
    auto sound = ClassifyCueFile(c.file);
    ASSERT_EQ(sound.has_value(), c.counts);
    if (!sound) continue;
    EXPECT_EQ(sound->name, c.name);
    EXPECT_EQ(sound->is_midi, c.is_midi);
  }
}

TEST(SoundListTest, ListsRegularFilesOfTheFolderSorted) {
  testing_support::ScopedTestHome home;
  const fs::path folder = home.root() / "share";
  fs::create_directories(folder / "folder.wav");
  for (const char* name : {"b.wav", "a.mid", "Dictalo.htm", "c.wav.txt", ".wav"}) {
    testing_support::WriteFileBytes(folder / name, "x");
  }
  const auto sounds = ListCueSounds(folder);
  ASSERT_EQ(sounds.size(), 3u);
  EXPECT_EQ(sounds[0].name, u"a");
  EXPECT_TRUE(sounds[0].is_midi);
  EXPECT_EQ(sounds[1].name, u"b");
  EXPECT_FALSE(sounds[1].is_midi);
  EXPECT_EQ(sounds[2].name, u"c.wav");
  EXPECT_FALSE(sounds[2].is_midi);

  EXPECT_TRUE(ListCueSounds(home.root() / "missing").empty());
}

TEST(SoundListTest, ShareFolderOffersTheShippedCues) {
  testing_support::ScopedTestHome home;
  setenv("DICTALO_SHARE_DIR", (testing_support::SourceDir() / "resources" / "share").c_str(), 1);
  const auto sounds = ListCueSounds();
  unsetenv("DICTALO_SHARE_DIR");
  bool chime = false, tune = false;
  for (const CueSound& s : sounds) {
    chime |= s.name == u"Dictalo Chime" && !s.is_midi;
    tune |= s.name == u"Dictalo Tune" && s.is_midi;
  }
  EXPECT_TRUE(chime);
  EXPECT_TRUE(tune);
}

}  // namespace
}  // namespace audio
