#include "platform/wave_in_device.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/wave_header_rules.h"

namespace platform::audio_internal {
namespace {

// How long the capture thread may sit in the source before it looks at the
// requests again; it bounds how long a stop or reset waits for it.
constexpr std::chrono::milliseconds kReadSlice{20};

}  // namespace

QueuedWaveInDevice::QueuedWaveInDevice(const WaveInCallbackTarget& target, PcmLayout layout,
                                       std::unique_ptr<WaveInSource> source)
    : layout_(layout),
      source_(std::move(source)),
      callbacks_([target](std::uint32_t message, std::uintptr_t param1) {
        if (target.callback != nullptr) target.callback(target.handle, message, target.instance, param1, 0);
      }) {}

QueuedWaveInDevice::~QueuedWaveInDevice() {
  if (capture_thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      ++requests_;
      changed_.notify_all();
    }
    capture_thread_.join();
  }
  callbacks_.Shutdown();
}

void QueuedWaveInDevice::Open() {
  capture_thread_ = std::thread(&QueuedWaveInDevice::CaptureLoop, this);
  callbacks_.Post(WIM_OPEN, 0);
}

bool QueuedWaveInDevice::Queued(const WAVEHDR* header) const {
  return std::find(queue_.begin(), queue_.end(), header) != queue_.end();
}

MMRESULT QueuedWaveInDevice::PrepareHeader(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  return PrepareWaveHeader(header, quit_);
}

MMRESULT QueuedWaveInDevice::UnprepareHeader(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  return UnprepareWaveHeader(header, quit_, header != nullptr && Queued(header));
}

MMRESULT QueuedWaveInDevice::AddBuffer(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  const MMRESULT checked = EnqueueWaveHeader(header, quit_, header != nullptr && Queued(header));
  if (checked != MMSYSERR_NOERROR) return checked;
  header->dwBytesRecorded = 0;
  queue_.push_back(header);
  changed_.notify_all();
  return MMSYSERR_NOERROR;
}

bool QueuedWaveInDevice::SetRunning(std::unique_lock<std::mutex>& lock, bool running) {
  want_running_ = running;
  begin_failed_ = false;
  const std::uint64_t request = ++requests_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return applied_ >= request; });
  return running_ == running && !begin_failed_;
}

MMRESULT QueuedWaveInDevice::Start() {
  std::unique_lock lock(mutex_);
  if (quit_) return MMSYSERR_INVALHANDLE;
  return SetRunning(lock, true) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT QueuedWaveInDevice::Stop() {
  std::unique_lock lock(mutex_);
  if (quit_) return MMSYSERR_INVALHANDLE;
  SetRunning(lock, false);
  // The buffer being filled comes back with what it holds; empty ones stay queued.
  if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) ReturnBuffer(queue_.front());
  return MMSYSERR_NOERROR;
}

MMRESULT QueuedWaveInDevice::Reset() {
  std::unique_lock lock(mutex_);
  if (quit_) return MMSYSERR_INVALHANDLE;
  SetRunning(lock, false);
  std::uint64_t last = 0;
  while (!queue_.empty()) last = ReturnBuffer(queue_.front());
  lock.unlock();
  if (last != 0) callbacks_.WaitDelivered(last);
  return MMSYSERR_NOERROR;
}

MMRESULT QueuedWaveInDevice::Close() {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return MMSYSERR_INVALHANDLE;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    quit_ = true;
    ++requests_;
    changed_.notify_all();
  }
  if (capture_thread_.joinable()) capture_thread_.join();
  source_.reset();
  callbacks_.Send(WIM_CLOSE, 0);
  callbacks_.Shutdown();
  return MMSYSERR_NOERROR;
}

std::uint64_t QueuedWaveInDevice::ReturnBuffer(WAVEHDR* header) {
  queue_.erase(std::find(queue_.begin(), queue_.end(), header));
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  return callbacks_.Post(WIM_DATA, reinterpret_cast<std::uintptr_t>(header));
}

void QueuedWaveInDevice::CaptureLoop() {
  const std::size_t frame = layout_.FrameBytes();
  // Sound that arrives while no buffer is queued is lost, as from a microphone.
  std::vector<std::uint8_t> scratch(frame * 256);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (applied_ != requests_) {
      const std::uint64_t request = requests_;
      const bool want = want_running_ && !quit_;
      if (want != running_) {
        lock.unlock();
        bool began = true;
        if (want) {
          began = source_->Begin();
        } else {
          source_->End();
        }
        lock.lock();
        running_ = want && began;
        if (!began) {
          begin_failed_ = true;
          want_running_ = false;
        }
      }
      applied_ = request;
      changed_.notify_all();
      continue;
    }
    if (quit_) break;
    if (!running_) {
      changed_.wait(lock);
      continue;
    }
    WAVEHDR* head = queue_.empty() ? nullptr : queue_.front();
    std::span<std::uint8_t> target(scratch);
    if (head != nullptr) {
      const std::size_t room = (head->dwBufferLength - head->dwBytesRecorded) / frame * frame;
      if (room == 0) {
        ReturnBuffer(head);
        continue;
      }
      target = std::span<std::uint8_t>(head->lpData + head->dwBytesRecorded, room);
    }
    lock.unlock();
    const std::size_t got = source_->Read(target, kReadSlice);
    lock.lock();
    // Stop, Reset and Close wait for this thread before they touch the queue, so
    // head is still the first queued buffer.
    if (head != nullptr && got > 0) {
      head->dwBytesRecorded += static_cast<std::uint32_t>(got);
      if (head->dwBufferLength - head->dwBytesRecorded < frame) ReturnBuffer(head);
    }
  }
}

namespace {
std::mutex factory_mutex;
WaveInFactory factory_override;
}  // namespace

void SetWaveInFactoryOverride(WaveInFactory factory) {
  std::lock_guard lock(factory_mutex);
  factory_override = std::move(factory);
}

WaveInFactory WaveInFactoryOverride() {
  std::lock_guard lock(factory_mutex);
  return factory_override;
}

PcmLayout CaptureLayout(const WAVEFORMATEX& format) {
  PcmLayout layout{format.nSamplesPerSec, format.nChannels, format.wBitsPerSample};
  if (format.wFormatTag != WAVE_FORMAT_PCM || !layout.Valid() || format.nBlockAlign != layout.FrameBytes())
    layout.bits = 0;
  return layout;
}

}  // namespace platform::audio_internal
