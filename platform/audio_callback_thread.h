#pragma once
// The thread on which an audio device calls its owner back. Every open wave
// device has one: its messages (WIM_DATA, WOM_DONE, the open and close messages)
// are delivered there in the order they were posted, never on the caller's thread
// and never on the thread that moves the sound.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace platform::audio_internal {

class DeviceCallbackThread {
 public:
  // deliver is called on the callback thread for every posted message.
  using Deliver = std::function<void(std::uint32_t message, std::uintptr_t param1)>;

  explicit DeviceCallbackThread(Deliver deliver);
  ~DeviceCallbackThread();  // Shutdown()
  DeviceCallbackThread(const DeviceCallbackThread&) = delete;
  DeviceCallbackThread& operator=(const DeviceCallbackThread&) = delete;

  // Queues a message; returns its sequence number for WaitDelivered.
  std::uint64_t Post(std::uint32_t message, std::uintptr_t param1);
  // Waits until every message up to sequence has been delivered. On the callback
  // thread itself (a callback that calls into its device) it returns at once.
  void WaitDelivered(std::uint64_t sequence);
  // Posts a message and waits until it has been delivered; on the callback thread
  // itself it is only queued (delivered once the running callback returns).
  void Send(std::uint32_t message, std::uintptr_t param1);
  bool OnCallbackThread() const;
  // Delivers what is queued, ends the thread and joins it. Called on the callback
  // thread itself, the thread ends once the running callback returns and is
  // joined later (JoinFinishedThreads, or at exit).
  void Shutdown();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::uint32_t, std::uintptr_t>> queue;
    std::uint64_t posted = 0;
    std::uint64_t delivered = 0;
    bool quit = false;
  };
  static void Run(std::shared_ptr<State> state, Deliver deliver);

  std::shared_ptr<State> state_;
  std::thread thread_;
  std::thread::id thread_id_;
};

// Joins callback threads that ended themselves (see Shutdown) and have finished.
// The rest are joined when the process exits.
void JoinFinishedThreads();

}  // namespace platform::audio_internal
