#pragma once
// Inside wave input: the device interface behind a handle, the queue engine that
// every capture device shares, and the source interface a device reads from.
// wave_in.cpp picks the device; wave_in_file, wave_in_alsa and the scripted fake
// provide sources.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "platform/audio_callback_thread.h"
#include "platform/audio_pcm_convert.h"
#include "platform/wave_audio.h"

namespace platform::audio_internal {

// Who the device calls back: the WaveInOpen arguments.
struct WaveInCallbackTarget {
  WaveInCallback callback = nullptr;
  HWAVEIN handle = nullptr;
  std::uintptr_t instance = 0;
};

// One open capture device; the operations of wave_in.h without the handle.
class WaveInDevice {
 public:
  virtual ~WaveInDevice() = default;
  // Starts the device's threads and sends WIM_OPEN; called once, after the handle
  // has been registered (so that the callback may already use it).
  virtual void Open() = 0;
  virtual MMRESULT PrepareHeader(WAVEHDR* header) = 0;
  virtual MMRESULT UnprepareHeader(WAVEHDR* header) = 0;
  virtual MMRESULT AddBuffer(WAVEHDR* header) = 0;
  virtual MMRESULT Start() = 0;
  virtual MMRESULT Stop() = 0;
  virtual MMRESULT Reset() = 0;
  // On success the device is finished: its threads have ended and WIM_CLOSE has
  // been delivered (or, from inside a callback, queued as the last message).
  virtual MMRESULT Close() = 0;
};

// Where captured bytes come from, already in the format the caller asked for.
// Begin, End and Read are called on the device's capture thread only.
class WaveInSource {
 public:
  virtual ~WaveInSource() = default;
  // Capture starts (or resumes after End). False when the device refuses.
  virtual bool Begin() = 0;
  virtual void End() = 0;
  // Writes up to out.size() bytes (whole frames) of sound; waits at most max_wait
  // for the first of them. Returns the count, 0 when none came in time.
  virtual std::size_t Read(std::span<std::uint8_t> out, std::chrono::milliseconds max_wait) = 0;
};

// The buffer queue, start/stop/reset/close and the two threads of a capture
// device: the capture thread moves bytes from the source into the first queued
// buffer, and the callback thread delivers WIM_OPEN, WIM_DATA and WIM_CLOSE.
class QueuedWaveInDevice : public WaveInDevice {
 public:
  QueuedWaveInDevice(const WaveInCallbackTarget& target, PcmLayout layout, std::unique_ptr<WaveInSource> source);
  ~QueuedWaveInDevice() override;  // ends the threads of a device that was never closed

  void Open() override;

  MMRESULT PrepareHeader(WAVEHDR* header) override;
  MMRESULT UnprepareHeader(WAVEHDR* header) override;
  MMRESULT AddBuffer(WAVEHDR* header) override;
  MMRESULT Start() override;
  MMRESULT Stop() override;
  MMRESULT Reset() override;
  MMRESULT Close() override;

 private:
  void CaptureLoop();
  // Asks the capture thread to run the source or not and waits until it has.
  bool SetRunning(std::unique_lock<std::mutex>& lock, bool running);
  bool Queued(const WAVEHDR* header) const;
  std::uint64_t ReturnBuffer(WAVEHDR* header);  // under mutex_

  const PcmLayout layout_;
  std::unique_ptr<WaveInSource> source_;
  DeviceCallbackThread callbacks_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WAVEHDR*> queue_;
  bool want_running_ = false;
  bool running_ = false;  // the source runs (as the capture thread last set it)
  bool begin_failed_ = false;
  std::uint64_t requests_ = 0;  // changes of want_running_ asked for
  std::uint64_t applied_ = 0;   // ... and carried out by the capture thread
  bool quit_ = false;
  bool closed_ = false;
  std::thread capture_thread_;
};

// Tests replace the device choice of WaveInOpen with their own (the scripted
// fake); an empty function restores it. The factory answers like WaveInOpen.
using WaveInFactory = std::function<MMRESULT(const WaveInCallbackTarget& target, const WAVEFORMATEX& format,
                                             std::shared_ptr<WaveInDevice>* device)>;
void SetWaveInFactoryOverride(WaveInFactory factory);
WaveInFactory WaveInFactoryOverride();

// The layout of a PCM capture format, or nothing valid (Valid() false) for a
// format no capture device here takes.
PcmLayout CaptureLayout(const WAVEFORMATEX& format);

}  // namespace platform::audio_internal
