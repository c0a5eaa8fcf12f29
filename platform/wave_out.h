#pragma once
// Wave output, in the model of the handheld's waveOut API, over ALSA
// (DICTALO_AUDIO_OUTPUT: unset/"alsa" = "default", "alsa:NAME", or "null" for a
// device that accepts everything and plays it in real time into nowhere, for
// machines without sound).
//
// Formats: 8- and 16-bit PCM, any channel count and rate the device takes, and
// WAVE_FORMAT_MIDI (a WAVEFORMAT_MIDI; the buffer holds 8-byte (delta ticks,
// message) pairs ending with an all-zero pair), rendered by the MIDI synthesiser.
// A written buffer comes back as WOM_DONE on the device's callback thread once it
// has been played.
//
// Also: WaveOutOpen sends WOM_OPEN, WaveOutClose WOM_CLOSE before it returns.
// WaveOutUnprepareHeader and WaveOutClose answer WAVERR_STILLPLAYING while
// written buffers are not yet done. WaveOutReset stops at once and hands every
// written buffer back (WOM_DONE) before it returns. The volume scales the
// samples of buffers written after it is set; the caller's buffer is not changed.
// Open failures print one line on stderr. wave_out_null.h has the null device's
// test hook.

#include <cstdint>

#include "platform/wave_audio.h"

namespace platform {

// The number of output devices (device ids 0 .. count-1).
std::uint32_t WaveOutGetNumDevs();
MMRESULT WaveOutOpen(HWAVEOUT* device, std::uint32_t device_id, const WAVEFORMATEX* format,
                     WaveOutCallback callback, std::uintptr_t instance);
MMRESULT WaveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header);
MMRESULT WaveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header);
MMRESULT WaveOutWrite(HWAVEOUT device, WAVEHDR* header);
// Volume: low word left, high word right, 0xFFFF = full.
MMRESULT WaveOutSetVolume(HWAVEOUT device, std::uint32_t volume);
MMRESULT WaveOutReset(HWAVEOUT device);
MMRESULT WaveOutClose(HWAVEOUT device);

}  // namespace platform
