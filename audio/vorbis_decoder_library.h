#pragma once
// The Ogg Vorbis decoder's entry points, loaded at run time like the encoder's
// (audio/vorbis_library.h): the program never links libogg or libvorbis. The files
// are libvorbis and libogg under the names VorbisLibraryFileNames() gives, so
// DICTALO_VORBIS_LIBS redirects the decoder as it does the encoder.

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <array>
#include <memory>
#include <string>

namespace audio {

#define DICTALO_VORBIS_DECODER_ENTRY_POINTS(X) \
  X(kOggFile, ogg_sync_init)                   \
  X(kOggFile, ogg_sync_buffer)                 \
  X(kOggFile, ogg_sync_wrote)                  \
  X(kOggFile, ogg_sync_pageout)                \
  X(kOggFile, ogg_sync_clear)                  \
  X(kOggFile, ogg_stream_init)                 \
  X(kOggFile, ogg_stream_pagein)               \
  X(kOggFile, ogg_stream_packetout)            \
  X(kOggFile, ogg_stream_clear)                \
  X(kOggFile, ogg_page_serialno)               \
  X(kOggFile, ogg_page_eos)                    \
  X(kVorbisFile, vorbis_info_init)             \
  X(kVorbisFile, vorbis_info_clear)            \
  X(kVorbisFile, vorbis_comment_init)          \
  X(kVorbisFile, vorbis_comment_clear)         \
  X(kVorbisFile, vorbis_synthesis_headerin)    \
  X(kVorbisFile, vorbis_synthesis_init)        \
  X(kVorbisFile, vorbis_synthesis)             \
  X(kVorbisFile, vorbis_synthesis_blockin)     \
  X(kVorbisFile, vorbis_synthesis_pcmout)      \
  X(kVorbisFile, vorbis_synthesis_read)        \
  X(kVorbisFile, vorbis_dsp_clear)             \
  X(kVorbisFile, vorbis_block_init)            \
  X(kVorbisFile, vorbis_block_clear)

#define DICTALO_VORBIS_DECODER_MEMBER(file, name) decltype(&::name) name = nullptr;

struct VorbisDecoderApi {
  DICTALO_VORBIS_DECODER_ENTRY_POINTS(DICTALO_VORBIS_DECODER_MEMBER)
};

// Owns the loaded libogg and libvorbis; unloads them on destruction. The entry
// points are valid while it lives.
class VorbisDecoderLibrary {
 public:
  ~VorbisDecoderLibrary();
  VorbisDecoderLibrary(const VorbisDecoderLibrary&) = delete;
  VorbisDecoderLibrary& operator=(const VorbisDecoderLibrary&) = delete;

  // Null when a file or an entry point is missing; *error (when given) says which.
  static std::unique_ptr<VorbisDecoderLibrary> Load(std::string* error = nullptr);

  const VorbisDecoderApi& api() const { return api_; }

 private:
  VorbisDecoderLibrary() = default;

  void* ogg_ = nullptr;
  void* vorbis_ = nullptr;
  VorbisDecoderApi api_;
};

}  // namespace audio
