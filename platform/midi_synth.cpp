#include "platform/midi_synth.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "platform/tone_synth.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFluidSynthLibrary = "libfluidsynth.so.3";
constexpr const char* kSoundFontFolder = "/usr/share/sounds/sf2";
constexpr std::uint32_t kFluidRate = 44100;
// Notes keep ringing (reverb, release) after the last event for this long.
constexpr double kFluidTail = 1.0;
constexpr int kFluidChunk = 512;

// The sound font: DICTALO_SOUNDFONT when it names a file, else a General MIDI font
// of the usual Debian packages, else any .sf2 in the system folder.
std::optional<fs::path> FindSoundFont() {
  std::error_code ec;
  if (const char* env = std::getenv("DICTALO_SOUNDFONT"); env && *env) {
    if (fs::is_regular_file(env, ec)) return fs::path(env);
    return std::nullopt;
  }
  for (const char* name : {"default-GM.sf2", "FluidR3_GM.sf2", "TimGM6mb.sf2"}) {
    fs::path candidate = fs::path(kSoundFontFolder) / name;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  std::optional<fs::path> found;
  for (fs::directory_iterator it(kSoundFontFolder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".sf2" && fs::is_regular_file(it->path(), ec)) {
      if (!found || it->path() < *found) found = it->path();
    }
  }
  return found;
}

// The FluidSynth entry points we use, fetched by name; the library stays loaded
// for the lifetime of this object.
class FluidSynthLibrary {
 public:
  using NewSettings = void* (*)();
  using DeleteSettings = void (*)(void*);
  using SettingsSetNum = int (*)(void*, const char*, double);
  using SettingsSetInt = int (*)(void*, const char*, int);
  using NewSynth = void* (*)(void*);
  using DeleteSynth = void (*)(void*);
  using SfLoad = int (*)(void*, const char*, int);
  using Channel2 = int (*)(void*, int, int);
  using Channel3 = int (*)(void*, int, int, int);
  using WriteS16 = int (*)(void*, int, void*, int, int, void*, int, int);

  FluidSynthLibrary() {
    handle_ = dlopen(kFluidSynthLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    ok_ = Load(new_settings, "new_fluid_settings") && Load(delete_settings, "delete_fluid_settings") &&
          Load(settings_setnum, "fluid_settings_setnum") && Load(settings_setint, "fluid_settings_setint") &&
          Load(new_synth, "new_fluid_synth") && Load(delete_synth, "delete_fluid_synth") &&
          Load(sfload, "fluid_synth_sfload") && Load(noteon, "fluid_synth_noteon") &&
          Load(noteoff, "fluid_synth_noteoff") && Load(cc, "fluid_synth_cc") &&
          Load(program_change, "fluid_synth_program_change") && Load(pitch_bend, "fluid_synth_pitch_bend") &&
          Load(channel_pressure, "fluid_synth_channel_pressure") &&
          Load(key_pressure, "fluid_synth_key_pressure") && Load(write_s16, "fluid_synth_write_s16");
  }
  ~FluidSynthLibrary() {
    if (handle_) dlclose(handle_);
  }
  FluidSynthLibrary(const FluidSynthLibrary&) = delete;
  FluidSynthLibrary& operator=(const FluidSynthLibrary&) = delete;

  bool ok() const { return ok_; }

  NewSettings new_settings = nullptr;
  DeleteSettings delete_settings = nullptr;
  SettingsSetNum settings_setnum = nullptr;
  SettingsSetInt settings_setint = nullptr;
  NewSynth new_synth = nullptr;
  DeleteSynth delete_synth = nullptr;
  SfLoad sfload = nullptr;
  Channel3 noteon = nullptr;
  Channel2 noteoff = nullptr;
  Channel3 cc = nullptr;
  Channel2 program_change = nullptr;
  Channel2 pitch_bend = nullptr;
  Channel2 channel_pressure = nullptr;
  Channel3 key_pressure = nullptr;
  WriteS16 write_s16 = nullptr;

 private:
  template <typename F>
  bool Load(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle_, name));
    return f != nullptr;
  }

  void* handle_ = nullptr;
  bool ok_ = false;
};

void Send(const FluidSynthLibrary& fl, void* synth, const TimedMidiMessage& m) {
  const int channel = m.status & 0x0F;
  switch (m.status & 0xF0) {
    case 0x80: fl.noteoff(synth, channel, m.data1); break;
    case 0x90:
      if (m.data2 == 0) {
        fl.noteoff(synth, channel, m.data1);
      } else {
        fl.noteon(synth, channel, m.data1, m.data2);
      }
      break;
    case 0xA0: fl.key_pressure(synth, channel, m.data1, m.data2); break;
    case 0xB0: fl.cc(synth, channel, m.data1, m.data2); break;
    case 0xC0: fl.program_change(synth, channel, m.data1); break;
    case 0xD0: fl.channel_pressure(synth, channel, m.data1); break;
    case 0xE0: fl.pitch_bend(synth, channel, m.data1 | (m.data2 << 7)); break;
    default: break;
  }
}

std::optional<RenderedSound> RenderWithFluidSynth(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                                                  std::uint32_t ticks_per_quarter, double max_seconds) {
  const std::optional<fs::path> font = FindSoundFont();
  if (!font) return std::nullopt;
  FluidSynthLibrary fl;
  if (!fl.ok()) return std::nullopt;

  void* settings = fl.new_settings();
  if (!settings) return std::nullopt;
  fl.settings_setnum(settings, "synth.sample-rate", kFluidRate);
  fl.settings_setint(settings, "synth.cpu-cores", 1);
  void* synth = fl.new_synth(settings);
  if (!synth) {
    fl.delete_settings(settings);
    return std::nullopt;
  }
  std::optional<RenderedSound> result;
  if (fl.sfload(synth, font->c_str(), 1) >= 0) {
    RenderedSound sound;
    sound.rate = kFluidRate;
    sound.channels = 2;
    const double limit_seconds = max_seconds > 0 ? std::min(max_seconds, 24.0 * 3600) : 0.0;
    const auto limit = static_cast<std::int64_t>(std::floor(limit_seconds * kFluidRate));
    std::int64_t frames = 0;
    auto render_until = [&](std::int64_t end) {
      end = std::min(end, limit);
      while (frames < end) {
        const int n = static_cast<int>(std::min<std::int64_t>(kFluidChunk, end - frames));
        const std::size_t at = sound.samples.size();
        sound.samples.resize(at + static_cast<std::size_t>(n) * 2);
        std::int16_t* out = sound.samples.data() + at;
        fl.write_s16(synth, n, out, 0, 2, out, 1, 2);
        frames += n;
      }
    };
    double last = 0;
    bool cut = false;
    for (const TimedMidiMessage& m : TimeMidiEvents(events, usec_per_quarter, ticks_per_quarter)) {
      if (m.seconds >= limit_seconds) {
        cut = true;
        break;
      }
      render_until(std::llround(m.seconds * kFluidRate));
      Send(fl, synth, m);
      last = m.seconds;
    }
    render_until(cut ? limit : std::llround((last + kFluidTail) * kFluidRate));
    result = std::move(sound);
  }
  fl.delete_synth(synth);
  fl.delete_settings(settings);
  return result;
}

}  // namespace

RenderedSound RenderMidi(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                         std::uint32_t ticks_per_quarter, double max_seconds) {
  if (auto sound = RenderWithFluidSynth(events, usec_per_quarter, ticks_per_quarter, max_seconds)) {
    return std::move(*sound);
  }
  return RenderWithToneSynth(events, usec_per_quarter, ticks_per_quarter, max_seconds);
}

}  // namespace platform
