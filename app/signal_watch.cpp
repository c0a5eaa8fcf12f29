#include "app/signal_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>

namespace app {
namespace {

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);  // the desktop session (or terminal) has ended
  return set;
}

}  // namespace

void BlockTerminationSignals() {
  sigset_t set = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatch::SignalWatch(std::function<void()> on_signal) : on_signal_(std::move(on_signal)) {
  sigset_t set = TerminationSignals();
  signal_fd_ = signalfd(-1, &set, SFD_CLOEXEC);
  stop_fd_ = eventfd(0, EFD_CLOEXEC);
  if (signal_fd_ >= 0 && stop_fd_ >= 0) thread_ = std::thread([this] { Run(); });
}

SignalWatch::~SignalWatch() {
  if (thread_.joinable()) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(stop_fd_, &one, sizeof one);
    thread_.join();
  }
  if (signal_fd_ >= 0) close(signal_fd_);
  if (stop_fd_ >= 0) close(stop_fd_);
}

void SignalWatch::Run() {
  for (;;) {
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info;
      if (read(signal_fd_, &info, sizeof info) == sizeof info) on_signal_();
    }
  }
}

}  // namespace app
