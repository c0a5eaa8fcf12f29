// Wave input: the file device (converted bytes at real-time pace, then silence),
// the queue semantics the capture code's stop procedure relies on (reset hands
// every queued buffer back before it returns, unprepare and close refuse while
// buffers are queued, WIM_CLOSE before close returns), and the scripted device's
// faults and their release.

#include "platform/wave_in.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <numeric>

#include "tests/support/platform_audio_test_support.h"
#include "platform/wave_in_scripted_fake.h"
#include "tests/support/test_environment.h"

namespace platform {
namespace {

using audio_internal::PcmLayout;
using audio_test::CallbackRecorder;
using audio_test::DeliveredMessage;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr WAVEFORMATEX kCaptureFormat{};  // PCM, mono, 11025 Hz, 8 bits

// Capture buffers with their headers, prepared and queued on a device.
struct Buffers {
  Buffers(std::size_t count, std::uint32_t size) : data(count, std::vector<std::uint8_t>(size)), headers(count) {
    for (std::size_t i = 0; i < count; ++i) {
      headers[i].lpData = data[i].data();
      headers[i].dwBufferLength = size;
    }
  }
  void Queue(HWAVEIN device) {
    for (WAVEHDR& header : headers) {
      ASSERT_EQ(WaveInPrepareHeader(device, &header), MMSYSERR_NOERROR);
      ASSERT_EQ(WaveInAddBuffer(device, &header), MMSYSERR_NOERROR);
    }
  }
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<WAVEHDR> headers;
};

std::vector<std::uint8_t> Joined(const std::vector<DeliveredMessage>& messages) {
  std::vector<std::uint8_t> all;
  for (const auto& m : messages)
    if (m.message == WIM_DATA) all.insert(all.end(), m.bytes.begin(), m.bytes.end());
  return all;
}

class WaveInFileTest : public ::testing::Test {
 protected:
  void UseFile(const PcmLayout& layout, const std::vector<std::uint8_t>& samples) {
    const auto path = home_.root() / "input.wav";
    testing_support::WriteFileBytes(path, audio_test::WavBytes(layout, samples));
    setenv("DICTALO_AUDIO_INPUT", ("file:" + path.string()).c_str(), 1);
  }
  void TearDown() override { unsetenv("DICTALO_AUDIO_INPUT"); }
  HWAVEIN Open() {
    HWAVEIN device = nullptr;
    EXPECT_EQ(WaveInOpen(&device, WAVE_MAPPER, &kCaptureFormat, &CallbackRecorder::Callback<HWAVEIN>,
                         reinterpret_cast<std::uintptr_t>(&recorder_)),
              MMSYSERR_NOERROR);
    return device;
  }

  testing_support::ScopedTestHome home_;
  CallbackRecorder recorder_;
};

TEST_F(WaveInFileTest, DeliversTheConvertedToneAtRealTimePaceThenSilence) {
  // One second of a 22050 Hz 16-bit stereo tone; eight 2048-byte buffers hold
  // 1.49 s of 8-bit mono 11025 Hz capture.
  UseFile({22050, 2, 16}, audio_test::ToneSamples({22050, 2, 16}, 1.0));
  std::atomic<int> wanted{8};
  recorder_.on_buffer = [&](std::uintptr_t device, WAVEHDR* header) {
    if (--wanted > 0) WaveInAddBuffer(reinterpret_cast<HWAVEIN>(device), header);
  };
  HWAVEIN device = Open();
  Buffers buffers(4, 2048);
  buffers.Queue(device);
  const Clock::time_point started = Clock::now();
  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.WaitFor(WIM_DATA, 8, milliseconds(6000)));
  const auto messages = recorder_.Messages();
  ASSERT_EQ(WaveInReset(device), MMSYSERR_NOERROR);
  for (WAVEHDR& header : buffers.headers) EXPECT_EQ(WaveInUnprepareHeader(device, &header), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInClose(device), MMSYSERR_NOERROR);

  int full = 0;
  for (const auto& m : messages) {
    if (m.message != WIM_DATA) continue;
    EXPECT_NE(m.thread, std::this_thread::get_id());
    ASSERT_EQ(m.bytes.size(), 2048u);
    ++full;
    // Never ahead of the clock: buffer n is complete only after n × 2048 / 11025 s.
    EXPECT_GE(std::chrono::duration<double>(m.time - started).count(), full * 2048 / 11025.0 - 0.002);
  }
  ASSERT_EQ(full, 8);
  EXPECT_LT(std::chrono::duration<double>(messages.back().time - started).count(), 8 * 2048 / 11025.0 + 1.5);
  const std::vector<std::uint8_t> bytes = Joined(messages);
  for (std::size_t k = 0; k < 11025; ++k)
    ASSERT_NEAR(bytes[k], 128 + 128 * audio_test::MonoTone(double(k) / 11025, 2), 1.0) << "sample " << k;
  for (std::size_t k = 11025; k < bytes.size(); ++k) ASSERT_EQ(bytes[k], 128) << "sample " << k;
}

TEST_F(WaveInFileTest, ResetHandsBackEveryQueuedBufferBeforeItReturns) {
  UseFile({11025, 1, 8}, std::vector<std::uint8_t>(11025, 200));
  HWAVEIN device = Open();
  Buffers buffers(4, 2048);
  buffers.Queue(device);
  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(WaveInUnprepareHeader(device, &buffers.headers[0]), WAVERR_STILLPLAYING);
  EXPECT_EQ(WaveInClose(device), WAVERR_STILLPLAYING);
  EXPECT_EQ(WaveInAddBuffer(device, &buffers.headers[1]), WAVERR_STILLPLAYING);

  ASSERT_EQ(WaveInReset(device), MMSYSERR_NOERROR);
  const auto after_reset = recorder_.Messages();
  ASSERT_EQ(after_reset.size(), 5u);  // WIM_OPEN and four WIM_DATA, in queue order
  EXPECT_EQ(after_reset[0].message, WIM_OPEN);
  EXPECT_GT(after_reset[1].bytes.size(), 0u);
  EXPECT_LT(after_reset[1].bytes.size(), 2048u);
  for (std::size_t i = 1; i < 5; ++i) {
    EXPECT_EQ(after_reset[i].header, &buffers.headers[i - 1]);
    EXPECT_EQ(after_reset[i].header->dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    if (i > 1) {
      EXPECT_EQ(after_reset[i].bytes.size(), 0u);
    }
  }
  for (WAVEHDR& header : buffers.headers) EXPECT_EQ(WaveInUnprepareHeader(device, &header), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveInAddBuffer(device, &buffers.headers[0]), WAVERR_UNPREPARED);
  ASSERT_EQ(WaveInClose(device), MMSYSERR_NOERROR);
  const auto after_close = recorder_.Messages();
  ASSERT_EQ(after_close.size(), 6u);
  EXPECT_EQ(after_close.back().message, WIM_CLOSE);
  EXPECT_EQ(WaveInStart(device), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(WaveInClose(device), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveInFileTest, StopReturnsThePartBufferAndStartGoesOnWhereTheFileStopped) {
  std::vector<std::uint8_t> ramp(11025);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i % 251);
  UseFile({11025, 1, 8}, ramp);  // the capture format itself: the bytes pass unchanged
  HWAVEIN device = Open();
  Buffers buffers(3, 1000);
  buffers.Queue(device);
  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(milliseconds(40));
  ASSERT_EQ(WaveInStop(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.WaitFor(WIM_DATA, 1, milliseconds(1000)));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(recorder_.Count(WIM_DATA), 1u);  // the empty buffers stay queued
  EXPECT_EQ(WaveInUnprepareHeader(device, &buffers.headers[1]), WAVERR_STILLPLAYING);

  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.WaitFor(WIM_DATA, 2, milliseconds(2000)));
  ASSERT_EQ(WaveInReset(device), MMSYSERR_NOERROR);
  const std::vector<std::uint8_t> bytes = Joined(recorder_.Messages());
  ASSERT_GE(bytes.size(), 1000u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), ramp.begin()));
  for (WAVEHDR& header : buffers.headers) WaveInUnprepareHeader(device, &header);
  EXPECT_EQ(WaveInClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveInFileTest, OpenFailuresSayWhyAndOpenNothing) {
  HWAVEIN device = reinterpret_cast<HWAVEIN>(1);
  const auto open = [&](std::uint32_t id, const WAVEFORMATEX& format) {
    return WaveInOpen(&device, id, &format, &CallbackRecorder::Callback<HWAVEIN>, 0);
  };
  setenv("DICTALO_AUDIO_INPUT", ("file:" + (home_.root() / "missing.wav").string()).c_str(), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open(WAVE_MAPPER, kCaptureFormat), MMSYSERR_NODRIVER);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("missing.wav: cannot open the file"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  EXPECT_EQ(device, nullptr);

  setenv("DICTALO_AUDIO_INPUT", "microphone", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open(WAVE_MAPPER, kCaptureFormat), MMSYSERR_BADDEVICEID);
  said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("DICTALO_AUDIO_INPUT=\"microphone\""), std::string::npos) << said;

  UseFile({11025, 1, 8}, std::vector<std::uint8_t>(100, 128));
  WAVEFORMATEX twelve_bits = kCaptureFormat;
  twelve_bits.wBitsPerSample = 12;
  EXPECT_EQ(open(WAVE_MAPPER, twelve_bits), WAVERR_BADFORMAT);
  WAVEFORMATEX midi = kCaptureFormat;
  midi.wFormatTag = WAVE_FORMAT_MIDI;
  EXPECT_EQ(open(WAVE_MAPPER, midi), WAVERR_BADFORMAT);
  EXPECT_EQ(open(3, kCaptureFormat), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(WaveInOpen(nullptr, WAVE_MAPPER, &kCaptureFormat, nullptr, 0), MMSYSERR_INVALPARAM);
}

TEST_F(WaveInFileTest, CallbackMayCloseItsDeviceOnceNoBufferIsQueued) {
  // As after a failed allocation: the callback closes the device at once. With
  // buffers still queued that is refused; with none it succeeds, and WIM_CLOSE
  // follows the callback that closed.
  UseFile({11025, 1, 8}, std::vector<std::uint8_t>(11025, 90));
  std::vector<MMRESULT> closes;
  recorder_.on_buffer = [&](std::uintptr_t device, WAVEHDR*) {
    closes.push_back(WaveInClose(reinterpret_cast<HWAVEIN>(device)));
  };
  HWAVEIN device = Open();
  Buffers buffers(2, 300);
  buffers.Queue(device);
  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.WaitFor(WIM_CLOSE, 1, milliseconds(3000)));
  const auto messages = recorder_.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[3].message, WIM_CLOSE);
  EXPECT_EQ(closes, (std::vector<MMRESULT>{WAVERR_STILLPLAYING, MMSYSERR_NOERROR}));
  EXPECT_EQ(WaveInStart(device), MMSYSERR_INVALHANDLE);
}

// ALSA's "null" device exists everywhere and captures at once (no clock), which
// runs the ALSA reader without a sound card. Real capture through "default" is
// an integration test (tests/integration/alsa_capture_test.cpp).
TEST_F(WaveInFileTest, AlsaNullDeviceFillsTheQueuedBuffers) {
  setenv("DICTALO_AUDIO_INPUT", "alsa:null", 1);
  std::atomic<int> wanted{12};
  recorder_.on_buffer = [&](std::uintptr_t device, WAVEHDR* header) {
    if (--wanted > 0) WaveInAddBuffer(reinterpret_cast<HWAVEIN>(device), header);
  };
  HWAVEIN device = Open();
  ASSERT_NE(device, nullptr);
  Buffers buffers(3, 2048);
  buffers.Queue(device);
  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.WaitFor(WIM_DATA, 12, milliseconds(3000)));
  const auto filled = recorder_.Messages();
  ASSERT_EQ(WaveInReset(device), MMSYSERR_NOERROR);
  for (std::size_t i = 1; i <= 12; ++i) EXPECT_EQ(filled[i].bytes.size(), 2048u);
  for (WAVEHDR& header : buffers.headers) EXPECT_EQ(WaveInUnprepareHeader(device, &header), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInClose(device), MMSYSERR_NOERROR);
  EXPECT_EQ(recorder_.Messages().back().message, WIM_CLOSE);
}

TEST_F(WaveInFileTest, MissingAlsaDeviceFailsWithOneLine) {
  setenv("DICTALO_AUDIO_INPUT", "alsa:no_such_device_here", 1);
  HWAVEIN device = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(WaveInOpen(&device, WAVE_MAPPER, &kCaptureFormat, nullptr, 0), MMSYSERR_NODRIVER);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("ALSA device \"no_such_device_here\""), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

class ScriptedWaveInTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveScriptedWaveInFake(); }
  HWAVEIN Open() {
    HWAVEIN device = nullptr;
    EXPECT_EQ(WaveInOpen(&device, WAVE_MAPPER, &kCaptureFormat, &CallbackRecorder::Callback<HWAVEIN>,
                         reinterpret_cast<std::uintptr_t>(&recorder_)),
              MMSYSERR_NOERROR);
    return device;
  }
  // Everything still queued is handed back, and the device closed.
  void Finish(HWAVEIN device) {
    EXPECT_EQ(WaveInReset(device), MMSYSERR_NOERROR);
    EXPECT_EQ(WaveInClose(device), MMSYSERR_NOERROR);
  }
  CallbackRecorder recorder_;
};

TEST_F(ScriptedWaveInTest, DeliversTheScriptedBuffersThenNothing) {
  ScriptedWaveInBehaviour behaviour;
  for (int n = 0; n < 3; ++n) behaviour.sound.insert(behaviour.sound.end(), 2048, static_cast<std::uint8_t>(10 + n));
  InstallScriptedWaveInFake(behaviour);
  HWAVEIN device = Open();
  Buffers buffers(5, 2048);
  buffers.Queue(device);
  ASSERT_EQ(WaveInStart(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.WaitFor(WIM_DATA, 3, milliseconds(2000)));
  std::this_thread::sleep_for(milliseconds(150));
  const auto messages = recorder_.Messages();
  ASSERT_EQ(recorder_.Count(WIM_DATA), 3u);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(messages[1 + n].bytes, std::vector<std::uint8_t>(2048, 10 + n));

  const std::uint8_t more[2048] = {};
  PushScriptedWaveInSound(more);
  ASSERT_TRUE(recorder_.WaitFor(WIM_DATA, 4, milliseconds(2000)));
  Finish(device);
  EXPECT_EQ(recorder_.Count(WIM_DATA), 5u);
  EXPECT_EQ(ScriptedWaveInCallCount("AddBuffer"), 5u);
  EXPECT_EQ(ScriptedWaveInCallCount("PrepareHeader", &buffers.headers[4]), 1u);
  EXPECT_EQ(ScriptedWaveInOpenDevices(), 0u);
  const auto calls = ScriptedWaveInCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().operation, "Open");
  EXPECT_EQ(calls.back().operation, "Close");
}

TEST_F(ScriptedWaveInTest, UnprepareKeepsAnsweringBusyAndRecordsEveryAttempt) {
  ScriptedWaveInBehaviour behaviour;
  behaviour.unprepare_always_busy = true;
  InstallScriptedWaveInFake(behaviour);
  HWAVEIN device = Open();
  Buffers buffers(2, 2048);
  buffers.Queue(device);
  ASSERT_EQ(WaveInReset(device), MMSYSERR_NOERROR);
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (attempt == 25) std::this_thread::sleep_for(milliseconds(100));
    ASSERT_EQ(WaveInUnprepareHeader(device, &buffers.headers[1]), WAVERR_STILLPLAYING);
  }
  EXPECT_EQ(ScriptedWaveInCallCount("UnprepareHeader", &buffers.headers[1]), 50u);
  EXPECT_EQ(ScriptedWaveInCallCount("UnprepareHeader", &buffers.headers[0]), 0u);
  std::vector<Clock::time_point> times;
  for (const auto& call : ScriptedWaveInCalls())
    if (call.operation == "UnprepareHeader") times.push_back(call.time);
  int pauses = 0;
  for (std::size_t i = 1; i < times.size(); ++i) pauses += times[i] - times[i - 1] >= milliseconds(100);
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(WaveInClose(device), MMSYSERR_NOERROR);  // no buffer is queued any more
}

TEST_F(ScriptedWaveInTest, HungCallsReturnOnlyWhenReleased) {
  for (const std::string operation : {"Reset", "Stop", "Close"}) {
    SCOPED_TRACE(operation);
    ScriptedWaveInBehaviour behaviour;
    behaviour.hang_in_reset = operation == "Reset";
    behaviour.hang_in_stop = operation == "Stop";
    behaviour.hang_in_close = operation == "Close";
    InstallScriptedWaveInFake(behaviour);
    HWAVEIN device = Open();
    Buffers buffers(2, 2048);
    if (operation != "Close") buffers.Queue(device);
    std::atomic<bool> returned{false};
    MMRESULT result = MMSYSERR_ERROR;
    std::thread caller([&] {
      result = operation == "Reset" ? WaveInReset(device) : operation == "Stop" ? WaveInStop(device) : WaveInClose(device);
      returned = true;
    });
    ASSERT_TRUE(WaitForScriptedWaveInHang(milliseconds(2000)));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_FALSE(returned);
    EXPECT_FALSE(ScriptedWaveInCalls().back().returned);
    ReleaseScriptedWaveInFake();
    caller.join();
    EXPECT_EQ(result, MMSYSERR_NOERROR);
    EXPECT_TRUE(ScriptedWaveInCalls().back().returned);
    if (operation != "Close") {
      EXPECT_EQ(WaveInReset(device), MMSYSERR_NOERROR);  // released: no longer hangs
      EXPECT_EQ(WaveInClose(device), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(ScriptedWaveInOpenDevices(), 0u);
    RemoveScriptedWaveInFake();
  }
}

TEST_F(ScriptedWaveInTest, RemovingReleasesAHungResetAndRestoresTheConfiguredDevice) {
  ScriptedWaveInBehaviour behaviour;
  behaviour.hang_in_reset = true;
  InstallScriptedWaveInFake(behaviour);
  HWAVEIN device = Open();
  std::thread caller([&] { WaveInReset(device); });
  ASSERT_TRUE(WaitForScriptedWaveInHang(milliseconds(2000)));
  RemoveScriptedWaveInFake();
  caller.join();
  EXPECT_EQ(WaveInClose(device), MMSYSERR_NOERROR);

  setenv("DICTALO_AUDIO_INPUT", "file:/nonexistent/x.wav", 1);
  testing::internal::CaptureStderr();
  HWAVEIN other = nullptr;
  EXPECT_EQ(WaveInOpen(&other, WAVE_MAPPER, &kCaptureFormat, nullptr, 0), MMSYSERR_NODRIVER);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("/nonexistent/x.wav"), std::string::npos);
  unsetenv("DICTALO_AUDIO_INPUT");
}

TEST_F(ScriptedWaveInTest, ScriptedOpenAndStartFailures) {
  ScriptedWaveInBehaviour refuse_open;
  refuse_open.open_result = MMSYSERR_ALLOCATED;
  InstallScriptedWaveInFake(refuse_open);
  HWAVEIN device = reinterpret_cast<HWAVEIN>(1);
  EXPECT_EQ(WaveInOpen(&device, WAVE_MAPPER, &kCaptureFormat, nullptr, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(ScriptedWaveInCallCount("Open"), 1u);

  ScriptedWaveInBehaviour refuse_start;
  refuse_start.start_result = MMSYSERR_NODRIVER;
  refuse_start.sound.assign(4096, 1);
  InstallScriptedWaveInFake(refuse_start);
  device = Open();
  Buffers buffers(1, 2048);
  buffers.Queue(device);
  EXPECT_EQ(WaveInStart(device), MMSYSERR_NODRIVER);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(recorder_.Count(WIM_DATA), 0u);  // nothing captured
  Finish(device);
}

}  // namespace
}  // namespace platform
