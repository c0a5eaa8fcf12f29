#include "protocols/testing/loopback_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace protocols::testing {

LoopbackListener::LoopbackListener(int backlog) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, backlog) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    port_ = 0;
    return;
  }
  port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  if (fd_ >= 0) ::close(fd_);
}

ScriptedTcpServerFake::ScriptedTcpServerFake(std::vector<std::string> replies, int linger_ms)
    : replies_(std::move(replies)), linger_ms_(linger_ms), thread_([this] { Serve(); }) {}

ScriptedTcpServerFake::~ScriptedTcpServerFake() {
  if (thread_.joinable()) thread_.join();
}

std::string ScriptedTcpServerFake::Received() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return received_;
}

std::string ScriptedTcpServerFake::ReceivedAfterLastReply() {
  const std::string all = Received();
  return all.substr(std::min(before_last_reply_, all.size()));
}

void ScriptedTcpServerFake::Serve() {
  using Clock = std::chrono::steady_clock;
  const auto give_up = Clock::now() + std::chrono::seconds(20);
  pollfd lp{listener_.fd(), POLLIN, 0};
  if (::poll(&lp, 1, 20000) <= 0) return;
  const int fd = ::accept(listener_.fd(), nullptr, nullptr);
  if (fd < 0) return;
  // Reads what is there within `ms`; false once the client closed or the time is up.
  auto read_some = [&](int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
    if (n <= 0) return false;
    std::lock_guard lock(mutex_);
    received_.append(chunk, static_cast<std::size_t>(n));
    return true;
  };
  auto count_lines = [&] {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (char c : received_) n += c == '\n';
    return n;
  };
  for (std::size_t i = 0; i < replies_.size(); ++i) {
    // Reply i answers the client's i-th line.
    while (count_lines() < i) {
      if (Clock::now() > give_up || !read_some(500)) break;
    }
    {
      std::lock_guard lock(mutex_);
      before_last_reply_ = received_.size();
    }
    (void)::send(fd, replies_[i].data(), replies_[i].size(), MSG_NOSIGNAL);
  }
  const auto linger_end = Clock::now() + std::chrono::milliseconds(linger_ms_);
  while (Clock::now() < linger_end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(linger_end - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) break;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
    if (n <= 0) break;
    std::lock_guard lock(mutex_);
    received_.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
}

}  // namespace protocols::testing
