#pragma once
// Test support on real loopback sockets (port of the kernel's choice).
//
// LoopbackListener: a listening socket that nobody accepts on; the kernel
// completes connections to it and nobody reads them.
//
// ScriptedTcpServerFake: a one-connection server on a thread of its own, for
// hostile behaviour a real server does not show on demand (bytes in clear
// right behind the go-ahead for TLS). It sends replies[0] when the client
// connects, then for each further reply reads one line and sends the reply
// in one write. After the last reply it records whatever else arrives until
// the client closes or `linger_ms` pass.

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace protocols::testing {

class LoopbackListener {
 public:
  explicit LoopbackListener(int backlog = 16);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  std::uint16_t port() const { return port_; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

class ScriptedTcpServerFake {
 public:
  explicit ScriptedTcpServerFake(std::vector<std::string> replies, int linger_ms = 3000);
  ~ScriptedTcpServerFake();
  ScriptedTcpServerFake(const ScriptedTcpServerFake&) = delete;
  ScriptedTcpServerFake& operator=(const ScriptedTcpServerFake&) = delete;

  std::uint16_t port() const { return listener_.port(); }
  // Waits for the conversation to end, then returns every byte the client sent.
  std::string Received();
  // Bytes the client sent after the server's last reply.
  std::string ReceivedAfterLastReply();

 private:
  void Serve();

  LoopbackListener listener_;
  std::vector<std::string> replies_;
  int linger_ms_;
  std::mutex mutex_;
  std::string received_;
  std::size_t before_last_reply_ = 0;
  std::thread thread_;
};

}  // namespace protocols::testing
