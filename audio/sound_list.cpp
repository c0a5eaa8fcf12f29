#include "audio/sound_list.h"

#include <algorithm>
#include <system_error>

#include "platform/folders.h"
#include "platform/text.h"

namespace audio {

std::optional<CueSound> ClassifyCueFile(std::u16string_view file_name) {
  if (file_name.size() == 4) return std::nullopt;
  CueSound sound;
  if (file_name.find(u".mid", 1) != std::u16string_view::npos) {
    sound.is_midi = true;
  } else if (file_name.find(u".wav", 1) == std::u16string_view::npos) {
    return std::nullopt;
  }
  sound.name = std::u16string(file_name.substr(0, file_name.size() - 4));
  return sound;
}

std::vector<CueSound> ListCueSounds(const std::filesystem::path& folder) {
  std::vector<CueSound> sounds;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    if (auto sound = ClassifyCueFile(platform::Utf8ToUtf16(it->path().filename().string()))) {
      sounds.push_back(std::move(*sound));
    }
  }
  std::sort(sounds.begin(), sounds.end(), [](const CueSound& a, const CueSound& b) {
    return a.name != b.name ? a.name < b.name : a.is_midi < b.is_midi;
  });
  return sounds;
}

std::vector<CueSound> ListCueSounds() { return ListCueSounds(platform::folders::WindowsDir()); }

}  // namespace audio
