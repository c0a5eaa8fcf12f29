// Walks arbitrary bytes as an Ogg Vorbis note, as the note player does before it
// plays: sync, pages, headers and audio packets of every chained stream, decoded
// to 16-bit samples. It must not crash, leak or read out of bounds, and a note it
// accepts has a usable format. Needs libogg and libvorbis at run time.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "audio/ogg_player.h"
#include "audio/vorbis_decoder_library.h"

namespace {

// Small enough that a hostile stream cannot make a run slow or exhaust memory.
constexpr std::size_t kFuzzSampleLimit = std::size_t{1} << 21;

const audio::VorbisDecoderLibrary& Library() {
  static const std::unique_ptr<audio::VorbisDecoderLibrary> library = [] {
    std::string error;
    auto loaded = audio::VorbisDecoderLibrary::Load(&error);
    if (!loaded) {
      std::fprintf(stderr, "cannot load the Vorbis decoder: %s\n", error.c_str());
      std::abort();
    }
    return loaded;
  }();
  return *library;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  audio::OggMemorySource source(std::span<const std::uint8_t>(data, size));
  const auto note = audio::DecodeOggVorbis(Library().api(), source, kFuzzSampleLimit);
  if (!note) return 0;
  if (note->channels <= 0 || note->rate <= 0 || note->pcm.size() > kFuzzSampleLimit) std::abort();
  return 0;
}
