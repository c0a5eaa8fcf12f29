#pragma once
// A one-connection SMTP server on loopback for what a real server does not do
// on demand: say nothing at all, or send a reply line that never ends. It
// accepts one connection, sends `greeting` (possibly nothing), then keeps the
// connection open without reading until it is destroyed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace delivery::test {

class ScriptedSmtpServerFake {
 public:
  // Listens on a free loopback port (port()), so parallel tests never collide.
  explicit ScriptedSmtpServerFake(std::string greeting) : greeting_(std::move(greeting)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listening_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(listener_, 4) == 0;
    socklen_t length = sizeof address;
    if (listening_ && ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
    if (listening_) thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedSmtpServerFake() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  bool listening() const { return listening_ && port_ != 0; }
  std::uint16_t port() const { return port_; }

 private:
  void Serve() {
    int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    std::size_t sent = 0;
    while (sent < greeting_.size() && !stop_) {
      ssize_t n = ::send(client, greeting_.data() + sent, greeting_.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::close(client);
  }

  std::string greeting_;
  int listener_ = -1;
  bool listening_ = false;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace delivery::test
