#include "platform/play_sound.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/audio_pcm_convert.h"
#include "platform/audio_wav_reader.h"
#include "platform/wave_out.h"
#include "platform/wave_out_device.h"

namespace platform {
namespace {

using audio_internal::PcmLayout;

// One sound on its way: the whole file in memory, played as one buffer.
class Sound {
 public:
  // Reads the file and opens the output device. False when either fails.
  bool Load(const std::filesystem::path& file) {
    audio_internal::WavReader reader;
    std::string error;
    if (!reader.Open(file, &error)) return false;
    PcmLayout layout = reader.layout();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(reader.data_bytes()));
    std::size_t got = 0, n;
    while (got < raw.size() && (n = reader.Read(std::span(raw).subspan(got))) > 0) got += n;
    raw.resize(got);
    if (layout.bits == 8 || layout.bits == 16) {
      data_ = std::move(raw);
    } else {
      // Wave output plays 8 and 16 bits; wider samples are narrowed.
      PcmLayout narrow{layout.rate, layout.channels, 16};
      audio_internal::PcmConverter converter(layout, narrow);
      converter.Convert(raw, data_);
      converter.Flush(data_);
      layout = narrow;
    }
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = layout.channels;
    format.nSamplesPerSec = layout.rate;
    format.nAvgBytesPerSec = static_cast<std::uint32_t>(layout.BytesPerSecond());
    format.nBlockAlign = static_cast<std::uint16_t>(layout.FrameBytes());
    format.wBitsPerSample = layout.bits;
    if (data_.empty() || WaveOutOpen(&device_, WAVE_MAPPER, &format, &Sound::Done,
                                     reinterpret_cast<std::uintptr_t>(this)) != MMSYSERR_NOERROR)
      return false;
    header_.lpData = data_.data();
    header_.dwBufferLength = static_cast<std::uint32_t>(data_.size());
    return true;
  }

  // Plays to the end, or until Stop.
  void Play() {
    WaveOutPrepareHeader(device_, &header_);
    if (WaveOutWrite(device_, &header_) == MMSYSERR_NOERROR) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return done_ || stop_; });
      if (!done_) {
        lock.unlock();
        WaveOutReset(device_);  // hands the buffer back before it returns
      }
    }
    WaveOutUnprepareHeader(device_, &header_);
    WaveOutClose(device_);
    device_ = nullptr;
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }

  ~Sound() {
    if (device_ != nullptr) WaveOutClose(device_);
  }

 private:
  static void Done(HWAVEOUT, std::uint32_t message, std::uintptr_t instance, std::uintptr_t, std::uintptr_t) {
    if (message != WOM_DONE) return;
    auto* self = reinterpret_cast<Sound*>(instance);
    std::lock_guard lock(self->mutex_);
    self->done_ = true;
    self->changed_.notify_all();
  }

  std::vector<std::uint8_t> data_;
  HWAVEOUT device_ = nullptr;
  WAVEHDR header_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool stop_ = false;
};

// The process's one asynchronous sound and its thread, stopped at exit.
class SoundThread {
 public:
  SoundThread() { audio_internal::EnsureWaveOutReady(); }  // so that wave output outlives this
  ~SoundThread() { Stop(); }

  void Start(std::unique_ptr<Sound> sound) {
    std::lock_guard lock(mutex_);
    StopLocked();
    sound_ = std::move(sound);
    thread_ = std::thread([sound = sound_.get()] { sound->Play(); });
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    StopLocked();
  }

 private:
  void StopLocked() {
    if (!thread_.joinable()) return;
    sound_->Stop();
    thread_.join();
    sound_.reset();
  }

  std::mutex mutex_;
  std::unique_ptr<Sound> sound_;
  std::thread thread_;
};

SoundThread& AsyncSound() {
  static SoundThread sound_thread;
  return sound_thread;
}

}  // namespace

bool PlaySound(const std::filesystem::path& file, std::uint32_t flags) {
  SoundThread& async = AsyncSound();
  // One sound at a time, as with the handheld's PlaySound: a new one stops the last.
  async.Stop();
  auto sound = std::make_unique<Sound>();
  if (!sound->Load(file)) return false;
  if (flags & SND_ASYNC) {
    async.Start(std::move(sound));
  } else {
    sound->Play();
  }
  return true;
}

void StopSound() { AsyncSound().Stop(); }

}  // namespace platform
