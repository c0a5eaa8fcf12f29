#pragma once
// The built-in tone synthesiser behind RenderMidi on machines without FluidSynth
// or a General MIDI sound font, and the MIDI timing both synthesisers share.
//
// Voices: a sine (with a little second harmonic) or, for organ, synth-lead and
// synth-pad programs, a soft square; each note has a 5 ms attack, falls to a
// sustain level and fades out over kToneSynthRelease seconds after its note-off.
// Channel 10 (index 9) plays every note as a short noise burst. Understood
// messages: note on/off, program change, pitch bend (two semitones), controllers 7
// (volume), 11 (expression), 120 and 123 (sound off, notes off); others are ignored.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/midi_synth.h"

namespace platform {

inline constexpr std::uint32_t kToneSynthRate = 22050;
// How long a released note takes to fade out; the sound ends this long after the
// last note-off (or the last event, when notes are still held then).
inline constexpr double kToneSynthRelease = 0.05;
// Length of one percussion burst.
inline constexpr double kToneSynthPercussion = 0.12;

// One channel message with its running data resolved and its time in seconds.
struct TimedMidiMessage {
  double seconds = 0;
  std::uint8_t status = 0;  // 0x80..0xEF
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
};

// Seconds per tick for a tempo (0: 500000 us per quarter) and a division (0: 96
// ticks per quarter; high bit set: SMPTE frames per second and ticks per frame,
// where the tempo does not matter).
double SecondsPerTick(std::uint32_t usec_per_quarter, std::uint32_t ticks_per_quarter);

// Times the events and resolves running data (a message whose low byte is below
// 128 carries data bytes for the last status). The list ends at an all-zero event.
// System messages and running data before any status are dropped.
std::vector<TimedMidiMessage> TimeMidiEvents(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                                             std::uint32_t ticks_per_quarter);

// Renders mono 16-bit samples at kToneSynthRate, at most max_seconds long.
RenderedSound RenderWithToneSynth(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                                  std::uint32_t ticks_per_quarter, double max_seconds);

}  // namespace platform
