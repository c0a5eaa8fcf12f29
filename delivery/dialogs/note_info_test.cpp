// What the dialogs show of a note: row order, the playing time read from
// recordings made by our own encoders (and from damaged ones), the
// information text and the name proposed for saving.

#include "delivery/dialogs/note_info.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/note_sink.h"
#include "audio/ogg_vorbis_writer.h"
#include "audio/vorbis_library.h"
#include "audio/wav_writer.h"
#include "tests/support/test_environment.h"

namespace delivery::dialogs {
namespace {

namespace fs = std::filesystem;

// Seconds of 8-bit samples at the recorder's rate.
std::vector<std::uint8_t> Samples(int seconds) {
  std::vector<std::uint8_t> samples(static_cast<std::size_t>(seconds) * 11025);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(128 + (i % 40) - 20);
  return samples;
}

class RecordingFiles : public ::testing::Test {
 protected:
  std::string Wav(int seconds) {
    fs::path file = home_.root() / "note.wav";
    audio::NoteSink sink;
    EXPECT_TRUE(sink.Create(file, audio::NoteSink::Existing::kReplace));
    EXPECT_TRUE(audio::WriteWav(sink, Samples(seconds)));
    EXPECT_TRUE(sink.Finish());
    return testing_support::ReadFileBytes(file);
  }
  std::string Ogg(int seconds) {
    auto library = audio::VorbisLibrary::LoadEncoder();
    if (!library) return {};
    fs::path file = home_.root() / "note.ogg";
    audio::NoteSink sink;
    EXPECT_TRUE(sink.Create(file, audio::NoteSink::Existing::kReplace));
    EXPECT_EQ(audio::WriteOggVorbis(sink, Samples(seconds), nullptr, library->encoder()),
              audio::OggWriteStatus::kWritten);
    EXPECT_TRUE(sink.Finish());
    return testing_support::ReadFileBytes(file);
  }
  testing_support::ScopedTestHome home_;
};

TEST_F(RecordingFiles, LengthOfOurOwnWavAndOggNotes) {
  std::string wav = Wav(3);
  EXPECT_EQ(RecordingEncodingText(u"x.bin", wav), u"WAV");
  EXPECT_EQ(RecordingLengthSeconds(wav), 3u);
  std::string ogg = Ogg(5);
  ASSERT_FALSE(ogg.empty()) << "libvorbis";
  EXPECT_EQ(RecordingEncodingText(u"x.wav", ogg), u"Ogg Vorbis") << "the content decides, not the name";
  EXPECT_EQ(RecordingLengthSeconds(ogg), 5u);
}

TEST_F(RecordingFiles, DamagedRecordingsHaveNoLengthAndAreReadWithinBounds) {
  std::string wav = Wav(2);
  // A data chunk claiming more than is there: not trusted.
  EXPECT_EQ(RecordingLengthSeconds(wav.substr(0, wav.size() - 1)), std::nullopt);
  // Cut inside every header byte: never read past the end (the sanitizers watch).
  for (std::size_t n = 0; n < 60; ++n) (void)RecordingLengthSeconds(wav.substr(0, n));
  std::string no_rate = wav;
  no_rate.replace(28, 4, std::string(4, '\0'));  // byte rate 0
  EXPECT_EQ(RecordingLengthSeconds(no_rate), std::nullopt);

  std::string ogg = Ogg(4);
  ASSERT_FALSE(ogg.empty());
  for (std::size_t n = 0; n < ogg.size(); n += 97) (void)RecordingLengthSeconds(ogg.substr(0, n));
  // Cut inside the last page: the last complete page's position counts.
  auto cut = RecordingLengthSeconds(ogg.substr(0, ogg.size() - 10));
  ASSERT_TRUE(cut.has_value());
  EXPECT_LE(*cut, 4u);
  EXPECT_EQ(RecordingLengthSeconds("OggS" + std::string(40, '\xff')), std::nullopt);
  EXPECT_EQ(RecordingLengthSeconds("not a recording"), std::nullopt);
  EXPECT_EQ(RecordingEncodingText(u"note.OGG", ""), u"Ogg Vorbis");
  EXPECT_EQ(RecordingEncodingText(u"note.txt", "text"), u"Unknown");
}

TEST(NoteInfo, InformationTextAndLengths) {
  EXPECT_EQ(LengthText(7u), u"0:07");
  EXPECT_EQ(LengthText(723u), u"12:03");
  EXPECT_EQ(LengthText(std::nullopt), u"Unknown");
  EXPECT_EQ(NoteInfoText(u"Encoding: %s%sSize: %s\nLength: %s%sDate: %s", u"WAV", u"2K", u"0:02", u"2026-12-09 10:00"),
            u"Encoding: WAV\nSize: 2K\nLength: 0:02\nDate: 2026-12-09 10:00");
  // Texts from a note are never read as patterns.
  EXPECT_EQ(FillTemplate(u"'%s' and %s%s", {u"%s%s", u"x"}), u"'%s%s' and x");
}

TEST(NotesListRows, NewestFirstWithLaterArrivalsAheadAndSizesAsTheListShowsThem) {
  std::vector<PendingNote> notes = {
      {.id = 1, .date = 100, .size = 700, .recipient = u"a@x"},
      {.id = 2, .date = 300, .size = 3000, .recipient = u"b@x"},
      {.id = 3, .date = 200, .size = 2000000, .recipient = u"c@x"},
      {.id = 4, .date = 300, .size = 1024, .recipient = u"d@x"},
  };
  std::vector<NotesListRow> rows = NotesListRows(notes);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].id, 4u);
  EXPECT_EQ(rows[1].id, 2u);
  EXPECT_EQ(rows[2].id, 3u);
  EXPECT_EQ(rows[3].id, 1u);
  EXPECT_EQ(rows[0].size, u"1024");
  EXPECT_EQ(rows[1].size, u"2K");
  EXPECT_EQ(rows[2].size, u"1M");
  EXPECT_EQ(rows[3].recipient, u"a@x");
}

TEST(ProposedSaveName, FitForAFileNameAndWithinTheLimit) {
  EXPECT_EQ(ProposedSaveName(u"a:b?c|d.ogg"), u"a.b.c.d.ogg");
  EXPECT_EQ(ProposedSaveName(u"..\\..\\x.wav"), u"......x.wav");
  EXPECT_EQ(ProposedSaveName(u""), u"note");
  std::u16string long_name(400, u'n');
  long_name += u".ogg";
  std::u16string proposed = ProposedSaveName(long_name, 300);
  EXPECT_EQ(proposed.size(), 299u) << "room for the terminator";
  EXPECT_TRUE(proposed.ends_with(u".ogg"));
  EXPECT_EQ(DisplayFileName(u"/home/u/notes/a.ogg"), u"a.ogg");
}

}  // namespace
}  // namespace delivery::dialogs
