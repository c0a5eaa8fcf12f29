#pragma once
// Internals of the window system shared by its parts: the per-thread message
// queue, cross-thread send requests, and the window table's services that the
// cross-process listener needs. Nothing outside platform/window_* includes this.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>

#include "platform/window_system.h"

namespace platform::window_internal {

using Clock = std::chrono::steady_clock;

// An eventfd that wakes whoever waits on it. Shared by pointer so that it stays
// open while a request that names it is still in flight.
class WakeFd {
 public:
  WakeFd();
  ~WakeFd();
  WakeFd(const WakeFd&) = delete;
  WakeFd& operator=(const WakeFd&) = delete;
  void Wake();
  void Drain();
  int fd() const { return fd_; }

 private:
  int fd_;
};

// One send to a window of another thread (or a request to destroy one), queued
// for the owner thread. Messages that carry pointers are copied into the request,
// so a sender that gave up (time-out) leaves nothing dangling.
struct SentRequest {
  enum class Kind { kMessage, kDestroy };
  enum State : int { kQueued, kRunning, kDone, kAbandoned };

  Kind kind = Kind::kMessage;
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;

  bool marshalled = false;          // lparam is replaced by the owned copy below
  std::u16string text;              // WM_SETTEXT in, WM_GETTEXT out
  std::vector<std::uint8_t> data;   // WM_COPYDATA bytes
  COPYDATASTRUCT copy{};            // WM_COPYDATA, pointing at data

  std::atomic<int> state{kQueued};
  LRESULT result = 0;
  bool failed = false;              // the window or its thread went away first
  std::shared_ptr<WakeFd> waker;    // woken when the request is done

  // Copies the pointer payload of msg (sender side).
  void Marshal();
  // The lParam the window procedure sees.
  LPARAM EffectiveLParam();
  bool TryStart();
  bool TryAbandon();
  // Takes a copy of WM_COPYDATA bytes (cross-process sends).
  void SetCopyData(std::uintptr_t kind, std::vector<std::uint8_t> bytes);
  void Complete(LRESULT value);
  void Fail();
  bool Done() const { return state.load(std::memory_order_acquire) == kDone; }
};

struct Timer {
  HWND hwnd = nullptr;
  std::uintptr_t id = 0;
  std::chrono::milliseconds interval{1};
  TIMERPROC proc = nullptr;
  Clock::time_point due;
};

struct MessageFilter {
  HWND hwnd = nullptr;
  UINT min = 0;
  UINT max = 0;
  bool Matches(const MSG& msg) const;
};

// The message queue of one thread. All members are guarded by the queue's own
// mutex; nothing here calls a window procedure.
class ThreadQueue {
 public:
  explicit ThreadQueue(DWORD thread_id);
  ~ThreadQueue();
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  DWORD thread_id() const { return thread_id_; }
  const std::shared_ptr<WakeFd>& wake() const { return wake_; }
  int poll_fd() const { return epoll_fd_; }

  // False when the thread has ended or the queue is full.
  bool Post(const MSG& msg);
  // False when the thread has ended.
  bool EnqueueSend(std::shared_ptr<SentRequest> request);
  std::shared_ptr<SentRequest> TakeSend();

  // The first posted message that passes the filter (WM_QUIT always passes).
  bool TakePosted(MSG* msg, const MessageFilter& filter, bool remove);
  // A due timer that passes the filter, as WM_TIMER; removing it schedules the next.
  bool TakeDueTimer(MSG* msg, const MessageFilter& filter, bool remove);
  std::optional<Clock::time_point> NextTimerDue(const MessageFilter& filter);

  void SetTimer(const Timer& timer);
  bool KillTimer(HWND hwnd, std::uintptr_t id);
  void KillTimersOf(HWND hwnd);
  std::uintptr_t NewThreadTimerId();
  bool HasTimer(HWND hwnd, std::uintptr_t id, TIMERPROC proc) const;

  // Whether a message was posted since the last look, or a timer is due; clears the mark.
  bool TakeNewInput();
  void MarkLooked();

  HWND focus();
  void set_focus(HWND hwnd);

  // Ends the queue: later posts and sends fail; returns the sends still waiting.
  std::vector<std::shared_ptr<SentRequest>> Shutdown();

 private:
  void ArmTimerFdLocked();

  const DWORD thread_id_;
  std::shared_ptr<WakeFd> wake_;
  int timer_fd_ = -1;
  int epoll_fd_ = -1;

  mutable std::mutex mu_;
  bool alive_ = true;
  bool new_input_ = false;
  std::deque<MSG> posted_;
  std::deque<std::shared_ptr<SentRequest>> sent_;
  std::vector<Timer> timers_;
  std::uintptr_t next_thread_timer_id_ = 0x7FFF0000;
  HWND focus_ = nullptr;
};

// The calling thread's queue, made on first use and ended at thread exit.
ThreadQueue& CurrentQueue();
// The calling thread's queue when it has one.
ThreadQueue* CurrentQueueIfAny();
std::shared_ptr<ThreadQueue> CurrentQueueShared();
// In a forked child: the calling thread's queue was the parent's (its descriptors
// are shared with the parent); hands it over so that a fresh one is made. The
// caller keeps it and never uses it (its mutex may be held by a thread not here).
std::shared_ptr<ThreadQueue> ForgetQueueAfterFork();

// Runs every send waiting for the calling thread.
void ProcessSentMessages(ThreadQueue& queue);

// Waits on the queue's wake-up together with extra descriptors (their revents are
// filled in) until woken, a descriptor is ready or the deadline passes. The caller
// drains the wake-up and handles sends before it waits again.
void WaitOnQueue(ThreadQueue& queue, std::vector<pollfd>* extra, std::optional<Clock::time_point> deadline);

// Sends to a window of another thread of this process and waits, handling sends to
// the calling thread meanwhile. nullopt on time-out or when the window or its
// thread went away first.
std::optional<LRESULT> SendToOtherThread(SentRequest::Kind kind, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                         std::optional<Clock::time_point> deadline);

// ---- services of the window table (window_system.cpp) ----

// The queue of the thread that owns a local window; nullptr for anything else.
std::shared_ptr<ThreadQueue> OwnerQueue(HWND hwnd);
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD thread_id);
void RegisterQueue(const std::shared_ptr<ThreadQueue>& queue);
// Called at thread exit: removes the thread's windows without messages.
void ForgetThreadWindows(ThreadQueue& queue);

// Calls the window procedure of a local window on the calling thread (0 when gone).
LRESULT CallLocalWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
bool IsLocalWindowOf(HWND hwnd, const ThreadQueue& queue);

// Hands a prepared request to the owner of request->hwnd. False when the window or
// its thread has gone (the request is then untouched).
bool DeliverSend(const std::shared_ptr<SentRequest>& request);

struct LocalWindowInfo {
  HWND hwnd = nullptr;
  std::u16string class_name;
  std::u16string title;
};
// A live local top-level window (not a proxy of another process).
std::optional<LocalWindowInfo> DescribeLocalTopLevel(HWND hwnd);
// Whether another process may send or post msg to the local top-level hwnd
// (SetCrossProcessMessages).
bool AcceptsFromOtherProcess(HWND hwnd, UINT msg);
// The oldest local top-level window of the class (and title when given).
HWND FindLocalWindow(std::u16string_view class_name, std::optional<std::u16string_view> title);

// A handle for a window of another process, reached through socket_path.
HWND MakeRemoteProxy(const std::string& socket_path, std::uint64_t remote_id, std::u16string_view class_name,
                     std::u16string_view title);

inline std::uint64_t HandleValue(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }
inline HWND HandleFromValue(std::uint64_t value) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}

}  // namespace platform::window_internal
