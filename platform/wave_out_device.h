#pragma once
// Inside wave output: the device behind a handle (buffer queue, playback thread,
// callback thread) and the sink interface the sound goes to. wave_out.cpp picks
// the sink; wave_out_alsa and wave_out_null provide them.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_callback_thread.h"
#include "platform/audio_pcm_convert.h"
#include "platform/wave_audio.h"

namespace platform::audio_internal {

struct WaveOutCallbackTarget {
  WaveOutCallback callback = nullptr;
  HWAVEOUT handle = nullptr;
  std::uintptr_t instance = 0;
};

// Where the sound of an output device goes. Configure may be called on the
// opening thread before the device's playback thread starts; after that every
// call comes from the playback thread.
class WaveOutSink {
 public:
  virtual ~WaveOutSink() = default;
  // The layout of what is written next. False, with a sentence in *error and the
  // wave code in *result, when the sink cannot play it.
  virtual bool Configure(const PcmLayout& layout, std::string* error, MMRESULT* result) = 0;
  // Takes up to bytes.size() bytes (whole frames); waits at most max_wait for
  // room. Returns the count taken.
  virtual std::size_t Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds max_wait) = 0;
  // How long until everything taken so far has been heard.
  virtual std::chrono::nanoseconds Pending() = 0;
  // Forgets everything not yet heard.
  virtual void Drop() = 0;
  // One written buffer has been heard (what was played, after volume and MIDI
  // rendering); only called when KeepsPlayed() says the sink wants it.
  virtual bool KeepsPlayed() const { return false; }
  virtual void Played(const PcmLayout& /*layout*/, std::vector<std::uint8_t> /*bytes*/) {}
};

// Sound format of an open device: PCM as it is, or the MIDI event format whose
// buffers are rendered by the MIDI synthesiser.
struct WaveOutFormat {
  PcmLayout layout;  // of PCM buffers; for MIDI, the rendering's usual layout
  bool midi = false;
  std::uint32_t usec_per_quarter = 0;
  std::uint32_t ticks_per_quarter = 0;
};

// The layout and kind of a format WaveOutOpen accepts, or nothing.
std::optional<WaveOutFormat> PlaybackFormat(const WAVEFORMATEX& format);

class QueuedWaveOutDevice {
 public:
  QueuedWaveOutDevice(const WaveOutCallbackTarget& target, const WaveOutFormat& format,
                      std::unique_ptr<WaveOutSink> sink);
  ~QueuedWaveOutDevice();

  // Starts the threads and sends WOM_OPEN (after the handle is registered).
  void Open();
  MMRESULT PrepareHeader(WAVEHDR* header);
  MMRESULT UnprepareHeader(WAVEHDR* header);
  MMRESULT Write(WAVEHDR* header);
  MMRESULT SetVolume(std::uint32_t volume);
  // Stops at once and hands every written buffer back (WOM_DONE) before returning.
  MMRESULT Reset();
  // WAVERR_STILLPLAYING while buffers are written and not yet done.
  MMRESULT Close();

 private:
  // One written buffer on its way to the sink, in the form the sink takes.
  struct Rendering {
    WAVEHDR* header = nullptr;
    PcmLayout layout;
    std::vector<std::uint8_t> bytes;
    std::size_t written = 0;
  };
  struct Sounding {
    WAVEHDR* header;
    std::chrono::steady_clock::time_point heard;
    PcmLayout layout;
    std::vector<std::uint8_t> bytes;  // kept only for a sink that keeps what it played
  };

  void PlaybackLoop();
  Rendering Render(WAVEHDR* header, std::uint32_t volume) const;
  bool Queued(const WAVEHDR* header) const;
  std::uint64_t ReturnBuffer(WAVEHDR* header);  // under mutex_

  const WaveOutFormat format_;
  std::unique_ptr<WaveOutSink> sink_;
  DeviceCallbackThread callbacks_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WAVEHDR*> waiting_;     // written, not yet all handed to the sink
  std::deque<Sounding> sounding_;    // handed to the sink, done when heard
  std::uint32_t volume_ = 0xFFFFFFFF;
  std::uint64_t resets_requested_ = 0;
  std::uint64_t resets_done_ = 0;
  bool quit_ = false;
  std::thread playback_thread_;
};

// Makes sure the handle table exists, for objects that use wave output from a
// static destructor (they must be constructed after it).
void EnsureWaveOutReady();

}  // namespace platform::audio_internal
