#pragma once
// Conversion between PCM layouts: sample width, channel count and rate. Used where
// a source does not deliver the format a caller asked for (a WAV file played as
// the microphone, a sound card that cannot capture 8-bit mono 11025 Hz).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform::audio_internal {

// Interleaved little-endian PCM: 8-bit samples are unsigned (128 = silence),
// 16-, 24- and 32-bit samples are signed.
struct PcmLayout {
  std::uint32_t rate = 11025;
  std::uint16_t channels = 1;
  std::uint16_t bits = 8;

  std::size_t FrameBytes() const { return std::size_t{channels} * (bits / 8); }
  std::uint64_t BytesPerSecond() const { return std::uint64_t{rate} * FrameBytes(); }
  // 8, 16, 24 or 32 bits, 1 to 32 channels, 1 Hz to 1 MHz.
  bool Valid() const;
  std::uint8_t SilenceByte() const { return bits == 8 ? 128 : 0; }
  bool operator==(const PcmLayout&) const = default;
};

// A streaming converter: input may be split anywhere, even inside a frame; the
// part of a frame and the resampler's last frame carry over to the next call.
// Channels: to mono, all input channels are averaged; from mono, the channel is
// copied to every output channel; otherwise output channel c takes input channel
// c (the last input channel when there are fewer). Rate: linear interpolation
// between neighbouring input frames. Width: rounded to the nearest step, clamped.
class PcmConverter {
 public:
  PcmConverter(PcmLayout from, PcmLayout to);

  const PcmLayout& from() const { return from_; }
  const PcmLayout& to() const { return to_; }

  // Appends the output for in to out.
  void Convert(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out);
  // At the end of the input: appends the output frames that fall on the last
  // input frame (which Convert holds back until it knows the next one).
  void Flush(std::vector<std::uint8_t>& out);

 private:
  void TakeFrame(const std::uint8_t* frame, std::vector<std::uint8_t>& out);
  void EmitFrame(const double* values, std::vector<std::uint8_t>& out);

  PcmLayout from_;
  PcmLayout to_;
  bool identity_;
  std::vector<std::uint8_t> partial_;  // bytes of an incomplete input frame
  std::vector<double> previous_;       // the last input frame, as output channels
  std::vector<double> current_;
  std::vector<double> mixed_;
  std::uint64_t frames_in_ = 0;   // input frames taken so far
  std::uint64_t frames_out_ = 0;  // output frames produced so far
};

}  // namespace platform::audio_internal
