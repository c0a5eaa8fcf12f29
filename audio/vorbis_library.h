#pragma once
// The Ogg Vorbis libraries, loaded at run time: the program never links them, so
// a machine without them still records (the note writer then leaves an empty
// file). Each entry point is fetched by its public name from the library file
// that defines it and called through a pointer of its published type.
//
// Library files: libvorbisenc.so.2, libvorbis.so.0, libogg.so.0. DICTALO_VORBIS_LIBS
// replaces them: up to three names or paths separated by ':', in that order; an
// empty field keeps the default (":/nowhere/libvorbis.so:" replaces only libvorbis).
//
// Adding entry points: add a line X(file, name) to a list below; the member of the
// Api struct and its fetch follow from it. A new set of entry points (the decoder)
// gets a list, an Api struct made with DICTALO_VORBIS_DECLARE_MEMBER, and a Load
// function that opens the files it needs and fetches its list (see LoadEncoder).

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

#include <array>
#include <memory>
#include <string>

namespace audio {

enum VorbisLibraryFile : int { kVorbisEncFile = 0, kVorbisFile = 1, kOggFile = 2, kVorbisLibraryFileCount = 3 };

// The file names in use: the defaults, or DICTALO_VORBIS_LIBS read at each load.
std::array<std::string, kVorbisLibraryFileCount> VorbisLibraryFileNames();

#define DICTALO_VORBIS_ENCODER_ENTRY_POINTS(X)  \
  X(kVorbisFile, vorbis_info_init)              \
  X(kVorbisFile, vorbis_info_clear)             \
  X(kVorbisEncFile, vorbis_encode_init_vbr)     \
  X(kVorbisFile, vorbis_comment_init)           \
  X(kVorbisFile, vorbis_comment_clear)          \
  X(kVorbisFile, vorbis_comment_add_tag)        \
  X(kVorbisFile, vorbis_analysis_init)          \
  X(kVorbisFile, vorbis_analysis_headerout)     \
  X(kVorbisFile, vorbis_analysis_wrote)         \
  X(kVorbisFile, vorbis_analysis_buffer)        \
  X(kVorbisFile, vorbis_analysis_blockout)      \
  X(kVorbisFile, vorbis_analysis)               \
  X(kVorbisFile, vorbis_dsp_clear)              \
  X(kVorbisFile, vorbis_block_init)             \
  X(kVorbisFile, vorbis_block_clear)            \
  X(kOggFile, ogg_stream_init)                  \
  X(kOggFile, ogg_stream_clear)                 \
  X(kOggFile, ogg_stream_packetin)              \
  X(kOggFile, ogg_stream_flush)                 \
  X(kOggFile, ogg_stream_pageout)               \
  X(kVorbisFile, vorbis_bitrate_addblock)       \
  X(kVorbisFile, vorbis_bitrate_flushpacket)    \
  X(kOggFile, ogg_page_eos)

#define DICTALO_VORBIS_DECLARE_MEMBER(file, name) decltype(&::name) name = nullptr;

// The encoder's entry points. A plain struct of pointers, so a caller may copy it
// and wrap single functions (tests count calls that way).
struct VorbisEncoderApi {
  DICTALO_VORBIS_ENCODER_ENTRY_POINTS(DICTALO_VORBIS_DECLARE_MEMBER)
};

// Owns the loaded library files; unloads them on destruction. Entry points fetched
// from it are valid while it lives.
class VorbisLibrary {
 public:
  ~VorbisLibrary();
  VorbisLibrary(const VorbisLibrary&) = delete;
  VorbisLibrary& operator=(const VorbisLibrary&) = delete;

  // Loads all three files and fetches every encoder entry point. Null when a file
  // or an entry point is missing; *error (when given) then says which.
  static std::unique_ptr<VorbisLibrary> LoadEncoder(std::string* error = nullptr);

  const VorbisEncoderApi& encoder() const { return encoder_; }

 private:
  VorbisLibrary() = default;
  // Opens the given file unless already open. False (with error set) on failure.
  bool Open(VorbisLibraryFile file, const std::string& name, std::string* error);
  // Looks a name up in an opened file and stores it in slot.
  template <typename F>
  bool Fetch(VorbisLibraryFile file, const char* name, F& slot, std::string* error);
  void* FetchAddress(VorbisLibraryFile file, const char* name, std::string* error);

  std::array<void*, kVorbisLibraryFileCount> handles_{};
  VorbisEncoderApi encoder_;
};

}  // namespace audio
