#include "audio/wav_writer.h"

#include <cstring>

namespace audio {
namespace {

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::array<std::uint8_t, kWavHeaderSize> WavHeader(std::uint32_t data_length) {
  std::array<std::uint8_t, kWavHeaderSize> h{};
  std::memcpy(&h[0], "RIFF", 4);
  Put32(&h[4], data_length + 36);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  Put32(&h[16], 16);
  Put16(&h[20], 1);      // PCM
  Put16(&h[22], 1);      // channels
  Put32(&h[24], 11025);  // samples per second
  Put32(&h[28], 11025);  // bytes per second
  Put16(&h[32], 1);      // block align
  Put16(&h[34], 8);      // bits per sample
  std::memcpy(&h[36], "data", 4);
  Put32(&h[40], data_length);
  return h;
}

bool WriteWav(NoteSink& sink, std::span<const std::uint8_t> samples) {
  auto header = WavHeader(static_cast<std::uint32_t>(samples.size()));
  sink.Write(header);
  return sink.Write(samples);
}

}  // namespace audio
