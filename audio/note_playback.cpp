#include "audio/note_playback.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <system_error>

#include "audio/ogg_player.h"
#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/play_sound.h"
#include "platform/text.h"

namespace audio {
namespace {

// The attachment's name without any folder part; empty when nothing usable is
// left. A stored message's name must not place the copy outside the folder.
std::u16string SafeFileName(std::u16string_view name) {
  const std::size_t slash = name.find_last_of(u"/\\");
  if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);
  if (name == u"." || name == u"..") return {};
  return std::u16string(name);
}

// A fresh file only this user can read, never through a link: a stored note is
// private speech.
bool WriteCopy(const std::filesystem::path& path, std::span<const std::uint8_t> content) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  int fd = platform::CreatePrivateFile(path);
  if (fd < 0) return false;
  bool written = platform::WriteAll(fd, content.data(), content.size()) == 0;
  if (::close(fd) != 0) written = false;
  if (written) return true;
  std::filesystem::remove(path, ec);
  return false;
}

bool EndsWithWav(std::u16string_view name) {
  return name.size() >= 4 && platform::EqualsIgnoreAsciiCase(name.substr(name.size() - 4), u".wav");
}

std::uint32_t Le32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

}  // namespace

bool IsCompleteWavFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  char riff[12];
  if (!in || ec || !in.read(riff, sizeof riff)) return false;
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;
  bool format = false;
  std::uintmax_t at = 12;
  while (size - at >= 8) {
    char chunk[8];
    if (!in.seekg(static_cast<std::streamoff>(at)) || !in.read(chunk, sizeof chunk)) return false;
    const std::uint32_t length = Le32(chunk + 4);
    if (size - at - 8 < length) return false;  // cut off inside this chunk
    if (std::memcmp(chunk, "fmt ", 4) == 0) format = true;
    if (std::memcmp(chunk, "data", 4) == 0) return format;
    at += 8 + length + (length & 1);
    if (at > size) return false;
  }
  return false;
}

NotePlayback::~NotePlayback() {
  std::error_code ec;
  if (!temporary_copy_.empty()) std::filesystem::remove(temporary_copy_, ec);
}

bool NotePlayback::PlayNote(std::u16string_view attachment_name, std::span<const std::uint8_t> content,
                            const BusyIndicator& busy) {
  std::error_code ec;
  if (!temporary_copy_.empty()) std::filesystem::remove(temporary_copy_, ec);
  temporary_copy_.clear();

  const std::u16string name = SafeFileName(attachment_name);
  if (name.empty()) return false;
  const std::filesystem::path folder = platform::folders::PrivateTempDir();
  if (folder.empty()) return false;
  const std::filesystem::path path = folder / platform::Utf16ToUtf8(name);
  if (!WriteCopy(path, content)) return false;
  temporary_copy_ = path;

  if (EndsWithWav(name)) {
    return IsCompleteWavFile(path) && platform::PlaySound(path, platform::SND_FILENAME | platform::SND_SYNC);
  }

  if (busy) busy(true);
  bool played;
  {
    OggPlayer player(path);
    played = player.DecodeAndPlay();
  }
  if (busy) busy(false);
  return played;
}

}  // namespace audio
