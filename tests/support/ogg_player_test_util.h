#pragma once
// Test helpers for playback: WAV files made in the test, and Ogg Vorbis files made
// from them by oggenc (vorbis-tools), the independent encoder.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_environment.h"

namespace audio::test {

// A 16-bit PCM WAV; sample(frame, channel) gives values in -1..1.
inline std::string WavBytes(std::uint32_t rate, std::uint16_t channels, double seconds,
                            const std::function<double(std::size_t, int)>& sample) {
  const auto frames = static_cast<std::size_t>(std::llround(seconds * rate));
  std::string data;
  for (std::size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      const auto v = static_cast<std::int16_t>(std::lrint(std::clamp(sample(i, c), -1.0, 1.0) * 32767));
      data.push_back(static_cast<char>(v & 0xFF));
      data.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
  }
  auto u32 = [](std::uint32_t v) {
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
  };
  auto u16 = [](std::uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
  const std::uint16_t align = static_cast<std::uint16_t>(channels * 2);
  return "RIFF" + u32(static_cast<std::uint32_t>(36 + data.size())) + "WAVE" + "fmt " + u32(16) + u16(1) +
         u16(channels) + u32(rate) + u32(rate * align) + u16(align) + u16(16) + "data" +
         u32(static_cast<std::uint32_t>(data.size())) + data;
}

inline std::function<double(std::size_t, int)> Sine(double frequency, std::uint32_t rate, double amplitude = 0.5) {
  return [=](std::size_t i, int) { return amplitude * std::sin(2 * M_PI * frequency * static_cast<double>(i) / rate); };
}

// Encodes wav into ogg with oggenc at quality 0.1, as the recorder does. False
// when oggenc fails.
inline bool OggEnc(const std::filesystem::path& wav, const std::filesystem::path& ogg) {
  const std::string command = "oggenc -Q -q 0.1 -o '" + ogg.string() + "' '" + wav.string() + "'";
  return std::system(command.c_str()) == 0;
}

// A WAV made with sample() and its Ogg Vorbis encoding, in folder; the Ogg bytes.
inline std::string MakeOgg(const std::filesystem::path& folder, const std::string& stem, std::uint32_t rate,
                           std::uint16_t channels, double seconds,
                           const std::function<double(std::size_t, int)>& sample) {
  const auto wav = folder / (stem + ".wav");
  const auto ogg = folder / (stem + ".ogg");
  testing_support::WriteFileBytes(wav, WavBytes(rate, channels, seconds, sample));
  if (!OggEnc(wav, ogg)) return {};
  return testing_support::ReadFileBytes(ogg);
}

inline std::vector<std::uint8_t> ToBytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace audio::test
