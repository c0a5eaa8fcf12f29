#pragma once
// Opening an ALSA PCM for the wave devices: in the layout asked for when the
// device takes it, else in the nearest layout it takes (the caller converts).
// ALSA's own error messages are silenced; the wave devices print one line of
// their own instead.

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

#include "platform/audio_pcm_convert.h"

namespace platform::audio_internal {

struct AlsaPcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using AlsaPcm = std::unique_ptr<snd_pcm_t, AlsaPcmCloser>;

// Opens name (non-blocking, interleaved) in *layout or the nearest layout the
// device takes, written back to *layout. Capture devices are left prepared,
// playback devices start once a period is written. Nothing, with the ALSA error
// in *error (and its negative code in *code), when the device cannot be opened.
AlsaPcm OpenAlsaPcm(const std::string& name, snd_pcm_stream_t stream, PcmLayout* layout, std::string* error,
                    int* code);

// After an overrun, underrun or suspend: makes the device usable again. False
// when it stays broken.
bool RecoverAlsaPcm(snd_pcm_t* pcm, int error);

}  // namespace platform::audio_internal
