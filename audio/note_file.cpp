#include "audio/note_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "audio/note_sink.h"
#include "audio/ogg_vorbis_writer.h"
#include "audio/vorbis_library.h"
#include "audio/wav_writer.h"
#include "platform/folders.h"

namespace audio {
namespace {

// A counter this high means something other than taken names stops us.
constexpr int kMaxCollisionCounter = 100000;

std::filesystem::path WithSuffix(const std::filesystem::path& base, const std::string& suffix) {
  std::filesystem::path p = base;
  p += suffix;
  return p;
}

// Creates base + ext, or, when that name is taken, the first free base.N + ext.
// Never replaces a file. Returns the path tried last.
std::filesystem::path CreateUnique(NoteSink& sink, const std::filesystem::path& base, const std::string& ext,
                                   NoteSink::Existing how = NoteSink::Existing::kFail) {
  std::filesystem::path path = WithSuffix(base, ext);
  for (int counter = 1; !sink.Create(path, how); ++counter) {
    if (sink.error() != EEXIST || counter > kMaxCollisionCounter) break;
    path = WithSuffix(base, "." + std::to_string(counter) + ext);
  }
  return path;
}

struct Attempt {
  NoteWriteStatus status = NoteWriteStatus::kFailed;
  int error = 0;  // errno when kFailed
  std::string encoder_error;
};

// Encodes into a created sink and finishes the file.
Attempt Encode(NoteSink& sink, int encoding, const NoteRecording& recording) {
  Attempt attempt;
  attempt.status = NoteWriteStatus::kWritten;
  if (encoding == kEncodingWav) {
    WriteWav(sink, recording.samples);
  } else if (encoding == kEncodingOggVorbis) {
    std::string why;
    auto library = VorbisLibrary::LoadEncoder(&why);
    if (!library) {
      attempt.status = NoteWriteStatus::kEmptyNoEncoder;
      attempt.encoder_error = why;
    } else if (WriteOggVorbis(sink, recording.samples, recording.progress, library->encoder()) ==
               OggWriteStatus::kEncoderRefused) {
      attempt.status = NoteWriteStatus::kEmptyNoEncoder;
      attempt.encoder_error = "the Vorbis encoder refused mono 11025 Hz at quality 0.1";
    }
  } else {
    attempt.status = NoteWriteStatus::kEmptyUnknownEncoding;
  }
  if (!sink.Finish()) {
    attempt.status = NoteWriteStatus::kFailed;
    attempt.error = sink.error();
  }
  return attempt;
}

}  // namespace

std::string TemporaryNoteName(std::uint32_t elapsed_seconds) {
  char name[64];
  unsigned minutes = elapsed_seconds / 60;
  unsigned seconds = elapsed_seconds - minutes * 60;
  std::snprintf(name, sizeof name, "Dictalo-%.2u-%.2u", minutes, seconds);
  return name;
}

const char* NoteExtension(int encoding) {
  if (encoding == kEncodingWav) return ".wav";
  if (encoding == kEncodingOggVorbis) return ".ogg";
  return "";
}

namespace {

// Writes the note in the given encoding; an encoder that is missing or refuses
// leaves an empty file (kEmptyNoEncoder, kEmptyUnknownEncoding).
NoteWriteResult WriteEncoded(std::filesystem::path& path, int encoding, const NoteRecording& recording) {
  const std::string ext = NoteExtension(encoding);
  const std::string temporary_name = TemporaryNoteName(recording.elapsed_seconds);
  NoteWriteResult result;
  NoteSink sink;
  if (path.empty()) {
    // The speech is nobody else's business: a folder only this user can enter,
    // and a fresh file there (an older note of the name goes first).
    path = WithSuffix(platform::folders::PrivateTempDir() / temporary_name, ext);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    sink.Create(path, NoteSink::Existing::kPrivate);
  } else {
    path = CreateUnique(sink, path, ext);
  }

  Attempt attempt;
  const bool created = sink.is_open();
  if (created) {
    attempt = Encode(sink, encoding, recording);
  } else {
    attempt.error = sink.error();
  }
  if (attempt.status != NoteWriteStatus::kFailed) {
    result.status = attempt.status;
    result.encoder_error = attempt.encoder_error;
    return result;
  }

  // The chosen file is incomplete or missing: never leave a partial note that
  // looks saved, and keep the recording in a folder that can take it.
  std::error_code ignored;
  if (created) std::filesystem::remove(path, ignored);
  result.failed_path = path;
  result.failure = std::strerror(attempt.error);
  const std::filesystem::path failed_folder = path.parent_path().lexically_normal();
  for (const std::filesystem::path& folder : {platform::folders::PrivateTempDir(), platform::folders::InstallDir()}) {
    if (folder.empty() || folder.lexically_normal() == failed_folder) continue;
    std::filesystem::create_directories(folder, ignored);
    NoteSink fallback;
    std::filesystem::path fallback_path = CreateUnique(fallback, folder / temporary_name, ext, NoteSink::Existing::kPrivate);
    if (!fallback.is_open()) continue;
    Attempt again = Encode(fallback, encoding, recording);
    if (again.status == NoteWriteStatus::kFailed) {
      std::filesystem::remove(fallback_path, ignored);
      continue;
    }
    path = fallback_path;
    result.status = again.status;
    result.encoder_error = again.encoder_error;
    return result;
  }
  result.status = NoteWriteStatus::kFailed;
  return result;
}

}  // namespace

NoteWriteResult WriteNoteFile(std::filesystem::path& path, int encoding, const NoteRecording& recording) {
  const std::filesystem::path asked = path;
  NoteWriteResult result = WriteEncoded(path, encoding, recording);
  if (result.status != NoteWriteStatus::kEmptyNoEncoder && result.status != NoteWriteStatus::kEmptyUnknownEncoding)
    return result;
  // An empty note would lose the recording while looking saved: without the
  // encoder it asks for, the note is kept as WAV, under a ".wav" name.
  std::string why = result.status == NoteWriteStatus::kEmptyUnknownEncoding
                        ? "the encoding " + std::to_string(encoding) + " is unknown"
                        : result.encoder_error;
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  path = asked;
  NoteWriteResult wav = WriteEncoded(path, kEncodingWav, recording);
  if (wav.status == NoteWriteStatus::kWritten) wav.status = NoteWriteStatus::kWrittenAsWav;
  wav.encoder_error = why;
  return wav;
}

}  // namespace audio
