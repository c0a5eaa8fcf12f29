#include "platform/wave_out_alsa.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/alsa_pcm.h"

namespace platform::audio_internal {
namespace {

class AlsaWaveOutSink : public WaveOutSink {
 public:
  explicit AlsaWaveOutSink(std::string name) : name_(std::move(name)) {}

  bool Configure(const PcmLayout& layout, std::string* error, MMRESULT* result) override {
    if (pcm_ && layout == layout_) return true;
    pcm_.reset();
    converter_.reset();
    converted_.clear();
    converted_offset_ = 0;
    PcmLayout device = layout;
    int code = 0;
    pcm_ = OpenAlsaPcm(name_, SND_PCM_STREAM_PLAYBACK, &device, error, &code);
    if (!pcm_) {
      *result = code == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
      return false;
    }
    layout_ = layout;
    device_ = device;
    if (device_ != layout_) converter_.emplace(layout_, device_);
    return true;
  }

  std::size_t Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds max_wait) override {
    if (!converter_) return WriteDevice(bytes, max_wait);
    // Converted sound waits here until the device takes it; new input only when
    // all of it has gone.
    if (converted_offset_ < converted_.size()) {
      converted_offset_ += WriteDevice(std::span(converted_).subspan(converted_offset_), max_wait);
      return 0;
    }
    converted_.clear();
    converted_offset_ = 0;
    const std::size_t take = std::min<std::size_t>(bytes.size(), layout_.FrameBytes() * 4096);
    converter_->Convert(bytes.first(take), converted_);
    return take;
  }

  std::chrono::nanoseconds Pending() override {
    snd_pcm_t* pcm = pcm_.get();
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);  // less than the start threshold
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm, &delay) < 0 || delay < 0) delay = 0;
    const std::uint64_t frames = static_cast<std::uint64_t>(delay) + (converted_.size() - converted_offset_) / device_.FrameBytes();
    return std::chrono::nanoseconds(frames * 1'000'000'000ull / device_.rate);
  }

  void Drop() override {
    converted_.clear();
    converted_offset_ = 0;
    if (converter_) converter_.emplace(layout_, device_);
    snd_pcm_drop(pcm_.get());
    snd_pcm_prepare(pcm_.get());
  }

 private:
  std::size_t WriteDevice(std::span<const std::uint8_t> bytes, std::chrono::milliseconds max_wait) {
    snd_pcm_t* pcm = pcm_.get();
    const std::size_t frame = device_.FrameBytes();
    if (bytes.size() < frame) return bytes.size();  // a part of a frame cannot be played
    for (int attempt = 0; attempt < 2; ++attempt) {
      snd_pcm_sframes_t written = snd_pcm_writei(pcm, bytes.data(), bytes.size() / frame);
      if (written > 0) return static_cast<std::size_t>(written) * frame;
      if (written == -EAGAIN || written == 0) {
        int ready = snd_pcm_wait(pcm, static_cast<int>(max_wait.count()));
        if (ready > 0) continue;
        if (ready == 0) return 0;
        written = ready;
      }
      // An underrun after a pause between buffers, or a suspend: go on. A device
      // that is gone (the sound server ended) loses the sound instead of keeping
      // the caller waiting for a buffer that can never be played.
      if (!RecoverAlsaPcm(pcm, static_cast<int>(written))) return bytes.size() / frame * frame;
    }
    return 0;
  }

  const std::string name_;
  AlsaPcm pcm_;
  PcmLayout layout_;
  PcmLayout device_;
  std::optional<PcmConverter> converter_;
  std::vector<std::uint8_t> converted_;
  std::size_t converted_offset_ = 0;
};

}  // namespace

std::unique_ptr<WaveOutSink> MakeAlsaWaveOutSink(const std::string& name) {
  return std::make_unique<AlsaWaveOutSink>(name);
}

}  // namespace platform::audio_internal
