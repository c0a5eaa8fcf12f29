#include "audio/recorder.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "audio/abandoned_threads.h"
#include "audio/recorder_internal.h"
#include "platform/wave_in.h"

namespace audio {
namespace {

constexpr double kMillisecondsPerDay = 86400000.0;

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs)); }

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char line[128];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

void WriteFlushed(StopLog* log, std::string_view message) {
  if (log) log->Line(message);
}

// Closes a device that will deliver no more data; used where capture cannot go on.
platform::MMRESULT CloseDevice(CaptureState& s) {
  platform::WaveInReset(s.handle);
  for (platform::WAVEHDR& header : s.headers) platform::WaveInUnprepareHeader(s.handle, &header);
  return platform::WaveInClose(s.handle);
}

// After the block could not grow: the device is closed at once, away from the
// callback thread (a callback must not call back into its device).
void CloseAfterMemoryFailure(const std::shared_ptr<CaptureState>& s) {
  std::lock_guard<std::mutex> hold(s->device_mutex);
  platform::MMRESULT result = CloseDevice(*s);
  s->close_code = result;
  s->done = true;
  // A device that is still open may call back with this state.
  if (result != platform::MMSYSERR_NOERROR) KeepUntilExit(s);
}

}  // namespace

// ---- CaptureState ----

void CaptureState::Log(std::string_view message) {
  std::lock_guard<std::mutex> hold(log_mutex_);
  WriteFlushed(log_, message);
}

void CaptureState::SetLog(StopLog* new_log) {
  std::lock_guard<std::mutex> hold(log_mutex_);
  log_ = new_log;
  logging_ = new_log != nullptr;
}

CaptureState::AppendResult CaptureState::Append(const std::uint8_t* bytes, std::uint32_t length) {
  std::lock_guard<std::mutex> hold(data_mutex);
  if (sealed) return kSealed;
  if (length > data_limit || data.size() > data_limit - length) return kNoRoom;
  if (!data.Append(bytes, length)) return kNoRoom;
  data_length = static_cast<std::uint32_t>(data.size());
  return kAppended;
}

std::uint32_t CaptureState::ElapsedSeconds() const {
  return ElapsedSecondsBetween(start_time, TimeOfDayFraction(clock()));
}

double TimeOfDayFraction(const platform::SystemTime& t) {
  double ms = ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.milliseconds;
  return ms / kMillisecondsPerDay;
}

std::uint32_t ElapsedSecondsBetween(double start, double now) {
  double day = now - start;
  day -= std::floor(day);  // across midnight the difference is negative
  long long ms = std::llround(day * kMillisecondsPerDay);
  if (ms >= static_cast<long long>(kMillisecondsPerDay)) ms = 0;
  long long hours = ms / 3600000;
  long long minutes = (ms / 60000) % 60;
  long long seconds = (ms / 1000) % 60;
  return static_cast<std::uint32_t>((hours * 60 + minutes) * 60 + seconds);
}

// ---- stop thread ----

void RunStopThread(const std::shared_ptr<CaptureState>& state) {
  CaptureState& s = *state;
  s.recording = false;
  // A watchdog that has given up on us no longer waits for the result.
  while (s.processing_data && !s.abandoned) {
    s.Log(Format("Waiting... m_bRecording = %d, m_bProcessingData = %d", s.recording ? 1 : 0,
                 s.processing_data ? 1 : 0));
    Pause();
  }
  std::lock_guard<std::mutex> hold(s.device_mutex);
  if (s.closed_after_failure) return;  // closed already; the handle is stale

  s.Log("--Resetting Recorder");
  platform::WaveInReset(s.handle);
  s.Log("--Stopping Recorder");
  platform::WaveInStop(s.handle);
  for (int index = kCaptureBufferCount - 1; index >= 0; --index) {
    s.Log(Format("--Stopping buffer #%d", kCaptureBufferCount - index));
    int counter = 0;
    platform::MMRESULT result;
    do {
      if (counter % 10 == 9) Pause();
      ++counter;
      if (counter > kMaxUnprepareAttempts) break;  // left prepared; go on with the next one
      s.Log(Format("--Attempt #%d", counter));
      result = platform::WaveInUnprepareHeader(s.handle, &s.headers[index]);
    } while (result == platform::WAVERR_STILLPLAYING);
  }
  s.Log("--Closing Recorder");
  platform::MMRESULT result = platform::WaveInClose(s.handle);
  if (result != platform::MMSYSERR_NOERROR) KeepUntilExit(state);

  int expected = CaptureState::kPending;
  if (!s.outcome.compare_exchange_strong(expected, CaptureState::kClosedByStopThread)) return;
  s.close_code = result;
  s.done = true;
  s.device = nullptr;  // last: the watchdog reads the result once it sees this
  s.Log("--Everything is done");
}

// ---- Recorder ----

Recorder::Recorder(SystemClock clock) : clock_(std::move(clock)) {}

Recorder::~Recorder() {
  if (state_ && state_->recording && state_->device) StopWithWatchdog(nullptr);
}

bool Recorder::Start(std::shared_ptr<CaptureProgress> progress) {
  if (state_ && state_->recording && state_->device) StopWithWatchdog(nullptr);
  RunningAbandonedThreads();  // joins stop threads that have finished since
  data_ = SampleBlock();

  auto state = std::make_shared<CaptureState>(clock_, data_limit_);
  state_ = state;
  CaptureState& s = *state;
  s.progress = std::move(progress);
  s.format = platform::WAVEFORMATEX{platform::WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};

  platform::HWAVEIN device = nullptr;
  if (platform::WaveInOpen(&device, platform::WAVE_MAPPER, &s.format, &Recorder::WaveInProc,
                           reinterpret_cast<std::uintptr_t>(state.get())) != platform::MMSYSERR_NOERROR) {
    return false;
  }
  s.handle = device;
  s.device = device;
  for (int i = 0; i < kCaptureBufferCount; ++i) {
    platform::WAVEHDR& header = s.headers[i];
    header = platform::WAVEHDR{};
    s.buffers[i] = std::make_unique<std::uint8_t[]>(kCaptureBufferBytes);
    header.lpData = s.buffers[i].get();
    header.dwBufferLength = kCaptureBufferBytes;
    platform::WaveInPrepareHeader(device, &header);
    platform::WaveInAddBuffer(device, &header);
  }
  s.data_length = 0;
  s.start_time = TimeOfDayFraction(clock_());
  // Set before the device starts, so that the first buffer cannot be dropped.
  s.done = false;
  s.recording = true;
  if (platform::WaveInStart(device) != platform::MMSYSERR_NOERROR) {
    s.recording = false;
    // Not left open: its buffers and callback would outlive this attempt.
    if (CloseDevice(s) != platform::MMSYSERR_NOERROR) KeepUntilExit(state);
    s.device = nullptr;
    return false;
  }
  return true;
}

void Recorder::Stop(StopLog* log) {
  if (!state_ || !state_->recording || !state_->device) return;
  StopWithWatchdog(log);
}

void Recorder::StopWithWatchdog(StopLog* log) {
  std::shared_ptr<CaptureState> state = state_;
  CaptureState& s = *state;
  s.SetLog(log);
  WriteFlushed(log, "Starting Stop Thread");
  ReportingThread thread([state] { RunStopThread(state); });

  int waited = 0;
  while (s.device.load() != nullptr) {
    Pause();
    waited += kStopPollMs;
    if (waited >= kStopWatchdogMs) {
      int expected = CaptureState::kPending;
      if (!s.outcome.compare_exchange_strong(expected, CaptureState::kTerminated)) continue;  // it just finished
      // From here on the stop thread writes nothing: the log is the caller's.
      s.abandoned = true;
      s.SetLog(nullptr);
      WriteFlushed(log, "Terminating thread");
      s.device = nullptr;
      s.close_code = kTerminatedCloseCode;
      s.terminated = true;
      s.done = true;
      s.recording = false;
      break;
    }
    WriteFlushed(log, "Waiting...");
  }
  if (s.terminated) {
    thread.Abandon();
  } else {
    thread.Join();
  }
  WriteFlushed(log, "Recording stopped");
  s.SetLog(nullptr);
  TakeData();
}

void Recorder::TakeData() {
  std::lock_guard<std::mutex> hold(state_->data_mutex);
  state_->sealed = true;
  data_ = std::move(state_->data);
}

bool Recorder::GetResult(std::uint32_t* close_code) const {
  if (!state_) {
    if (close_code) *close_code = 0;
    return false;
  }
  if (close_code) *close_code = state_->terminated ? kTerminatedCloseCode : state_->close_code.load();
  return state_->done;
}

NoteWriteResult Recorder::WriteNoteFile(std::filesystem::path& path, int encoding, EncodeProgress* progress) {
  return audio::WriteNoteFile(path, encoding, NoteRecording{data_.bytes(), progress, elapsed_seconds()});
}

std::uint32_t Recorder::data_length() const { return state_ ? state_->data_length.load() : 0; }
std::uint32_t Recorder::elapsed_seconds() const { return state_ ? state_->elapsed_seconds.load() : 0; }
bool Recorder::recording() const { return state_ && state_->recording; }
bool Recorder::terminated() const { return state_ && state_->terminated; }
const CaptureProgress* Recorder::progress() const { return state_ ? state_->progress.get() : nullptr; }

void Recorder::WaveInProc(platform::HWAVEIN device, std::uint32_t message, std::uintptr_t instance,
                          std::uintptr_t param1, std::uintptr_t /*param2*/) {
  auto* s = reinterpret_cast<CaptureState*>(instance);
  if (!s) return;
  if (s->logging()) s->Log(Format("WaveInProc message received: %d", static_cast<int>(message)));
  if (message == platform::WIM_CLOSE) {
    for (auto& buffer : s->buffers) buffer.reset();
    return;
  }
  if (message != platform::WIM_DATA) return;
  // Marked before "recording" is read: the stop thread clears "recording" and
  // then waits while this is set, so a buffer that saw "recording" is always
  // finished before the device is reset. Read first, the stop could slip in
  // between and the buffer be appended and queued on a device being closed.
  s->processing_data = true;
  if (s->closed_after_failure) return;  // stays set: the stop ends through the watchdog
  // Data after the stop began is dropped and its buffer not queued again.
  if (!s->recording) {
    s->processing_data = false;
    return;
  }

  auto* header = reinterpret_cast<platform::WAVEHDR*>(param1);
  switch (s->Append(header->lpData, header->dwBytesRecorded)) {
    case CaptureState::kSealed:
      s->processing_data = false;
      return;
    case CaptureState::kNoRoom: {
      // Keep what was captured and close the device. processing_data stays set,
      // so a later Stop ends through the watchdog.
      s->closed_after_failure = true;
      ReportingThread closer([state = s->shared_from_this()] { CloseAfterMemoryFailure(state); });
      closer.Abandon();
      return;
    }
    case CaptureState::kAppended:
      break;
  }
  platform::WaveInAddBuffer(device, header);
  std::uint32_t elapsed = s->ElapsedSeconds();
  s->elapsed_seconds = elapsed;
  if (s->progress) s->progress->OnCaptured(s->data_length.load(), elapsed);
  s->processing_data = false;
}

}  // namespace audio
