// Reads arbitrary bytes as a MIDI cue file, then renders what it read with the
// tone synthesiser for a moment: neither may crash or read out of bounds, and the
// parser never yields more messages than the track has room for.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/midi_file.h"
#include "platform/tone_synth.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto cue = audio::ParseMidiFile(std::span<const std::uint8_t>(data, size));
  if (!cue) return 0;
  // Every message takes at least two bytes of the track (a delta and a data byte).
  if (cue->events.size() * 2 > size) std::abort();
  const platform::RenderedSound sound =
      platform::RenderWithToneSynth(cue->events, cue->usec_per_quarter, cue->division, 0.2);
  if (sound.samples.size() > static_cast<std::size_t>(0.2 * platform::kToneSynthRate)) std::abort();
  return 0;
}
