#pragma once
// The MIDI synthesiser behind wave output's MIDI format: renders a list of
// (delta ticks, message) pairs to 16-bit PCM. FluidSynth with a General MIDI sound
// font when both are installed (loaded at run time), else a small tone synthesiser
// of ours.

#include <cstdint>
#include <span>
#include <vector>

namespace platform {

struct MidiEvent {
  std::uint32_t delta_ticks = 0;
  std::uint32_t message = 0;  // status in the low byte, then data 1, data 2
};

struct RenderedSound {
  std::uint32_t rate = 22050;
  std::uint16_t channels = 1;
  std::vector<std::int16_t> samples;  // interleaved
};

// usec_per_quarter 0 means the MIDI default of 500000 (120 beats per minute);
// ticks_per_quarter 0 is taken as 96. Rendering stops after max_seconds.
RenderedSound RenderMidi(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                         std::uint32_t ticks_per_quarter, double max_seconds = 10.0);

}  // namespace platform
