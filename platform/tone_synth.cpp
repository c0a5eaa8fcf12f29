#include "platform/tone_synth.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kMaxVoices = 24;
constexpr int kPercussionChannel = 9;
constexpr double kAttack = 0.005;
constexpr double kDecay = 0.1;
constexpr double kSustain = 0.6;
constexpr double kVoiceGain = 0.3;

struct ChannelState {
  int volume = 100;
  int expression = 127;
  int program = 0;
  double bend = 1.0;  // frequency factor
};

struct Voice {
  int channel = 0;
  int note = 0;
  double phase = 0;      // in cycles
  double increment = 0;  // cycles per sample without bend
  double amplitude = 0;
  bool square = false;
  bool percussion = false;
  std::int64_t age = 0;          // samples since the note started
  std::int64_t released = -1;    // age at the note-off, or -1 while held
  double release_level = 0;
  std::uint32_t noise = 0x9E3779B9u;
  double lowpass = 0;
  double lowpass_coefficient = 1;
};

bool IsSquareProgram(int program) {
  // Organs, synth leads and synth pads sound closer as a soft square.
  return (program >= 16 && program <= 23) || (program >= 80 && program <= 95);
}

class ToneSynth {
 public:
  explicit ToneSynth(double rate)
      : rate_(rate),
        attack_(kAttack * rate),
        decay_(kDecay * rate),
        release_(std::llround(kToneSynthRelease * rate)),
        burst_(std::llround(kToneSynthPercussion * rate)) {}

  void Apply(const TimedMidiMessage& m) {
    const int channel = m.status & 0x0F;
    ChannelState& state = channels_[channel];
    switch (m.status & 0xF0) {
      case 0x90:
        if (m.data2 != 0) {
          NoteOn(channel, m.data1, m.data2);
          break;
        }
        [[fallthrough]];
      case 0x80:
        for (Voice& v : voices_) {
          if (v.channel == channel && v.note == m.data1 && !v.percussion && v.released < 0) Release(v);
        }
        break;
      case 0xB0:
        switch (m.data1) {
          case 7: state.volume = m.data2; break;
          case 11: state.expression = m.data2; break;
          case 120:
            std::erase_if(voices_, [&](const Voice& v) { return v.channel == channel; });
            break;
          case 121:
            state.expression = 127;
            state.bend = 1.0;
            break;
          case 123:
            for (Voice& v : voices_) {
              if (v.channel == channel && v.released < 0 && !v.percussion) Release(v);
            }
            break;
          default: break;
        }
        break;
      case 0xC0: state.program = m.data1; break;
      case 0xE0: {
        const int value = m.data1 | (m.data2 << 7);
        state.bend = std::pow(2.0, (value - 8192) / 8192.0 * 2.0 / 12.0);
        break;
      }
      default: break;
    }
  }

  // Lets every held note fade out from now on.
  void ReleaseAll() {
    for (Voice& v : voices_) {
      if (v.released < 0 && !v.percussion) Release(v);
    }
  }

  bool Sounding() const { return !voices_.empty(); }

  double NextSample() {
    double sum = 0;
    for (Voice& v : voices_) {
      const ChannelState& state = channels_[v.channel];
      const double gain = v.amplitude * (state.volume / 127.0) * (state.expression / 127.0) * Level(v);
      double wave;
      if (v.percussion) {
        v.noise ^= v.noise << 13;
        v.noise ^= v.noise >> 17;
        v.noise ^= v.noise << 5;
        const double white = static_cast<double>(v.noise) / 2147483648.0 - 1.0;
        v.lowpass += v.lowpass_coefficient * (white - v.lowpass);
        wave = v.lowpass;
      } else {
        const double angle = 2 * kPi * v.phase;
        wave = v.square ? 0.8 * std::tanh(3 * std::sin(angle)) : std::sin(angle) + 0.2 * std::sin(2 * angle);
        v.phase += v.increment * state.bend;
        v.phase -= std::floor(v.phase);
      }
      sum += gain * wave;
      ++v.age;
    }
    std::erase_if(voices_, [&](const Voice& v) { return Finished(v); });
    return sum;
  }

 private:
  void NoteOn(int channel, int note, int velocity) {
    if (channel != kPercussionChannel) {
      for (Voice& v : voices_) {
        if (v.channel == channel && v.note == note && v.released < 0) Release(v);
      }
    }
    if (voices_.size() >= kMaxVoices) {
      auto oldest = std::max_element(voices_.begin(), voices_.end(),
                                     [](const Voice& a, const Voice& b) { return a.age < b.age; });
      voices_.erase(oldest);
    }
    Voice v;
    v.channel = channel;
    v.note = note;
    v.amplitude = kVoiceGain * velocity / 127.0;
    if (channel == kPercussionChannel) {
      v.percussion = true;
      // Low drum notes (bass drums, toms) sound darker than cymbals and hats.
      v.lowpass_coefficient = std::clamp(0.15 + 0.85 * (note - 35) / 46.0, 0.15, 1.0);
      v.noise ^= static_cast<std::uint32_t>(note) * 2654435761u;
      if (v.noise == 0) v.noise = 1;
    } else {
      v.square = IsSquareProgram(channels_[channel].program);
      v.increment = 440.0 * std::pow(2.0, (note - 69) / 12.0) / rate_;
    }
    voices_.push_back(v);
  }

  void Release(Voice& v) {
    v.release_level = Level(v);
    v.released = v.age;
  }

  double Level(const Voice& v) const {
    if (v.percussion) return std::exp(-5.0 * static_cast<double>(v.age) / static_cast<double>(burst_));
    if (v.released >= 0) {
      return v.release_level * (1.0 - static_cast<double>(v.age - v.released) / static_cast<double>(release_));
    }
    const double age = static_cast<double>(v.age);
    if (age < attack_) return age / attack_;
    if (age < attack_ + decay_) return 1.0 - (1.0 - kSustain) * (age - attack_) / decay_;
    return kSustain;
  }

  bool Finished(const Voice& v) const {
    if (v.percussion) return v.age >= burst_;
    return v.released >= 0 && v.age - v.released >= release_;
  }

  double rate_;
  double attack_;
  double decay_;
  std::int64_t release_;
  std::int64_t burst_;
  ChannelState channels_[16];
  std::vector<Voice> voices_;
};

std::int16_t ToPcm16(double x) {
  const double scaled = std::clamp(x, -1.0, 1.0) * 32767.0;
  return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace

double SecondsPerTick(std::uint32_t usec_per_quarter, std::uint32_t ticks_per_quarter) {
  if ((ticks_per_quarter & 0xFFFF8000u) == 0x8000u) {
    const int frames = -static_cast<std::int8_t>((ticks_per_quarter >> 8) & 0xFF);
    const int ticks_per_frame = static_cast<int>(ticks_per_quarter & 0xFF);
    if (frames > 0 && ticks_per_frame > 0) {
      const double frame_rate = frames == 29 ? 29.97 : frames;
      return 1.0 / (frame_rate * ticks_per_frame);
    }
    ticks_per_quarter = 0;
  }
  const double usec = usec_per_quarter ? usec_per_quarter : 500000;
  const double ticks = ticks_per_quarter ? ticks_per_quarter : 96;
  return usec / 1e6 / ticks;
}

std::vector<TimedMidiMessage> TimeMidiEvents(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                                             std::uint32_t ticks_per_quarter) {
  const double seconds_per_tick = SecondsPerTick(usec_per_quarter, ticks_per_quarter);
  std::vector<TimedMidiMessage> out;
  std::uint64_t ticks = 0;
  std::uint8_t status = 0;
  for (const MidiEvent& e : events) {
    if (e.delta_ticks == 0 && e.message == 0) break;
    ticks += e.delta_ticks;
    const auto first = static_cast<std::uint8_t>(e.message & 0xFF);
    TimedMidiMessage m;
    m.seconds = static_cast<double>(ticks) * seconds_per_tick;
    if (first >= 0x80) {
      if (first >= 0xF0) {
        if (first < 0xF8) status = 0;  // system common messages end running data
        continue;
      }
      status = first;
      m.data1 = (e.message >> 8) & 0x7F;
      m.data2 = (e.message >> 16) & 0x7F;
    } else {
      if (status == 0) continue;
      m.data1 = first;
      m.data2 = (e.message >> 8) & 0x7F;
    }
    m.status = status;
    out.push_back(m);
  }
  return out;
}

RenderedSound RenderWithToneSynth(std::span<const MidiEvent> events, std::uint32_t usec_per_quarter,
                                  std::uint32_t ticks_per_quarter, double max_seconds) {
  RenderedSound sound;
  sound.rate = kToneSynthRate;
  sound.channels = 1;
  if (!(max_seconds > 0)) return sound;
  const double limit_seconds = std::min(max_seconds, 24.0 * 3600);
  const auto limit = static_cast<std::int64_t>(std::floor(limit_seconds * kToneSynthRate));

  ToneSynth synth(kToneSynthRate);
  auto render_until = [&](std::int64_t end) {
    end = std::min(end, limit);
    while (static_cast<std::int64_t>(sound.samples.size()) < end) sound.samples.push_back(ToPcm16(synth.NextSample()));
  };

  bool cut = false;
  for (const TimedMidiMessage& m : TimeMidiEvents(events, usec_per_quarter, ticks_per_quarter)) {
    if (m.seconds >= limit_seconds) {
      cut = true;
      break;
    }
    render_until(std::llround(m.seconds * kToneSynthRate));
    synth.Apply(m);
  }
  if (cut) {
    render_until(limit);
    return sound;
  }
  synth.ReleaseAll();
  while (synth.Sounding() && static_cast<std::int64_t>(sound.samples.size()) < limit) {
    sound.samples.push_back(ToPcm16(synth.NextSample()));
  }
  return sound;
}

}  // namespace platform
