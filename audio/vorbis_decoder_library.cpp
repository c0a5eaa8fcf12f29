#include "audio/vorbis_decoder_library.h"

#include <dlfcn.h>

#include "audio/vorbis_library.h"

namespace audio {
namespace {

void* OpenFile(const std::string& name, std::string* error) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && error) {
    const char* why = dlerror();
    *error = why ? why : name + ": cannot be loaded";
  }
  return handle;
}

template <typename F>
bool Fetch(void* handle, const char* name, F& slot, std::string* error) {
  dlerror();
  void* address = dlsym(handle, name);
  if (!address) {
    if (error) {
      const char* why = dlerror();
      *error = why ? why : std::string(name) + ": not found";
    }
    return false;
  }
  slot = reinterpret_cast<F>(address);
  return true;
}

}  // namespace

VorbisDecoderLibrary::~VorbisDecoderLibrary() {
  // libvorbis uses libogg: unload it first.
  if (vorbis_) dlclose(vorbis_);
  if (ogg_) dlclose(ogg_);
}

std::unique_ptr<VorbisDecoderLibrary> VorbisDecoderLibrary::Load(std::string* error) {
  std::unique_ptr<VorbisDecoderLibrary> library(new VorbisDecoderLibrary());
  const auto names = VorbisLibraryFileNames();
  library->ogg_ = OpenFile(names[kOggFile], error);
  if (!library->ogg_) return nullptr;
  library->vorbis_ = OpenFile(names[kVorbisFile], error);
  if (!library->vorbis_) return nullptr;
  void* const handles[kVorbisLibraryFileCount] = {nullptr, library->vorbis_, library->ogg_};
#define DICTALO_VORBIS_DECODER_FETCH(file, name) \
  if (!Fetch(handles[file], #name, library->api_.name, error)) return nullptr;
  DICTALO_VORBIS_DECODER_ENTRY_POINTS(DICTALO_VORBIS_DECODER_FETCH)
#undef DICTALO_VORBIS_DECODER_FETCH
  return library;
}

}  // namespace audio
