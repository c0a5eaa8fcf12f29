#include "audio/vorbis_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

namespace audio {
namespace {

constexpr std::array<const char*, kVorbisLibraryFileCount> kDefaultFileNames = {
    "libvorbisenc.so.2", "libvorbis.so.0", "libogg.so.0"};

}  // namespace

std::array<std::string, kVorbisLibraryFileCount> VorbisLibraryFileNames() {
  std::array<std::string, kVorbisLibraryFileCount> names;
  for (int i = 0; i < kVorbisLibraryFileCount; ++i) names[i] = kDefaultFileNames[i];
  const char* value = std::getenv("DICTALO_VORBIS_LIBS");
  if (!value) return names;
  std::string_view rest = value;
  for (int i = 0; i < kVorbisLibraryFileCount; ++i) {
    std::size_t colon = rest.find(':');
    std::string_view field = rest.substr(0, colon);
    if (!field.empty()) names[i] = std::string(field);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return names;
}

VorbisLibrary::~VorbisLibrary() {
  // In the reverse order of loading: libvorbisenc uses libvorbis, which uses libogg.
  for (int i = 0; i < kVorbisLibraryFileCount; ++i) {
    if (handles_[i]) dlclose(handles_[i]);
  }
}

bool VorbisLibrary::Open(VorbisLibraryFile file, const std::string& name, std::string* error) {
  if (handles_[file]) return true;
  handles_[file] = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handles_[file]) return true;
  if (error) {
    const char* why = dlerror();
    *error = why ? why : name + ": cannot be loaded";
  }
  return false;
}

void* VorbisLibrary::FetchAddress(VorbisLibraryFile file, const char* name, std::string* error) {
  dlerror();
  void* address = dlsym(handles_[file], name);
  if (!address && error) {
    const char* why = dlerror();
    *error = why ? why : std::string(name) + ": not found";
  }
  return address;
}

template <typename F>
bool VorbisLibrary::Fetch(VorbisLibraryFile file, const char* name, F& slot, std::string* error) {
  void* address = FetchAddress(file, name, error);
  slot = reinterpret_cast<F>(address);
  return address != nullptr;
}

std::unique_ptr<VorbisLibrary> VorbisLibrary::LoadEncoder(std::string* error) {
  std::unique_ptr<VorbisLibrary> library(new VorbisLibrary());
  auto names = VorbisLibraryFileNames();
  // libogg first, so that each file finds what it depends on already loaded.
  for (VorbisLibraryFile file : {kOggFile, kVorbisFile, kVorbisEncFile}) {
    if (!library->Open(file, names[file], error)) return nullptr;
  }
#define DICTALO_VORBIS_FETCH(file, name) \
  if (!library->Fetch(file, #name, library->encoder_.name, error)) return nullptr;
  DICTALO_VORBIS_ENCODER_ENTRY_POINTS(DICTALO_VORBIS_FETCH)
#undef DICTALO_VORBIS_FETCH
  return library;
}

}  // namespace audio
