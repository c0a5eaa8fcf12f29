#pragma once
// What capture and playback devices check of a buffer header, in one place.
// The caller holds its device's lock; `closing` is true once the device is
// being closed, `queued` when the header waits in (or is being played from)
// the device's queue.

#include "platform/wave_audio.h"

namespace platform::audio_internal {

// Marks the header prepared.
MMRESULT PrepareWaveHeader(WAVEHDR* header, bool closing);
// Clears the prepared mark unless the device still holds the header.
MMRESULT UnprepareWaveHeader(WAVEHDR* header, bool closing, bool queued);
// Whether the header may join the queue now: prepared and not queued yet.
// On success it is marked in the queue and no longer done.
MMRESULT EnqueueWaveHeader(WAVEHDR* header, bool closing, bool queued);

}  // namespace platform::audio_internal
