#include "platform/wave_header_rules.h"

namespace platform::audio_internal {

MMRESULT PrepareWaveHeader(WAVEHDR* header, bool closing) {
  if (header == nullptr || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  if (closing) return MMSYSERR_INVALHANDLE;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT UnprepareWaveHeader(WAVEHDR* header, bool closing, bool queued) {
  if (header == nullptr) return MMSYSERR_INVALPARAM;
  if (closing) return MMSYSERR_INVALHANDLE;
  if (queued) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT EnqueueWaveHeader(WAVEHDR* header, bool closing, bool queued) {
  if (header == nullptr || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  if (closing) return MMSYSERR_INVALHANDLE;
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (queued) return WAVERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  return MMSYSERR_NOERROR;
}

}  // namespace platform::audio_internal
