#include "platform/alsa_pcm.h"

#include <mutex>

namespace platform::audio_internal {
namespace {

void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&IgnoreAlsaMessage); });
}

snd_pcm_format_t AlsaFormat(std::uint16_t bits) {
  switch (bits) {
    case 8:
      return SND_PCM_FORMAT_U8;
    case 16:
      return SND_PCM_FORMAT_S16_LE;
    case 24:
      return SND_PCM_FORMAT_S24_3LE;
    default:
      return SND_PCM_FORMAT_S32_LE;
  }
}

struct HwParamsFree {
  void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
struct SwParamsFree {
  void operator()(snd_pcm_sw_params_t* p) const { snd_pcm_sw_params_free(p); }
};

}  // namespace

AlsaPcm OpenAlsaPcm(const std::string& name, snd_pcm_stream_t stream, PcmLayout* layout, std::string* error,
                    int* code) {
  QuietAlsa();
  auto fail = [&](const char* step, int err) {
    *code = err;
    *error = "ALSA device \"" + name + "\": " + step + ": " + snd_strerror(err);
    return AlsaPcm();
  };
  snd_pcm_t* raw = nullptr;
  int err = snd_pcm_open(&raw, name.c_str(), stream, SND_PCM_NONBLOCK);
  if (err < 0) return fail("open", err);
  AlsaPcm pcm(raw);

  snd_pcm_hw_params_t* hw_raw = nullptr;
  if ((err = snd_pcm_hw_params_malloc(&hw_raw)) < 0) return fail("parameters", err);
  std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree> hw(hw_raw);
  if ((err = snd_pcm_hw_params_any(raw, hw_raw)) < 0) return fail("parameters", err);
  if ((err = snd_pcm_hw_params_set_access(raw, hw_raw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
    return fail("interleaved access", err);
  snd_pcm_hw_params_set_rate_resample(raw, hw_raw, 1);

  PcmLayout got = *layout;
  if (snd_pcm_hw_params_set_format(raw, hw_raw, AlsaFormat(got.bits)) < 0) {
    err = -EINVAL;
    for (std::uint16_t bits : {16, 32, 24, 8}) {
      if ((err = snd_pcm_hw_params_set_format(raw, hw_raw, AlsaFormat(bits))) == 0) {
        got.bits = bits;
        break;
      }
    }
    if (err < 0) return fail("sample format", err);
  }
  unsigned channels = got.channels;
  if ((err = snd_pcm_hw_params_set_channels_near(raw, hw_raw, &channels)) < 0) return fail("channels", err);
  unsigned rate = got.rate;
  if ((err = snd_pcm_hw_params_set_rate_near(raw, hw_raw, &rate, nullptr)) < 0) return fail("rate", err);
  got.channels = static_cast<std::uint16_t>(channels);
  got.rate = rate;
  if (!got.Valid()) return fail("layout", -EINVAL);
  unsigned buffer_us = 500000;
  unsigned period_us = 50000;
  snd_pcm_hw_params_set_buffer_time_near(raw, hw_raw, &buffer_us, nullptr);
  snd_pcm_hw_params_set_period_time_near(raw, hw_raw, &period_us, nullptr);
  if ((err = snd_pcm_hw_params(raw, hw_raw)) < 0) return fail("parameters", err);

  snd_pcm_uframes_t period = 0;
  snd_pcm_hw_params_get_period_size(hw_raw, &period, nullptr);
  snd_pcm_sw_params_t* sw_raw = nullptr;
  if ((err = snd_pcm_sw_params_malloc(&sw_raw)) < 0) return fail("software parameters", err);
  std::unique_ptr<snd_pcm_sw_params_t, SwParamsFree> sw(sw_raw);
  snd_pcm_sw_params_current(raw, sw_raw);
  snd_pcm_sw_params_set_avail_min(raw, sw_raw, period);
  if (stream == SND_PCM_STREAM_PLAYBACK) snd_pcm_sw_params_set_start_threshold(raw, sw_raw, period);
  if ((err = snd_pcm_sw_params(raw, sw_raw)) < 0) return fail("software parameters", err);

  *layout = got;
  return pcm;
}

bool RecoverAlsaPcm(snd_pcm_t* pcm, int error) { return snd_pcm_recover(pcm, error, 1) == 0; }

}  // namespace platform::audio_internal
