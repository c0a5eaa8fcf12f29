#include "platform/wave_in_alsa.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "platform/alsa_pcm.h"

namespace platform::audio_internal {
namespace {

class AlsaWaveInSource : public WaveInSource {
 public:
  AlsaWaveInSource(AlsaPcm pcm, const PcmLayout& wanted, const PcmLayout& device)
      : pcm_(std::move(pcm)), wanted_(wanted), device_(device) {}

  bool Begin() override {
    if (wanted_ != device_) converter_.emplace(device_, wanted_);
    pending_.clear();
    snd_pcm_state_t state = snd_pcm_state(pcm_.get());
    if (state != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_.get()) < 0) return false;
    return snd_pcm_start(pcm_.get()) == 0;
  }

  void End() override { snd_pcm_drop(pcm_.get()); }

  std::size_t Read(std::span<std::uint8_t> out, std::chrono::milliseconds max_wait) override {
    const std::size_t frame = wanted_.FrameBytes();
    if (!converter_) return ReadDevice(out, max_wait);
    if (pending_.empty()) {
      raw_.resize(device_.FrameBytes() * std::max<std::size_t>(1, out.size() / frame));
      const std::size_t got = ReadDevice(raw_, max_wait);
      converter_->Convert(std::span(raw_).first(got), pending_);
    }
    const std::size_t take = std::min(out.size(), pending_.size()) / frame * frame;
    std::memcpy(out.data(), pending_.data(), take);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
    return take;
  }

 private:
  // Bytes in the device's layout; waits at most max_wait for the first ones.
  std::size_t ReadDevice(std::span<std::uint8_t> out, std::chrono::milliseconds max_wait) {
    snd_pcm_t* pcm = pcm_.get();
    const std::size_t frame = device_.FrameBytes();
    int ready = snd_pcm_wait(pcm, static_cast<int>(max_wait.count()));
    if (ready < 0) {
      Recover(ready, max_wait);
      return 0;
    }
    snd_pcm_sframes_t frames = snd_pcm_readi(pcm, out.data(), out.size() / frame);
    if (frames == -EAGAIN || frames == 0) return 0;
    if (frames < 0) {
      Recover(static_cast<int>(frames), max_wait);
      return 0;
    }
    return static_cast<std::size_t>(frames) * frame;
  }

  // An overrun (the callback fell behind) loses that sound and goes on; a device
  // that stays broken is not hammered: the capture thread waits between tries.
  void Recover(int error, std::chrono::milliseconds max_wait) {
    if (RecoverAlsaPcm(pcm_.get(), error) && snd_pcm_start(pcm_.get()) == 0) return;
    std::this_thread::sleep_for(max_wait);
  }

  AlsaPcm pcm_;
  const PcmLayout wanted_;
  const PcmLayout device_;
  std::optional<PcmConverter> converter_;
  std::vector<std::uint8_t> raw_;
  std::vector<std::uint8_t> pending_;
};

}  // namespace

std::unique_ptr<WaveInSource> OpenAlsaWaveInSource(const std::string& name, const PcmLayout& layout,
                                                   std::string* error, MMRESULT* result) {
  PcmLayout device = layout;
  int code = 0;
  AlsaPcm pcm = OpenAlsaPcm(name, SND_PCM_STREAM_CAPTURE, &device, error, &code);
  if (!pcm) {
    *result = code == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
    return nullptr;
  }
  return std::make_unique<AlsaWaveInSource>(std::move(pcm), layout, device);
}

}  // namespace platform::audio_internal
