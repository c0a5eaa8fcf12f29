#include "protocols/socket_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "protocols/socket_errors.h"

namespace protocols {

SocketTransport::~SocketTransport() { Close(); }

MailResult SocketTransport::Open(std::uint32_t address, std::uint16_t port, const std::uint32_t* bind_address) {
  Close();
  // Non-blocking from the start: neither the connect nor a send may outlast
  // the client's time-out.
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd_ < 0) return MailResultFromErrno(errno);
  if (bind_address != nullptr) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = *bind_address;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
      const int error = errno;
      Close();
      return MailResultFromErrno(error);
    }
  }
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = address;
  target.sin_port = port;
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) == 0) return kMailOk;
  if (errno == EINPROGRESS || errno == EINTR) return kTransportOpening;
  const int error = errno;
  Close();
  return MailResultFromErrno(error);
}

MailResult SocketTransport::FinishOpen() {
  if (fd_ < 0) return kSocketNotConnected;
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == 0) return kMailOk;
  Close();
  return MailResultFromErrno(error);
}

MailResult SocketTransport::Wait(Readiness what, int timeout_ms) {
  if (fd_ < 0) return kSocketNotConnected;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd p{fd_, static_cast<short>(what == Readiness::kReadable ? POLLIN : POLLOUT), 0};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int ready = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready > 0) return kMailOk;  // errors and hang-ups show in the call that follows
    if (ready == 0) return kSocketTimedOut;
    if (errno != EINTR) return MailResultFromErrno(errno);
  }
}

MailResult SocketTransport::Receive(std::span<std::uint8_t> buffer, std::size_t* count) {
  *count = 0;
  if (fd_ < 0) return kSocketNotConnected;
  ssize_t n;
  do {
    n = ::recv(fd_, buffer.data(), buffer.size(), 0);
  } while (n < 0 && errno == EINTR);
  if (n == 0) return kSocketClosedByPeer;
  if (n < 0) return errno == EAGAIN ? kMailOk : MailResultFromErrno(errno);
  *count = static_cast<std::size_t>(n);
  return kMailOk;
}

MailResult SocketTransport::Send(std::span<const std::uint8_t> bytes, std::size_t* sent) {
  *sent = 0;
  if (fd_ < 0) return kSocketNotConnected;
  ssize_t n;
  do {
    n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno == EAGAIN ? kMailOk : MailResultFromErrno(errno);
  *sent = static_cast<std::size_t>(n);
  return kMailOk;
}

void SocketTransport::Shutdown(bool sending_only) {
  if (fd_ >= 0) ::shutdown(fd_, sending_only ? SHUT_WR : SHUT_RDWR);
}

void SocketTransport::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::string SocketTransport::LocalAddress() const {
  sockaddr_in local{};
  socklen_t length = sizeof(local);
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      local.sin_family != AF_INET) {
    return "(unknown)";
  }
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text)) == nullptr) return "(unknown)";
  return text;
}

std::string SocketTransport::LocalHostName() const {
  sockaddr_in local{};
  socklen_t length = sizeof(local);
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return "localhost";
  char name[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&local), length, name, sizeof(name), nullptr, 0, NI_NAMEREQD) !=
      0) {
    return "localhost";
  }
  return name;
}

}  // namespace protocols
