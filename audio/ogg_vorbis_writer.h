#pragma once
// Ogg Vorbis notes: one logical stream, mono, 11025 Hz, variable bitrate at base
// quality 0.1, comment ENCODER=Dictalo. The samples are fed in chunks of 4096 and
// the notify window is sent UM_ENCODE_PROGRESS (done, total) synchronously: (0,
// total) before the first chunk, then after every chunk, so a status window on the
// same thread repaints between chunks.

#include <cstdint>
#include <span>

#include "audio/note_file.h"
#include "audio/note_sink.h"
#include "audio/vorbis_library.h"

namespace audio {

inline constexpr std::size_t kOggChunkSamples = 4096;
inline constexpr float kOggQuality = 0.1f;

enum class OggWriteStatus {
  kWritten,         // the whole stream is in the sink
  kEncoderRefused,  // vorbis_encode_init_vbr declined the format; nothing written
  kWriteFailed,     // a write failed (sink.error() says why); encoding was abandoned
};

// Encodes unsigned 8-bit samples into the sink with the given entry points (which
// must stay valid for the call). progress may be null (no reports).
OggWriteStatus WriteOggVorbis(NoteSink& sink, std::span<const std::uint8_t> samples, EncodeProgress* progress,
                              const VorbisEncoderApi& api);

}  // namespace audio
