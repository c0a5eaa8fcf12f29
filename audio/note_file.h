#pragma once
// Writing a recorded note to disk as WAV (encoding 0, ".wav") or Ogg Vorbis
// (encoding 1, ".ogg").
//
// Names: an empty path means a temporary note, "Dictalo-MM-SS" (the recording's
// length, minutes growing past two digits when needed) in the private temporary
// folder (folders::PrivateTempDir, files readable by this user only); an older
// file of that name is replaced. A caller's path (without extension) never
// replaces a file: when the name is taken the note becomes "<path>.1.wav",
// "<path>.2.wav", ... (the first free one).
//
// Ogg Vorbis needs the libraries of vorbis_library.h. Without them, when the
// encoder refuses the format, or for an unknown encoding value, the note is
// written as WAV under the ".wav" name instead (kWrittenAsWav, with the reason),
// so that the recording is never lost in an empty file.
//
// A note counts as written only when every byte reached the file. When the chosen
// file cannot be written completely (folder gone, disk full, no permission), the
// incomplete file is removed and the note is written under its temporary name,
// never replacing anything, into the temporary folder and, failing that, into the
// installation folder (an Ogg note is encoded again there, its progress messages
// starting over at 0); the result says where it went and what failed. The samples
// stay with the caller either way.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/window_system.h"

namespace audio {

inline constexpr int kEncodingWav = 0;
inline constexpr int kEncodingOggVorbis = 1;

// Where the writer reports how far it is (the Ogg encoder only): done bytes of
// total, on the writing thread, the first call with done 0, the last with the
// whole. The caller decides what to show.
class EncodeProgress {
 public:
  virtual ~EncodeProgress() = default;
  virtual void Encoded(std::size_t done, std::size_t total) = 0;
};

// What the writer needs of a recording. The samples are borrowed for the call.
struct NoteRecording {
  std::span<const std::uint8_t> samples;  // unsigned 8-bit mono at 11025 Hz
  EncodeProgress* progress = nullptr;     // null: none
  std::uint32_t elapsed_seconds = 0;      // names a temporary note
};

enum class NoteWriteStatus {
  kWritten,               // path holds the whole note
  kWrittenAsWav,          // path holds the whole note as WAV; encoder_error says why
  kEmptyNoEncoder,        // (internal) the encoder is missing or refused
  kEmptyUnknownEncoding,  // (internal) no encoder for the encoding value
  kFailed,                // no complete file could be written anywhere; path names none
};

struct NoteWriteResult {
  NoteWriteStatus status = NoteWriteStatus::kFailed;
  // Set when the chosen file could not be written completely: its path (removed
  // again) and why ("No space left on device"). Unless status is kFailed, path
  // then names the fallback file that holds the note.
  std::filesystem::path failed_path;
  std::string failure;
  // With kWrittenAsWav: why the asked encoding could not be used.
  std::string encoder_error;

  bool fell_back() const { return !failed_path.empty() && status != NoteWriteStatus::kFailed; }
};

// "Dictalo-%.2d-%.2d" of the whole minutes and remaining seconds.
std::string TemporaryNoteName(std::uint32_t elapsed_seconds);

// ".wav", ".ogg", or "" for any other encoding.
const char* NoteExtension(int encoding);

// path: in, the caller's name without extension or empty for a temporary note;
// out, the file that holds the note (see NoteWriteResult). Runs on the calling
// thread, which also gets the progress reports.
[[nodiscard]] NoteWriteResult WriteNoteFile(std::filesystem::path& path, int encoding,
                                            const NoteRecording& recording);

}  // namespace audio
