#include "audio/recorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/activity_log.h"
#include "audio/abandoned_threads.h"
#include "tests/support/audio_test_support.h"
#include "audio/recorder_internal.h"
#include "audio/sample_block.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/wave_in_scripted_fake.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace audio {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testing_support::WaitUntil;

// Every report the capture thread gives, in order.
class CaptureReports : public CaptureProgress {
 public:
  void OnCaptured(std::uint32_t bytes, std::uint32_t seconds) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.emplace_back(bytes, seconds);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Taken() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reports_;
};

struct LogLine {
  unsigned long thread = 0;
  std::string message;
};

// "<thread> - <y>.<m>.<d> <h>:<m>:<s> <message>" per line.
std::vector<LogLine> ReadLog() {
  std::string text = testing_support::ReadFileBytes(base::ActivityLogPath(platform::folders::InstallDir()));
  std::vector<LogLine> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated line: " << text.substr(at);
      break;
    }
    std::string line = text.substr(at, end - at);
    at = end + 2;
    std::size_t dash = line.find(" - ");
    std::size_t date_end = dash == std::string::npos ? dash : line.find(' ', dash + 3);
    std::size_t time_end = date_end == std::string::npos ? date_end : line.find(' ', date_end + 1);
    if (dash == 0 || time_end == std::string::npos ||
        line.find_first_not_of("0123456789") != dash) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    lines.push_back({std::stoul(line.substr(0, dash)), line.substr(time_end + 1)});
  }
  return lines;
}

std::vector<std::string> Messages(const std::vector<LogLine>& lines, bool keep_waiting = true) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (keep_waiting || l.message != "Waiting...") out.push_back(l.message);
  return out;
}

// Stops with the steps going into log (none when it is null), as the program does.
void StopLogged(Recorder& recorder, base::ActivityLog* log) {
  test::ActivityStopLog stop_log(log);
  recorder.Stop(log ? &stop_log : nullptr);
}

std::vector<std::uint8_t> Ramp(std::size_t bytes) {
  std::vector<std::uint8_t> out(bytes);
  for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
  return out;
}

// A scripted device for one test, removed (releasing any hang) at the end.
class RecorderTest : public ::testing::Test {
 protected:
  void Install(platform::ScriptedWaveInBehaviour behaviour) { platform::InstallScriptedWaveInFake(std::move(behaviour)); }
  void TearDown() override {
    platform::RemoveScriptedWaveInFake();
    EXPECT_TRUE(WaitForAbandonedThreads(std::chrono::seconds(10)));
  }
  std::unique_ptr<base::ActivityLog> OpenLog() {
    fs::create_directories(platform::folders::InstallDir());
    return base::OpenActivityLog(platform::folders::InstallDir());
  }
  std::size_t Calls(const char* operation) { return platform::ScriptedWaveInCallCount(operation); }
  testing_support::ScopedTestHome home_;
};

TEST_F(RecorderTest, StopRightAfterStartClosesAnEmptyRecording) {
  Install({});
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(nullptr));
  EXPECT_TRUE(recorder.recording());
  EXPECT_EQ(Calls("PrepareHeader"), 10u);
  EXPECT_EQ(Calls("AddBuffer"), 10u);
  recorder.Stop(nullptr);
  std::uint32_t code = 1;
  EXPECT_TRUE(recorder.GetResult(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(recorder.data_length(), 0u);
  EXPECT_TRUE(recorder.data().empty());
  EXPECT_FALSE(recorder.recording());
  EXPECT_EQ(platform::ScriptedWaveInOpenDevices(), 0u);
  // A second stop has no effect.
  recorder.Stop(nullptr);
  EXPECT_EQ(Calls("Close"), 1u);
}

TEST_F(RecorderTest, StartFailuresLeaveNoDeviceOpen) {
  platform::ScriptedWaveInBehaviour refuse_open;
  refuse_open.open_result = platform::MMSYSERR_NODRIVER;
  Install(refuse_open);
  {
    Recorder recorder;
    EXPECT_FALSE(recorder.Start(nullptr));
    EXPECT_FALSE(recorder.recording());
  }
  platform::ScriptedWaveInBehaviour refuse_start;
  refuse_start.start_result = platform::MMSYSERR_ERROR;
  Install(refuse_start);
  Recorder recorder;
  EXPECT_FALSE(recorder.Start(nullptr));
  EXPECT_FALSE(recorder.recording());
  EXPECT_EQ(Calls("Close"), 1u);
  EXPECT_EQ(platform::ScriptedWaveInOpenDevices(), 0u);
}

// Every step of a normal stop, in order: the stop thread's steps with the
// callback's messages where the device delivers them, and the watchdog's lines.
TEST_F(RecorderTest, LoggedStopWritesEveryStep) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.sound = Ramp(3 * 2048);
  Install(behaviour);
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(nullptr));
  ASSERT_TRUE(WaitUntil([&] { return recorder.data_length() == 3 * 2048; }));
  auto log = OpenLog();
  ASSERT_NE(log, nullptr);
  StopLogged(recorder, log.get());
  log.reset();
  recorder.Stop(nullptr);  // the session's second stop adds nothing

  std::vector<std::string> expected = {"Starting Stop Thread", "--Resetting Recorder"};
  // Reset hands back all ten queued buffers.
  for (int i = 0; i < 10; ++i) expected.push_back("WaveInProc message received: 960");
  expected.push_back("--Stopping Recorder");
  for (int n = 1; n <= 10; ++n) {
    expected.push_back("--Stopping buffer #" + std::to_string(n));
    expected.push_back("--Attempt #1");
  }
  expected.insert(expected.end(), {"--Closing Recorder", "WaveInProc message received: 959", "--Everything is done",
                                   "Recording stopped"});
  auto lines = ReadLog();
  EXPECT_EQ(Messages(lines, false), expected);

  const unsigned long ui = platform::CurrentThreadId();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().thread, ui);
  EXPECT_EQ(lines.back().thread, ui);
  unsigned long stop_thread = 0;
  int waiting = 0;
  for (const auto& l : lines) {
    if (l.message == "Waiting...") {
      ++waiting;
      EXPECT_EQ(l.thread, ui);
    }
    if (l.message.starts_with("--")) {
      if (!stop_thread) stop_thread = l.thread;
      EXPECT_EQ(l.thread, stop_thread) << l.message;
    }
  }
  EXPECT_NE(stop_thread, ui);
  EXPECT_GE(waiting, 1);  // the watchdog sleeps before it looks
  EXPECT_LT(waiting, 29);

  std::uint32_t code = 1;
  EXPECT_TRUE(recorder.GetResult(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(std::vector<std::uint8_t>(recorder.data().begin(), recorder.data().end()), behaviour.sound);
}

// Buffers handed back after the stop began (a partly filled one among them)
// neither grow the block nor go back to the device.
TEST_F(RecorderTest, DataAfterTheStopBeganIsDropped) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.sound = Ramp(2048 * 2 + 1000);
  Install(behaviour);
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(nullptr));
  ASSERT_TRUE(WaitUntil([&] { return recorder.data_length() == 2 * 2048; }));
  // The third buffer holds 1000 bytes and stays queued until the reset.
  std::this_thread::sleep_for(milliseconds(50));
  const std::size_t adds_before = Calls("AddBuffer");
  EXPECT_EQ(adds_before, 12u);
  recorder.Stop(nullptr);
  EXPECT_EQ(recorder.data_length(), 2u * 2048);
  EXPECT_EQ(recorder.data().size(), 2u * 2048);
  EXPECT_EQ(Calls("AddBuffer"), adds_before);
  EXPECT_EQ(Calls("UnprepareHeader"), 10u);  // every buffer came free at once
}

// A buffer that arrives just as the stop begins is either finished before the
// device is reset or dropped: never appended and queued again on a device that
// is being closed. Stopped many times while buffers pour in as fast as they can.
TEST_F(RecorderTest, NoBufferIsQueuedOnceTheResetHasBegun) {
  for (int round = 0; round < 40; ++round) {
    platform::ScriptedWaveInBehaviour behaviour;
    behaviour.silence_after_sound = true;  // endless, as fast as buffers are queued
    Install(behaviour);
    Recorder recorder;
    ASSERT_TRUE(recorder.Start(nullptr));
    std::this_thread::sleep_for(milliseconds(2 + round % 5));
    recorder.Stop(nullptr);
    const std::uint32_t length = recorder.data_length();
    bool reset_seen = false;
    for (const auto& call : platform::ScriptedWaveInCalls()) {
      if (call.operation == "Reset") reset_seen = true;
      if (reset_seen) ASSERT_NE(call.operation, "AddBuffer") << "round " << round;
    }
    EXPECT_EQ(recorder.data().size(), length) << "round " << round;
  }
}

TEST_F(RecorderTest, ProgressCarriesTheTotalBytes) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.sound = Ramp(5 * 2048);
  Install(behaviour);
  auto reports = std::make_shared<CaptureReports>();
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(reports));
  EXPECT_EQ(recorder.progress(), reports.get());
  ASSERT_TRUE(WaitUntil([&] { return recorder.data_length() == 5 * 2048; }));
  recorder.Stop(nullptr);
  const auto progress = reports->Taken();
  ASSERT_EQ(progress.size(), 5u);
  for (std::size_t i = 0; i < progress.size(); ++i) {
    EXPECT_EQ(progress[i].first, (i + 1) * 2048);
    EXPECT_EQ(progress[i].second, 0u);
  }
}

// The block keeps every byte in order while its capacity doubles past the first
// allocation many times over.
TEST(SampleBlockTest, KeepsEveryByteAcrossGrowth) {
  SampleBlock block;
  std::vector<std::uint8_t> expected;
  for (std::size_t length : {0, 1, 2047, 2048, 65536, 100000, 2048 * 300}) {
    auto bytes = Ramp(length);
    ASSERT_TRUE(block.Append(bytes.data(), bytes.size()));
    expected.insert(expected.end(), bytes.begin(), bytes.end());
    EXPECT_GE(block.capacity(), block.size());
  }
  EXPECT_EQ(block.size(), expected.size());
  EXPECT_EQ(std::vector<std::uint8_t>(block.bytes().begin(), block.bytes().end()), expected);
  SampleBlock moved = std::move(block);
  EXPECT_EQ(moved.size(), expected.size());
  EXPECT_EQ(block.size(), 0u);
}

// ---- the recording's length by the wall clock ----

platform::SystemTime At(int hour, int minute, int second, int ms = 0) {
  platform::SystemTime t;
  t.year = 2007;
  t.month = 3;
  t.day = 5;
  t.hour = static_cast<std::uint16_t>(hour);
  t.minute = static_cast<std::uint16_t>(minute);
  t.second = static_cast<std::uint16_t>(second);
  t.milliseconds = static_cast<std::uint16_t>(ms);
  return t;
}

TEST(RecorderClockTest, ElapsedSecondsFollowTheWallClock) {
  const struct {
    platform::SystemTime start, now;
    std::uint32_t seconds;
  } kCases[] = {
      {At(10, 0, 0), At(10, 0, 0), 0},
      {At(10, 0, 0), At(10, 0, 30), 30},
      {At(10, 0, 0, 999), At(10, 0, 1, 998), 0},  // milliseconds are dropped, not rounded
      {At(10, 0, 0, 500), At(10, 0, 1, 500), 1},
      {At(9, 59, 59), At(11, 1, 2), 3663},
      {At(23, 59, 50), At(0, 0, 20), 30},  // across midnight
      {At(23, 59, 59, 999), At(0, 0, 0), 0},
      {At(0, 0, 1), At(0, 0, 0), 86399},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ElapsedSecondsBetween(TimeOfDayFraction(c.start), TimeOfDayFraction(c.now)), c.seconds)
        << c.start.hour << ":" << c.start.minute << ":" << c.start.second << " -> " << c.now.hour << ":"
        << c.now.minute << ":" << c.now.second;
  }
}

std::atomic<int> g_clock_seconds{0};
platform::SystemTime TestClock() {
  int s = g_clock_seconds.load();
  return At(s / 3600, s / 60 % 60, s % 60);
}

TEST_F(RecorderTest, RecordingAcrossMidnightReportsItsLength) {
  Install({});
  auto reports = std::make_shared<CaptureReports>();
  g_clock_seconds = 23 * 3600 + 59 * 60 + 50;
  Recorder recorder(&TestClock);
  ASSERT_TRUE(recorder.Start(reports));
  g_clock_seconds = 20;
  auto sound = Ramp(2048);
  platform::PushScriptedWaveInSound(sound);
  ASSERT_TRUE(WaitUntil([&] { return recorder.data_length() == 2048; }));
  recorder.Stop(nullptr);
  EXPECT_EQ(recorder.elapsed_seconds(), 30u);
  const auto progress = reports->Taken();
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].second, 30u);
  // The temporary note is named after that length.
  fs::path path;
  ASSERT_EQ(recorder.WriteNoteFile(path, kEncodingWav).status, NoteWriteStatus::kWritten);
  EXPECT_EQ(path.filename(), "Dictalo-00-30.wav");
  EXPECT_EQ(fs::file_size(path), 44u + 2048u);
}

// ---- stops that do not go to plan ----

// Each header gets exactly 50 unprepare attempts with a 100 ms pause before the
// 10th, 20th, 30th, 40th and 50th. Ten such headers outlast the watchdog, so the
// later ones are unprepared by the abandoned thread, unlogged.
TEST_F(RecorderTest, BusyBuffersGetFiftyAttemptsWithFivePauses) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.unprepare_always_busy = true;
  Install(behaviour);
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(nullptr));
  auto log = OpenLog();
  StopLogged(recorder, log.get());
  log.reset();
  std::uint32_t code = 0;
  EXPECT_TRUE(recorder.GetResult(&code));
  EXPECT_EQ(code, kTerminatedCloseCode);
  ASSERT_TRUE(WaitForAbandonedThreads(std::chrono::seconds(10)));

  auto calls = platform::ScriptedWaveInCalls();
  std::vector<const platform::ScriptedWaveInCall*> per_header[10];
  const platform::WAVEHDR* first_header = nullptr;
  for (const auto& call : calls) {
    if (call.operation != "UnprepareHeader") continue;
    if (!first_header) first_header = call.header;
    // Headers go from the last to the first; they are contiguous in the Recorder.
    std::ptrdiff_t index = call.header - first_header;
    ASSERT_TRUE(index <= 0 && index > -10);
    per_header[-index].push_back(&call);
  }
  for (int h = 0; h < 10; ++h) {
    SCOPED_TRACE(h);
    ASSERT_EQ(per_header[h].size(), 50u);
    for (int attempt = 10; attempt <= 50; attempt += 10) {
      auto gap = per_header[h][attempt - 1]->time - per_header[h][attempt - 2]->time;
      EXPECT_GE(gap, milliseconds(95)) << "before attempt " << attempt;
    }
  }
  EXPECT_EQ(Calls("Close"), 1u);  // the abandoned thread still closed the device

  // In the log: each header begun before the watchdog fired counts 1 to 50.
  auto messages = Messages(ReadLog(), false);
  std::vector<int> attempts;
  int headers_logged = 0;
  for (const auto& m : messages) {
    if (m.starts_with("--Stopping buffer #")) {
      if (headers_logged > 0 && attempts.size() != 50) break;  // the one cut short
      EXPECT_EQ(m, "--Stopping buffer #" + std::to_string(++headers_logged));
      attempts.clear();
    } else if (m.starts_with("--Attempt #")) {
      attempts.push_back(std::stoi(m.substr(11)));
      EXPECT_EQ(attempts.back(), static_cast<int>(attempts.size()));
    }
  }
  EXPECT_GE(headers_logged, 4);
  EXPECT_LE(headers_logged, 7);
  EXPECT_EQ(messages.back(), "Recording stopped");
  EXPECT_EQ(messages[messages.size() - 2], "Terminating thread");
}

// A stop call that never returns: the watchdog gives up after 3000 ms. The stuck
// thread outlives the Recorder and the log without touching either, and ends
// (closing the device) once the call returns.
TEST_F(RecorderTest, HangingStopEndsThroughTheWatchdog) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.hang_in_stop = true;
  behaviour.sound = Ramp(2048);
  Install(behaviour);
  auto recorder = std::make_unique<Recorder>();
  ASSERT_TRUE(recorder->Start(nullptr));
  ASSERT_TRUE(WaitUntil([&] { return recorder->data_length() == 2048; }));
  auto log = OpenLog();
  auto started = Clock::now();
  StopLogged(*recorder, log.get());
  auto took = Clock::now() - started;
  log.reset();
  EXPECT_GE(took, milliseconds(3000));
  EXPECT_LT(took, milliseconds(4000));
  std::uint32_t code = 0;
  EXPECT_TRUE(recorder->GetResult(&code));
  EXPECT_EQ(code, kTerminatedCloseCode);
  EXPECT_TRUE(recorder->terminated());
  EXPECT_FALSE(recorder->recording());
  EXPECT_EQ(recorder->data().size(), 2048u);
  EXPECT_EQ(RunningAbandonedThreads(), 1u);

  auto lines = ReadLog();
  std::vector<std::string> expected = {"Starting Stop Thread", "--Resetting Recorder"};
  for (int i = 0; i < 10; ++i) expected.push_back("WaveInProc message received: 960");
  expected.insert(expected.end(), {"--Stopping Recorder", "Terminating thread", "Recording stopped"});
  EXPECT_EQ(Messages(lines, false), expected);
  int waiting = 0;
  for (const auto& l : lines) waiting += l.message == "Waiting...";
  EXPECT_EQ(waiting, 29);
  const std::string log_after_stop = testing_support::ReadFileBytes(base::ActivityLogPath(platform::folders::InstallDir()));

  // Written out and destroyed while its stop thread still hangs.
  fs::path path;
  ASSERT_EQ(recorder->WriteNoteFile(path, kEncodingWav).status, NoteWriteStatus::kWritten);
  EXPECT_EQ(fs::file_size(path), 44u + 2048u);
  recorder.reset();
  EXPECT_EQ(platform::ScriptedWaveInOpenDevices(), 1u);

  platform::ReleaseScriptedWaveInFake();
  ASSERT_TRUE(WaitForAbandonedThreads(std::chrono::seconds(5)));
  EXPECT_EQ(platform::ScriptedWaveInOpenDevices(), 0u);
  EXPECT_EQ(Calls("UnprepareHeader"), 10u);
  EXPECT_EQ(testing_support::ReadFileBytes(base::ActivityLogPath(platform::folders::InstallDir())), log_after_stop);
}

// When the block cannot grow, what was captured stays, the device is closed at
// once with its result, and the stop that follows ends through the watchdog.
TEST_F(RecorderTest, FullMemoryKeepsTheCaptureAndClosesTheDevice) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.sound = Ramp(5 * 2048);
  Install(behaviour);
  Recorder recorder;
  recorder.set_data_limit(3 * 2048);
  ASSERT_TRUE(recorder.Start(nullptr));
  std::uint32_t code = 1;
  ASSERT_TRUE(WaitUntil([&] { return recorder.GetResult(&code); }));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(platform::ScriptedWaveInOpenDevices(), 0u);
  EXPECT_TRUE(recorder.recording());

  auto log = OpenLog();
  StopLogged(recorder, log.get());
  log.reset();
  EXPECT_TRUE(recorder.GetResult(&code));
  EXPECT_EQ(code, kTerminatedCloseCode);
  EXPECT_EQ(recorder.data_length(), 3u * 2048);
  EXPECT_EQ(std::vector<std::uint8_t>(recorder.data().begin(), recorder.data().end()),
            std::vector<std::uint8_t>(behaviour.sound.begin(), behaviour.sound.begin() + 3 * 2048));
  auto messages = Messages(ReadLog(), false);
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages[0], "Starting Stop Thread");
  EXPECT_EQ(messages[1], "Waiting... m_bRecording = 0, m_bProcessingData = 1");
  EXPECT_EQ(messages[messages.size() - 2], "Terminating thread");
  ASSERT_TRUE(WaitForAbandonedThreads(std::chrono::seconds(5)));
  EXPECT_EQ(Calls("Close"), 1u);  // the given-up stop thread left the closed device alone
}

TEST_F(RecorderTest, DestructionStopsARunningCapture) {
  platform::ScriptedWaveInBehaviour behaviour;
  behaviour.sound = Ramp(2048);
  behaviour.silence_after_sound = true;
  behaviour.bytes_per_second = 11025;
  Install(behaviour);
  {
    Recorder recorder;
    ASSERT_TRUE(recorder.Start(nullptr));
    std::this_thread::sleep_for(milliseconds(300));
  }
  EXPECT_EQ(platform::ScriptedWaveInOpenDevices(), 0u);
  EXPECT_EQ(Calls("Close"), 1u);
}

// ---- the real file device ----

TEST(RecorderFileDeviceTest, CapturesSpeechFromAWavFile) {
  testing_support::ScopedTestHome home;
  const fs::path speech = home.root() / "speech.wav";
  auto made = testing_support::RunProgram(
      "/usr/bin/espeak-ng",
      {"-w", speech.string(), "Remember to call the garage about the brakes, then buy milk, bread and coffee."});
  ASSERT_EQ(made.status, 0) << made.err;
  setenv("DICTALO_AUDIO_INPUT", ("file:" + speech.string()).c_str(), 1);
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(nullptr));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  recorder.Stop(nullptr);
  unsetenv("DICTALO_AUDIO_INPUT");
  std::uint32_t code = 1;
  EXPECT_TRUE(recorder.GetResult(&code));
  EXPECT_EQ(code, 0u);
  // Whole buffers only: about two seconds at 11025 bytes per second.
  EXPECT_EQ(recorder.data_length() % 2048, 0u);
  EXPECT_GE(recorder.data_length(), 2 * 11025 - 2 * 2048);
  EXPECT_LE(recorder.data_length(), 2 * 11025 + 2048);
  double sum = 0;
  for (std::uint8_t b : recorder.data()) sum += (b - 128.0) * (b - 128.0);
  double rms = std::sqrt(sum / recorder.data().size());
  EXPECT_GT(rms, 4.0) << "silent capture";
}

}  // namespace
}  // namespace audio
