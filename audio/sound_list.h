#pragma once
// The cue sounds the options screen offers: the WAV and MIDI files of the share
// folder (the program's "Windows" folder).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace audio {

struct CueSound {
  std::u16string name;   // the file name without its last four characters
  bool is_midi = false;  // selects ".mid" over ".wav" when the cue is played
};

// How one file name counts: MIDI when ".mid" occurs after its first character,
// otherwise WAV when ".wav" does; both tests case-sensitive. A name of exactly four
// characters never counts. The shown name drops the last four characters whatever
// they are, so "a.mid.bak" is listed as "a.mid".
std::optional<CueSound> ClassifyCueFile(std::u16string_view file_name);

// Every regular file of the folder that counts, sorted by name. Empty when the
// folder cannot be read.
std::vector<CueSound> ListCueSounds(const std::filesystem::path& folder);

// The cue sounds of the share folder (platform::folders::WindowsDir()).
std::vector<CueSound> ListCueSounds();

}  // namespace audio
