#include "platform/wave_out_null.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/wave_out_null_sink.h"

namespace platform {
namespace {

std::mutex kept_mutex;
std::size_t keep_count = 0;
std::deque<NullOutputSound> kept;

}  // namespace

void KeepNullOutputSounds(std::size_t count) {
  std::lock_guard lock(kept_mutex);
  keep_count = count;
  kept.clear();
}

std::vector<NullOutputSound> NullOutputSounds() {
  std::lock_guard lock(kept_mutex);
  return {kept.begin(), kept.end()};
}

namespace audio_internal {
namespace {

using Clock = std::chrono::steady_clock;

// How far ahead of the clock the null device takes sound, like a sound card's buffer.
constexpr std::chrono::milliseconds kAhead{200};

class NullWaveOutSink : public WaveOutSink {
 public:
  bool Configure(const PcmLayout& layout, std::string*, MMRESULT*) override {
    layout_ = layout;
    return true;
  }

  std::size_t Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds max_wait) override {
    Clock::time_point now = Clock::now();
    if (end_ < now) end_ = now;
    if (end_ - now >= kAhead) {
      std::this_thread::sleep_until(std::min(now + max_wait, end_ - kAhead + std::chrono::milliseconds(1)));
      now = Clock::now();
      if (end_ - now >= kAhead) return 0;
    }
    const auto room = std::chrono::duration_cast<std::chrono::nanoseconds>(kAhead - (end_ - now));
    const std::uint64_t frames_room = static_cast<std::uint64_t>(room.count()) * layout_.rate / 1'000'000'000 + 1;
    const std::size_t frames =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() / layout_.FrameBytes(), frames_room));
    end_ += std::chrono::nanoseconds(frames * 1'000'000'000ull / layout_.rate);
    return frames * layout_.FrameBytes();
  }

  std::chrono::nanoseconds Pending() override {
    const Clock::time_point now = Clock::now();
    return end_ > now ? end_ - now : std::chrono::nanoseconds(0);
  }

  void Drop() override { end_ = Clock::now(); }

  bool KeepsPlayed() const override {
    std::lock_guard lock(kept_mutex);
    return keep_count > 0;
  }

  void Played(const PcmLayout& layout, std::vector<std::uint8_t> bytes) override {
    std::lock_guard lock(kept_mutex);
    if (keep_count == 0) return;
    kept.push_back({layout.rate, layout.channels, layout.bits, std::move(bytes), Clock::now()});
    while (kept.size() > keep_count) kept.pop_front();
  }

 private:
  PcmLayout layout_;
  Clock::time_point end_;  // when what was taken so far has been heard
};

}  // namespace

std::unique_ptr<WaveOutSink> MakeNullWaveOutSink() { return std::make_unique<NullWaveOutSink>(); }

}  // namespace audio_internal
}  // namespace platform
