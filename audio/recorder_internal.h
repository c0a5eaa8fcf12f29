#pragma once
// The state of one capture, owned jointly by the Recorder, its stop thread and (as
// the device's instance value) the device callback. A stop thread that has been
// given up on keeps it alive, so whatever it does once its device call returns
// touches only this object, never the Recorder or a freed log.
//
// Hand-over order of the flags (as in a lock-free design, with atomics): the stop
// thread clears `recording` first and then waits for `processing_data` to fall,
// so the last buffer being appended completes before the device is reset; the
// watchdog only polls `device`.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "audio/recorder.h"
#include "audio/sample_block.h"
#include "audio/stop_log.h"
#include "platform/wave_audio.h"
#include "platform/window_system.h"

namespace audio {

struct CaptureState : std::enable_shared_from_this<CaptureState> {
  // Who recorded the result of a stop: the stop thread or the watchdog.
  enum Outcome : int { kPending = 0, kClosedByStopThread = 1, kTerminated = 2 };

  explicit CaptureState(SystemClock clock_in, std::size_t data_limit_in)
      : clock(std::move(clock_in)), data_limit(data_limit_in) {}

  // Writes one line to the log of the running stop (if any) and flushes it.
  void Log(std::string_view message);
  void SetLog(StopLog* new_log);
  // Whether a stop is being logged (lets the callback skip formatting).
  bool logging() const { return logging_.load(std::memory_order_relaxed); }

  enum AppendResult { kAppended, kSealed, kNoRoom };
  // Appends a full buffer: kSealed after the Recorder has taken the block, kNoRoom
  // when the block cannot grow (out of memory, or the limit reached).
  AppendResult Append(const std::uint8_t* bytes, std::uint32_t length);
  // Seconds since start by the wall clock, across midnight.
  std::uint32_t ElapsedSeconds() const;

  // Device. `handle` is what was opened; `device` is null once the stop has
  // finished or been given up on (the watchdog polls it).
  platform::HWAVEIN handle = nullptr;
  std::atomic<platform::HWAVEIN> device{nullptr};
  platform::WAVEFORMATEX format{};
  std::array<platform::WAVEHDR, kCaptureBufferCount> headers{};
  std::array<std::unique_ptr<std::uint8_t[]>, kCaptureBufferCount> buffers;
  // Serialises the device calls of the stop thread with the closing after a
  // memory failure. closed_after_failure: the block could not grow, capture is
  // over and the device is (being) closed; nobody else calls it any more.
  std::mutex device_mutex;
  std::atomic<bool> closed_after_failure{false};

  // The block. `sealed` once the Recorder has taken it.
  std::mutex data_mutex;
  SampleBlock data;
  bool sealed = false;
  std::atomic<std::uint32_t> data_length{0};

  // Reports.
  const SystemClock clock;
  const std::size_t data_limit;
  std::shared_ptr<CaptureProgress> progress;
  double start_time = 0;  // UTC time of day at start, as a fraction of a day
  std::atomic<std::uint32_t> elapsed_seconds{0};

  // Flags and results.
  std::atomic<bool> processing_data{false};
  std::atomic<bool> recording{false};
  std::atomic<bool> done{false};
  std::atomic<bool> terminated{false};
  std::atomic<std::uint32_t> close_code{0};
  std::atomic<int> outcome{kPending};
  std::atomic<bool> abandoned{false};

 private:
  std::mutex log_mutex_;
  StopLog* log_ = nullptr;  // borrowed for the duration of a stop
  std::atomic<bool> logging_{false};
};

// Fraction of a day (0.0 to below 1.0) of a time's time of day.
double TimeOfDayFraction(const platform::SystemTime& t);

// Whole seconds from start to now (fractions of a day), wrapping at midnight.
std::uint32_t ElapsedSecondsBetween(double start, double now);

// The stop procedure: reset, stop, unprepare (up to 50 attempts per buffer),
// close. Records the result unless the watchdog has already done so.
void RunStopThread(const std::shared_ptr<CaptureState>& state);

}  // namespace audio
