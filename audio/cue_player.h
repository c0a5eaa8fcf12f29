#pragma once
// Sound cues at the start and end of a recording: a WAV file played
// asynchronously by the sound system, or a small Standard MIDI File played on a
// thread of its own through wave output's MIDI format.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace audio {

// A MIDI cue plays only with fewer messages than this.
inline constexpr std::size_t kMaxCueMessages = 48;
// A MIDI cue still playing after this long is cut off.
inline constexpr std::uint32_t kMidiCueTimeoutMs = 10000;
// Wave output volume for MIDI cues: 0x7777 of 0xFFFF on both channels.
inline constexpr std::uint32_t kMidiCueVolume = 0x77777777;

// Plays a MIDI cue file on the calling thread and returns when it has finished or
// was cut off: reads the file, takes the first track's messages, and when there
// are fewer than kMaxCueMessages plays them through a wave-output device opened
// with the MIDI format (the file's tempo and division). 0 after playing; -1 when
// the file cannot be read, is not a MIDI file, has too many messages, or no device
// plays it.
int PlayMidiCueFile(const std::filesystem::path& file);

// Starts cues and owns the threads of MIDI cues: a finished thread is joined at
// the next PlayCue, and the destructor waits for those still playing (each ends
// within kMidiCueTimeoutMs of its start). Thread-safe.
class CuePlayer {
 public:
  // folder: where the cue files are (the share folder in the program).
  explicit CuePlayer(std::filesystem::path folder);
  CuePlayer();  // the share folder, platform::folders::WindowsDir()
  ~CuePlayer();
  CuePlayer(const CuePlayer&) = delete;
  CuePlayer& operator=(const CuePlayer&) = delete;

  // Plays folder/<sound_name>.mid when is_midi is set, else folder/<sound_name>.wav,
  // and returns at once. True when the WAV was handed to the sound system or the
  // MIDI thread was started (a bad MIDI file then plays nothing). A WAV that is
  // cut short (IsCompleteWavFile) is not played.
  bool PlayCue(std::u16string_view sound_name, bool is_midi);

  // Waits for every MIDI cue started so far.
  void Wait();

 private:
  struct CueThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void JoinFinished();

  std::filesystem::path folder_;
  std::mutex mutex_;
  std::list<CueThread> threads_;
};

}  // namespace audio
