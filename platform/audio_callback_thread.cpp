#include "platform/audio_callback_thread.h"

#include <atomic>
#include <vector>

namespace platform::audio_internal {
namespace {

// Threads that could not be joined where they ended (a device closed from its
// own callback). Joined once finished, and all of them at exit.
class ThreadReaper {
 public:
  ~ThreadReaper() {
    std::vector<Entry> entries;
    {
      std::lock_guard lock(mutex_);
      entries.swap(entries_);
    }
    for (Entry& entry : entries) entry.thread.join();
  }
  void Add(std::thread thread, std::shared_ptr<std::atomic<bool>> finished) {
    std::lock_guard lock(mutex_);
    entries_.push_back({std::move(thread), std::move(finished)});
  }
  void JoinFinished() {
    std::vector<Entry> done;
    {
      std::lock_guard lock(mutex_);
      for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->finished->load()) {
          done.push_back(std::move(*it));
          it = entries_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (Entry& entry : done) entry.thread.join();
  }

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

ThreadReaper& Reaper() {
  static ThreadReaper reaper;
  return reaper;
}

// Set by the callback thread as its very last step, for the reaper.
thread_local std::shared_ptr<std::atomic<bool>> tls_finished_flag;

}  // namespace

DeviceCallbackThread::DeviceCallbackThread(Deliver deliver) : state_(std::make_shared<State>()) {
  Reaper();  // constructed before any device, so it outlives them at exit
  thread_ = std::thread(&DeviceCallbackThread::Run, state_, std::move(deliver));
  thread_id_ = thread_.get_id();
}

DeviceCallbackThread::~DeviceCallbackThread() { Shutdown(); }

std::uint64_t DeviceCallbackThread::Post(std::uint32_t message, std::uintptr_t param1) {
  std::lock_guard lock(state_->mutex);
  state_->queue.emplace_back(message, param1);
  std::uint64_t sequence = ++state_->posted;
  state_->changed.notify_all();
  return sequence;
}

void DeviceCallbackThread::WaitDelivered(std::uint64_t sequence) {
  if (OnCallbackThread()) return;
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [&] { return state_->delivered >= sequence; });
}

void DeviceCallbackThread::Send(std::uint32_t message, std::uintptr_t param1) {
  // From inside a callback the message cannot be waited for; it is queued behind
  // what is already there, so the order of the messages holds either way.
  std::uint64_t sequence = Post(message, param1);
  if (!OnCallbackThread()) WaitDelivered(sequence);
}

bool DeviceCallbackThread::OnCallbackThread() const { return std::this_thread::get_id() == thread_id_; }

void DeviceCallbackThread::Shutdown() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(state_->mutex);
    state_->quit = true;
    state_->changed.notify_all();
  }
  if (OnCallbackThread()) {
    // Run() sets the flag after its last step, when the running callback returned.
    auto finished = std::make_shared<std::atomic<bool>>(false);
    tls_finished_flag = finished;
    Reaper().Add(std::move(thread_), std::move(finished));
    return;
  }
  thread_.join();
}

void DeviceCallbackThread::Run(std::shared_ptr<State> state, Deliver deliver) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    state->changed.wait(lock, [&] { return state->quit || !state->queue.empty(); });
    if (state->queue.empty()) break;  // quit, and everything delivered
    auto [message, param1] = state->queue.front();
    state->queue.pop_front();
    lock.unlock();
    deliver(message, param1);
    lock.lock();
    ++state->delivered;
    state->changed.notify_all();
  }
  lock.unlock();
  if (tls_finished_flag) tls_finished_flag->store(true);
}

void JoinFinishedThreads() { Reaper().JoinFinished(); }

}  // namespace platform::audio_internal
