#pragma once
// The file capture device (DICTALO_AUDIO_INPUT=file:PATH): a PCM WAV file heard as
// if it were the microphone. The file is converted to the requested layout as it
// is read and handed out by the monotonic clock at the layout's byte rate; after
// its end the device goes on with silence at the same pace. A stop pauses the
// file; the next start goes on where it stopped.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/audio_pcm_convert.h"
#include "platform/wave_in_device.h"

namespace platform::audio_internal {

// Nothing, with a sentence for the user in *error, when the file is missing or is
// not a PCM WAV the reader takes.
std::unique_ptr<WaveInSource> OpenFileWaveInSource(const std::filesystem::path& path, const PcmLayout& layout,
                                                   std::string* error);

}  // namespace platform::audio_internal
