#include "audio/note_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/audio_test_support.h"
#include "audio/note_sink.h"
#include "audio/ogg_vorbis_writer.h"
#include "audio/vorbis_library.h"
#include "audio/wav_writer.h"
#include "platform/folders.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace audio {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;
using test::ProgressMessage;

std::vector<std::uint8_t> Tone(std::size_t samples, double hz, int amplitude) {
  std::vector<std::uint8_t> out(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    out[i] = static_cast<std::uint8_t>(128 + std::lround(amplitude * std::sin(2 * M_PI * hz * i / 11025.0)));
  }
  return out;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(NoteFileNamesTest, TemporaryNameCarriesTheLength) {
  const struct {
    std::uint32_t seconds;
    const char* name;
  } kCases[] = {{0, "Dictalo-00-00"},     {5, "Dictalo-00-05"},      {75, "Dictalo-01-15"},
                {3599, "Dictalo-59-59"}, {5999, "Dictalo-99-59"},   {6000, "Dictalo-100-00"}};
  for (const auto& c : kCases) EXPECT_EQ(TemporaryNoteName(c.seconds), c.name) << c.seconds;
  EXPECT_STREQ(NoteExtension(kEncodingWav), ".wav");
  EXPECT_STREQ(NoteExtension(kEncodingOggVorbis), ".ogg");
  EXPECT_STREQ(NoteExtension(2), "");
  EXPECT_STREQ(NoteExtension(-1), "");
}

// The exact header bytes: sizes are little-endian, and the RIFF size is 36 more
// than the data size.
TEST(NoteFileWavTest, HeaderBytesAreExact) {
  const std::string kEmptyHeader =
      "RIFF" + Bytes({36, 0, 0, 0}) + "WAVEfmt " + Bytes({16, 0, 0, 0, 1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0,
                                                        1, 0, 8, 0}) +
      "data" + Bytes({0, 0, 0, 0});
  auto empty = WavHeader(0);
  EXPECT_EQ(std::string(empty.begin(), empty.end()), kEmptyHeader);
  auto big = WavHeader(0x01020304);
  EXPECT_EQ(std::string(big.begin() + 4, big.begin() + 8), Bytes({0x28, 0x03, 0x02, 0x01}));
  EXPECT_EQ(std::string(big.begin() + 40, big.end()), Bytes({0x04, 0x03, 0x02, 0x01}));
}

TEST(NoteFileWavTest, EmptyAndNonEmptyRecordings) {
  testing_support::ScopedTestHome home;
  fs::path path;  // temporary name
  auto result = WriteNoteFile(path, kEncodingWav, NoteRecording{{}, nullptr, 0});
  EXPECT_EQ(result.status, NoteWriteStatus::kWritten);
  EXPECT_EQ(path, platform::folders::PrivateTempDir() / "Dictalo-00-00.wav");
  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(bytes.substr(4, 4), Bytes({36, 0, 0, 0}));
  EXPECT_EQ(bytes.substr(40, 4), Bytes({0, 0, 0, 0}));

  std::vector<std::uint8_t> samples = {0, 128, 255, 1, 2};
  fs::path named = home.root() / "Note";
  result = WriteNoteFile(named, kEncodingWav, NoteRecording{samples, nullptr, 61});
  EXPECT_EQ(result.status, NoteWriteStatus::kWritten);
  EXPECT_EQ(named, home.root() / "Note.wav");
  bytes = ReadFileBytes(named);
  ASSERT_EQ(bytes.size(), 49u);
  EXPECT_EQ(bytes.substr(4, 4), Bytes({41, 0, 0, 0}));
  EXPECT_EQ(bytes.substr(44), Bytes({0, 128, 255, 1, 2}));
}

TEST(NoteFileNamesTest, CallerNameTakesTheFirstFreeCounter) {
  testing_support::ScopedTestHome home;
  WriteFileBytes(home.root() / "Memo.wav", "first");
  WriteFileBytes(home.root() / "Memo.1.wav", "second");
  fs::path path = home.root() / "Memo";
  std::vector<std::uint8_t> samples(10, 128);
  ASSERT_EQ(WriteNoteFile(path, kEncodingWav, NoteRecording{samples, nullptr, 3}).status, NoteWriteStatus::kWritten);
  EXPECT_EQ(path, home.root() / "Memo.2.wav");
  EXPECT_EQ(ReadFileBytes(path).size(), 54u);
  EXPECT_EQ(ReadFileBytes(home.root() / "Memo.wav"), "first");
  EXPECT_EQ(ReadFileBytes(home.root() / "Memo.1.wav"), "second");
  // The same name as Ogg is free.
  fs::path ogg = home.root() / "Memo";
  ASSERT_EQ(WriteNoteFile(ogg, kEncodingOggVorbis, NoteRecording{samples, nullptr, 3}).status,
            NoteWriteStatus::kWritten);
  EXPECT_EQ(ogg, home.root() / "Memo.ogg");
}

TEST(NoteFileNamesTest, TemporaryNameReplacesAnOldNote) {
  testing_support::ScopedTestHome home;
  const fs::path old_note = platform::folders::PrivateTempDir() / "Dictalo-00-05.wav";
  WriteFileBytes(old_note, std::string(500, 'x'));
  fs::path path;
  std::vector<std::uint8_t> samples(7, 100);
  ASSERT_EQ(WriteNoteFile(path, kEncodingWav, NoteRecording{samples, nullptr, 5}).status, NoteWriteStatus::kWritten);
  EXPECT_EQ(path, old_note);
  EXPECT_EQ(ReadFileBytes(path).size(), 51u);
  EXPECT_FALSE(fs::exists(platform::folders::PrivateTempDir() / "Dictalo-00-05.1.wav"));
}

// Without the encoder asked for, the recording is kept as WAV, never lost in an
// empty file.
TEST(NoteFileNamesTest, UnknownEncodingWritesTheNoteAsWav) {
  testing_support::ScopedTestHome home;
  fs::path path = home.root() / "Odd";
  std::vector<std::uint8_t> samples(10, 1);
  auto result = WriteNoteFile(path, 7, NoteRecording{samples, nullptr, 0});
  EXPECT_EQ(result.status, NoteWriteStatus::kWrittenAsWav);
  EXPECT_NE(result.encoder_error.find("encoding 7"), std::string::npos) << result.encoder_error;
  EXPECT_EQ(path, home.root() / "Odd.wav");
  EXPECT_EQ(ReadFileBytes(path).size(), 54u);
  EXPECT_FALSE(fs::exists(home.root() / "Odd"));
}

TEST(NoteFileOggTest, MissingLibraryWritesTheNoteAsWav) {
  testing_support::ScopedTestHome home;
  setenv("DICTALO_VORBIS_LIBS", ":/nowhere/libvorbis.so.0:", 1);
  test::ProgressWindow window;
  test::WindowEncodeProgress to_window(window.hwnd());
  fs::path path = home.root() / "Note";
  std::vector<std::uint8_t> samples(5000, 128);
  auto result = WriteNoteFile(path, kEncodingOggVorbis, NoteRecording{samples, &to_window, 0});
  fs::path temporary;
  auto temporary_result = WriteNoteFile(temporary, kEncodingOggVorbis, NoteRecording{samples, nullptr, 65});
  unsetenv("DICTALO_VORBIS_LIBS");
  EXPECT_EQ(result.status, NoteWriteStatus::kWrittenAsWav);
  EXPECT_NE(result.encoder_error.find("/nowhere/libvorbis.so.0"), std::string::npos) << result.encoder_error;
  EXPECT_EQ(path, home.root() / "Note.wav");
  EXPECT_EQ(ReadFileBytes(path).size(), 5044u);
  EXPECT_FALSE(fs::exists(home.root() / "Note.ogg")) << "no empty note is left";
  EXPECT_TRUE(window.Received(base::UM_ENCODE_PROGRESS).empty());

  EXPECT_EQ(temporary_result.status, NoteWriteStatus::kWrittenAsWav);
  EXPECT_EQ(temporary, platform::folders::PrivateTempDir() / "Dictalo-01-05.wav");
  EXPECT_FALSE(fs::exists(platform::folders::PrivateTempDir() / "Dictalo-01-05.ogg"));
}

// Header pages: the identification packet alone on the first page, comment and
// codebooks on the next, then audio; the last page carries the end mark.
void ExpectValidNoteStream(const std::string& bytes) {
  auto pages = test::ParseOggPages(bytes);
  ASSERT_GE(pages.size(), 3u);
  for (const auto& page : pages) ASSERT_TRUE(page.valid);
  EXPECT_EQ(pages[0].header_type, 0x02);
  ASSERT_EQ(pages[0].packets.size(), 1u);
  const std::string& id = pages[0].packets[0];
  ASSERT_EQ(id.size(), 30u);
  EXPECT_EQ(id.substr(0, 7), "\x01vorbis");
  EXPECT_EQ(id[11], 1);                                     // channels
  EXPECT_EQ(id.substr(12, 4), Bytes({0x11, 0x2B, 0, 0}));  // 11025 Hz
  ASSERT_EQ(pages[1].packets.size(), 2u);
  EXPECT_EQ(pages[1].packets[0].substr(0, 7), "\x03vorbis");
  EXPECT_NE(pages[1].packets[0].find("ENCODER=Dictalo"), std::string::npos);
  EXPECT_EQ(pages[1].packets[1].substr(0, 7), "\x05vorbis");
  for (std::size_t i = 0; i + 1 < pages.size(); ++i) EXPECT_EQ(pages[i].header_type & 0x04, 0) << i;
  EXPECT_EQ(pages.back().header_type & 0x04, 0x04);
  for (const auto& page : pages) EXPECT_EQ(page.serial, pages[0].serial);
}

TEST(NoteFileOggTest, EmptyRecordingIsAValidStream) {
  testing_support::ScopedTestHome home;
  test::ProgressWindow window;
  test::WindowEncodeProgress to_window(window.hwnd());
  fs::path path;
  auto result = WriteNoteFile(path, kEncodingOggVorbis, NoteRecording{{}, &to_window, 0});
  ASSERT_EQ(result.status, NoteWriteStatus::kWritten);
  EXPECT_EQ(path, platform::folders::PrivateTempDir() / "Dictalo-00-00.ogg");
  std::string bytes = ReadFileBytes(path);
  ExpectValidNoteStream(bytes);
  auto pages = test::ParseOggPages(bytes);
  std::size_t packets = 0;
  for (const auto& page : pages) packets += page.packets.size();
  EXPECT_GE(packets, 3u);
  EXPECT_EQ(pages.back().granule, 0);
  auto progress = window.Received(base::UM_ENCODE_PROGRESS);
  EXPECT_EQ(progress, (std::vector<ProgressMessage>{{base::UM_ENCODE_PROGRESS, 0, 0}, {base::UM_ENCODE_PROGRESS, 0, 0}}));
  // ogginfo complains about the zero granule position of an empty stream (it does
  // for oggenc's too) but parses it to the end; the decoder yields no samples.
  auto info = testing_support::RunProgram("/usr/bin/ogginfo", {path.string()});
  EXPECT_NE(info.out.find("Vorbis headers parsed"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Playback length: 0m:00.000s"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Logical stream 1 ended"), std::string::npos) << info.out;
  fs::path decoded = home.root() / "decoded.wav";
  auto dec = testing_support::RunProgram("/usr/bin/oggdec", {"-Q", "-o", decoded.string(), path.string()});
  EXPECT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(ReadFileBytes(decoded).size(), 44u);
}

// Counts the chunks fed to the encoder by wrapping one entry point.
std::vector<int> g_wrote_calls;
decltype(&::vorbis_analysis_wrote) g_real_wrote = nullptr;
int CountingWrote(vorbis_dsp_state* dsp, int samples) {
  g_wrote_calls.push_back(samples);
  return g_real_wrote(dsp, samples);
}

TEST(NoteFileOggTest, FeedsChunksOf4096ThenTheEndOfInput) {
  testing_support::ScopedTestHome home;
  auto library = VorbisLibrary::LoadEncoder();
  ASSERT_NE(library, nullptr);
  VorbisEncoderApi api = library->encoder();
  g_real_wrote = api.vorbis_analysis_wrote;
  api.vorbis_analysis_wrote = &CountingWrote;
  const struct {
    std::size_t bytes;
    std::vector<int> chunks;
  } kCases[] = {{0, {0}}, {1, {1, 0}}, {4096, {4096, 0}}, {4097, {4096, 1, 0}}, {12288, {4096, 4096, 4096, 0}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bytes);
    test::ProgressWindow window;
    test::WindowEncodeProgress to_window(window.hwnd());
    g_wrote_calls.clear();
    NoteSink sink;
    ASSERT_TRUE(sink.Create(home.root() / "chunks.ogg", NoteSink::Existing::kReplace));
    auto samples = Tone(c.bytes, 300, 60);
    ASSERT_EQ(WriteOggVorbis(sink, samples, &to_window, api), OggWriteStatus::kWritten);
    ASSERT_TRUE(sink.Finish());
    EXPECT_EQ(g_wrote_calls, c.chunks);
    // (0, total) first, then (done, total) after every chunk and the end call.
    auto progress = window.Received(base::UM_ENCODE_PROGRESS);
    ASSERT_EQ(progress.size(), c.chunks.size() + 1);
    EXPECT_EQ(progress[0].wparam, 0u);
    std::size_t done = 0;
    for (std::size_t i = 0; i < c.chunks.size(); ++i) {
      done += static_cast<std::size_t>(c.chunks[i]);
      EXPECT_EQ(progress[i + 1].wparam, done);
    }
    for (const auto& m : progress) EXPECT_EQ(m.lparam, static_cast<platform::LPARAM>(c.bytes));
    ExpectValidNoteStream(ReadFileBytes(home.root() / "chunks.ogg"));
  }
}

// A tone through our writer and the reference decoder: the format, the length and
// the level (bytes are centred on 128 and scaled by 1/256) come back.
TEST(NoteFileOggTest, ToneDecodesWithTheReferenceDecoder) {
  testing_support::ScopedTestHome home;
  const std::size_t kSamples = 3 * 11025 + 123;
  const int kAmplitude = 100;  // of 127
  auto samples = Tone(kSamples, 440, kAmplitude);
  fs::path path = home.root() / "Tone";
  ASSERT_EQ(WriteNoteFile(path, kEncodingOggVorbis, NoteRecording{samples, nullptr, 3}).status,
            NoteWriteStatus::kWritten);
  ExpectValidNoteStream(ReadFileBytes(path));

  auto info = testing_support::RunProgram("/usr/bin/ogginfo", {path.string()});
  ASSERT_EQ(info.status, 0) << info.out << info.err;
  EXPECT_NE(info.out.find("Channels: 1"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Rate: 11025"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("ENCODER=Dictalo"), std::string::npos) << info.out;

  fs::path decoded = home.root() / "decoded.wav";
  auto dec = testing_support::RunProgram("/usr/bin/oggdec", {"-Q", "-o", decoded.string(), path.string()});
  ASSERT_EQ(dec.status, 0) << dec.err;
  std::string wav = ReadFileBytes(decoded);
  ASSERT_GE(wav.size(), 44u);
  auto u16 = [&](std::size_t at) { return static_cast<unsigned>(static_cast<std::uint8_t>(wav[at])) |
                                          static_cast<unsigned>(static_cast<std::uint8_t>(wav[at + 1])) << 8; };
  EXPECT_EQ(u16(22), 1u);                         // channels
  EXPECT_EQ(u16(24) | (u16(26) << 16), 11025u);  // rate
  EXPECT_EQ(u16(34), 16u);                        // bits
  std::size_t data = wav.size() - 44;
  EXPECT_EQ(data / 2, kSamples);
  double sum = 0;
  int crossings = 0;
  std::int16_t previous = 0;
  for (std::size_t i = 0; i < kSamples; ++i) {
    auto v = static_cast<std::int16_t>(u16(44 + 2 * i));
    sum += double(v) * v;
    if ((previous < 0) != (v < 0)) ++crossings;
    previous = v;
  }
  // (b - 128) / 256 at full scale 32768: amplitude 100 gives 12800, RMS 9051.
  double rms = std::sqrt(sum / kSamples);
  EXPECT_NEAR(rms, kAmplitude * 128 / std::sqrt(2.0), 1000);
  EXPECT_NEAR(crossings, 2 * 440 * kSamples / 11025.0, 20);
}

// ---- notes that cannot be written where they were meant to go ----

TEST(NoteFileFailureTest, GoneFolderFallsBackToTheTemporaryFolder) {
  testing_support::ScopedTestHome home;
  fs::path path = home.root() / "gone" / "Memo";
  std::vector<std::uint8_t> samples = Tone(3000, 200, 50);
  auto result = WriteNoteFile(path, kEncodingWav, NoteRecording{samples, nullptr, 75});
  EXPECT_EQ(result.status, NoteWriteStatus::kWritten);
  EXPECT_TRUE(result.fell_back());
  EXPECT_EQ(result.failed_path, home.root() / "gone" / "Memo.wav");
  EXPECT_EQ(result.failure, "No such file or directory");
  EXPECT_EQ(path, platform::folders::PrivateTempDir() / "Dictalo-01-15.wav");
  EXPECT_EQ(ReadFileBytes(path).size(), 3044u);
  EXPECT_FALSE(fs::exists(home.root() / "gone"));

  // A second note of the same length does not replace the first fallback.
  fs::path again = home.root() / "gone" / "Memo";
  result = WriteNoteFile(again, kEncodingWav, NoteRecording{samples, nullptr, 75});
  EXPECT_TRUE(result.fell_back());
  EXPECT_EQ(again, platform::folders::PrivateTempDir() / "Dictalo-01-15.1.wav");
  EXPECT_EQ(ReadFileBytes(path).size(), 3044u);
}

TEST(NoteFileFailureTest, UnusableTemporaryFolderGivesAPrivateFolderInTheInstallFolder) {
  testing_support::ScopedTestHome home;
  WriteFileBytes(home.root() / "plain-file", "x");
  setenv("TMPDIR", (home.root() / "plain-file" / "tmp").c_str(), 1);  // cannot exist
  fs::path path;
  std::vector<std::uint8_t> samples(100, 128);
  auto result = WriteNoteFile(path, kEncodingOggVorbis, NoteRecording{samples, nullptr, 9});
  EXPECT_EQ(result.status, NoteWriteStatus::kWritten);
  EXPECT_FALSE(result.fell_back());
  EXPECT_EQ(path, platform::folders::InstallDir() / "temporary" / "Dictalo-00-09.ogg");
  EXPECT_EQ(fs::status(path.parent_path()).permissions(), fs::perms::owner_all);
  ExpectValidNoteStream(ReadFileBytes(path));
}

// Temporary notes hold the user's speech: never in the shared folder itself,
// never readable by others, never written through a name someone planted there.
TEST(NoteFileTemporaryTest, TemporaryNotesArePrivate) {
  testing_support::ScopedTestHome home;
  const fs::path shared = platform::folders::TempDir();
  fs::create_directories(shared);
  WriteFileBytes(home.root() / "victim", "keep");
  fs::create_symlink(home.root() / "victim", shared / "Dictalo-00-05.wav");
  ::umask(022);
  fs::path path;
  std::vector<std::uint8_t> samples(7, 100);
  ASSERT_EQ(WriteNoteFile(path, kEncodingWav, NoteRecording{samples, nullptr, 5}).status, NoteWriteStatus::kWritten);
  EXPECT_NE(path.parent_path(), shared);
  EXPECT_EQ(path.parent_path().parent_path(), shared);
  EXPECT_EQ(fs::status(path.parent_path()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadFileBytes(home.root() / "victim"), "keep");

  // A link planted in place of the private folder is not used.
  fs::path planted_target = home.root() / "planted";
  fs::create_directories(planted_target);
  fs::remove_all(path.parent_path());
  fs::create_directory_symlink(planted_target, shared / path.parent_path().filename());
  fs::path second;
  ASSERT_EQ(WriteNoteFile(second, kEncodingWav, NoteRecording{samples, nullptr, 5}).status,
            NoteWriteStatus::kWritten);
  EXPECT_TRUE(fs::is_empty(planted_target));
  EXPECT_EQ(fs::status(second).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// A full disk, simulated by a file size limit (writes then fail with EFBIG), in a
// child process so the limit stays there. Every place fails alike: nothing may be
// reported written and no incomplete file may stay behind.
TEST(NoteFileFailureTest, FullDiskIsNeverReportedAsSaved) {
  testing_support::ScopedTestHome home;
  const fs::path notes = home.root() / "notes";
  fs::create_directories(notes);
  for (int encoding : {kEncodingWav, kEncodingOggVorbis}) {
    SCOPED_TRACE(encoding);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{3000, 3000};
      setrlimit(RLIMIT_FSIZE, &limit);
      // A note that fits is written; a long one is not.
      fs::path small = notes / "Small";
      std::vector<std::uint8_t> few(1000, 128);
      if (WriteNoteFile(small, kEncodingWav, NoteRecording{few, nullptr, 0}).status != NoteWriteStatus::kWritten)
        _exit(10);
      fs::path path = notes / "Memo";
      auto samples = Tone(11025 * 20, 300, 80);
      auto result = WriteNoteFile(path, encoding, NoteRecording{samples, nullptr, 20});
      if (result.status != NoteWriteStatus::kFailed) _exit(11);
      if (result.failure != "File too large") _exit(12);
      if (result.failed_path.filename() != (encoding == kEncodingWav ? "Memo.wav" : "Memo.ogg")) _exit(13);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::exists(notes / "Small.wav"));
    fs::remove(notes / "Small.wav");
    for (const fs::path& folder : {notes, platform::folders::PrivateTempDir(), platform::folders::InstallDir()}) {
      if (!fs::exists(folder)) continue;
      for (const auto& entry : fs::directory_iterator(folder)) ADD_FAILURE() << "left behind: " << entry.path();
    }
  }
}

}  // namespace
}  // namespace audio
