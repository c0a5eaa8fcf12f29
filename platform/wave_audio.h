#pragma once
// Types and codes shared by wave input and wave output, in the model of the
// handheld's multimedia API so that capture and playback code reads the same.

#include <cstdint>

namespace platform {

using MMRESULT = std::uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Device messages delivered to the callback.
inline constexpr std::uint32_t WOM_OPEN = 0x3BB;   // 955
inline constexpr std::uint32_t WOM_CLOSE = 0x3BC;  // 956
inline constexpr std::uint32_t WOM_DONE = 0x3BD;   // 957
inline constexpr std::uint32_t WIM_OPEN = 0x3BE;   // 958
inline constexpr std::uint32_t WIM_CLOSE = 0x3BF;  // 959
inline constexpr std::uint32_t WIM_DATA = 0x3C0;   // 960

inline constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFF;  // any device

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr std::uint16_t WAVE_FORMAT_MIDI = 0x3000;

// WAVEHDR flags.
inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

struct WAVEFORMATEX {
  std::uint16_t wFormatTag = WAVE_FORMAT_PCM;
  std::uint16_t nChannels = 1;
  std::uint32_t nSamplesPerSec = 11025;
  std::uint32_t nAvgBytesPerSec = 11025;
  std::uint16_t nBlockAlign = 1;
  std::uint16_t wBitsPerSample = 8;
  std::uint16_t cbSize = 0;  // bytes of format-specific data after the structure
};

// WAVEFORMAT_MIDI: the MIDI cue format (a WAVEFORMATEX with 10 extra bytes).
struct WAVEFORMAT_MIDI {
  WAVEFORMATEX wfx{WAVE_FORMAT_MIDI, 1, 32, 32, 8, 16, 10};
  std::uint32_t USecPerQuarterNote = 0;
  std::uint32_t TicksPerQuarterNote = 0;
};

// One buffer handed to a device. The caller owns lpData and the header; the device
// only borrows them between add/write and the done notification.
struct WAVEHDR {
  std::uint8_t* lpData = nullptr;
  std::uint32_t dwBufferLength = 0;
  std::uint32_t dwBytesRecorded = 0;
  std::uintptr_t dwUser = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwLoops = 0;
};

// Callback: (device handle, message, instance value, param1, param2). For
// WIM_DATA / WOM_DONE param1 is the WAVEHDR*. It runs on a thread of the device.
struct HWAVEIN__;
using HWAVEIN = HWAVEIN__*;
struct HWAVEOUT__;
using HWAVEOUT = HWAVEOUT__*;
using WaveInCallback = void (*)(HWAVEIN, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t param1,
                                std::uintptr_t param2);
using WaveOutCallback = void (*)(HWAVEOUT, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t param1,
                                 std::uintptr_t param2);

}  // namespace platform
