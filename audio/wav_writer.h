#pragma once
// Plain WAV notes: the 44-byte RIFF header of 8-bit mono PCM at 11025 Hz,
// followed by the samples exactly as captured.

#include <array>
#include <cstdint>
#include <span>

#include "audio/note_sink.h"

namespace audio {

inline constexpr std::size_t kWavHeaderSize = 44;

// The header for data_length bytes of samples (little-endian throughout).
std::array<std::uint8_t, kWavHeaderSize> WavHeader(std::uint32_t data_length);

// Writes header and samples. False when a write failed (sink.error() says why).
bool WriteWav(NoteSink& sink, std::span<const std::uint8_t> samples);

}  // namespace audio
