#pragma once
// Test helpers for the audio stand-ins: WAV files of known tones, and a callback
// sink that records what a wave device delivered.

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_pcm_convert.h"
#include "platform/wave_audio.h"

namespace platform::audio_test {

inline void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// A RIFF WAVE file around PCM sample bytes.
inline std::string WavBytes(const audio_internal::PcmLayout& layout, const std::vector<std::uint8_t>& data) {
  std::string out = "RIFF";
  PutLe(out, 36 + data.size(), 4);
  out += "WAVEfmt ";
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, layout.channels, 2);
  PutLe(out, layout.rate, 4);
  PutLe(out, layout.BytesPerSecond(), 4);
  PutLe(out, layout.FrameBytes(), 2);
  PutLe(out, layout.bits, 2);
  out += "data";
  PutLe(out, data.size(), 4);
  out.append(data.begin(), data.end());
  return out;
}

// Quantises x (-1 .. 1) to a sample of the given width, as PCM WAV stores it.
inline void PutSample(std::vector<std::uint8_t>& out, double x, int bits) {
  const double scale = std::ldexp(1.0, bits - 1);
  auto v = static_cast<std::int64_t>(std::lround(std::fmin(std::fmax(x * scale, -scale), scale - 1)));
  if (bits == 8) {
    out.push_back(static_cast<std::uint8_t>(v + 128));
    return;
  }
  for (int i = 0; i < bits / 8; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
}

// A sine tone of frequency hz; channel c has amplitude amplitude / (c + 1).
inline double Tone(double seconds, int channel, double hz = 440, double amplitude = 0.8) {
  return amplitude / (channel + 1) * std::sin(2 * M_PI * hz * seconds);
}

// The average over channels of Tone, which is what a mono mix of it holds.
inline double MonoTone(double seconds, int channels, double hz = 440, double amplitude = 0.8) {
  double sum = 0;
  for (int c = 0; c < channels; ++c) sum += Tone(seconds, c, hz, amplitude);
  return sum / channels;
}

inline std::vector<std::uint8_t> ToneSamples(const audio_internal::PcmLayout& layout, double seconds,
                                             double hz = 440) {
  std::vector<std::uint8_t> data;
  const auto frames = static_cast<std::size_t>(seconds * layout.rate);
  for (std::size_t i = 0; i < frames; ++i)
    for (int c = 0; c < layout.channels; ++c) PutSample(data, Tone(double(i) / layout.rate, c, hz), layout.bits);
  return data;
}

// What a device delivered through its callback, message by message.
struct DeliveredMessage {
  std::uint32_t message = 0;
  WAVEHDR* header = nullptr;
  std::vector<std::uint8_t> bytes;  // the recorded part of a WIM_DATA buffer
  std::thread::id thread;
  std::chrono::steady_clock::time_point time;
};

class CallbackRecorder {
 public:
  // Called on the device's callback thread for each WIM_DATA / WOM_DONE header;
  // for example to queue the buffer again.
  std::function<void(std::uintptr_t device, WAVEHDR* header)> on_buffer;

  template <typename Handle>
  static void Callback(Handle device, std::uint32_t message, std::uintptr_t instance, std::uintptr_t param1,
                       std::uintptr_t) {
    auto* self = reinterpret_cast<CallbackRecorder*>(instance);
    DeliveredMessage delivered{message, reinterpret_cast<WAVEHDR*>(param1), {}, std::this_thread::get_id(),
                               std::chrono::steady_clock::now()};
    if (message == WIM_DATA && delivered.header != nullptr)
      delivered.bytes.assign(delivered.header->lpData, delivered.header->lpData + delivered.header->dwBytesRecorded);
    if (param1 != 0 && self->on_buffer)
      self->on_buffer(reinterpret_cast<std::uintptr_t>(device), reinterpret_cast<WAVEHDR*>(param1));
    // Last: a test may end (and destroy this) as soon as it sees the message.
    std::lock_guard lock(self->mutex_);
    self->messages_.push_back(std::move(delivered));
    self->changed_.notify_all();
  }

  std::vector<DeliveredMessage> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::size_t Count(std::uint32_t message) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& m : messages_) n += m.message == message;
    return n;
  }
  // Waits until count messages of the kind have come.
  bool WaitFor(std::uint32_t message, std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      std::size_t n = 0;
      for (const auto& m : messages_) n += m.message == message;
      return n >= count;
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DeliveredMessage> messages_;
};

}  // namespace platform::audio_test
