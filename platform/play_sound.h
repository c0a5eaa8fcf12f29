#pragma once
// PlaySound: plays a WAV file through wave output.

#include <cstdint>
#include <filesystem>

namespace platform {

inline constexpr std::uint32_t SND_SYNC = 0x0000;
inline constexpr std::uint32_t SND_ASYNC = 0x0001;
inline constexpr std::uint32_t SND_FILENAME = 0x20000;

// Plays a WAV file (8- or 16-bit PCM; 24- and 32-bit ones are narrowed to 16).
// Any sound still playing asynchronously is stopped first. SND_ASYNC returns at once and the sound
// plays on a thread of the sound system (a new asynchronous sound stops the one
// before); otherwise the call returns when the sound has finished. False when the
// file cannot be read or no device plays it.
bool PlaySound(const std::filesystem::path& file, std::uint32_t flags);

// Stops an asynchronous sound and waits for its thread (called at exit, too).
void StopSound();

}  // namespace platform
