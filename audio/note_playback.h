#pragma once
// Playing a stored note's recording from the note view: the attachment is saved
// in the temporary folder and played from there, a WAV through the sound system,
// anything else as Ogg Vorbis; the call blocks until the sound has finished.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace audio {

// True when the file is a RIFF WAVE whose "fmt " chunk and "data" chunk lie
// wholly inside it. A file cut short (a data chunk claiming more than is there)
// is not played at all rather than in part.
bool IsCompleteWavFile(const std::filesystem::path& file);

// Told true before a (slow) Ogg note is decoded and played and false afterwards,
// so that the caller can show the wait cursor.
using BusyIndicator = std::function<void(bool busy)>;

// Keeps the temporary copy of the last played note; one per note view. Not
// thread-safe.
class NotePlayback {
 public:
  NotePlayback() = default;
  // Deletes the temporary copy of the last playback.
  ~NotePlayback();
  NotePlayback(const NotePlayback&) = delete;
  NotePlayback& operator=(const NotePlayback&) = delete;

  // Deletes the copy of the previous playback, saves content (borrowed for the
  // call) under the attachment's file name in the temporary folder, replacing any
  // file there, and plays it: SND_FILENAME synchronously when the name ends in
  // ".wav" (any case) and the file is complete (IsCompleteWavFile), else through
  // an OggPlayer. Only the last component of a
  // name with '/' or '\' is used. False when nothing was played: an unusable name,
  // a copy that could not be written, or a file that does not play.
  bool PlayNote(std::u16string_view attachment_name, std::span<const std::uint8_t> content,
                const BusyIndicator& busy = {});

  // The copy made by the last PlayNote; empty before the first.
  const std::filesystem::path& temporary_copy() const { return temporary_copy_; }

 private:
  std::filesystem::path temporary_copy_;
};

}  // namespace audio
