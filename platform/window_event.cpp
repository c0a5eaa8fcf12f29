// Event objects and waiting on them together with the message queue.

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/window_internal.h"

namespace platform {
namespace wi = window_internal;
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// Takes an automatic-reset event: only one waiter gets each Set.
bool Consume(int fd) {
  std::uint64_t value;
  for (;;) {
    if (::read(fd, &value, sizeof value) == sizeof value) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

Event::Event(bool manual_reset, bool initially_set)
    : manual_reset_(manual_reset), fd_(::eventfd(initially_set ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Event::~Event() {
  if (fd_ >= 0) ::close(fd_);
}

void Event::Set() {
  std::uint64_t one = 1;
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Event::Reset() {
  std::uint64_t value;
  while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

bool Event::IsSet() const { return Readable(fd_); }

bool Event::Wait(std::optional<std::chrono::milliseconds> timeout) {
  std::optional<wi::Clock::time_point> deadline;
  if (timeout) deadline = wi::Clock::now() + *timeout;
  for (;;) {
    if (Readable(fd_) && (manual_reset_ || Consume(fd_))) return true;
    int ms = -1;
    if (deadline) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - wi::Clock::now()).count();
      if (left <= 0) return false;
      ms = static_cast<int>(left);
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) < 0 && errno != EINTR) return false;
    if (p.revents & POLLNVAL) return false;
  }
}

std::optional<std::size_t> MsgWaitForEvents(std::span<Event* const> events,
                                            std::optional<std::chrono::milliseconds> timeout,
                                            bool wake_on_messages) {
  for (Event* event : events)
    if (!event || event->fd_ < 0) return std::nullopt;
  wi::ThreadQueue& queue = wi::CurrentQueue();
  std::optional<wi::Clock::time_point> deadline;
  if (timeout) deadline = wi::Clock::now() + *timeout;

  std::vector<pollfd> fds;
  for (Event* event : events) fds.push_back(pollfd{event->fd_, POLLIN, 0});
  for (;;) {
    queue.wake()->Drain();
    wi::ProcessSentMessages(queue);
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (Readable(events[i]->fd_) && (events[i]->manual_reset_ || Consume(events[i]->fd_))) return i;
    }
    if (wake_on_messages && queue.TakeNewInput()) return events.size();
    if (deadline && wi::Clock::now() >= *deadline) return WAIT_TIMEOUT_RESULT;
    auto wait_until = deadline;
    if (wake_on_messages) {
      auto timer = queue.NextTimerDue({});
      if (timer && (!wait_until || *timer < *wait_until)) wait_until = timer;
    }
    wi::WaitOnQueue(queue, &fds, wait_until);
    for (const auto& p : fds)
      if (p.revents & POLLNVAL) return std::nullopt;
  }
}

}  // namespace platform
