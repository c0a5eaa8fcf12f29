#include "platform/wave_out.h"

#include <errno.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/audio_handle_table.h"
#include "platform/wave_out_alsa.h"
#include "platform/wave_out_device.h"
#include "platform/wave_out_null_sink.h"

namespace platform {
namespace {

using audio_internal::AudioHandleTable;
using audio_internal::QueuedWaveOutDevice;

AudioHandleTable<QueuedWaveOutDevice>& Devices() {
  static AudioHandleTable<QueuedWaveOutDevice> devices;
  return devices;
}

std::shared_ptr<QueuedWaveOutDevice> Find(HWAVEOUT handle) {
  return Devices().Find(reinterpret_cast<std::uintptr_t>(handle));
}

void ReportOpenFailure(const std::string& what) {
  std::fprintf(stderr, "%s: cannot open the audio output: %s\n", program_invocation_short_name, what.c_str());
}

}  // namespace

namespace audio_internal {
void EnsureWaveOutReady() {
  Devices();
  JoinFinishedThreads();
}
}  // namespace audio_internal

std::uint32_t WaveOutGetNumDevs() { return 1; }

MMRESULT WaveOutOpen(HWAVEOUT* device, std::uint32_t device_id, const WAVEFORMATEX* format,
                     WaveOutCallback callback, std::uintptr_t instance) {
  if (device == nullptr || format == nullptr) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (device_id != WAVE_MAPPER && device_id != 0) return MMSYSERR_BADDEVICEID;
  const auto playback = audio_internal::PlaybackFormat(*format);
  if (!playback) return WAVERR_BADFORMAT;
  audio_internal::JoinFinishedThreads();

  const char* configured = std::getenv("DICTALO_AUDIO_OUTPUT");
  const std::string_view choice = configured != nullptr ? configured : "";
  std::unique_ptr<audio_internal::WaveOutSink> sink;
  if (choice == "null") {
    sink = audio_internal::MakeNullWaveOutSink();
  } else if (choice.empty() || choice == "alsa" || (choice.starts_with("alsa:") && choice.size() > 5)) {
    sink = audio_internal::MakeAlsaWaveOutSink(choice.starts_with("alsa:") ? std::string(choice.substr(5)) : "default");
  } else {
    ReportOpenFailure("DICTALO_AUDIO_OUTPUT=\"" + std::string(choice) + "\" names no output (use alsa, alsa:NAME or null)");
    return MMSYSERR_BADDEVICEID;
  }
  std::string error;
  MMRESULT result = MMSYSERR_NODRIVER;
  if (!sink->Configure(playback->layout, &error, &result)) {
    ReportOpenFailure(error);
    return result;
  }

  auto& devices = Devices();
  const std::uintptr_t handle = devices.NewHandle();
  const audio_internal::WaveOutCallbackTarget target{callback, reinterpret_cast<HWAVEOUT>(handle), instance};
  auto opened = std::make_shared<QueuedWaveOutDevice>(target, *playback, std::move(sink));
  devices.Add(handle, opened);
  opened->Open();
  *device = target.handle;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header) {
  auto found = Find(device);
  return found ? found->PrepareHeader(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header) {
  auto found = Find(device);
  return found ? found->UnprepareHeader(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveOutWrite(HWAVEOUT device, WAVEHDR* header) {
  auto found = Find(device);
  return found ? found->Write(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveOutSetVolume(HWAVEOUT device, std::uint32_t volume) {
  auto found = Find(device);
  return found ? found->SetVolume(volume) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveOutReset(HWAVEOUT device) {
  auto found = Find(device);
  return found ? found->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveOutClose(HWAVEOUT device) {
  auto found = Find(device);
  if (!found) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = found->Close();
  if (result == MMSYSERR_NOERROR) Devices().Remove(reinterpret_cast<std::uintptr_t>(device));
  return result;
}

}  // namespace platform
