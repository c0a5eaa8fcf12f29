#include "audio/cue_player.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "audio/midi_file.h"
#include "audio/note_playback.h"
#include "platform/folders.h"
#include "platform/play_sound.h"
#include "platform/text.h"
#include "platform/wave_out.h"

namespace audio {
namespace {

static_assert(sizeof(platform::MidiEvent) == 8, "a MIDI stream message is 8 bytes");

// Set by the device's done notification.
struct DoneEvent {
  std::mutex mutex;
  std::condition_variable signalled;
  bool done = false;
};

void MidiWaveOutProc(platform::HWAVEOUT, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t,
                     std::uintptr_t) {
  if (msg != platform::WOM_DONE) return;
  auto* event = reinterpret_cast<DoneEvent*>(instance);
  std::lock_guard lock(event->mutex);
  event->done = true;
  event->signalled.notify_all();
}

bool ReadWholeFile(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::uint8_t block[4096];
  while (in.read(reinterpret_cast<char*>(block), sizeof block) || in.gcount() > 0) {
    bytes.insert(bytes.end(), block, block + in.gcount());
  }
  return !in.bad();
}

}  // namespace

int PlayMidiCueFile(const std::filesystem::path& file) {
  using namespace platform;
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(file, bytes)) return -1;
  std::optional<MidiCue> cue = ParseMidiFile(bytes);
  if (!cue || cue->events.size() >= kMaxCueMessages) return -1;

  // The messages and the all-zero message that ends the list.
  std::vector<MidiEvent> stream = cue->events;
  stream.push_back({});
  std::vector<std::uint8_t> buffer(stream.size() * sizeof(MidiEvent));
  std::memcpy(buffer.data(), stream.data(), buffer.size());

  WAVEFORMAT_MIDI format;
  format.USecPerQuarterNote = cue->usec_per_quarter;
  format.TicksPerQuarterNote = cue->division;
  DoneEvent event;
  HWAVEOUT device = nullptr;
  if (WaveOutOpen(&device, WAVE_MAPPER, &format.wfx, &MidiWaveOutProc, reinterpret_cast<std::uintptr_t>(&event)) !=
      MMSYSERR_NOERROR) {
    return -1;
  }
  WaveOutSetVolume(device, kMidiCueVolume);
  WAVEHDR header;
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<std::uint32_t>(buffer.size());
  int result = -1;
  if (WaveOutPrepareHeader(device, &header) == MMSYSERR_NOERROR) {
    if (WaveOutWrite(device, &header) == MMSYSERR_NOERROR) {
      std::unique_lock lock(event.mutex);
      event.signalled.wait_for(lock, std::chrono::milliseconds(kMidiCueTimeoutMs), [&] { return event.done; });
      result = 0;
    }
    if (WaveOutUnprepareHeader(device, &header) != MMSYSERR_NOERROR) {
      // Still playing after the time limit: stop it, then the buffer comes back.
      WaveOutReset(device);
      WaveOutUnprepareHeader(device, &header);
    }
  }
  WaveOutReset(device);
  WaveOutClose(device);
  return result;
}

CuePlayer::CuePlayer(std::filesystem::path folder) : folder_(std::move(folder)) {}

CuePlayer::CuePlayer() : CuePlayer(platform::folders::WindowsDir()) {}

CuePlayer::~CuePlayer() { Wait(); }

bool CuePlayer::PlayCue(std::u16string_view sound_name, bool is_midi) {
  const std::filesystem::path file =
      folder_ / (platform::Utf16ToUtf8(sound_name) + (is_midi ? ".mid" : ".wav"));
  if (!is_midi) {
    return IsCompleteWavFile(file) && platform::PlaySound(file, platform::SND_FILENAME | platform::SND_ASYNC);
  }

  std::lock_guard lock(mutex_);
  JoinFinished();
  auto done = std::make_shared<std::atomic<bool>>(false);
  try {
    std::thread thread([file, done] {
      try {
        PlayMidiCueFile(file);
      } catch (const std::exception&) {
        // Out of memory while reading or rendering: the cue stays silent.
      }
      *done = true;
    });
    threads_.push_back({std::move(thread), std::move(done)});
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CuePlayer::Wait() {
  std::list<CueThread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (CueThread& t : threads) t.thread.join();
}

void CuePlayer::JoinFinished() {
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (*it->done) {
      it->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace audio
