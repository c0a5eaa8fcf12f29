#pragma once
// Reading a Standard MIDI File cue into the (delta ticks, message) list that wave
// output's MIDI format takes.
//
// Only the first track is read. Delta times are one byte below 128, else two bytes
// giving (first & 127) * 128 + second. Meta events (0xFF type length data) and
// system exclusive events (0xF0/0xF7 length data) are skipped, their delta times
// carried over to the next message; a tempo meta event (0x51) sets the tempo, the
// last one wins. A status byte starts a message of two data bytes, one for program
// change and channel pressure (0xC0..0xDF): status | data1 << 8 | data2 << 16. A
// data byte without a status starts running data of as many bytes as the last
// status takes: data1 | data2 << 8.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/midi_synth.h"

namespace audio {

struct MidiCue {
  std::uint16_t track_count = 0;       // as the header says
  std::uint16_t division = 0;          // ticks per quarter note
  std::uint32_t usec_per_quarter = 0;  // 0 when the track has no tempo event
  std::vector<platform::MidiEvent> events;
};

// Parses the file's bytes (borrowed for the call). Nothing when the file does not
// begin with "MThd", its first track does not begin with "MTrk", or any part of the
// first track lies beyond the end of the file or is cut off inside an event.
std::optional<MidiCue> ParseMidiFile(std::span<const std::uint8_t> data);

}  // namespace audio
