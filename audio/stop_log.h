#pragma once
// Where the recorder's stop procedure reports its steps (recorder.h). The caller
// gives one to Recorder::Stop and decides where the lines go (the program writes
// them to its activity log); the recorder keeps no log of its own.

#include <string_view>

namespace audio {

class StopLog {
 public:
  virtual ~StopLog() = default;
  // One step, e.g. "--Closing Recorder". Called from the thread that stops, the
  // stop thread and the device's callback thread, one call at a time, only while
  // Stop runs; the line should be kept (flushed) before Line returns, so that a
  // stop stuck in the device leaves its last step behind.
  virtual void Line(std::string_view message) = 0;
};

}  // namespace audio
