// A dictaphone from a keyboard shortcut, end to end with real processes:
// dictalo-record starts a hidden dictalo -record, a second press stops it, and the
// note appears in the notes folder as an Ogg Vorbis file named after the subject.
// The microphone is a speech clip made by espeak-ng, played by the file device.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "platform/process.h"
#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::RunProgram;
using testing_support::WaitUntil;

std::filesystem::path Bin(const char* name) { return testing_support::BinaryDir() / name; }
bool MainWindowRuns() { return platform::FindWindow(u"CeWnd:CorvaneEMMainWnd") != nullptr; }

// "Playback length: 0m:03.021s" → seconds.
double PlaybackLength(const std::string& ogginfo) {
  std::smatch m;
  if (!std::regex_search(ogginfo, m, std::regex(R"(Playback length: (\d+)m:([\d.]+)s)"))) return -1;
  return std::stoi(m[1]) * 60 + std::stod(m[2]);
}

class RecordingEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto speech = home_.root() / "speech.wav";
    auto made = platform::RunProcess("espeak-ng", {"-w", speech.string(),
                                                   "This is a voice note for the end to end test of the recorder."});
    if (!made || made->exit_status != 0) GTEST_SKIP() << "espeak-ng is not installed";
    setenv("DICTALO_AUDIO_INPUT", ("file:" + speech.string()).c_str(), 1);
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    setenv("DICTALO_OPEN_COMMAND", "/bin/true", 1);
    notes_ = home_.root() / "notes";
    Set("NotesSendMode", "2");
    Set("EncodingType", "1");
    Set("NoteFilePath", notes_.string());
    Set("MessageSubject", "Memo 12/05 10:30");
  }
  void TearDown() override {
    // End a resident instance through the interactive start, which asks it to quit.
    if (MainWindowRuns()) {
      testing_support::ChildProcess options(Bin("dictalo"), {});
      WaitUntil([] { return !MainWindowRuns(); }, std::chrono::seconds(5));
      WaitUntil([&] {
        return ReadFileBytes(home_.config_home() / "dictalo" / "HKCU.reg").find("FirstRun") != std::string::npos;
      });
      options.Signal(SIGTERM);
      options.Wait();
    }
    for (const char* v : {"DICTALO_AUDIO_INPUT", "DICTALO_AUDIO_OUTPUT", "DICTALO_OPEN_COMMAND"}) unsetenv(v);
  }
  void Set(const std::string& key, const std::string& value) {
    ASSERT_EQ(RunProgram(Bin("dictaloctl"), {"settings", "set", key, value}).status, 0) << key;
  }
  // Waits for a note file that ogginfo reads completely.
  std::string WaitForNote(const std::filesystem::path& path) {
    std::string info;
    WaitUntil(
        [&] {
          if (!std::filesystem::exists(path)) return false;
          auto r = platform::RunProcess("ogginfo", {path.string()});
          info = r ? r->output : "";
          return PlaybackLength(info) > 0;
        },
        std::chrono::seconds(20));
    return info;
  }
  testing_support::ScopedTestHome home_;
  std::filesystem::path notes_;
};

TEST_F(RecordingEndToEndTest, TwoPressesMakeANamedOggNoteAndTheRecorderStaysResident) {
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  // The recording starts as soon as the resident instance's window exists.
  ASSERT_TRUE(WaitUntil(MainWindowRuns));
  auto started = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  auto stopped = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  double between = std::chrono::duration<double>(stopped - started).count();

  auto note = notes_ / "Memo 12.05 10.30.ogg";
  std::string info = WaitForNote(note);
  EXPECT_NE(info.find("Channels: 1"), std::string::npos) << info;
  EXPECT_NE(info.find("Rate: 11025"), std::string::npos) << info;
  EXPECT_NEAR(PlaybackLength(info), between, 0.5) << info;

  std::string log = ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  for (const char* line : {"Starting Stop Thread", "--Resetting Recorder", "--Stopping Recorder",
                           "--Stopping buffer #10", "--Closing Recorder", "--Everything is done",
                           "Recording stopped"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " missing in\n" << log;

  // Still resident: a third press records again, a fourth stops, and the name
  // that is taken gets a counter.
  ASSERT_TRUE(MainWindowRuns());
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  std::string second = WaitForNote(notes_ / "Memo 12.05 10.30.1.ogg");
  EXPECT_GT(PlaybackLength(second), 0.5) << second;
  EXPECT_TRUE(MainWindowRuns());
}

TEST_F(RecordingEndToEndTest, TheResidentRecorderTakesUpSettingsChangedMeanwhileAndKeepsThem) {
  Set("SendImmediately", "false");  // the hotkey stops with Stop & Save, which saves the notice choice
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDOK:checked", 1);
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  ASSERT_TRUE(WaitUntil(MainWindowRuns));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  Set("MessageSubject", "Changed meanwhile");
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
  // The session that was running keeps the name it started with.
  WaitForNote(notes_ / "Memo 12.05 10.30.ogg");

  auto get = [&](const char* key) { return RunProgram(Bin("dictaloctl"), {"settings", "get", key}).out; };
  EXPECT_EQ(get("ShowSaveInfo"), "false\n") << "the recorder's own change is saved";
  EXPECT_EQ(get("MessageSubject"), "Changed meanwhile\n") << "and the other change is not reverted";

  // The next session reads the settings afresh.
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  std::string info = WaitForNote(notes_ / "Changed meanwhile.ogg");
  EXPECT_GT(PlaybackLength(info), 0.5) << info;
}

TEST_F(RecordingEndToEndTest, TheEndOfTheSessionOrSigtermKeepsTheRecordingAsStopAndSaveDoes) {
  struct Case {
    int signal_number;
    const char* note;
  } cases[] = {{SIGTERM, "Memo 12.05 10.30.ogg"}, {SIGHUP, "Memo 12.05 10.30.1.ogg"}};
  for (const Case& c : cases) {
    testing_support::ChildProcess recorder(Bin("dictalo"), {"-record"});
    ASSERT_TRUE(WaitUntil(MainWindowRuns)) << recorder.Errors();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    recorder.Signal(c.signal_number);
    EXPECT_EQ(recorder.Wait(std::chrono::seconds(20)), 0) << c.signal_number;
    std::string info = WaitForNote(notes_ / c.note);
    EXPECT_NEAR(PlaybackLength(info), 2, 0.6) << c.signal_number << info;
    EXPECT_FALSE(MainWindowRuns());
  }
}

TEST_F(RecordingEndToEndTest, PressesWhileALongNoteIsEncodedAreIgnoredAndTheRecorderSurvives) {
  EXPECT_EQ(RunProgram(Bin("dictalo-record"), {}).status, 0);
  ASSERT_TRUE(WaitUntil(MainWindowRuns));
  // Long enough that encoding the Ogg note takes a while.
  std::this_thread::sleep_for(std::chrono::seconds(30));

  // The stopping press waits until the note is written; press again and again
  // meanwhile, as an impatient user does.
  testing_support::ChildProcess stopping(Bin("dictalo-record"), {});
  int presses = 0;
  while (stopping.Running() && presses < 30) {
    testing_support::ChildProcess press(Bin("dictalo-record"), {});
    EXPECT_EQ(press.Wait(std::chrono::seconds(20)), 0);
    ++presses;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(stopping.Wait(std::chrono::seconds(30)), 0);
  EXPECT_GT(presses, 0) << "the note was written before a second press could come";

  std::string info = WaitForNote(notes_ / "Memo 12.05 10.30.ogg");
  EXPECT_NEAR(PlaybackLength(info), 30, 2) << info;
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(notes_)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Memo 12.05 10.30.ogg"}) << "exactly one note";
  EXPECT_TRUE(MainWindowRuns()) << "the resident recorder is still there";
}

}  // namespace
