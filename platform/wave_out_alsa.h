#pragma once
// The ALSA output device (DICTALO_AUDIO_OUTPUT unset, "alsa" or "alsa:NAME").
// A device that cannot play a layout exactly plays it converted to its nearest.

#include <memory>
#include <string>

#include "platform/wave_out_device.h"

namespace platform::audio_internal {

std::unique_ptr<WaveOutSink> MakeAlsaWaveOutSink(const std::string& name);

}  // namespace platform::audio_internal
