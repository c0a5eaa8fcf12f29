#pragma once
// Threads that cannot be waited for where they were started, such as a stop
// procedure stuck in a device call. A thread cannot be killed safely here, so it
// is given up on instead: it keeps (shares) everything it still uses, runs to its
// end whenever the call returns, and is joined then. Threads still running when the
// process exits are joined at exit, so none outlives main.
//
// Objects whose memory a device may still write (a device that could not be
// closed holds pointers into its capture buffers) are kept until the process ends.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <utility>

namespace audio {

// A std::thread that reports when its function has returned.
class ReportingThread {
 public:
  ReportingThread() = default;
  template <typename F>
  explicit ReportingThread(F function) : finished_(std::make_shared<std::atomic<bool>>(false)) {
    thread_ = std::thread([finished = finished_, function = std::move(function)]() mutable {
      function();
      finished->store(true, std::memory_order_release);
    });
  }
  ReportingThread(ReportingThread&&) = default;
  ReportingThread& operator=(ReportingThread&&) = delete;
  ~ReportingThread();  // joins a thread that was neither joined nor abandoned

  bool finished() const { return !finished_ || finished_->load(std::memory_order_acquire); }
  void Join();
  // Hands the thread to the process-wide list of abandoned threads.
  void Abandon();

 private:
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> finished_;
};

// Abandoned threads still running (the finished ones are joined by this call).
std::size_t RunningAbandonedThreads();

// Waits until every abandoned thread has finished and been joined, up to timeout.
bool WaitForAbandonedThreads(std::chrono::milliseconds timeout);

// Keeps an object alive until the process exits; it is never destroyed, because
// something outside our control may still use it at exit.
void KeepUntilExit(std::shared_ptr<void> object);

}  // namespace audio
