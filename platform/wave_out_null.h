#pragma once
// The null output device (DICTALO_AUDIO_OUTPUT=null): takes any sound and
// "plays" it into nowhere in real time, so that callers wait as long as with a
// sound card (machines without sound, and tests).
//
// Test hook: it can keep what it played, buffer by buffer, after the volume and
// the MIDI rendering, for a test to read back.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

struct NullOutputSound {
  std::uint32_t rate = 0;
  std::uint16_t channels = 0;
  std::uint16_t bits = 0;
  std::vector<std::uint8_t> bytes;
  std::chrono::steady_clock::time_point heard;  // when it had been played to its end
};

// Keeps the last `count` buffers the null device plays from now on (0, the
// default, keeps nothing, so that a machine without sound does not hold every
// played note in memory). Forgets what was kept before.
void KeepNullOutputSounds(std::size_t count);
// What was kept, oldest first.
std::vector<NullOutputSound> NullOutputSounds();

}  // namespace platform
