#include "platform/wave_out_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/midi_synth.h"
#include "platform/wave_header_rules.h"

namespace platform::audio_internal {
namespace {

using Clock = std::chrono::steady_clock;

// How long the playback thread may wait for the sink before it looks at resets,
// new buffers and finished ones again.
constexpr std::chrono::milliseconds kWriteSlice{20};

// Volume: low word left (and mono), high word right; 0xFFFF is the sound as it is.
void ApplyVolume(std::vector<std::uint8_t>& bytes, const PcmLayout& layout, std::uint32_t volume) {
  const double left = (volume & 0xFFFF) / 65535.0;
  const double right = (volume >> 16) / 65535.0;
  if ((volume & 0xFFFF) == 0xFFFF && (layout.channels == 1 || (volume >> 16) == 0xFFFF)) return;
  const std::size_t width = layout.bits / 8;
  for (std::size_t at = 0, sample = 0; at + width <= bytes.size(); at += width, ++sample) {
    const std::size_t channel = sample % layout.channels;
    const double gain = channel == 1 ? right : left;
    if (width == 1) {
      bytes[at] = static_cast<std::uint8_t>(128 + std::lround((bytes[at] - 128) * gain));
    } else {
      auto s = static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8);
      auto scaled = static_cast<std::int16_t>(std::lround(s * gain));
      bytes[at] = static_cast<std::uint8_t>(scaled & 0xFF);
      bytes[at + 1] = static_cast<std::uint8_t>((scaled >> 8) & 0xFF);
    }
  }
}

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::optional<WaveOutFormat> PlaybackFormat(const WAVEFORMATEX& format) {
  WaveOutFormat result;
  if (format.wFormatTag == WAVE_FORMAT_MIDI) {
    if (format.cbSize < 8) return std::nullopt;
    // The caller's WAVEFORMATEX is the head of a WAVEFORMAT_MIDI.
    const auto& midi = reinterpret_cast<const WAVEFORMAT_MIDI&>(format);
    result.midi = true;
    result.usec_per_quarter = midi.USecPerQuarterNote;
    result.ticks_per_quarter = midi.TicksPerQuarterNote;
    result.layout = PcmLayout{22050, 1, 16};
    return result;
  }
  result.layout = PcmLayout{format.nSamplesPerSec, format.nChannels, format.wBitsPerSample};
  if (format.wFormatTag != WAVE_FORMAT_PCM || (result.layout.bits != 8 && result.layout.bits != 16) ||
      !result.layout.Valid() || format.nBlockAlign != result.layout.FrameBytes())
    return std::nullopt;
  return result;
}

QueuedWaveOutDevice::QueuedWaveOutDevice(const WaveOutCallbackTarget& target, const WaveOutFormat& format,
                                         std::unique_ptr<WaveOutSink> sink)
    : format_(format),
      sink_(std::move(sink)),
      callbacks_([target](std::uint32_t message, std::uintptr_t param1) {
        if (target.callback != nullptr) target.callback(target.handle, message, target.instance, param1, 0);
      }) {}

QueuedWaveOutDevice::~QueuedWaveOutDevice() {
  if (playback_thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      changed_.notify_all();
    }
    playback_thread_.join();
  }
  callbacks_.Shutdown();
}

void QueuedWaveOutDevice::Open() {
  playback_thread_ = std::thread(&QueuedWaveOutDevice::PlaybackLoop, this);
  callbacks_.Post(WOM_OPEN, 0);
}

bool QueuedWaveOutDevice::Queued(const WAVEHDR* header) const {
  return std::find(waiting_.begin(), waiting_.end(), header) != waiting_.end() ||
         std::any_of(sounding_.begin(), sounding_.end(), [&](const Sounding& s) { return s.header == header; });
}

MMRESULT QueuedWaveOutDevice::PrepareHeader(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  return PrepareWaveHeader(header, quit_);
}

MMRESULT QueuedWaveOutDevice::UnprepareHeader(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  return UnprepareWaveHeader(header, quit_, header != nullptr && Queued(header));
}

MMRESULT QueuedWaveOutDevice::Write(WAVEHDR* header) {
  std::lock_guard lock(mutex_);
  const MMRESULT checked = EnqueueWaveHeader(header, quit_, header != nullptr && Queued(header));
  if (checked != MMSYSERR_NOERROR) return checked;
  waiting_.push_back(header);
  changed_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT QueuedWaveOutDevice::SetVolume(std::uint32_t volume) {
  std::lock_guard lock(mutex_);
  if (quit_) return MMSYSERR_INVALHANDLE;
  volume_ = volume;
  return MMSYSERR_NOERROR;
}

MMRESULT QueuedWaveOutDevice::Reset() {
  std::unique_lock lock(mutex_);
  if (quit_) return MMSYSERR_INVALHANDLE;
  const std::uint64_t request = ++resets_requested_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return resets_done_ >= request; });
  // In the order they were written: the ones being heard first.
  std::vector<WAVEHDR*> returned;
  for (const Sounding& s : sounding_) returned.push_back(s.header);
  returned.insert(returned.end(), waiting_.begin(), waiting_.end());
  sounding_.clear();
  waiting_.clear();
  std::uint64_t last = 0;
  for (WAVEHDR* header : returned) last = ReturnBuffer(header);
  lock.unlock();
  if (last != 0) callbacks_.WaitDelivered(last);
  return MMSYSERR_NOERROR;
}

MMRESULT QueuedWaveOutDevice::Close() {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return MMSYSERR_INVALHANDLE;
    if (!waiting_.empty() || !sounding_.empty()) return WAVERR_STILLPLAYING;
    quit_ = true;
    changed_.notify_all();
  }
  if (playback_thread_.joinable()) playback_thread_.join();
  sink_.reset();
  callbacks_.Send(WOM_CLOSE, 0);
  callbacks_.Shutdown();
  return MMSYSERR_NOERROR;
}

std::uint64_t QueuedWaveOutDevice::ReturnBuffer(WAVEHDR* header) {
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  return callbacks_.Post(WOM_DONE, reinterpret_cast<std::uintptr_t>(header));
}

QueuedWaveOutDevice::Rendering QueuedWaveOutDevice::Render(WAVEHDR* header, std::uint32_t volume) const {
  Rendering rendering;
  rendering.header = header;
  if (format_.midi) {
    // 8-byte (delta ticks, message) pairs up to the all-zero pair.
    std::vector<MidiEvent> events;
    for (std::size_t at = 0; at + 8 <= header->dwBufferLength; at += 8) {
      const MidiEvent event{Le32(header->lpData + at), Le32(header->lpData + at + 4)};
      if (event.delta_ticks == 0 && event.message == 0) break;
      events.push_back(event);
    }
    const RenderedSound sound = RenderMidi(events, format_.usec_per_quarter, format_.ticks_per_quarter);
    rendering.layout = PcmLayout{sound.rate, sound.channels, 16};
    rendering.bytes.resize(sound.samples.size() * 2);
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
      const auto value = static_cast<std::uint16_t>(sound.samples[i]);
      rendering.bytes[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
      rendering.bytes[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    if (!rendering.layout.Valid()) rendering.bytes.clear();
  } else {
    rendering.layout = format_.layout;
    const std::size_t frame = format_.layout.FrameBytes();
    rendering.bytes.assign(header->lpData, header->lpData + header->dwBufferLength / frame * frame);
  }
  ApplyVolume(rendering.bytes, rendering.layout, volume);
  return rendering;
}

void QueuedWaveOutDevice::PlaybackLoop() {
  std::optional<Rendering> current;
  PcmLayout sink_layout = format_.layout;  // configured at open
  std::unique_lock lock(mutex_);
  for (;;) {
    if (resets_done_ != resets_requested_) {
      const std::uint64_t request = resets_requested_;
      current.reset();
      lock.unlock();
      sink_->Drop();
      lock.lock();
      resets_done_ = request;
      changed_.notify_all();
      continue;
    }
    if (quit_) break;
    const Clock::time_point now = Clock::now();
    while (!sounding_.empty() && sounding_.front().heard <= now) {
      Sounding done = std::move(sounding_.front());
      sounding_.pop_front();
      if (sink_->KeepsPlayed()) sink_->Played(done.layout, std::move(done.bytes));
      ReturnBuffer(done.header);
    }
    if (waiting_.empty()) {
      if (sounding_.empty()) {
        changed_.wait(lock);
      } else {
        changed_.wait_until(lock, sounding_.front().heard);
      }
      continue;
    }
    WAVEHDR* head = waiting_.front();
    if (!current || current->header != head) {
      const std::uint32_t volume = volume_;
      lock.unlock();
      Rendering rendering = Render(head, volume);
      lock.lock();
      current = std::move(rendering);
      continue;  // a reset may have come meanwhile
    }
    if (current->layout != sink_layout) {
      // A MIDI rendering in another layout: what sounds now is heard out first.
      if (!sounding_.empty()) {
        changed_.wait_until(lock, sounding_.front().heard);
        continue;
      }
      std::string error;
      MMRESULT result = MMSYSERR_NOERROR;
      lock.unlock();
      const bool configured = sink_->Configure(current->layout, &error, &result);
      lock.lock();
      if (configured) {
        sink_layout = current->layout;
      } else {
        current->bytes.clear();  // cannot be played: done at once
      }
      continue;
    }
    if (current->written < current->bytes.size()) {
      lock.unlock();
      const std::size_t taken =
          sink_->Write(std::span<const std::uint8_t>(current->bytes).subspan(current->written), kWriteSlice);
      lock.lock();
      if (resets_done_ != resets_requested_) continue;
      current->written += taken;
      if (current->written < current->bytes.size()) continue;
    }
    lock.unlock();
    const Clock::time_point heard = Clock::now() + sink_->Pending();
    lock.lock();
    if (resets_done_ != resets_requested_) continue;
    Sounding sounding{head, heard, current->layout, {}};
    if (sink_->KeepsPlayed()) sounding.bytes = std::move(current->bytes);
    sounding_.push_back(std::move(sounding));
    waiting_.pop_front();
    current.reset();
  }
}

}  // namespace platform::audio_internal
