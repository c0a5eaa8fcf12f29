#pragma once
// Wave input: the capture device, in the model of the handheld's waveIn API.
//
// The device is chosen by DICTALO_AUDIO_INPUT:
//   unset, "alsa"        ALSA's "default" device (PipeWire or PulseAudio on a desktop)
//   "alsa:NAME"          another ALSA device
//   "file:PATH"          a PCM WAV file of any rate, width and channel count, converted
//                        to the requested format and delivered at real-time pace as if
//                        it were the microphone, then silence
// Tests may install a scripted device instead (wave_in_scripted_fake.h).
//
// Semantics the capture code relies on:
// - Buffers added with WaveInAddBuffer are filled in order; each full buffer comes
//   back through the callback as WIM_DATA (param1 = the WAVEHDR*, dwBytesRecorded
//   set, WHDR_DONE set, WHDR_INQUEUE cleared) on the device's own callback thread.
// - WaveInReset stops capture and returns every queued buffer with WIM_DATA (the
//   recorded part, possibly 0 bytes) before it returns.
// - WaveInUnprepareHeader answers WAVERR_STILLPLAYING while the buffer is queued.
// - WaveInClose answers WAVERR_STILLPLAYING while buffers are queued; on success it
//   sends WIM_CLOSE through the callback before it returns, and the handle is gone.
// - The callback must not call back into the device except WaveInAddBuffer.
//   (WaveInClose from the callback answers WAVERR_STILLPLAYING while buffers are
//   queued; with none it closes, and WIM_CLOSE follows once that callback returns.)
// - WaveInOpen sends WIM_OPEN through the callback. WaveInStop hands back the
//   buffer being filled (if it holds anything) and leaves the empty ones queued;
//   WaveInStart after it resumes capture (the file device where its file stopped).
// - Sound that arrives while no buffer is queued is lost, as from a microphone.
// - Open failures print one line on stderr saying which device and why.

#include <cstdint>

#include "platform/wave_audio.h"

namespace platform {

MMRESULT WaveInOpen(HWAVEIN* device, std::uint32_t device_id, const WAVEFORMATEX* format, WaveInCallback callback,
                    std::uintptr_t instance);
MMRESULT WaveInPrepareHeader(HWAVEIN device, WAVEHDR* header);
MMRESULT WaveInUnprepareHeader(HWAVEIN device, WAVEHDR* header);
MMRESULT WaveInAddBuffer(HWAVEIN device, WAVEHDR* header);
MMRESULT WaveInStart(HWAVEIN device);
MMRESULT WaveInStop(HWAVEIN device);
MMRESULT WaveInReset(HWAVEIN device);
MMRESULT WaveInClose(HWAVEIN device);

}  // namespace platform
