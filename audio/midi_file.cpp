#include "audio/midi_file.h"

namespace audio {
namespace {

constexpr std::uint32_t kHeaderChunk = 0x4D546864;  // "MThd"
constexpr std::uint32_t kTrackChunk = 0x4D54726B;   // "MTrk"
constexpr std::uint8_t kMeta = 0xFF;
constexpr std::uint8_t kMetaTempo = 0x51;

std::uint32_t Be32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) << 24 | static_cast<std::uint32_t>(d[at + 1]) << 16 |
         static_cast<std::uint32_t>(d[at + 2]) << 8 | d[at + 3];
}

std::uint16_t Be16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] << 8 | d[at + 1]);
}

std::size_t DataBytes(std::uint8_t status) { return (status >= 0xC0 && status <= 0xDF) ? 1 : 2; }

// Walks one track; every read is checked against the track's end.
bool ScanTrack(std::span<const std::uint8_t> track, MidiCue& cue) {
  std::size_t p = 0;
  std::uint32_t carried = 0;  // delta times of skipped events
  std::uint8_t last_status = 0;
  const std::size_t end = track.size();
  while (p < end) {
    std::uint32_t delta = track[p++];
    if (delta >= 128) {
      if (p >= end) return false;
      delta = (delta & 127) * 128 + track[p++];
    }
    if (p >= end) return false;
    const std::uint8_t first = track[p];
    if (first == kMeta) {
      if (end - p < 3) return false;
      const std::uint8_t type = track[p + 1];
      const std::size_t length = track[p + 2];
      if (end - p - 3 < length) return false;
      if (type == kMetaTempo && length >= 3) {
        cue.usec_per_quarter = static_cast<std::uint32_t>(track[p + 3]) << 16 |
                               static_cast<std::uint32_t>(track[p + 4]) << 8 | track[p + 5];
      }
      p += 3 + length;
      carried += delta;
      continue;
    }
    if (first == 0xF0 || first == 0xF7) {
      if (end - p < 2) return false;
      const std::size_t length = track[p + 1];
      if (end - p - 2 < length) return false;
      p += 2 + length;
      carried += delta;
      continue;
    }
    std::uint32_t message;
    if (first >= 128) {
      const std::size_t n = DataBytes(first);
      if (end - p - 1 < n) return false;
      message = first | static_cast<std::uint32_t>(track[p + 1]) << 8;
      if (n == 2) message |= static_cast<std::uint32_t>(track[p + 2]) << 16;
      p += 1 + n;
      last_status = first;
    } else {
      const std::size_t n = last_status ? DataBytes(last_status) : 2;
      if (end - p < n) return false;
      message = first;
      if (n == 2) message |= static_cast<std::uint32_t>(track[p + 1]) << 8;
      p += n;
    }
    cue.events.push_back({carried + delta, message});
    carried = 0;
  }
  return true;
}

}  // namespace

std::optional<MidiCue> ParseMidiFile(std::span<const std::uint8_t> data) {
  if (data.size() < 14 || Be32(data, 0) != kHeaderChunk) return std::nullopt;
  MidiCue cue;
  cue.track_count = Be16(data, 10);
  cue.division = Be16(data, 12);
  const std::uint32_t header_length = Be32(data, 4);
  if (header_length < 6 || header_length > data.size() - 8) return std::nullopt;
  const std::size_t track_at = 8 + static_cast<std::size_t>(header_length);
  if (data.size() - track_at < 8 || Be32(data, track_at) != kTrackChunk) return std::nullopt;
  const std::uint32_t track_length = Be32(data, track_at + 4);
  if (track_length > data.size() - track_at - 8) return std::nullopt;
  if (!ScanTrack(data.subspan(track_at + 8, track_length), cue)) return std::nullopt;
  return cue;
}

}  // namespace audio
