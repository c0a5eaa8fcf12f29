#pragma once
// A scripted capture device for tests of the capture code's stop procedure: it
// produces on demand the faults a real sound card produces only by accident (a
// buffer that never comes free, a stop or reset that never returns, a refused
// open). While installed, WaveInOpen opens this device whatever
// DICTALO_AUDIO_INPUT says. Apart from the scripted faults it behaves like every
// capture device of wave_in.h (same queue, callback thread, reset and close).
//
// Everything here is process-wide; install, use and remove it from one test.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wave_audio.h"

namespace platform {

struct ScriptedWaveInBehaviour {
  // WaveInOpen answers this; anything but MMSYSERR_NOERROR opens nothing.
  MMRESULT open_result = MMSYSERR_NOERROR;
  // WaveInStart answers this; anything but MMSYSERR_NOERROR leaves capture off.
  MMRESULT start_result = MMSYSERR_NOERROR;
  // Captured bytes, poured into the queued buffers in order once capture runs
  // (2048 bytes fill one 2048-byte buffer, so N × 2048 bytes give N WIM_DATA).
  std::vector<std::uint8_t> sound;
  // Pace of the sound; 0 = as fast as buffers are queued.
  std::uint32_t bytes_per_second = 0;
  // After the sound: true = endless silence (byte 128) at the pace, false =
  // nothing (queued buffers stay queued, as with a stalled device).
  bool silence_after_sound = false;
  // WaveInUnprepareHeader answers WAVERR_STILLPLAYING every time.
  bool unprepare_always_busy = false;
  // These calls block until ReleaseScriptedWaveInFake or RemoveScriptedWaveInFake;
  // released, they do their normal work and return its result.
  bool hang_in_reset = false;
  bool hang_in_stop = false;
  bool hang_in_close = false;
};

// One call made to a scripted device (or to WaveInOpen while installed).
struct ScriptedWaveInCall {
  std::string operation;  // "Open", "PrepareHeader", "UnprepareHeader", "AddBuffer", "Start", "Stop", "Reset", "Close"
  std::chrono::steady_clock::time_point time;  // when the call was made
  const WAVEHDR* header = nullptr;             // for the header operations
  MMRESULT result = MMSYSERR_NOERROR;          // MMSYSERR_ERROR while still hanging
  bool returned = false;
};

void InstallScriptedWaveInFake(ScriptedWaveInBehaviour behaviour);
// Releases hung calls and uninstalls; devices already open stay usable (and no
// longer hang) until closed. The call record stays readable until the next install.
void RemoveScriptedWaveInFake();
// Lets every hung call go on; later calls no longer hang.
void ReleaseScriptedWaveInFake();
// Appends captured bytes after the scripted sound, for the open devices and later ones.
void PushScriptedWaveInSound(std::span<const std::uint8_t> bytes);

std::vector<ScriptedWaveInCall> ScriptedWaveInCalls();
// Calls of one operation (for one header when header is not null).
std::size_t ScriptedWaveInCallCount(std::string_view operation, const WAVEHDR* header = nullptr);
// True once some call is blocked in a scripted hang (waits up to timeout).
bool WaitForScriptedWaveInHang(std::chrono::milliseconds timeout);
// Scripted devices opened and not yet closed.
std::size_t ScriptedWaveInOpenDevices();

}  // namespace platform
