#pragma once
// The ALSA capture device (DICTALO_AUDIO_INPUT unset, "alsa" or "alsa:NAME"):
// ALSA's "default" reaches PipeWire or PulseAudio on a desktop. A device that
// cannot capture the requested layout exactly is read in its nearest layout and
// converted.

#include <memory>
#include <string>

#include "platform/audio_pcm_convert.h"
#include "platform/wave_audio.h"
#include "platform/wave_in_device.h"

namespace platform::audio_internal {

// Nothing, with a sentence for the user in *error and the wave code in *result
// (MMSYSERR_ALLOCATED for a busy device, else MMSYSERR_NODRIVER), when the
// device cannot be opened.
std::unique_ptr<WaveInSource> OpenAlsaWaveInSource(const std::string& name, const PcmLayout& layout,
                                                   std::string* error, MMRESULT* result);

}  // namespace platform::audio_internal
