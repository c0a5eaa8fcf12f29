#include "audio/abandoned_threads.h"

#include <list>
#include <mutex>
#include <vector>

namespace audio {
namespace {

struct Abandoned {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> finished;
};

class AbandonedThreadList {
 public:
  // At exit: wait for every thread still running.
  ~AbandonedThreadList() {
    std::lock_guard<std::mutex> hold(mutex_);
    for (Abandoned& a : threads_) {
      if (a.thread.joinable()) a.thread.join();
    }
  }

  void Add(std::thread thread, std::shared_ptr<std::atomic<bool>> finished) {
    std::lock_guard<std::mutex> hold(mutex_);
    ReapLocked();
    threads_.push_back(Abandoned{std::move(thread), std::move(finished)});
  }

  std::size_t Running() {
    std::lock_guard<std::mutex> hold(mutex_);
    ReapLocked();
    return threads_.size();
  }

 private:
  void ReapLocked() {
    for (auto it = threads_.begin(); it != threads_.end();) {
      if (it->finished->load(std::memory_order_acquire)) {
        it->thread.join();
        it = threads_.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::mutex mutex_;
  std::list<Abandoned> threads_;
};

AbandonedThreadList& List() {
  static AbandonedThreadList list;
  return list;
}

}  // namespace

ReportingThread::~ReportingThread() {
  if (thread_.joinable()) thread_.join();
}

void ReportingThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void ReportingThread::Abandon() {
  if (!thread_.joinable()) return;
  List().Add(std::move(thread_), finished_);
}

std::size_t RunningAbandonedThreads() { return List().Running(); }

bool WaitForAbandonedThreads(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (RunningAbandonedThreads() != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void KeepUntilExit(std::shared_ptr<void> object) {
  // Deliberately never freed (reachable until the end, so not a leak), and usable
  // while other objects are destroyed at exit.
  static auto* mutex = new std::mutex();
  static auto* kept = new std::vector<std::shared_ptr<void>>();
  std::lock_guard<std::mutex> hold(*mutex);
  kept->push_back(std::move(object));
}

}  // namespace audio
