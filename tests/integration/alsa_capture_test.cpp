// The real capture path: a private PulseAudio server with a null sink
// (tests/peers/pulse_null_sink.sh), speech from espeak-ng played into the sink
// with paplay, captured from ALSA's "default" device through wave input as the
// recorder captures (8-bit mono 11025 Hz, ten 2048-byte buffers queued again from
// the callback). Nothing playing gives silence; speech gives sound.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "audio/recorder.h"
#include "platform/wave_in.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing_support::RunProgram;

std::optional<fs::path> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    fs::path candidate = fs::path(dir) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// Captures from the configured wave input until Finish, keeping every byte.
class Capture {
 public:
  Capture() : data_(10, std::vector<std::uint8_t>(2048)), headers_(10) {}

  platform::MMRESULT Start() {
    const platform::WAVEFORMATEX format{};  // PCM, mono, 11025 Hz, 8 bits
    platform::MMRESULT result =
        platform::WaveInOpen(&device_, platform::WAVE_MAPPER, &format, &Capture::Callback,
                             reinterpret_cast<std::uintptr_t>(this));
    if (result != platform::MMSYSERR_NOERROR) return result;
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      headers_[i].lpData = data_[i].data();
      headers_[i].dwBufferLength = 2048;
      platform::WaveInPrepareHeader(device_, &headers_[i]);
      platform::WaveInAddBuffer(device_, &headers_[i]);
    }
    return platform::WaveInStart(device_);
  }

  void Finish() {
    if (device_ == nullptr) return;
    recording_ = false;
    EXPECT_EQ(platform::WaveInReset(device_), platform::MMSYSERR_NOERROR);
    for (auto& header : headers_) EXPECT_EQ(platform::WaveInUnprepareHeader(device_, &header), platform::MMSYSERR_NOERROR);
    EXPECT_EQ(platform::WaveInClose(device_), platform::MMSYSERR_NOERROR);
    device_ = nullptr;
  }
  ~Capture() { Finish(); }

  std::size_t Size() {
    std::lock_guard lock(mutex_);
    return bytes_.size();
  }
  // Root mean square of bytes [from, to) as a fraction of full scale.
  double Rms(std::size_t from, std::size_t to) {
    std::lock_guard lock(mutex_);
    to = std::min(to, bytes_.size());
    if (from >= to) return -1;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += (bytes_[i] - 128.0) * (bytes_[i] - 128.0);
    return std::sqrt(sum / static_cast<double>(to - from)) / 128.0;
  }

 private:
  static void Callback(platform::HWAVEIN device, std::uint32_t message, std::uintptr_t instance,
                       std::uintptr_t param1, std::uintptr_t) {
    if (message != platform::WIM_DATA) return;
    auto* self = reinterpret_cast<Capture*>(instance);
    auto* header = reinterpret_cast<platform::WAVEHDR*>(param1);
    {
      std::lock_guard lock(self->mutex_);
      self->bytes_.insert(self->bytes_.end(), header->lpData, header->lpData + header->dwBytesRecorded);
    }
    if (self->recording_) platform::WaveInAddBuffer(device, header);
  }

  platform::HWAVEIN device_ = nullptr;
  std::vector<std::vector<std::uint8_t>> data_;
  std::vector<platform::WAVEHDR> headers_;
  std::atomic<bool> recording_{true};
  std::mutex mutex_;
  std::vector<std::uint8_t> bytes_;
};

class AlsaCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"pulseaudio", "pactl", "paplay", "espeak-ng"})
      if (!FindOnPath(tool)) GTEST_SKIP() << tool << " is not installed";
    pulse_dir_ = home_.root() / "pulse";
    auto started = RunProgram(Script(), {"start", pulse_dir_.string()}, std::chrono::seconds(20));
    ASSERT_EQ(started.status, 0) << started.out << started.err;
    started_ = true;
    std::stringstream lines(started.out);
    std::string line;
    while (std::getline(lines, line)) {
      const auto equals = line.find('=');
      if (equals != std::string::npos) setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
    }
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr);
    unsetenv("DICTALO_AUDIO_INPUT");  // ALSA "default"
  }
  void TearDown() override {
    if (started_) RunProgram(Script(), {"stop", pulse_dir_.string()});
    unsetenv("PULSE_SERVER");
  }
  static fs::path Script() { return testing_support::SourceDir() / "tests/peers/pulse_null_sink.sh"; }

  testing_support::ScopedTestHome home_;
  fs::path pulse_dir_;
  bool started_ = false;
};

TEST_F(AlsaCaptureTest, SpeechPlayedIntoTheSinkIsCapturedAndNothingPlayingIsSilence) {
  const fs::path speech = home_.root() / "speech.wav";
  auto spoken = RunProgram(*FindOnPath("espeak-ng"),
                           {"-w", speech.string(), "Please remember to call the garage about the brakes on Monday."});
  ASSERT_EQ(spoken.status, 0) << spoken.err;

  Capture capture;
  ASSERT_EQ(capture.Start(), platform::MMSYSERR_NOERROR);
  // The null sink hands its monitor sound out in blocks; wait for the first.
  ASSERT_TRUE(testing_support::WaitUntil([&] { return capture.Size() > 0; }, std::chrono::seconds(10)));
  const std::size_t quiet_from = capture.Size();
  std::this_thread::sleep_for(milliseconds(1500));
  const std::size_t quiet_to = capture.Size();

  auto played = RunProgram(*FindOnPath("paplay"), {speech.string()}, std::chrono::seconds(30));
  ASSERT_EQ(played.status, 0) << played.err;
  std::this_thread::sleep_for(milliseconds(2500));  // the tail still on its way through the sink
  capture.Finish();

  ASSERT_GT(quiet_to - quiet_from, 5000u) << "capture delivered too little while nothing played";
  const double silence = capture.Rms(quiet_from, quiet_to);
  const double sound = capture.Rms(quiet_to, capture.Size());
  RecordProperty("silence_rms", std::to_string(silence));
  RecordProperty("speech_rms", std::to_string(sound));
  EXPECT_LT(silence, 0.01);
  EXPECT_GT(sound, 0.03);
  EXPECT_GT(sound, 10 * std::max(silence, 0.001));
}

TEST_F(AlsaCaptureTest, NoSoundServerMeansNoCaptureDeviceAndOneLineOnStderr) {
  RunProgram(Script(), {"stop", pulse_dir_.string()});
  started_ = false;
  platform::HWAVEIN device = nullptr;
  const platform::WAVEFORMATEX format{};
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform::WaveInOpen(&device, platform::WAVE_MAPPER, &format, nullptr, 0), platform::MMSYSERR_NODRIVER);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot open the audio input: ALSA device \"default\""), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(AlsaCaptureTest, TheRecorderCapturesSpeechFromTheDefaultDevice) {
  const fs::path speech = home_.root() / "speech.wav";
  ASSERT_EQ(RunProgram(*FindOnPath("espeak-ng"), {"-w", speech.string(), "Buy milk and bread on the way home."}).status, 0);

  audio::Recorder recorder;
  ASSERT_TRUE(recorder.Start(nullptr));
  std::this_thread::sleep_for(milliseconds(2500));  // the sink's first block
  ASSERT_EQ(RunProgram(*FindOnPath("paplay"), {speech.string()}, std::chrono::seconds(30)).status, 0);
  std::this_thread::sleep_for(milliseconds(2500));
  recorder.Stop(nullptr);
  std::uint32_t close_code = 1;
  EXPECT_TRUE(recorder.GetResult(&close_code));
  EXPECT_EQ(close_code, 0u);

  auto data = recorder.data();
  ASSERT_GT(data.size(), 11025u * 2) << "several seconds at 11025 bytes a second";
  double peak_rms = 0;
  for (std::size_t at = 0; at + 2048 <= data.size(); at += 2048) {
    double sum = 0;
    for (std::size_t i = at; i < at + 2048; ++i) sum += (data[i] - 128.0) * (data[i] - 128.0);
    peak_rms = std::max(peak_rms, std::sqrt(sum / 2048) / 128.0);
  }
  EXPECT_GT(peak_rms, 0.03) << "the recording is silent";
}

TEST_F(AlsaCaptureTest, RecordOnlyStartWithoutACaptureDeviceQuitsWithOneLine) {
  RunProgram(Script(), {"stop", pulse_dir_.string()});
  started_ = false;
  setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
  auto run = RunProgram(testing_support::BinaryDir() / "dictalo", {"-record"}, std::chrono::seconds(20));
  unsetenv("DICTALO_AUDIO_OUTPUT");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find("cannot open the audio input"), std::string::npos) << run.err;
}

}  // namespace
