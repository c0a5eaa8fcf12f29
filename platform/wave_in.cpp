#include "platform/wave_in.h"

#include <errno.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/audio_handle_table.h"
#include "platform/wave_in_alsa.h"
#include "platform/wave_in_device.h"
#include "platform/wave_in_file.h"

namespace platform {
namespace {

using audio_internal::AudioHandleTable;
using audio_internal::WaveInDevice;

AudioHandleTable<WaveInDevice>& Devices() {
  static AudioHandleTable<WaveInDevice> devices;
  return devices;
}

std::shared_ptr<WaveInDevice> Find(HWAVEIN handle) {
  return Devices().Find(reinterpret_cast<std::uintptr_t>(handle));
}

void ReportOpenFailure(const std::string& what) {
  std::fprintf(stderr, "%s: cannot open the audio input: %s\n", program_invocation_short_name, what.c_str());
}

// The device DICTALO_AUDIO_INPUT names.
MMRESULT OpenConfiguredDevice(const audio_internal::WaveInCallbackTarget& target, const WAVEFORMATEX& format,
                              std::shared_ptr<WaveInDevice>* device) {
  const audio_internal::PcmLayout layout = audio_internal::CaptureLayout(format);
  if (!layout.Valid()) return WAVERR_BADFORMAT;
  const char* configured = std::getenv("DICTALO_AUDIO_INPUT");
  const std::string_view choice = configured != nullptr ? configured : "";
  std::unique_ptr<audio_internal::WaveInSource> source;
  std::string error;
  MMRESULT result = MMSYSERR_NODRIVER;
  if (choice.starts_with("file:")) {
    source = audio_internal::OpenFileWaveInSource(std::string(choice.substr(5)), layout, &error);
  } else if (choice.empty() || choice == "alsa" || (choice.starts_with("alsa:") && choice.size() > 5)) {
    const std::string name = choice.starts_with("alsa:") ? std::string(choice.substr(5)) : "default";
    source = audio_internal::OpenAlsaWaveInSource(name, layout, &error, &result);
  } else {
    ReportOpenFailure("DICTALO_AUDIO_INPUT=\"" + std::string(choice) +
                      "\" names no input (use alsa, alsa:NAME or file:PATH)");
    return MMSYSERR_BADDEVICEID;
  }
  if (!source) {
    ReportOpenFailure(error);
    return result;
  }
  *device = std::make_shared<audio_internal::QueuedWaveInDevice>(target, layout, std::move(source));
  return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT WaveInOpen(HWAVEIN* device, std::uint32_t device_id, const WAVEFORMATEX* format, WaveInCallback callback,
                    std::uintptr_t instance) {
  if (device == nullptr || format == nullptr) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (device_id != WAVE_MAPPER && device_id != 0) return MMSYSERR_BADDEVICEID;
  audio_internal::JoinFinishedThreads();
  auto& devices = Devices();
  const std::uintptr_t handle = devices.NewHandle();
  const audio_internal::WaveInCallbackTarget target{callback, reinterpret_cast<HWAVEIN>(handle), instance};
  std::shared_ptr<WaveInDevice> opened;
  audio_internal::WaveInFactory factory = audio_internal::WaveInFactoryOverride();
  const MMRESULT result =
      factory ? factory(target, *format, &opened) : OpenConfiguredDevice(target, *format, &opened);
  if (result != MMSYSERR_NOERROR) return result;
  devices.Add(handle, opened);
  opened->Open();
  *device = target.handle;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInPrepareHeader(HWAVEIN device, WAVEHDR* header) {
  auto found = Find(device);
  return found ? found->PrepareHeader(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveInUnprepareHeader(HWAVEIN device, WAVEHDR* header) {
  auto found = Find(device);
  return found ? found->UnprepareHeader(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveInAddBuffer(HWAVEIN device, WAVEHDR* header) {
  auto found = Find(device);
  return found ? found->AddBuffer(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveInStart(HWAVEIN device) {
  auto found = Find(device);
  return found ? found->Start() : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveInStop(HWAVEIN device) {
  auto found = Find(device);
  return found ? found->Stop() : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveInReset(HWAVEIN device) {
  auto found = Find(device);
  return found ? found->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT WaveInClose(HWAVEIN device) {
  auto found = Find(device);
  if (!found) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = found->Close();
  if (result == MMSYSERR_NOERROR) Devices().Remove(reinterpret_cast<std::uintptr_t>(device));
  return result;
}

}  // namespace platform
