#include "platform/wave_in_file.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio_wav_reader.h"

namespace platform::audio_internal {
namespace {

using Clock = std::chrono::steady_clock;

class FileWaveInSource : public WaveInSource {
 public:
  FileWaveInSource(const PcmLayout& layout, std::unique_ptr<WavReader> reader)
      : layout_(layout), reader_(std::move(reader)), converter_(reader_->layout(), layout) {}

  bool Begin() override {
    begin_time_ = Clock::now();
    frames_at_begin_ = frames_delivered_;
    return true;
  }
  void End() override {}

  std::size_t Read(std::span<std::uint8_t> out, std::chrono::milliseconds max_wait) override {
    const std::size_t frame = layout_.FrameBytes();
    const Clock::time_point deadline = Clock::now() + max_wait;
    std::uint64_t due = 0;
    for (;;) {
      due = FramesDue(Clock::now()) - frames_delivered_;
      if (due > 0) break;
      Clock::time_point next = TimeOfFrame(frames_delivered_ - frames_at_begin_ + 1);
      if (next > deadline) {
        std::this_thread::sleep_until(deadline);
        return 0;
      }
      std::this_thread::sleep_until(next);
    }
    const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(due, out.size() / frame));
    Fill(out.first(frames * frame));
    frames_delivered_ += frames;
    return frames * frame;
  }

 private:
  // Frames of the file that are due by now since the start, at the layout's rate.
  std::uint64_t FramesDue(Clock::time_point now) const {
    const auto ns = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now - begin_time_).count());
    const std::uint64_t rate = layout_.rate;
    return frames_at_begin_ + ns / 1'000'000'000 * rate + ns % 1'000'000'000 * rate / 1'000'000'000;
  }
  Clock::time_point TimeOfFrame(std::uint64_t frames_since_begin) const {
    const std::uint64_t rate = layout_.rate;
    const std::uint64_t ns =
        frames_since_begin / rate * 1'000'000'000 + (frames_since_begin % rate * 1'000'000'000 + rate - 1) / rate;
    return begin_time_ + std::chrono::nanoseconds(ns);
  }

  void Fill(std::span<std::uint8_t> out) {
    while (!out.empty()) {
      if (pending_offset_ == pending_.size()) Refill();
      if (pending_offset_ == pending_.size()) {
        std::memset(out.data(), layout_.SilenceByte(), out.size());
        return;
      }
      const std::size_t take = std::min(out.size(), pending_.size() - pending_offset_);
      std::memcpy(out.data(), pending_.data() + pending_offset_, take);
      pending_offset_ += take;
      out = out.subspan(take);
    }
  }

  void Refill() {
    pending_.clear();
    pending_offset_ = 0;
    while (pending_.empty() && !file_ended_) {
      std::uint8_t chunk[8192];
      const std::size_t got = reader_->Read(chunk);
      if (got == 0) {
        file_ended_ = true;
        converter_.Flush(pending_);
      } else {
        converter_.Convert(std::span<const std::uint8_t>(chunk, got), pending_);
      }
    }
  }

  const PcmLayout layout_;
  std::unique_ptr<WavReader> reader_;
  PcmConverter converter_;
  std::vector<std::uint8_t> pending_;  // converted, not yet handed out
  std::size_t pending_offset_ = 0;
  bool file_ended_ = false;
  Clock::time_point begin_time_;
  std::uint64_t frames_at_begin_ = 0;
  std::uint64_t frames_delivered_ = 0;
};

}  // namespace

std::unique_ptr<WaveInSource> OpenFileWaveInSource(const std::filesystem::path& path, const PcmLayout& layout,
                                                   std::string* error) {
  auto reader = std::make_unique<WavReader>();
  if (!reader->Open(path, error)) return nullptr;
  return std::make_unique<FileWaveInSource>(layout, std::move(reader));
}

}  // namespace platform::audio_internal
