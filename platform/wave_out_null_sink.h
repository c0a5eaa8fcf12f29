#pragma once
// The null output device's sink (see wave_out_null.h).

#include <memory>

#include "platform/wave_out_device.h"

namespace platform::audio_internal {

std::unique_ptr<WaveOutSink> MakeNullWaveOutSink();

}  // namespace platform::audio_internal
