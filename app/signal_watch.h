#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a call on a thread of its own, so that the
// program can end through its normal path (the signals must be blocked in every
// thread: call BlockTerminationSignals first thing in main).

#include <functional>
#include <thread>

namespace app {

void BlockTerminationSignals();

class SignalWatch {
 public:
  explicit SignalWatch(std::function<void()> on_signal);
  ~SignalWatch();  // stops and joins the thread
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  void Run();
  std::function<void()> on_signal_;
  int signal_fd_ = -1;
  int stop_fd_ = -1;
  std::thread thread_;
};

}  // namespace app
