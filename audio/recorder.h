#pragma once
// One recording in memory: the capture device, the growing sample block and the
// stop procedure.
//
// Start opens the wave-input device (8-bit mono PCM at 11025 Hz) with ten
// 2048-byte buffers; every full buffer is appended to the block on the device's
// callback thread and the caller's CaptureProgress hears the bytes so far and
// the whole seconds by the wall clock, midnight included.
//
// Stop runs the device's reset, stop, unprepare and close on a stop thread while
// the calling thread watches: when the device is not closed within 3000 ms the stop
// thread is given up on (it keeps everything it still uses, finishes when the
// device call returns and is joined then; see abandoned_threads.h) and the result is
// "terminated", close code 65535. With a StopLog every step is reported to it; the
// log is used only while Stop runs.
//
// After Stop the block belongs to the Recorder alone: WriteNoteFile writes it and
// the destructor frees it. Call Start, Stop, GetResult and WriteNoteFile from one
// thread (the UI thread).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>

#include "audio/capture_progress.h"
#include "audio/note_file.h"
#include "audio/sample_block.h"
#include "audio/stop_log.h"
#include "platform/time_locale.h"
#include "platform/wave_audio.h"
#include "platform/window_system.h"

namespace audio {

inline constexpr int kCaptureBufferCount = 10;
inline constexpr std::uint32_t kCaptureBufferBytes = 2048;
inline constexpr int kStopWatchdogMs = 3000;
inline constexpr int kStopPollMs = 100;
inline constexpr int kMaxUnprepareAttempts = 50;
inline constexpr std::uint32_t kTerminatedCloseCode = 65535;
// The longest block a note file can describe (a WAV's RIFF size is 32 bits).
inline constexpr std::size_t kMaxRecordingBytes = 0xFFFFFFFFu - 36;

// The clock the recording length is measured with (UTC wall clock).
using SystemClock = std::function<platform::SystemTime()>;

struct CaptureState;  // shared by the Recorder, its stop thread and the device callback

class Recorder {
 public:
  explicit Recorder(SystemClock clock = platform::GetSystemTime);
  // Aborts a running capture as Stop(nullptr) does, then frees the block.
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Opens the device and starts capture; progress goes to `progress` (null:
  // none), which the capture keeps alive while the device may still call back.
  // False when the device cannot be opened or started (it is then closed
  // again). A previous block is freed.
  bool Start(std::shared_ptr<CaptureProgress> progress);

  // Stops capture; does nothing unless capture is running. log may be null.
  void Stop(StopLog* log);

  // Whether the device has been closed (normally, by the watchdog, or after a
  // memory failure); *close_code gets 65535 when the stop thread had to be given
  // up on, else the device's close result.
  bool GetResult(std::uint32_t* close_code) const;

  // Writes the block as a note file (note_file.h), reporting to progress (may be
  // null); call after Stop.
  [[nodiscard]] NoteWriteResult WriteNoteFile(std::filesystem::path& path, int encoding,
                                              EncodeProgress* progress = nullptr);

  // The captured samples; complete once Stop has returned.
  std::span<const std::uint8_t> data() const { return data_.bytes(); }
  std::uint32_t data_length() const;
  std::uint32_t elapsed_seconds() const;
  bool recording() const;
  bool terminated() const;
  const CaptureProgress* progress() const;

  // The block never grows beyond this many bytes (default kMaxRecordingBytes);
  // reaching it is handled like running out of memory. Takes effect at Start.
  void set_data_limit(std::size_t bytes) { data_limit_ = bytes; }

  // The device callback; instance is the CaptureState the device was opened with.
  static void WaveInProc(platform::HWAVEIN device, std::uint32_t message, std::uintptr_t instance,
                         std::uintptr_t param1, std::uintptr_t param2);

 private:
  // Runs the stop thread under the watchdog; log lines only when log is set.
  void StopWithWatchdog(StopLog* log);
  // Moves the block out of the shared state; later buffers are dropped.
  void TakeData();

  SystemClock clock_;
  std::size_t data_limit_ = kMaxRecordingBytes;
  std::shared_ptr<CaptureState> state_;
  SampleBlock data_;
};

}  // namespace audio
