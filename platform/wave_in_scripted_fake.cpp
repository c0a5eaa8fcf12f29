#include "platform/wave_in_scripted_fake.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/wave_in_device.h"

namespace platform {
namespace {

using audio_internal::PcmLayout;
using audio_internal::QueuedWaveInDevice;
using audio_internal::WaveInCallbackTarget;
using audio_internal::WaveInSource;
using Clock = std::chrono::steady_clock;

struct FakeState {
  std::mutex mutex;
  std::condition_variable changed;
  ScriptedWaveInBehaviour behaviour;
  std::vector<std::uint8_t> sound;
  bool released = false;
  int hanging = 0;
  std::size_t open_devices = 0;
  std::vector<ScriptedWaveInCall> calls;

  std::size_t Record(std::string operation, const WAVEHDR* header) {
    std::lock_guard lock(mutex);
    calls.push_back({std::move(operation), Clock::now(), header, MMSYSERR_ERROR, false});
    return calls.size() - 1;
  }
  MMRESULT Returned(std::size_t call, MMRESULT result) {
    std::lock_guard lock(mutex);
    calls[call].result = result;
    calls[call].returned = true;
    return result;
  }
  void HangIf(bool ScriptedWaveInBehaviour::*hang) {
    std::unique_lock lock(mutex);
    if (!(behaviour.*hang) || released) return;
    ++hanging;
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
    --hanging;
  }
};

std::mutex installed_mutex;
std::shared_ptr<FakeState> last_state;  // the last install, with its record

std::shared_ptr<FakeState> LastState() {
  std::lock_guard lock(installed_mutex);
  return last_state;
}

// The scripted sound, then silence or nothing, at the scripted pace.
class ScriptedSource : public WaveInSource {
 public:
  ScriptedSource(std::shared_ptr<FakeState> state, const PcmLayout& layout) : state_(std::move(state)), layout_(layout) {}

  bool Begin() override {
    begin_time_ = Clock::now();
    delivered_at_begin_ = delivered_;
    silence_since_.reset();
    return true;
  }
  void End() override {}

  std::size_t Read(std::span<std::uint8_t> out, std::chrono::milliseconds max_wait) override {
    const std::size_t frame = layout_.FrameBytes();
    const Clock::time_point deadline = Clock::now() + max_wait;
    std::unique_lock lock(state_->mutex);
    for (;;) {
      const Clock::time_point now = Clock::now();
      const std::uint32_t pace = state_->behaviour.bytes_per_second;
      std::uint64_t allowed = out.size();
      if (pace != 0) allowed = std::min<std::uint64_t>(allowed, Due(begin_time_, now, pace) + delivered_at_begin_ - delivered_);
      // A trailing part of a frame is never delivered.
      const std::size_t sound_left = (state_->sound.size() - position_) / frame * frame;
      std::size_t count = 0;
      if (sound_left > 0) {
        count = static_cast<std::size_t>(std::min<std::uint64_t>(allowed, sound_left)) / frame * frame;
        std::memcpy(out.data(), state_->sound.data() + position_, count);
        position_ += count;
      } else if (state_->behaviour.silence_after_sound) {
        if (pace == 0) {
          // Unpaced sound is followed by silence at the capture rate.
          if (!silence_since_) {
            silence_since_ = now;
            silence_delivered_ = 0;
          }
          allowed = std::min<std::uint64_t>(allowed, Due(*silence_since_, now, layout_.BytesPerSecond()) - silence_delivered_);
        }
        count = static_cast<std::size_t>(allowed) / frame * frame;
        std::memset(out.data(), layout_.SilenceByte(), count);
        silence_delivered_ += count;
      }
      if (count > 0) {
        delivered_ += count;
        return count;
      }
      if (now >= deadline) return 0;
      state_->changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(5)));
    }
  }

 private:
  static std::uint64_t Due(Clock::time_point since, Clock::time_point now, std::uint64_t per_second) {
    const auto ms = std::chrono::duration_cast<std::chrono::microseconds>(now - since).count();
    return static_cast<std::uint64_t>(ms) * per_second / 1'000'000;
  }

  std::shared_ptr<FakeState> state_;
  const PcmLayout layout_;
  std::size_t position_ = 0;
  std::uint64_t delivered_ = 0;
  std::uint64_t delivered_at_begin_ = 0;
  Clock::time_point begin_time_;
  std::optional<Clock::time_point> silence_since_;
  std::uint64_t silence_delivered_ = 0;
};

class ScriptedWaveInDevice : public QueuedWaveInDevice {
 public:
  ScriptedWaveInDevice(std::shared_ptr<FakeState> state, const WaveInCallbackTarget& target, const PcmLayout& layout)
      : QueuedWaveInDevice(target, layout, std::make_unique<ScriptedSource>(state, layout)), state_(std::move(state)) {}

  MMRESULT PrepareHeader(WAVEHDR* header) override {
    auto call = state_->Record("PrepareHeader", header);
    return state_->Returned(call, QueuedWaveInDevice::PrepareHeader(header));
  }
  MMRESULT UnprepareHeader(WAVEHDR* header) override {
    auto call = state_->Record("UnprepareHeader", header);
    bool busy;
    {
      std::lock_guard lock(state_->mutex);
      busy = state_->behaviour.unprepare_always_busy;
    }
    return state_->Returned(call, busy ? WAVERR_STILLPLAYING : QueuedWaveInDevice::UnprepareHeader(header));
  }
  MMRESULT AddBuffer(WAVEHDR* header) override {
    auto call = state_->Record("AddBuffer", header);
    return state_->Returned(call, QueuedWaveInDevice::AddBuffer(header));
  }
  MMRESULT Start() override {
    auto call = state_->Record("Start", nullptr);
    MMRESULT scripted;
    {
      std::lock_guard lock(state_->mutex);
      scripted = state_->behaviour.start_result;
    }
    return state_->Returned(call, scripted != MMSYSERR_NOERROR ? scripted : QueuedWaveInDevice::Start());
  }
  MMRESULT Stop() override {
    auto call = state_->Record("Stop", nullptr);
    state_->HangIf(&ScriptedWaveInBehaviour::hang_in_stop);
    return state_->Returned(call, QueuedWaveInDevice::Stop());
  }
  MMRESULT Reset() override {
    auto call = state_->Record("Reset", nullptr);
    state_->HangIf(&ScriptedWaveInBehaviour::hang_in_reset);
    return state_->Returned(call, QueuedWaveInDevice::Reset());
  }
  MMRESULT Close() override {
    auto call = state_->Record("Close", nullptr);
    state_->HangIf(&ScriptedWaveInBehaviour::hang_in_close);
    MMRESULT result = QueuedWaveInDevice::Close();
    if (result == MMSYSERR_NOERROR) {
      std::lock_guard lock(state_->mutex);
      --state_->open_devices;
    }
    return state_->Returned(call, result);
  }

 private:
  std::shared_ptr<FakeState> state_;
};

}  // namespace

void InstallScriptedWaveInFake(ScriptedWaveInBehaviour behaviour) {
  auto state = std::make_shared<FakeState>();
  state->sound = behaviour.sound;
  state->behaviour = std::move(behaviour);
  {
    std::lock_guard lock(installed_mutex);
    last_state = state;
  }
  audio_internal::SetWaveInFactoryOverride(
      [state](const WaveInCallbackTarget& target, const WAVEFORMATEX& format,
              std::shared_ptr<audio_internal::WaveInDevice>* device) -> MMRESULT {
        auto call = state->Record("Open", nullptr);
        MMRESULT scripted;
        {
          std::lock_guard lock(state->mutex);
          scripted = state->behaviour.open_result;
        }
        if (scripted != MMSYSERR_NOERROR) return state->Returned(call, scripted);
        const PcmLayout layout = audio_internal::CaptureLayout(format);
        if (!layout.Valid()) return state->Returned(call, WAVERR_BADFORMAT);
        *device = std::make_shared<ScriptedWaveInDevice>(state, target, layout);
        {
          std::lock_guard lock(state->mutex);
          ++state->open_devices;
        }
        return state->Returned(call, MMSYSERR_NOERROR);
      });
}

void RemoveScriptedWaveInFake() {
  ReleaseScriptedWaveInFake();
  audio_internal::SetWaveInFactoryOverride({});
}

void ReleaseScriptedWaveInFake() {
  auto state = LastState();
  if (!state) return;
  std::lock_guard lock(state->mutex);
  state->released = true;
  state->changed.notify_all();
}

void PushScriptedWaveInSound(std::span<const std::uint8_t> bytes) {
  auto state = LastState();
  if (!state) return;
  std::lock_guard lock(state->mutex);
  state->sound.insert(state->sound.end(), bytes.begin(), bytes.end());
  state->changed.notify_all();
}

std::vector<ScriptedWaveInCall> ScriptedWaveInCalls() {
  auto state = LastState();
  if (!state) return {};
  std::lock_guard lock(state->mutex);
  return state->calls;
}

std::size_t ScriptedWaveInCallCount(std::string_view operation, const WAVEHDR* header) {
  auto calls = ScriptedWaveInCalls();
  return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const ScriptedWaveInCall& call) {
    return call.operation == operation && (header == nullptr || call.header == header);
  }));
}

bool WaitForScriptedWaveInHang(std::chrono::milliseconds timeout) {
  auto state = LastState();
  if (!state) return false;
  std::unique_lock lock(state->mutex);
  return state->changed.wait_for(lock, timeout, [&] { return state->hanging > 0; });
}

std::size_t ScriptedWaveInOpenDevices() {
  auto state = LastState();
  if (!state) return 0;
  std::lock_guard lock(state->mutex);
  return state->open_devices;
}

}  // namespace platform
