// Wave output over the null device: real-time pace, WOM_DONE per buffer once it
// has been heard, reset and close semantics, volume, and MIDI buffers rendered
// by the synthesiser; plus the refusals of WaveOutOpen.

#include "platform/wave_out.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "tests/support/platform_audio_test_support.h"
#include "platform/wave_out_null.h"

namespace platform {
namespace {

using audio_test::CallbackRecorder;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

WAVEFORMATEX Pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
  const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
  return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class WaveOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    KeepNullOutputSounds(8);
  }
  void TearDown() override { unsetenv("DICTALO_AUDIO_OUTPUT"); }
  HWAVEOUT Open(const WAVEFORMATEX& format) {
    HWAVEOUT device = nullptr;
    EXPECT_EQ(WaveOutOpen(&device, WAVE_MAPPER, &format, &CallbackRecorder::Callback<HWAVEOUT>,
                          reinterpret_cast<std::uintptr_t>(&recorder_)),
              MMSYSERR_NOERROR);
    return device;
  }
  WAVEHDR& Buffer(std::vector<std::uint8_t> bytes) {
    data_.push_back(std::move(bytes));
    headers_.push_back(WAVEHDR{});
    headers_.back().lpData = data_.back().data();
    headers_.back().dwBufferLength = static_cast<std::uint32_t>(data_.back().size());
    return headers_.back();
  }
  void Write(HWAVEOUT device, WAVEHDR& header) {
    ASSERT_EQ(WaveOutPrepareHeader(device, &header), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveOutWrite(device, &header), MMSYSERR_NOERROR);
  }

  CallbackRecorder recorder_;
  std::deque<std::vector<std::uint8_t>> data_;
  std::deque<WAVEHDR> headers_;
};

TEST_F(WaveOutTest, NullDevicePlaysInRealTimeAndHandsBackEachBufferWhenHeard) {
  HWAVEOUT device = Open(Pcm(8000, 1, 16));  // 16000 bytes a second
  const Clock::time_point started = Clock::now();
  for (int i = 0; i < 3; ++i) Write(device, Buffer(std::vector<std::uint8_t>(3200, static_cast<std::uint8_t>(i + 1))));
  EXPECT_EQ(WaveOutUnprepareHeader(device, &headers_[2]), WAVERR_STILLPLAYING);
  EXPECT_EQ(WaveOutClose(device), WAVERR_STILLPLAYING);
  ASSERT_TRUE(recorder_.WaitFor(WOM_DONE, 3, milliseconds(3000)));
  const auto messages = recorder_.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].message, WOM_OPEN);
  for (int i = 0; i < 3; ++i) {
    const auto& done = messages[1 + i];
    EXPECT_EQ(done.header, &headers_[i]);  // in the order written
    EXPECT_EQ(done.header->dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_NE(done.thread, std::this_thread::get_id());
    // Each 0.2 s buffer is handed back once it has been heard, not before.
    EXPECT_GE(Seconds(done.time - started), 0.2 * (i + 1) - 0.005) << i;
    EXPECT_LT(Seconds(done.time - started), 0.2 * (i + 1) + 0.5) << i;
  }
  const auto played = NullOutputSounds();
  ASSERT_EQ(played.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(played[i].bytes, data_[i]);
    EXPECT_EQ(played[i].rate, 8000u);
    EXPECT_EQ(played[i].bits, 16);
  }
  for (WAVEHDR& header : headers_) EXPECT_EQ(WaveOutUnprepareHeader(device, &header), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
  EXPECT_EQ(recorder_.Messages().back().message, WOM_CLOSE);
  EXPECT_EQ(WaveOutWrite(device, &headers_[0]), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveOutTest, ResetStopsAtOnceAndHandsEveryBufferBackBeforeReturning) {
  HWAVEOUT device = Open(Pcm(11025, 1, 8));
  Write(device, Buffer(std::vector<std::uint8_t>(22050, 200)));  // 2 s each
  Write(device, Buffer(std::vector<std::uint8_t>(22050, 60)));
  std::this_thread::sleep_for(milliseconds(100));
  const Clock::time_point reset = Clock::now();
  ASSERT_EQ(WaveOutReset(device), MMSYSERR_NOERROR);
  EXPECT_LT(Seconds(Clock::now() - reset), 0.3);
  EXPECT_EQ(recorder_.Count(WOM_DONE), 2u);
  EXPECT_TRUE(NullOutputSounds().empty());  // neither was heard to its end
  // The device plays again after a reset.
  Write(device, Buffer(std::vector<std::uint8_t>(1100, 128)));
  ASSERT_TRUE(recorder_.WaitFor(WOM_DONE, 3, milliseconds(2000)));
  EXPECT_EQ(NullOutputSounds().size(), 1u);
  ASSERT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveOutTest, VolumeScalesEachChannel) {
  // Left at half, right at a quarter: 16-bit stereo samples 20000 / -20000.
  HWAVEOUT device = Open(Pcm(8000, 2, 16));
  ASSERT_EQ(WaveOutSetVolume(device, 0x4000'8000), MMSYSERR_NOERROR);
  std::vector<std::uint8_t> frames;
  for (int i = 0; i < 100; ++i) frames.insert(frames.end(), {0x20, 0x4E, 0xE0, 0xB1});  // 20000, -20000
  Write(device, Buffer(frames));
  ASSERT_TRUE(recorder_.WaitFor(WOM_DONE, 1, milliseconds(2000)));
  auto played = NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  ASSERT_EQ(played[0].bytes.size(), 400u);
  for (std::size_t at = 0; at < 400; at += 4) {
    EXPECT_EQ(static_cast<std::int16_t>(played[0].bytes[at] | played[0].bytes[at + 1] << 8), 10000);
    EXPECT_EQ(static_cast<std::int16_t>(played[0].bytes[at + 2] | played[0].bytes[at + 3] << 8), -5000);
  }
  EXPECT_EQ(data_[0], frames);  // the caller's buffer is left as it was
  ASSERT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);

  // 8-bit mono follows the low word alone: volume 0 is silence (128).
  device = Open(Pcm(11025, 1, 8));
  ASSERT_EQ(WaveOutSetVolume(device, 0xFFFF'0000), MMSYSERR_NOERROR);
  Write(device, Buffer(std::vector<std::uint8_t>(300, 250)));
  ASSERT_TRUE(recorder_.WaitFor(WOM_DONE, 2, milliseconds(2000)));
  EXPECT_EQ(NullOutputSounds().back().bytes, std::vector<std::uint8_t>(300, 128));
  ASSERT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveOutTest, MidiBuffersAreRenderedAndPlayedAsPcm) {
  WAVEFORMAT_MIDI midi;
  midi.USecPerQuarterNote = 500000;
  midi.TicksPerQuarterNote = 96;
  HWAVEOUT device = Open(midi.wfx);
  // Middle C for one quarter note (0.5 s), then the end of the list.
  const std::uint32_t events[] = {0, 0x90 | 60 << 8 | 100 << 16, 96, 0x80 | 60 << 8 | 0 << 16, 0, 0};
  std::vector<std::uint8_t> bytes(sizeof events);
  std::memcpy(bytes.data(), events, sizeof events);
  ASSERT_EQ(WaveOutSetVolume(device, 0x7777'7777), MMSYSERR_NOERROR);
  const Clock::time_point started = Clock::now();
  Write(device, Buffer(bytes));
  ASSERT_TRUE(recorder_.WaitFor(WOM_DONE, 1, milliseconds(12000)));
  const auto played = NullOutputSounds();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].bits, 16);
  const double seconds = played[0].bytes.size() / 2.0 / played[0].channels / played[0].rate;
  EXPECT_GE(seconds, 0.45);
  EXPECT_GE(Seconds(recorder_.Messages()[1].time - started), seconds - 0.01);  // heard, then done
  double energy = 0;
  for (std::size_t at = 0; at + 1 < played[0].bytes.size(); at += 2) {
    const double s = static_cast<std::int16_t>(played[0].bytes[at] | played[0].bytes[at + 1] << 8);
    energy += s * s;
  }
  EXPECT_GT(std::sqrt(energy / (played[0].bytes.size() / 2)), 100.0);  // a note, not silence
  ASSERT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveOutTest, OpenRefusesFormatsDevicesAndNamesItCannotPlay) {
  EXPECT_EQ(WaveOutGetNumDevs(), 1u);
  HWAVEOUT device = reinterpret_cast<HWAVEOUT>(1);
  const auto open = [&](std::uint32_t id, const WAVEFORMATEX& format) {
    return WaveOutOpen(&device, id, &format, nullptr, 0);
  };
  EXPECT_EQ(open(WAVE_MAPPER, Pcm(11025, 1, 24)), WAVERR_BADFORMAT);
  WAVEFORMATEX adpcm = Pcm(11025, 1, 16);
  adpcm.wFormatTag = 2;
  EXPECT_EQ(open(WAVE_MAPPER, adpcm), WAVERR_BADFORMAT);
  WAVEFORMATEX bad_align = Pcm(11025, 2, 16);
  bad_align.nBlockAlign = 2;
  EXPECT_EQ(open(WAVE_MAPPER, bad_align), WAVERR_BADFORMAT);
  WAVEFORMATEX short_midi = WAVEFORMAT_MIDI{}.wfx;
  short_midi.cbSize = 0;
  EXPECT_EQ(open(WAVE_MAPPER, short_midi), WAVERR_BADFORMAT);
  EXPECT_EQ(open(1, Pcm(11025, 1, 16)), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(device, nullptr);

  setenv("DICTALO_AUDIO_OUTPUT", "speaker", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open(0, Pcm(11025, 1, 16)), MMSYSERR_BADDEVICEID);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("DICTALO_AUDIO_OUTPUT=\"speaker\""), std::string::npos) << said;

  setenv("DICTALO_AUDIO_OUTPUT", "alsa:no_such_device_here", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open(0, Pcm(11025, 1, 16)), MMSYSERR_NODRIVER);
  said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("ALSA device \"no_such_device_here\""), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// ALSA's "null" device takes sound without a sound card, which runs the ALSA
// writer: buffers still come back once heard.
TEST_F(WaveOutTest, AlsaNullDeviceHandsBackWrittenBuffers) {
  setenv("DICTALO_AUDIO_OUTPUT", "alsa:null", 1);
  HWAVEOUT device = Open(Pcm(22050, 2, 16));
  ASSERT_NE(device, nullptr);
  Write(device, Buffer(std::vector<std::uint8_t>(8820, 1)));  // 0.1 s
  Write(device, Buffer(std::vector<std::uint8_t>(8820, 2)));
  ASSERT_TRUE(recorder_.WaitFor(WOM_DONE, 2, milliseconds(3000)));
  ASSERT_EQ(WaveOutClose(device), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace platform
