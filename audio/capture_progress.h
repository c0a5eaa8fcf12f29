#pragma once
// Where a recording reports how much it has captured. The recorder only counts;
// its caller decides what the figures are for (the program shows them in the
// status window).

#include <cstdint>

namespace audio {

class CaptureProgress {
 public:
  virtual ~CaptureProgress() = default;
  // On the capture device's callback thread, after each full buffer: the bytes
  // captured so far and the whole seconds since the start by the wall clock.
  // Keep it short: the next buffer waits.
  virtual void OnCaptured(std::uint32_t bytes, std::uint32_t seconds) = 0;
};

}  // namespace audio
