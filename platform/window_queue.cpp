// The per-thread message queue: posted messages, sends from other threads,
// timers, and the waiting functions built on them.

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/time_locale.h"
#include "platform/window_internal.h"

namespace platform {
namespace window_internal {
namespace {

// Cap for the owned copy of a WM_GETTEXT buffer of a cross-thread send.
constexpr std::size_t kMaxMarshalledTextUnits = 1 << 20;

thread_local int tls_in_send_depth = 0;

// Owns the calling thread's queue; its destructor runs at thread exit.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    ForgetThreadWindows(*queue);
    for (auto& request : queue->Shutdown()) request->Fail();
  }
};
thread_local QueueHolder tls_queue;

int PollTimeoutMs(std::optional<Clock::time_point> deadline) {
  if (!deadline) return -1;
  auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Round up so that the wait never ends just before the deadline and spins.
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000));
}

}  // namespace

// ---- WakeFd ----

WakeFd::WakeFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeFd::~WakeFd() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeFd::Wake() {
  std::uint64_t one = 1;
  // EAGAIN means the counter is saturated: it is readable anyway.
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void WakeFd::Drain() {
  std::uint64_t value;
  while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

// ---- SentRequest ----

void SentRequest::Marshal() {
  switch (msg) {
    case WM_SETTEXT:
      text = lparam ? std::u16string(reinterpret_cast<const char16_t*>(lparam)) : std::u16string();
      marshalled = true;
      break;
    case WM_GETTEXT:
      text.assign(std::min<std::size_t>(wparam, kMaxMarshalledTextUnits), u'\0');
      marshalled = true;
      break;
    case WM_COPYDATA:
      if (lparam) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
        const auto* bytes = static_cast<const std::uint8_t*>(cds->lpData);
        SetCopyData(cds->dwData, bytes ? std::vector<std::uint8_t>(bytes, bytes + cds->cbData)
                                       : std::vector<std::uint8_t>());
      }
      break;
    default:
      break;
  }
}

void SentRequest::SetCopyData(std::uintptr_t kind, std::vector<std::uint8_t> bytes) {
  data = std::move(bytes);
  copy.dwData = kind;
  copy.cbData = static_cast<DWORD>(data.size());
  copy.lpData = data.empty() ? nullptr : data.data();
  marshalled = true;
}

LPARAM SentRequest::EffectiveLParam() {
  if (!marshalled) return lparam;
  switch (msg) {
    case WM_SETTEXT:
      return reinterpret_cast<LPARAM>(text.c_str());
    case WM_GETTEXT:
      return reinterpret_cast<LPARAM>(text.data());
    case WM_COPYDATA:
      return reinterpret_cast<LPARAM>(&copy);
    default:
      return lparam;
  }
}

bool SentRequest::TryStart() {
  int expected = kQueued;
  return state.compare_exchange_strong(expected, kRunning, std::memory_order_acq_rel);
}

bool SentRequest::TryAbandon() {
  int expected = kQueued;
  return state.compare_exchange_strong(expected, kAbandoned, std::memory_order_acq_rel);
}

void SentRequest::Complete(LRESULT value) {
  result = value;
  state.store(kDone, std::memory_order_release);
  if (waker) waker->Wake();
}

void SentRequest::Fail() {
  failed = true;
  Complete(0);
}

bool MessageFilter::Matches(const MSG& msg) const {
  if (hwnd && msg.hwnd != hwnd) return false;
  if (min == 0 && max == 0) return true;
  return msg.message >= min && msg.message <= max;
}

// ---- ThreadQueue ----

ThreadQueue::ThreadQueue(DWORD thread_id)
    : thread_id_(thread_id),
      wake_(std::make_shared<WakeFd>()),
      timer_fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
      epoll_fd_(::epoll_create1(EPOLL_CLOEXEC)) {
  if (epoll_fd_ >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wake_->fd();
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_->fd(), &ev);
    if (timer_fd_ >= 0) {
      ev.data.fd = timer_fd_;
      ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, timer_fd_, &ev);
    }
  }
}

ThreadQueue::~ThreadQueue() {
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
  if (timer_fd_ >= 0) ::close(timer_fd_);
}

bool ThreadQueue::Post(const MSG& msg) {
  {
    std::lock_guard lock(mu_);
    if (!alive_) return false;
    // A quit must get through even to a flooded queue.
    if (posted_.size() >= kMaxPostedMessages && msg.message != WM_QUIT) return false;
    posted_.push_back(msg);
    new_input_ = true;
  }
  wake_->Wake();
  return true;
}

bool ThreadQueue::EnqueueSend(std::shared_ptr<SentRequest> request) {
  {
    std::lock_guard lock(mu_);
    if (!alive_) return false;
    sent_.push_back(std::move(request));
  }
  wake_->Wake();
  return true;
}

std::shared_ptr<SentRequest> ThreadQueue::TakeSend() {
  std::lock_guard lock(mu_);
  if (sent_.empty()) return nullptr;
  auto request = std::move(sent_.front());
  sent_.pop_front();
  return request;
}

bool ThreadQueue::TakePosted(MSG* msg, const MessageFilter& filter, bool remove) {
  std::lock_guard lock(mu_);
  for (auto it = posted_.begin(); it != posted_.end(); ++it) {
    if (it->message != WM_QUIT && !filter.Matches(*it)) continue;
    *msg = *it;
    if (remove) posted_.erase(it);
    return true;
  }
  return false;
}

bool ThreadQueue::TakeDueTimer(MSG* msg, const MessageFilter& filter, bool remove) {
  std::lock_guard lock(mu_);
  auto now = Clock::now();
  Timer* best = nullptr;
  for (auto& timer : timers_) {
    if (timer.due > now) continue;
    if (!filter.Matches(MSG{timer.hwnd, WM_TIMER, 0, 0, 0})) continue;
    if (!best || timer.due < best->due) best = &timer;
  }
  if (!best) return false;
  *msg = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), GetTickCount()};
  if (remove) {
    best->due = now + best->interval;
    ArmTimerFdLocked();
  }
  return true;
}

std::optional<Clock::time_point> ThreadQueue::NextTimerDue(const MessageFilter& filter) {
  std::lock_guard lock(mu_);
  std::optional<Clock::time_point> next;
  for (const auto& timer : timers_) {
    if (!filter.Matches(MSG{timer.hwnd, WM_TIMER, 0, 0, 0})) continue;
    if (!next || timer.due < *next) next = timer.due;
  }
  return next;
}

void ThreadQueue::SetTimer(const Timer& timer) {
  {
    std::lock_guard lock(mu_);
    if (!alive_) return;
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const Timer& t) { return t.hwnd == timer.hwnd && t.id == timer.id; });
    if (it != timers_.end())
      *it = timer;
    else
      timers_.push_back(timer);
    ArmTimerFdLocked();
  }
  // A thread waiting with an older, later deadline must look again.
  wake_->Wake();
}

bool ThreadQueue::KillTimer(HWND hwnd, std::uintptr_t id) {
  std::lock_guard lock(mu_);
  auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  ArmTimerFdLocked();
  return true;
}

void ThreadQueue::KillTimersOf(HWND hwnd) {
  std::lock_guard lock(mu_);
  std::erase_if(timers_, [&](const Timer& t) { return t.hwnd == hwnd; });
  ArmTimerFdLocked();
}

std::uintptr_t ThreadQueue::NewThreadTimerId() {
  std::lock_guard lock(mu_);
  return ++next_thread_timer_id_;
}

bool ThreadQueue::HasTimer(HWND hwnd, std::uintptr_t id, TIMERPROC proc) const {
  std::lock_guard lock(mu_);
  return std::any_of(timers_.begin(), timers_.end(),
                     [&](const Timer& t) { return t.hwnd == hwnd && t.id == id && t.proc == proc; });
}

bool ThreadQueue::TakeNewInput() {
  std::lock_guard lock(mu_);
  bool input = new_input_;
  new_input_ = false;
  auto now = Clock::now();
  for (const auto& timer : timers_)
    if (timer.due <= now) input = true;
  return input;
}

void ThreadQueue::MarkLooked() {
  std::lock_guard lock(mu_);
  new_input_ = false;
}

HWND ThreadQueue::focus() {
  std::lock_guard lock(mu_);
  return focus_;
}

void ThreadQueue::set_focus(HWND hwnd) {
  std::lock_guard lock(mu_);
  focus_ = hwnd;
}

std::vector<std::shared_ptr<SentRequest>> ThreadQueue::Shutdown() {
  std::lock_guard lock(mu_);
  alive_ = false;
  posted_.clear();
  timers_.clear();
  ArmTimerFdLocked();
  std::vector<std::shared_ptr<SentRequest>> pending(sent_.begin(), sent_.end());
  sent_.clear();
  return pending;
}

// The timer descriptor is readable exactly while some timer is due, for callers
// that wait on MessageFd() together with a GUI loop.
void ThreadQueue::ArmTimerFdLocked() {
  if (timer_fd_ < 0) return;
  itimerspec when{};
  if (!timers_.empty()) {
    auto due = std::min_element(timers_.begin(), timers_.end(),
                                [](const Timer& a, const Timer& b) { return a.due < b.due; })
                   ->due;
    // steady_clock is CLOCK_MONOTONIC on Linux.
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count();
    if (ns <= 0) ns = 1;  // a zero value would disarm
    when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
  }
  ::timerfd_settime(timer_fd_, TFD_TIMER_ABSTIME, &when, nullptr);
}

// ---- the calling thread ----

ThreadQueue& CurrentQueue() { return *CurrentQueueShared(); }

std::shared_ptr<ThreadQueue> CurrentQueueShared() {
  if (!tls_queue.queue) {
    tls_queue.queue = std::make_shared<ThreadQueue>(platform::GetCurrentThreadId());
    RegisterQueue(tls_queue.queue);
  }
  return tls_queue.queue;
}

ThreadQueue* CurrentQueueIfAny() { return tls_queue.queue.get(); }

std::shared_ptr<ThreadQueue> ForgetQueueAfterFork() {
  tls_in_send_depth = 0;
  return std::exchange(tls_queue.queue, nullptr);
}

void ProcessSentMessages(ThreadQueue& queue) {
  while (auto request = queue.TakeSend()) {
    if (!request->TryStart()) continue;  // the sender gave up before we got to it
    if (request->kind == SentRequest::Kind::kDestroy) {
      if (DestroyWindow(request->hwnd))
        request->Complete(1);
      else
        request->Fail();
      continue;
    }
    if (!IsLocalWindowOf(request->hwnd, queue)) {
      request->Fail();
      continue;
    }
    // Complete the request even when the procedure throws, so the sender never hangs.
    struct Guard {
      SentRequest& request;
      bool done = false;
      ~Guard() {
        --tls_in_send_depth;
        if (!done) request.Fail();
      }
    } guard{*request};
    ++tls_in_send_depth;
    LRESULT result =
        CallLocalWindowProc(request->hwnd, request->msg, request->wparam, request->EffectiveLParam());
    guard.done = true;
    request->Complete(result);
  }
}

void WaitOnQueue(ThreadQueue& queue, std::vector<pollfd>* extra, std::optional<Clock::time_point> deadline) {
  std::vector<pollfd> fds;
  fds.push_back(pollfd{queue.wake()->fd(), POLLIN, 0});
  if (extra)
    for (const auto& p : *extra) fds.push_back(pollfd{p.fd, p.events, 0});
  int rc = ::poll(fds.data(), fds.size(), PollTimeoutMs(deadline));
  if (extra) {
    for (std::size_t i = 0; i < extra->size(); ++i) (*extra)[i].revents = rc > 0 ? fds[i + 1].revents : 0;
  }
}

std::optional<LRESULT> SendToOtherThread(SentRequest::Kind kind, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                         std::optional<Clock::time_point> deadline) {
  ThreadQueue& me = CurrentQueue();
  auto request = std::make_shared<SentRequest>();
  request->kind = kind;
  request->hwnd = hwnd;
  request->msg = msg;
  request->wparam = wparam;
  request->lparam = lparam;
  if (kind == SentRequest::Kind::kMessage) request->Marshal();
  request->waker = me.wake();
  if (!DeliverSend(request)) return std::nullopt;

  for (;;) {
    me.wake()->Drain();
    if (request->Done()) break;
    ProcessSentMessages(me);
    if (request->Done()) break;
    if (deadline && Clock::now() >= *deadline) {
      request->TryAbandon();
      return std::nullopt;
    }
    WaitOnQueue(me, nullptr, deadline);
  }
  if (request->failed) return std::nullopt;
  if (msg == WM_GETTEXT && request->marshalled && wparam > 0 && lparam) {
    auto* out = reinterpret_cast<char16_t*>(lparam);
    std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max<LRESULT>(request->result, 0)),
                                              std::min<std::size_t>(wparam, request->text.size()) - 1);
    std::copy_n(request->text.data(), count, out);
    out[count] = u'\0';
    return static_cast<LRESULT>(count);
  }
  return request->result;
}

}  // namespace window_internal

namespace wi = window_internal;

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::gettid()); }

int MessageQueueFd() { return wi::CurrentQueue().poll_fd(); }

bool InSendMessage() { return wi::tls_in_send_depth > 0; }

int GetMessage(MSG* msg, HWND hwnd, UINT min, UINT max) {
  wi::ThreadQueue& queue = wi::CurrentQueue();
  wi::MessageFilter filter{hwnd, min, max};
  for (;;) {
    queue.wake()->Drain();
    wi::ProcessSentMessages(queue);
    queue.MarkLooked();
    if (queue.TakePosted(msg, filter, true)) return msg->message == WM_QUIT ? 0 : 1;
    if (queue.TakeDueTimer(msg, filter, true)) return 1;
    wi::WaitOnQueue(queue, nullptr, queue.NextTimerDue(filter));
  }
}

bool PeekMessage(MSG* msg, HWND hwnd, UINT min, UINT max, UINT flags) {
  wi::ThreadQueue& queue = wi::CurrentQueue();
  wi::MessageFilter filter{hwnd, min, max};
  bool remove = (flags & PM_REMOVE) != 0;
  queue.wake()->Drain();
  wi::ProcessSentMessages(queue);
  queue.MarkLooked();
  if (queue.TakePosted(msg, filter, remove)) return true;
  return queue.TakeDueTimer(msg, filter, remove);
}

void PostQuitMessage(int exit_code) {
  wi::CurrentQueue().Post(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exit_code), 0, GetTickCount()});
}

bool TranslateMessage(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  WPARAM key = msg.wParam;
  char16_t ch;
  if (key >= 'A' && key <= 'Z')
    ch = static_cast<char16_t>(key - 'A' + 'a');
  else if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE || key == VK_BACK)
    ch = static_cast<char16_t>(key);
  else
    return false;
  return PostMessage(msg.hwnd, WM_CHAR, ch, msg.lParam);
}

LRESULT DispatchMessage(const MSG& msg) {
  wi::ThreadQueue& queue = wi::CurrentQueue();
  if (msg.message == WM_TIMER && msg.lParam != 0) {
    // Only a callback of a live timer of ours runs; a posted WM_TIMER cannot name
    // an arbitrary address.
    auto proc = reinterpret_cast<TIMERPROC>(msg.lParam);
    if (!queue.HasTimer(msg.hwnd, msg.wParam, proc)) return 0;
    proc(msg.hwnd, WM_TIMER, msg.wParam, GetTickCount());
    return 0;
  }
  if (!msg.hwnd || !wi::IsLocalWindowOf(msg.hwnd, queue)) return 0;
  return wi::CallLocalWindowProc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

std::uintptr_t SetTimer(HWND hwnd, std::uintptr_t id, UINT interval_ms, TIMERPROC proc) {
  std::shared_ptr<wi::ThreadQueue> queue;
  if (hwnd) {
    queue = wi::OwnerQueue(hwnd);
    if (!queue) return 0;
  } else {
    queue = wi::CurrentQueueShared();
    // An id of a live thread timer replaces it; anything else gets a new id.
    bool replaces = id != 0 && queue->KillTimer(nullptr, id);
    if (!replaces) id = queue->NewThreadTimerId();
  }
  wi::Timer timer;
  timer.hwnd = hwnd;
  timer.id = id;
  timer.interval = std::chrono::milliseconds(std::max<UINT>(interval_ms, 1));
  timer.proc = proc;
  timer.due = wi::Clock::now() + timer.interval;
  queue->SetTimer(timer);
  return id != 0 ? id : 1;
}

bool KillTimer(HWND hwnd, std::uintptr_t id) {
  if (hwnd) {
    auto queue = wi::OwnerQueue(hwnd);
    return queue && queue->KillTimer(hwnd, id);
  }
  wi::ThreadQueue* queue = wi::CurrentQueueIfAny();
  return queue && queue->KillTimer(nullptr, id);
}

}  // namespace platform
