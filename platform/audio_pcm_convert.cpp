#include "platform/audio_pcm_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::audio_internal {
namespace {

double DecodeSample(const std::uint8_t* p, std::uint16_t bits) {
  switch (bits) {
    case 8:
      return (static_cast<int>(p[0]) - 128) / 128.0;
    case 16:
      return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0;
    case 24: {
      std::int32_t v = p[0] | p[1] << 8 | p[2] << 16;
      if (v & 0x800000) v -= 0x1000000;
      return v / 8388608.0;
    }
    default: {
      std::uint32_t u = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
      return static_cast<std::int32_t>(u) / 2147483648.0;
    }
  }
}

void EncodeSample(double x, std::uint16_t bits, std::vector<std::uint8_t>& out) {
  const double scale = std::ldexp(1.0, bits - 1);
  double v = std::clamp(std::round(x * scale), -scale, scale - 1);
  auto n = static_cast<std::int64_t>(v);
  if (bits == 8) {
    out.push_back(static_cast<std::uint8_t>(n + 128));
    return;
  }
  for (int i = 0; i < bits / 8; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(n) >> (8 * i)));
}

}  // namespace

bool PcmLayout::Valid() const {
  return (bits == 8 || bits == 16 || bits == 24 || bits == 32) && channels >= 1 && channels <= 32 && rate >= 1 &&
         rate <= 1000000;
}

PcmConverter::PcmConverter(PcmLayout from, PcmLayout to)
    : from_(from),
      to_(to),
      identity_(from == to),
      previous_(to.channels),
      current_(to.channels),
      mixed_(to.channels) {}

void PcmConverter::Convert(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
  if (identity_) {
    out.insert(out.end(), in.begin(), in.end());
    return;
  }
  const std::size_t frame = from_.FrameBytes();
  if (!partial_.empty()) {
    std::size_t take = std::min(frame - partial_.size(), in.size());
    partial_.insert(partial_.end(), in.begin(), in.begin() + take);
    in = in.subspan(take);
    if (partial_.size() < frame) return;
    TakeFrame(partial_.data(), out);
    partial_.clear();
  }
  while (in.size() >= frame) {
    TakeFrame(in.data(), out);
    in = in.subspan(frame);
  }
  partial_.assign(in.begin(), in.end());
}

void PcmConverter::TakeFrame(const std::uint8_t* frame, std::vector<std::uint8_t>& out) {
  const std::size_t width = from_.bits / 8;
  if (to_.channels == 1) {
    double sum = 0;
    for (std::size_t c = 0; c < from_.channels; ++c) sum += DecodeSample(frame + c * width, from_.bits);
    current_[0] = sum / from_.channels;
  } else {
    for (std::size_t c = 0; c < to_.channels; ++c) {
      std::size_t source = std::min<std::size_t>(c, from_.channels - 1u);
      current_[c] = DecodeSample(frame + source * width, from_.bits);
    }
  }
  // Output frame k lies at input position k * from.rate / to.rate. With the new
  // frame at index i, every output frame before position i can be made from the
  // previous frame (index i - 1) and this one.
  const std::uint64_t i = frames_in_++;
  if (i > 0) {
    while (frames_out_ * from_.rate < i * to_.rate) {
      const std::uint64_t position = frames_out_ * from_.rate;
      const double fraction = static_cast<double>(position % to_.rate) / to_.rate;
      for (std::size_t c = 0; c < to_.channels; ++c)
        mixed_[c] = previous_[c] + (current_[c] - previous_[c]) * fraction;
      EmitFrame(mixed_.data(), out);
      ++frames_out_;
    }
  }
  previous_.swap(current_);
}

void PcmConverter::Flush(std::vector<std::uint8_t>& out) {
  if (identity_ || frames_in_ == 0) return;
  // Frames at the last input position exactly (and up to the next one) hold it.
  const std::uint64_t last = frames_in_ - 1;
  while (frames_out_ * from_.rate < frames_in_ * to_.rate && frames_out_ * from_.rate / to_.rate >= last) {
    EmitFrame(previous_.data(), out);
    ++frames_out_;
  }
  partial_.clear();
}

void PcmConverter::EmitFrame(const double* values, std::vector<std::uint8_t>& out) {
  for (std::size_t c = 0; c < to_.channels; ++c) EncodeSample(values[c], to_.bits, out);
}

}  // namespace platform::audio_internal
